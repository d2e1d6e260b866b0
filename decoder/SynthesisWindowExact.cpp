// Floating-point windowing of the unlimited history, used while a channel's
// window holds values the 16-bit history had to limit. Each time slot keeps
// the 32 values X[p] that its V vector is made of; the window is folded onto
// them (scripts/gen_synthesis_window.py), so the sums run over aligned loads
// without any rearranging, and the outputs are gathered once at the end. The
// order of the additions is fixed, so every build gives the same result.
#include <emmintrin.h>

#include "decoder/SynthesisWindow.h"

namespace bramble {

void WindowExact(const float (*history)[32], int slot, int16_t* out) {
  // a[q]: X[16 + q] into output q; b[q]: X[16 + q] into output 32 - q (even
  // taps); c[p]: X[p] into output 16 + p; e[p]: X[p] into output 16 - p (odd
  // taps). The last three are negated contributions.
  __m128 a[4], b[4], c[4], e[5];
  for (int i = 0; i < 4; ++i) a[i] = b[i] = c[i] = e[i] = _mm_setzero_ps();
  e[4] = _mm_setzero_ps();
  const float* w = synthesis_window_exact;
  for (int k = 0; k < 8; ++k, w += 72) {
    const float* x = history[(slot - 2 * k) & 15] + 16;
    for (int i = 0; i < 4; ++i) {
      const __m128 v = _mm_load_ps(x + 4 * i);
      a[i] = _mm_add_ps(a[i], _mm_mul_ps(v, _mm_load_ps(w + 4 * i)));
      b[i] = _mm_add_ps(b[i], _mm_mul_ps(v, _mm_load_ps(w + 16 + 4 * i)));
    }
  }
  w = synthesis_window_exact;
  for (int k = 0; k < 8; ++k, w += 72) {
    const float* x = history[(slot - 2 * k - 1) & 15];
    for (int i = 0; i < 4; ++i) {
      const __m128 v = _mm_load_ps(x + 4 * i);
      c[i] = _mm_add_ps(c[i], _mm_mul_ps(v, _mm_load_ps(w + 32 + 4 * i)));
      e[i] = _mm_add_ps(e[i], _mm_mul_ps(v, _mm_load_ps(w + 48 + 4 * i)));
    }
    e[4] = _mm_add_ps(e[4], _mm_mul_ps(_mm_load_ps(x + 16), _mm_load_ps(w + 64)));
  }
  alignas(16) float sa[16], sb[16], sc[16], se[20], sum[32];
  for (int i = 0; i < 4; ++i) {
    _mm_store_ps(sa + 4 * i, a[i]);
    _mm_store_ps(sb + 4 * i, b[i]);
    _mm_store_ps(sc + 4 * i, c[i]);
    _mm_store_ps(se + 4 * i, e[i]);
  }
  _mm_store_ps(se + 16, e[4]);
  for (int n = 0; n < 16; ++n) sum[n] = sa[n] - se[16 - n];
  sum[16] = -sc[0];
  for (int n = 17; n < 32; ++n) sum[n] = -(sb[32 - n] + sc[n - 16]);
  // Saturate before converting (a NaN becomes -32768), then round to nearest.
  const __m128 lo = _mm_set1_ps(-32768.0f), hi = _mm_set1_ps(32767.0f);
  alignas(16) int32_t pcm[32];
  for (int i = 0; i < 8; ++i)
    _mm_store_si128(reinterpret_cast<__m128i*>(pcm + 4 * i),
                    _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(_mm_load_ps(sum + 4 * i), lo), hi)));
  for (int n = 0; n < 32; ++n) out[2 * n] = int16_t(pcm[n]);
}

}  // namespace bramble
