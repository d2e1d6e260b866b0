// The plug-in's network-stream branch driven through its module table. Built
// twice: with BRAMBLE_FAKE_STREAMING as the scripted streaming library
// Plugins\Tolquin.DLL beside the test program (bytes from memory, answers as
// the state says, every call but Read recorded), and as the test program.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "abi/Streaming.h"

struct FakeStreamingState {
  int open_result = 1;
  int seekable = 1;
  bool has_record = true;         // false: the record pointer stays null
  const char* first_text = nullptr;
  const char* second_text = nullptr;
  const uint8_t* data = nullptr;  // the stream (borrowed); its size is the content length
  int size = 0;
  bool stall_at_end = false;      // at the end Read waits for Close
  char calls[4096] = {};          // "Prepare;IsSeekable http://a;Open http://a;..."
  int stalled_reads = 0;
  int last_seek = -1;
};

#ifdef BRAMBLE_FAKE_STREAMING
namespace {

FakeStreamingState g_state;
HANDLE g_closed = CreateEventA(nullptr, TRUE, FALSE, nullptr);

// Adds "call;" to the calls and gives `answer`.
int Record(const std::string& call, int answer = 0) {
  if (strlen(g_state.calls) + call.size() + 1 < sizeof g_state.calls) strcat(g_state.calls, (call + ";").c_str());
  return answer;
}

class FakeStream final : public bramble::StreamingObject {
 public:
  int Prepare() override { return Record("Prepare", 1); }
  int Finish() override { return Record("Finish"); }
  int Open(const char* address) override {
    ResetEvent(g_closed);
    position_ = 0;
    record_.content_length = uint32_t(g_state.size);
    record_.first_text = g_state.first_text;
    record_.second_text = g_state.second_text;
    info_ = g_state.open_result && g_state.has_record ? &record_ : nullptr;
    return Record(std::string("Open ") + address, g_state.open_result);
  }
  int Close() override {
    info_ = nullptr;
    SetEvent(g_closed);
    return Record("Close");
  }
  int Read(void* buffer, int count) override {
    const int n = Copy(buffer, count);
    position_ += n;
    // At the end: a silent server until Close.
    if (n < count && g_state.stall_at_end && ++g_state.stalled_reads) WaitForSingleObject(g_closed, 10000);
    return n;
  }
  int Seek(uint32_t offset) override {
    position_ = int(std::min(offset, uint32_t(g_state.size)));
    g_state.last_seek = int(offset);
    return Record("Seek " + std::to_string(offset), 1);
  }
  int IsSeekable(const char* address) override { return Record(std::string("IsSeekable ") + address, g_state.seekable); }
  int Unused() override { return Record("Unused"); }
  int ShowSettings(void*) override { return Record("ShowSettings"); }
  // Delivered again by Read.
  int Prefetch(void* buffer, int count) override { return Record("Prefetch " + std::to_string(count), Copy(buffer, count)); }

 private:
  int Copy(void* buffer, int count) {
    const int n = std::max(0, std::min(count, g_state.size - position_));
    if (n > 0) memcpy(buffer, g_state.data + position_, size_t(n));
    return n;
  }

  bramble::StreamInfoRecord record_ = {};
  int position_ = 0;
};

FakeStream g_stream;

}  // namespace

extern "C" __declspec(dllexport) bramble::StreamingObject* GetStreamingObject() { return &g_stream; }
extern "C" __declspec(dllexport) FakeStreamingState* FakeStreamingStatePtr() { return &g_state; }

#else
#include <gtest/gtest.h>

#include "tests/win/WinHarness.h"

using namespace wintest;

