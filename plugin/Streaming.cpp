#include "plugin/Streaming.h"

#include <windows.h>

#include <cstring>

#include "reader/StreamState.h"

namespace bramble {

StreamingObject* g_pStreaming = nullptr;

namespace {
HMODULE g_streaming_library = nullptr;

using GetStreamingObjectFn = StreamingObject*(__cdecl*)();

// The size of the open stream comes from its record, not from a file.
bool StreamSize(const char* name, uint32_t* size) {
  if (!g_pStreaming || !IsNetworkName(name) || std::strcmp(name, CurrentSourceName()) != 0) return false;
  *size = g_pStreaming->info ? g_pStreaming->info->content_length : 0;
  return true;
}
}  // namespace

void LoadStreamingLibrary() {
  SetStreamSizeHook(StreamSize);
  if (g_streaming_library) return;
  g_streaming_library = LoadLibraryA("Plugins\\Tolquin.DLL");
  if (!g_streaming_library) return;
  auto get = reinterpret_cast<GetStreamingObjectFn>(
      reinterpret_cast<void*>(GetProcAddress(g_streaming_library, "GetStreamingObject")));
  if (get) g_pStreaming = get();
}

void ReleaseStreamingLibrary() {
  if (g_streaming_library) FreeLibrary(g_streaming_library);
  g_pStreaming = nullptr;
  g_streaming_library = nullptr;
}

int StreamSource::Read(void* dst, int n) {
  if (!g_pStreaming || n <= 0) return 0;
  int got = g_pStreaming->Read(dst, n);
  if (got < 0) got = 0;
  if (got > n) got = n;
  position_ += got;
  return got;
}

bool StreamSource::Seek(long offset) {
  if (!g_pStreaming || offset < 0) return false;
  g_pStreaming->Seek(int(offset));
  position_ = offset;
  return true;
}

}  // namespace bramble
