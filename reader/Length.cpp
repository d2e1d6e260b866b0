#include "reader/Length.h"

#include <cstdint>
#include <cstring>

#include "reader/FrameReader.h"
#include "reader/StreamState.h"

namespace bramble {

namespace {
char g_cached_name[kSourceNameBytes] = {};
int g_cached_length = -1;

int TruncateToInt(double ms) {
  if (!(ms >= 0.0)) return 0;
  if (ms >= double(INT32_MAX)) return INT32_MAX;
  return int(ms);
}
}  // namespace

void InvalidateLengthCache() { g_cached_length = -1; }

int GetLength(FrameReader& scanner, const char* name) {
  if (std::strncmp(name, g_cached_name, kSourceNameBytes) == 0 && g_cached_length >= 0)
    return g_cached_length;
  std::strncpy(g_cached_name, name, kSourceNameBytes - 1);
  g_cached_name[kSourceNameBytes - 1] = '\0';

  const uint32_t bytes = QuerySourceSize(name);
  const float size = float(bytes);
  // Unknown rates count as 128 kbit/s (16 bytes per ms).
  double ms = double(size) * 0.0625;
  // Only the audio counts: tags are left out, a frame count is used. Only
  // the open stream itself is measured at its bit rate, with what its first
  // bytes showed.
  if (StreamMode() && std::strcmp(name, CurrentSourceName()) == 0) {
    ms = AudioLengthMs(StreamLayout(), bytes, StreamBitrate(), scanner.gapless());
  } else {
    int bitrate = 0, channels = 0, rate = 0;
    if (scanner.GetInfo(name, &bitrate, &channels, &rate) == 0 && bitrate > 0)
      ms = AudioLengthMs(scanner.layout(), bytes, bitrate, scanner.gapless());
  }
  g_cached_length = TruncateToInt(ms);
  return g_cached_length;
}

}  // namespace bramble