namespace {

const std::string kUrl = "http://127.0.0.1:1/radio.mp3";
const std::string kOpen = "Prepare;IsSeekable " + kUrl + ";Open " + kUrl + ";";

// An ID3v2 tag holding two frame headers, a Xing frame counting 100 frames,
// then those 100 silent Layer III frames (128 kbit/s, 44.1 kHz, 417 bytes).
std::vector<uint8_t> TaggedXingStream() {
  constexpr int kFrame = 417, kTagBody = 1000;
  std::vector<uint8_t> bytes = {'I', 'D', '3', 3, 0, 0, 0, 0, kTagBody >> 7, kTagBody & 0x7F};
  bytes.resize(10 + kTagBody + 101 * kFrame, 0);
  for (int f = 0; f < 103; ++f)
    memcpy(&bytes[f < 2 ? 100 + f * kFrame : 10 + kTagBody + (f - 2) * kFrame], "\xFF\xFB\x90", 3);
  memcpy(&bytes[10 + kTagBody + 36], "Xing\0\0\0\3\0\0\0\x64\0\0\xA4\x85", 16);  // 100 frames, 101 x 417 bytes
  return bytes;
}

class StreamPlay : public ::testing::Test {
 protected:
  void SetUp() override {
    Host().Reset();
    auto get = reinterpret_cast<FakeStreamingState* (*)()>(reinterpret_cast<void*>(
        GetProcAddress(LoadLibraryA("Plugins\\Tolquin.DLL"), "FakeStreamingStatePtr")));
    ASSERT_NE(get, nullptr) << "the scripted library is not the one beside the program";
    state_ = get();
    *state_ = FakeStreamingState();
    Serve(SilentFrames(125));  // 3 s at 128 kbit/s, 48 kHz
    ASSERT_TRUE(dll_.ok());
    mod_ = dll_.mod();
    Host().Attach(mod_, window_.hwnd());
    mod_->Init();
  }
  void TearDown() override {
    if (mod_) mod_->Stop(), mod_->Quit();
  }
  void Serve(std::vector<uint8_t> bytes) {
    data_ = std::move(bytes);
    state_->data = data_.data();
    state_->size = int(data_.size());
  }
  std::string TakeCalls() {
    std::string calls = state_->calls;
    state_->calls[0] = '\0';
    return calls;
  }
  int LengthOf(const char* name) {
    int length = -7;
    mod_->GetFileInfo(name, nullptr, &length);
    return length;
  }
  // Waits for the end-of-stream notice of the playback that began after `ends` notices.
  bool WaitForEnd(int ends = 0) { return PumpUntil([&] { return window_.end_of_stream_messages() > ends; }, 10000); }
  // Plays with room for two blocks and seeks to `ms` while the third waits.
  void PlayAndSeekAfterTwoBlocks(int ms) {
    Host().writes_allowed = 2;
    const int ends = window_.end_of_stream_messages();
    ASSERT_EQ(mod_->Play(kUrl.c_str()), 0);
    ASSERT_TRUE(PumpUntil([] { return Host().log.Writes() == 2; }, 10000));
    const int calls = Host().can_write_calls;
    ASSERT_TRUE(PumpUntil([&] { return Host().can_write_calls > calls + 2; }, 10000));
    mod_->SetOutputTime(ms);
    Host().writes_allowed = 1 << 30;
    ASSERT_TRUE(WaitForEnd(ends));
  }

