// Reference windowing: one output at a time, straight from the definition;
// the exact windowing in the float operations and order its vector version
// uses.
#include <cmath>

#include "decoder/dsp/Variants.h"
#include "decoder/tables/SynthesisTables.h"

namespace bramble {
namespace dsp {

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

// Sum over the 8 slots first_slot, first_slot - 2, ... of history values
// x_from + i times exact-window values w_from + i, for i < n, starting
// from +0.
void Accumulate(const float (*history)[32], int first_slot, int x_from, int w_from, int n, float* acc) {
  for (int i = 0; i < n; ++i) acc[i] = 0.0f;
  const float* w = synthesis_window_exact + w_from;
  for (int k = 0; k < 8; ++k, w += 72) {
    const float* x = history[(first_slot - 2 * k) & 15] + x_from;
    for (int i = 0; i < n; ++i) acc[i] = acc[i] + x[i] * w[i];
  }
}

// Saturated first (a NaN becomes -32768), then rounded to nearest even.
int16_t ToSample(float v) {
  v = v > -32768.0f ? v : -32768.0f;
  v = v < 32767.0f ? v : 32767.0f;
  return int16_t(std::lrint(v));
}

}  // namespace

void WindowExactScalar(const float (*history)[32], int slot, int16_t* out) {
  // Even taps: a[q] takes X[16 + q] into output q, b[q] into output 32 - q.
  // Odd taps: c[p] takes X[p] into output 16 + p, e[p] into output 16 - p.
  float a[16], b[20], c[16], e[20];
  Accumulate(history, slot, 16, 0, 16, a);
  Accumulate(history, slot, 16, 16, 16, b);
  b[16] = b[17] = b[18] = b[19] = 0.0f;
  Accumulate(history, slot - 1, 0, 32, 16, c);
  Accumulate(history, slot - 1, 0, 48, 20, e);
  for (int n = 0; n < 16; ++n) {
    out[2 * n] = ToSample(a[n] - e[16 - n]);
    out[32 + 2 * n] = ToSample(0.0f - (b[16 - n] + c[n]));
  }
}

void WindowScalar(const int16_t* left, const int16_t* right, int half, int slot, int16_t* out) {
  for (int n = 0; n < 32; ++n) {
    out[2 * n] = WindowOne(left, half, slot, n);
    out[2 * n + 1] = WindowOne(right, half, slot, n);
  }
}

}  // namespace dsp
}  // namespace bramble
