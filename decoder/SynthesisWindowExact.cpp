// Floating-point windowing of the unlimited V history, used while a channel's
// window holds values the 16-bit history had to limit. Same sum as the
// integer windowing, with the exact window, one row of 4 outputs per
// register; the order of the additions is fixed, so every build gives the
// same result.
#include <emmintrin.h>

#include "decoder/SynthesisWindow.h"

namespace bramble {

void WindowExact(const float* history, int half, int slot, int16_t* out) {
  const __m128 lo = _mm_set1_ps(-32768.0f), hi = _mm_set1_ps(32767.0f);
  for (int r = 0; r < 8; ++r) {
    const float* row = history + 512 * half + 64 * r;
    const float* w = synthesis_window_exact + 64 * r;
    __m128 acc = _mm_setzero_ps();
    for (int k = 0; k < 8; ++k, w += 8) {
      const __m128 even = _mm_load_ps(row + 4 * ((slot - 2 * k) & 15));
      const __m128 odd = _mm_load_ps(row + 4 * ((slot - 2 * k - 1) & 15));
      acc = _mm_add_ps(acc, _mm_mul_ps(even, _mm_load_ps(w)));
      acc = _mm_add_ps(acc, _mm_mul_ps(odd, _mm_load_ps(w + 4)));
    }
    // Saturate before converting (a NaN sum becomes -32768), then round to
    // nearest.
    alignas(16) int32_t s[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(s), _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(acc, lo), hi)));
    for (int j = 0; j < 4; ++j) out[2 * (4 * r + j)] = int16_t(s[j]);
  }
}

}  // namespace bramble
