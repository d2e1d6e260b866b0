// Floating-point windowing of the unlimited history, used while a channel's
// window holds values the 16-bit history had to limit. Each time slot keeps
// the 32 values X[p] that its V vector is made of; the window is folded onto
// them (scripts/gen_synthesis_window.py), so the sums run over aligned loads
// without any rearranging, and the outputs are gathered once at the end. The
// order of the additions is fixed, so every build gives the same result.
#include "decoder/dsp/Variants.h"

#if defined(BRAMBLE_DSP_X86)
#include <emmintrin.h>

#include "decoder/tables/SynthesisTables.h"

namespace bramble {
namespace dsp {

namespace {

// acc[i] += X[x_from + 4i..] * w[w_from + 4i..] over the 8 slots first_slot,
// first_slot - 2, ... One group of accumulators at a time keeps them in
// registers, also with the 8 of a 32-bit build.
template <int N>
inline void Accumulate(const float (*history)[32], int first_slot, int x_from, int w_from, __m128* acc) {
  for (int i = 0; i < N; ++i) acc[i] = _mm_setzero_ps();
  const float* w = synthesis_window_exact + w_from;
#pragma GCC unroll 8
  for (int k = 0; k < 8; ++k, w += 72) {
    const float* x = history[(first_slot - 2 * k) & 15] + x_from;
#pragma GCC unroll 8
    for (int i = 0; i < N; ++i)
      acc[i] = _mm_add_ps(acc[i], _mm_mul_ps(_mm_load_ps(x + 4 * i), _mm_load_ps(w + 4 * i)));
  }
}

// out[0], out[2], out[4], out[6] = the four 16-bit values in v's lanes; the
// odd places (the other channel) are not touched. Lane by lane: for the right
// channel a 16-byte read-modify-write would reach one value past the block.
inline void StoreEven(int16_t* out, __m128i v) {
  out[0] = int16_t(_mm_extract_epi16(v, 0));
  out[2] = int16_t(_mm_extract_epi16(v, 2));
  out[4] = int16_t(_mm_extract_epi16(v, 4));
  out[6] = int16_t(_mm_extract_epi16(v, 6));
}

inline __m128 Reverse(__m128 v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3)); }

}  // namespace

void WindowExactGather(const float* a, const float* b, const float* c, const float* e, int16_t* out) {
  // Outputs 4i..4i+3 meet e[16 - 4i]..e[13 - 4i]; outputs 16 + 4i.. meet
  // b[16 - 4i]..b[13 - 4i]. Saturate before converting (a NaN becomes
  // -32768), round to nearest, and write the low half of each output pair.
  const __m128 lo = _mm_set1_ps(-32768.0f), hi = _mm_set1_ps(32767.0f);
  for (int i = 0; i < 4; ++i) {
    const __m128 low = _mm_sub_ps(_mm_load_ps(a + 4 * i), Reverse(_mm_loadu_ps(e + 13 - 4 * i)));
    const __m128 high = _mm_sub_ps(_mm_setzero_ps(),
                                   _mm_add_ps(Reverse(_mm_loadu_ps(b + 13 - 4 * i)), _mm_load_ps(c + 4 * i)));
    StoreEven(out + 8 * i, _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(low, lo), hi)));
    StoreEven(out + 32 + 8 * i, _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(high, lo), hi)));
  }
}

void WindowExactSse2(const float (*history)[32], int slot, int16_t* out) {
  // Even taps: a[q] takes X[16 + q] into output q, b[q] into output 32 - q.
  // Odd taps: c[p] takes X[p] into output 16 + p, e[p] into output 16 - p.
  // b, c and e are negated contributions.
  alignas(16) float a[16], b[20], c[16], e[20];
  __m128 acc[5];
  Accumulate<4>(history, slot, 16, 0, acc);
  for (int i = 0; i < 4; ++i) _mm_store_ps(a + 4 * i, acc[i]);
  Accumulate<4>(history, slot, 16, 16, acc);
  for (int i = 0; i < 4; ++i) _mm_store_ps(b + 4 * i, acc[i]);
  _mm_store_ps(b + 16, _mm_setzero_ps());  // output 16 has no even-tap term
  Accumulate<4>(history, slot - 1, 0, 32, acc);
  for (int i = 0; i < 4; ++i) _mm_store_ps(c + 4 * i, acc[i]);
  Accumulate<5>(history, slot - 1, 0, 48, acc);
  for (int i = 0; i < 5; ++i) _mm_store_ps(e + 4 * i, acc[i]);
  WindowExactGather(a, b, c, e, out);
}

}  // namespace dsp
}  // namespace bramble
#endif
