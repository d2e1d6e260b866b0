#include "plugin/Streaming.h"

#include <windows.h>

namespace bramble {

StreamingObject* g_pStreaming = nullptr;

namespace {
HMODULE g_streaming_library = nullptr;

}  // namespace

void LoadStreamingLibrary() {
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

bool StreamContentLength(uint32_t* bytes) {
  if (!g_pStreaming) return false;
  const StreamInfoRecord* info = g_pStreaming->info();
  *bytes = info ? info->content_length : 0;
  return true;
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
  g_pStreaming->Seek(uint32_t(offset));
  position_ = offset;
  return true;
}

}  // namespace bramble
