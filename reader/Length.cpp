#include "reader/Length.h"

#include <cstdio>

namespace bramble {

namespace {
int TruncateToInt(double ms) {
  if (!(ms >= 0.0)) return 0;
  if (ms >= double(INT32_MAX)) return INT32_MAX;
  return int(ms);
}
}  // namespace

uint32_t FileSize(const char* name) {
  std::FILE* f = std::fopen(name, "rb");
  if (!f) return 1;
  long end = 0;
  if (std::fseek(f, 0, SEEK_END) == 0) end = std::ftell(f);
  std::fclose(f);
  return end > 0 ? uint32_t(end) : 0;
}

int LengthMs(const SourceLayout& layout, uint32_t bytes, int bitrate, bool gapless) {
  return TruncateToInt(AudioLengthMs(layout, bytes, bitrate, gapless));
}

}  // namespace bramble
