// Windowing on 128-bit registers. History is read in storage order, two
// slots per load, and paired with the slot four places on; the coefficients
// come from a copy of the window rearranged for each write slot, so no
// per-call rotation of the history is needed.
#include "decoder/dsp/Variants.h"

#if defined(BRAMBLE_DSP_X86)
#include <emmintrin.h>

namespace bramble {
namespace dsp {

namespace {

// Sum over the 16 slots of one row for the 4 outputs of that row.
inline __m128i RowSums(const __m128i* y, const __m128i* w) {
  __m128i a = _mm_madd_epi16(_mm_unpacklo_epi16(y[0], y[2]), w[0]);
  __m128i b = _mm_madd_epi16(_mm_unpacklo_epi16(y[1], y[3]), w[1]);
  a = _mm_add_epi32(a, _mm_madd_epi16(_mm_unpackhi_epi16(y[0], y[2]), w[2]));
  b = _mm_add_epi32(b, _mm_madd_epi16(_mm_unpackhi_epi16(y[1], y[3]), w[3]));
  a = _mm_add_epi32(a, _mm_madd_epi16(_mm_unpacklo_epi16(y[4], y[6]), w[4]));
  b = _mm_add_epi32(b, _mm_madd_epi16(_mm_unpacklo_epi16(y[5], y[7]), w[5]));
  a = _mm_add_epi32(a, _mm_madd_epi16(_mm_unpackhi_epi16(y[4], y[6]), w[6]));
  b = _mm_add_epi32(b, _mm_madd_epi16(_mm_unpackhi_epi16(y[5], y[7]), w[7]));
  return _mm_add_epi32(a, b);
}

}  // namespace

void WindowSse2(const int16_t* left, const int16_t* right, int half, int slot, int16_t* out) {
  const __m128i* l = reinterpret_cast<const __m128i*>(left + 512 * half);
  const __m128i* rt = reinterpret_cast<const __m128i*>(right + 512 * half);
  const __m128i* w = reinterpret_cast<const __m128i*>(Built().slot_ordered_window[slot]);
  for (int r = 0; r < 8; ++r, l += 8, rt += 8, w += 8, out += 8) {
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
