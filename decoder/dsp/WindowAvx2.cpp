// Windowing on 256-bit registers, compiled for AVX2 by function attribute and
// used only when the processor has it. Same slot-ordered coefficients as the
// 128-bit version: a 256-bit group holds that version's two lanes.
#include "decoder/dsp/Variants.h"

#if defined(BRAMBLE_DSP_X86)
#include <immintrin.h>

namespace bramble {
namespace dsp {

namespace {

__attribute__((target("avx2"))) inline __m128i RowSums(const __m256i* x, const __m256i* w) {
  // x[q] holds slots 4q..4q+3; unpacking x[0] with x[1] pairs slot i with
  // slot i + 4 in each lane.
  __m256i a = _mm256_madd_epi16(_mm256_unpacklo_epi16(x[0], x[1]), _mm256_load_si256(w));
  __m256i b = _mm256_madd_epi16(_mm256_unpackhi_epi16(x[0], x[1]), _mm256_load_si256(w + 1));
  a = _mm256_add_epi32(a, _mm256_madd_epi16(_mm256_unpacklo_epi16(x[2], x[3]),
                                            _mm256_load_si256(w + 2)));
  b = _mm256_add_epi32(b, _mm256_madd_epi16(_mm256_unpackhi_epi16(x[2], x[3]),
                                            _mm256_load_si256(w + 3)));
  a = _mm256_add_epi32(a, b);
  return _mm_add_epi32(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1));
}

}  // namespace

__attribute__((target("avx2"))) void WindowAvx2(const int16_t* left, const int16_t* right,
                                                int half, int slot, int16_t* out) {
  const __m256i* l = reinterpret_cast<const __m256i*>(left + 512 * half);
  const __m256i* rt = reinterpret_cast<const __m256i*>(right + 512 * half);
  const __m256i* w = reinterpret_cast<const __m256i*>(Built().slot_ordered_window[slot]);
  for (int r = 0; r < 8; ++r, l += 4, rt += 4, w += 4, out += 8) {
    const __m128i sl = _mm_srai_epi32(RowSums(l, w), 14);
    const __m128i sr = _mm_srai_epi32(RowSums(rt, w), 14);
    const __m128i lr = _mm_packs_epi32(sl, sr);  // L0..L3 R0..R3
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_unpacklo_epi16(lr, _mm_srli_si128(lr, 8)));
  }
}

}  // namespace dsp
}  // namespace bramble
#endif
