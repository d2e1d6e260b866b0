// Reference windowing: one output at a time, straight from the definition.
#include "decoder/SynthesisWindow.h"

namespace bramble {

namespace {

int16_t WindowOne(const int16_t* buf, int half, int slot, int n) {
  const int r = n >> 2, j = n & 3;
  const int16_t* row = buf + 512 * half + 64 * r;
  const int16_t* w = synthesis_window + 64 * r + 2 * j;
  // Unsigned arithmetic: the sum wraps like the packed 32-bit lanes do.
  uint32_t acc = 0;
  for (int k = 0; k < 8; ++k) {
    const int even = row[4 * ((slot - 2 * k) & 15) + j];
    const int odd = row[4 * ((slot - 2 * k - 1) & 15) + j];
    acc += uint32_t(even * w[8 * k]) + uint32_t(odd * w[8 * k + 1]);
  }
  const int32_t sample = int32_t(acc) >> 14;  // arithmetic: rounds toward -inf
  if (sample > 32767) return 32767;
  if (sample < -32768) return -32768;
  return int16_t(sample);
}

}  // namespace

void WindowScalar(const int16_t* left, const int16_t* right, int half, int slot, int16_t* out) {
  for (int n = 0; n < 32; ++n) {
    out[2 * n] = WindowOne(left, half, slot, n);
    out[2 * n + 1] = WindowOne(right, half, slot, n);
  }
}

}  // namespace bramble
