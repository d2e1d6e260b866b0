// The exact windowing on 256-bit registers: the sums of the 128-bit version
// eight outputs at a time, each lane adding in the same order, then its
// gathering step. Compiled for AVX2 by function attribute and used only
// when the processor has it.
#include "decoder/dsp/Variants.h"

#if defined(BRAMBLE_DSP_X86)
#include <immintrin.h>

#include "decoder/tables/SynthesisTables.h"

namespace bramble {
namespace dsp {

namespace {

// acc[i] = sum over the 8 slots first_slot, first_slot - 2, ... of
// X[x_from + 8i..] * w[w_from + 8i..], stored to sum[8i..].
template <int N>
__attribute__((target("avx2"))) inline void Accumulate(const float (*history)[32], int first_slot, int x_from,
                                                       int w_from, float* sum) {
  __m256 acc[N];
  for (int i = 0; i < N; ++i) acc[i] = _mm256_setzero_ps();
  const float* w = synthesis_window_exact + w_from;
#pragma GCC unroll 8
  for (int k = 0; k < 8; ++k, w += 72) {
    const float* x = history[(first_slot - 2 * k) & 15] + x_from;
    for (int i = 0; i < N; ++i)
      acc[i] = _mm256_add_ps(acc[i], _mm256_mul_ps(_mm256_loadu_ps(x + 8 * i), _mm256_loadu_ps(w + 8 * i)));
  }
  for (int i = 0; i < N; ++i) _mm256_storeu_ps(sum + 8 * i, acc[i]);
}

}  // namespace

__attribute__((target("avx2"))) void WindowExactAvx2(const float (*history)[32], int slot, int16_t* out) {
  // The sums of WindowExactSse2; e runs to 24 (its last four unused).
  alignas(32) float a[16], b[20], c[16], e[24];
  Accumulate<2>(history, slot, 16, 0, a);
  Accumulate<2>(history, slot, 16, 16, b);
  _mm_store_ps(b + 16, _mm_setzero_ps());
  Accumulate<2>(history, slot - 1, 0, 32, c);
  Accumulate<3>(history, slot - 1, 0, 48, e);
  WindowExactGather(a, b, c, e, out);
}

}  // namespace dsp
}  // namespace bramble
#endif
