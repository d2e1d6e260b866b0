// Windowing on 64-bit packed registers: per row and tap pair, the 4 values of
// the even tap's slot and the 4 of the odd tap's slot are interleaved and
// multiplied-and-added against 4 stored coefficient pairs, giving partial
// sums for 4 outputs in two registers. Both channels share the coefficient
// loads.
#include "decoder/dsp/Variants.h"
#include "decoder/tables/SynthesisTables.h"

#if defined(BRAMBLE_DSP_X86)
#if defined(__i386__)
// Without SSE2 the compiler keeps every packed value in the 64-bit registers
// rather than moving accumulators to 128-bit ones and back. Nothing here is
// floating point.
#pragma GCC target("no-sse2,mmx")
#endif
#include <mmintrin.h>

namespace bramble {
namespace dsp {

namespace {

// __m64 may alias any type.
inline __m64 Load64(const uint8_t* p) { return *reinterpret_cast<const __m64*>(p); }
inline void Store64(int16_t* p, __m64 v) { *reinterpret_cast<__m64*>(p) = v; }

}  // namespace

void WindowMmx(const int16_t* left, const int16_t* right, int half, int slot, int16_t* out) {
  const uint8_t* lbase = reinterpret_cast<const uint8_t*>(left + 512 * half);
  const uint8_t* rbase = reinterpret_cast<const uint8_t*>(right + 512 * half);
  const __m64* w = reinterpret_cast<const __m64*>(synthesis_window);
  const int start = 8 * slot;  // byte offset of the current slot in a row
  for (int r = 0; r < 8; ++r, lbase += 128, rbase += 128, out += 8) {
    __m64 l01 = _mm_setzero_si64(), l23 = _mm_setzero_si64();
    __m64 r01 = _mm_setzero_si64(), r23 = _mm_setzero_si64();
    int even = start;
    for (int k = 0; k < 8; ++k, w += 2) {
      const int odd = (even - 8) & 127;
      const __m64 w01 = w[0], w23 = w[1];
      __m64 a = Load64(lbase + even), b = Load64(lbase + odd);
      l01 = _mm_add_pi32(l01, _mm_madd_pi16(_mm_unpacklo_pi16(a, b), w01));
      l23 = _mm_add_pi32(l23, _mm_madd_pi16(_mm_unpackhi_pi16(a, b), w23));
      a = Load64(rbase + even);
      b = Load64(rbase + odd);
      r01 = _mm_add_pi32(r01, _mm_madd_pi16(_mm_unpacklo_pi16(a, b), w01));
      r23 = _mm_add_pi32(r23, _mm_madd_pi16(_mm_unpackhi_pi16(a, b), w23));
      even = (even - 16) & 127;
    }
    const __m64 l = _mm_packs_pi32(_mm_srai_pi32(l01, 14), _mm_srai_pi32(l23, 14));
    const __m64 rr = _mm_packs_pi32(_mm_srai_pi32(r01, 14), _mm_srai_pi32(r23, 14));
    Store64(out, _mm_unpacklo_pi16(l, rr));
    Store64(out + 4, _mm_unpackhi_pi16(l, rr));
  }
  // The packed registers alias the x87 stack; release them before any
  // floating-point code runs.
  _mm_empty();
}

}  // namespace dsp
}  // namespace bramble
#endif
