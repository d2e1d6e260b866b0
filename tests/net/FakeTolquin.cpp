// The scripted streaming library (see FakeStreaming.h).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "abi/Streaming.h"
#include "tests/net/FakeStreaming.h"

namespace {

FakeStreamingState g_state = {};
HANDLE g_closed = CreateEventA(nullptr, TRUE, FALSE, nullptr);

void Record(const char* call, const char* arg = nullptr) {
  char item[300];
  std::snprintf(item, sizeof item, arg ? "%s %s;" : "%s;", call, arg);
  const size_t used = std::strlen(g_state.calls);
  if (used + std::strlen(item) < sizeof g_state.calls) std::strcat(g_state.calls, item);
}

class FakeStream final : public bramble::StreamingObject {
 public:
  int Prepare() override { Record("Prepare"); return 1; }
  int Finish() override { Record("Finish"); return 0; }
  int Open(const char* address) override {
    Record("Open", address);
    ResetEvent(g_closed);
    position_ = 0;
    if (!g_state.script.open_result) return 0;
    record_.content_length = g_state.script.content_length;
    record_.first_text = g_state.script.first_text;
    record_.second_text = g_state.script.second_text;
    info_ = g_state.script.has_record ? &record_ : nullptr;
    return g_state.script.open_result;
  }
  int Close() override {
    Record("Close");
    info_ = nullptr;
    SetEvent(g_closed);
    return 0;
  }
  int Read(void* buffer, int count) override {
    ++g_state.reads;
    const int n = Copy(buffer, count);
    position_ += n;
    if (n < count && g_state.script.stall_at_end) {
      ++g_state.stalled_reads;
      WaitForSingleObject(g_closed, 10000);  // a dead server until Close
    }
    return n;
  }
  int Seek(uint32_t offset) override {
    char text[16];
    std::snprintf(text, sizeof text, "%u", offset);
    Record("Seek", text);
    g_state.last_seek = int(offset);
    position_ = int(std::min<uint32_t>(offset, uint32_t(g_state.script.size)));
    return 1;
  }
  int IsSeekable(const char* address) override { Record("IsSeekable", address); return g_state.script.seekable; }
  int Unused() override { Record("Unused"); return 0; }
  int ShowSettings(void*) override { Record("ShowSettings"); return 0; }
  int Prefetch(void* buffer, int count) override {
    char text[16];
    std::snprintf(text, sizeof text, "%d", count);
    Record("Prefetch", text);
    return Copy(buffer, count);  // delivered again by Read
  }

 private:
  int Copy(void* buffer, int count) {
    const int n = std::max(0, std::min(count, g_state.script.size - position_));
    if (n > 0) std::memcpy(buffer, g_state.script.data + position_, size_t(n));
    return n;
  }

  bramble::StreamInfoRecord record_ = {};
  int position_ = 0;
};

FakeStream g_stream;

}  // namespace

extern "C" __declspec(dllexport) bramble::StreamingObject* GetStreamingObject() { return &g_stream; }

extern "C" __declspec(dllexport) FakeStreamingState* FakeStreamingStatePtr() { return &g_state; }
