#include "reader/StreamState.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace bramble {

namespace {
bool g_stream_mode = false;
int g_stream_bitrate = 0;
char g_source_name[kSourceNameBytes] = {};
StreamSizeHook g_size_hook = nullptr;
SourceLayout g_stream_layout;
}  // namespace

void SetStreamLayout(const SourceLayout& layout) { g_stream_layout = layout; }
const SourceLayout& StreamLayout() { return g_stream_layout; }

void SetStreamMode(bool on) { g_stream_mode = on; }
bool StreamMode() { return g_stream_mode; }

bool IsNetworkName(const char* name) {
  static const char kScheme[] = "http://";
  if (!name) return false;
  for (int i = 0; kScheme[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(name[i])) != kScheme[i]) return false;
  return true;
}

void SetStreamBitrate(int bits_per_second) { g_stream_bitrate = bits_per_second; }
int StreamBitrate() { return g_stream_bitrate; }

void SetCurrentSourceName(const char* name) {
  std::strncpy(g_source_name, name ? name : "", kSourceNameBytes - 1);
  g_source_name[kSourceNameBytes - 1] = '\0';
}
const char* CurrentSourceName() { return g_source_name; }

void SetStreamSizeHook(StreamSizeHook hook) { g_size_hook = hook; }

uint32_t QuerySourceSize(const char* name) {
  uint32_t size = 0;
  if (g_size_hook && g_size_hook(name, &size)) return size;
  std::FILE* f = std::fopen(name, "rb");
  if (!f) return 1;
  long end = 0;
  if (std::fseek(f, 0, SEEK_END) == 0) end = std::ftell(f);
  std::fclose(f);
  return end > 0 ? uint32_t(end) : 0;
}

}  // namespace bramble