  FakeStreamingState* state_ = nullptr;
  std::vector<uint8_t> data_;
  HostWindow window_;
  PluginDll dll_;
  bramble::InModule* mod_ = nullptr;
};

TEST_F(StreamPlay, ProbeRatesLengthAndStopDuringAStalledRead) {
  state_->stall_at_end = true;
  ASSERT_EQ(mod_->Play(kUrl.c_str()), 0);
  EXPECT_EQ(TakeCalls(), kOpen + "Prefetch 10240;");
  EXPECT_EQ(mod_->seekable, 1);
  // Rates from the probe of the prefetched bytes; 48000 bytes at 128 kbit/s.
  EXPECT_TRUE(Host().log.Has("setinfo 128 48 2 1"));
  EXPECT_TRUE(Host().log.Has("feed-setinfo 48000 2"));
  EXPECT_EQ(mod_->GetLength(), 3000);
  EXPECT_EQ(LengthOf(nullptr), 3000);

  ASSERT_TRUE(PumpUntil([&] { return state_->stalled_reads > 0 && Host().log.Writes() == 125; }, 10000))
      << Host().log.Writes() << " blocks: every prefetched byte is read again";
  const DWORD start = GetTickCount();
  mod_->Stop();
  EXPECT_LT(GetTickCount() - start, 2000u) << "Stop waited for the stalled read";
  EXPECT_EQ(TakeCalls(), "Close;Finish;") << "the stream is closed once";
  PumpFor(100);
  EXPECT_EQ(window_.end_of_stream_messages(), 0) << "the host stopped it: no end-of-stream notice";
}

TEST_F(StreamPlay, TextsFlagsAndDurationFollowTheRecord) {
  struct Case {
    bool record;
    const char *first, *second, *expect;
  } const cases[] = {
      {true, "Station", "Genre", "flags=0x31 dur=3 first=[Station] second=[Genre]"},
      {true, "Station", nullptr, "flags=0x21 dur=3 first=[Station] second=[(null)]"},
      {true, "", "Evening", "flags=0x30 dur=3 first=[(null)] second=[Evening]"},
      {true, nullptr, "", "flags=0x20 dur=3 first=[(null)] second=[(null)]"},
      {false, "ignored", "ignored", "flags=0x20 dur=0 first=[(null)] second=[(null)]"},
  };
  const std::string head = "info-set 42 size=" + std::to_string(sizeof(bramble::StreamItemInfo)) + " kind=92 ";
  for (const Case& c : cases) {
    Host().Reset();
    state_->has_record = c.record;
    state_->first_text = c.first;
    state_->second_text = c.second;
    ASSERT_EQ(mod_->Play(kUrl.c_str()), 0);
    EXPECT_TRUE(Host().log.Has("info-get") && Host().log.Has(head + c.expect) && Host().log.Has("info-release"))
        << c.expect;
    EXPECT_EQ(LengthOf(kUrl.c_str()), c.record ? 3000 : 0) << "no record: content length 0";
    mod_->Stop();
  }
}

TEST_F(StreamPlay, SeekableWordAndSeeksAtTheByteRateOrBehindTheTag) {
  state_->seekable = 0;
  ASSERT_EQ(mod_->Play(kUrl.c_str()), 0);
  EXPECT_EQ(mod_->seekable, 0);
  EXPECT_EQ(mod_->GetLength(), 268435455);
  EXPECT_EQ(LengthOf(kUrl.c_str()), 268435455) << "the file information agrees";
  mod_->Stop();

  state_->seekable = 1;
  Host().Reset();
  PlayAndSeekAfterTwoBlocks(2000);
  EXPECT_TRUE(Host().log.Has("flush 2000"));
  EXPECT_EQ(state_->last_seek, 32000);
  // Three frames before the seek, then from frame 84 (byte 32256) to the end.
  EXPECT_EQ(Host().log.Writes(), size_t(3 + 125 - 84));
  mod_->Stop();

  Host().Reset();
  Serve(TaggedXingStream());
  PlayAndSeekAfterTwoBlocks(0);
  EXPECT_EQ(LengthOf(kUrl.c_str()), 2612) << "100 frames of 1152 samples, not the bytes at 128 kbit/s";
  EXPECT_EQ(state_->last_seek, 1010) << "a seek to the start lands behind the tag";
  EXPECT_EQ(Host().log.Writes(), 3u + 100u) << "never the tag's frames or the Xing frame";
}

TEST_F(StreamPlay, FailedOpensAndStreamsWithoutFrames) {
  state_->open_result = 0;
  EXPECT_EQ(mod_->Play(kUrl.c_str()), -100);
  EXPECT_EQ(TakeCalls(), kOpen + "Close;Finish;");
  EXPECT_EQ(Host().log.Count("setinfo") + Host().log.Count("info-get"), 0);
  EXPECT_EQ(mod_->Play("C:\\no\\such\\file.mp3"), -100) << "a missing file while the library is loaded";

  // Not audio: no rates, nothing written, no output opened; the length
  // counts 128 kbit/s.
  state_->open_result = 1;
  std::vector<uint8_t> garbage(20000);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t((i * 7 + 3) % 251);
  Serve(garbage);
  ASSERT_EQ(mod_->Play("HtTp://127.0.0.1:1/x.mp3"), 0) << "any letter case plays as a stream";
  EXPECT_TRUE(Host().log.Has("setinfo 0 0 2 1"));
  EXPECT_EQ(mod_->GetLength(), 1250);
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(Host().log.Writes() + Host().log.Count("open "), 0u);
}

}  // namespace
#endif
