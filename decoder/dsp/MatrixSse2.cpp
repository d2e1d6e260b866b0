// Matrixing on 128-bit registers: the 32-point transform runs its 32- and
// 16-point splits four values at a time and its four 8-point problems one
// per lane; the V vector is stored with packed shuffles.
#include "decoder/dsp/Variants.h"

#if defined(BRAMBLE_DSP_X86)
#include <emmintrin.h>

// MatrixAvx2.cpp compiles this file again for AVX2 under its own names.
#ifndef BRAMBLE_MATRIX_NAME
#define BRAMBLE_MATRIX_NAME(name) name##Sse2
#endif

namespace bramble {
namespace dsp {

namespace {

#define BRAMBLE_INLINE inline __attribute__((always_inline))

BRAMBLE_INLINE __m128 Reverse(__m128 v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3)); }

// One butterfly of mirrored vectors: sum, and difference times `c`.
BRAMBLE_INLINE void Butterfly(__m128 lo, __m128 hi_reversed, __m128 c, __m128* sum, __m128* diff) {
  *sum = _mm_add_ps(lo, hi_reversed);
  *diff = _mm_mul_ps(_mm_sub_ps(lo, hi_reversed), c);
}

// 4-point transform in every lane: out[m] = sum_k y[k] cos(m(2k+1)pi/8).
BRAMBLE_INLINE void Dct4Lanes(const float (*splat)[4], __m128 y0, __m128 y1, __m128 y2, __m128 y3, __m128* out) {
  const __m128 e0 = _mm_add_ps(y0, y3), e1 = _mm_add_ps(y1, y2);
  const __m128 o0 = _mm_mul_ps(_mm_sub_ps(y0, y3), _mm_load_ps(splat[4]));
  const __m128 o1 = _mm_mul_ps(_mm_sub_ps(y1, y2), _mm_load_ps(splat[5]));
  const __m128 odd1 = _mm_mul_ps(_mm_sub_ps(o0, o1), _mm_load_ps(splat[6]));
  out[0] = _mm_add_ps(e0, e1);
  out[2] = _mm_mul_ps(_mm_sub_ps(e0, e1), _mm_load_ps(splat[6]));
  out[1] = _mm_add_ps(_mm_add_ps(o0, o1), odd1);
  out[3] = odd1;
}

// 8-point transform in every lane.
BRAMBLE_INLINE void Dct8Lanes(const float (*splat)[4], const __m128* t, __m128* y) {
  __m128 a0, a1, a2, a3, b0, b1, b2, b3, ea[4], ob[4];
  Butterfly(t[0], t[7], _mm_load_ps(splat[0]), &a0, &b0);
  Butterfly(t[1], t[6], _mm_load_ps(splat[1]), &a1, &b1);
  Butterfly(t[2], t[5], _mm_load_ps(splat[2]), &a2, &b2);
  Butterfly(t[3], t[4], _mm_load_ps(splat[3]), &a3, &b3);
  Dct4Lanes(splat, a0, a1, a2, a3, ea);
  Dct4Lanes(splat, b0, b1, b2, b3, ob);
  y[0] = ea[0];
  y[1] = _mm_add_ps(ob[0], ob[1]);
  y[2] = ea[1];
  y[3] = _mm_add_ps(ob[1], ob[2]);
  y[4] = ea[2];
  y[5] = _mm_add_ps(ob[2], ob[3]);
  y[6] = ea[3];
  y[7] = ob[3];
}

// 16-point split of the 32-point halves a and b, four of the eight mirrored
// pairs at a time, transposed so that lane p of t[j] is input j of 8-point
// problem p (a-even, a-odd, b-even, b-odd).
BRAMBLE_INLINE void Split16(__m128 a_lo, __m128 a_hi, __m128 b_lo, __m128 b_hi, __m128 c, __m128* t) {
  __m128 p0, p1, p2, p3;
  Butterfly(a_lo, Reverse(a_hi), c, &p0, &p1);
  Butterfly(b_lo, Reverse(b_hi), c, &p2, &p3);
  _MM_TRANSPOSE4_PS(p0, p1, p2, p3);
  t[0] = p0, t[1] = p1, t[2] = p2, t[3] = p3;
}

// Lanes 1 and 3 (the odd 8-point problems) take neighbouring sums, giving
// (A[2j], A[2j+1], B[2j], B[2j+1]) of the two 16-point results A and B.
BRAMBLE_INLINE __m128 Join16(__m128 y, __m128 y_next, __m128 odd) {
  return _mm_add_ps(y, _mm_and_ps(y_next, odd));
}

// X[4j..4j+3] = (A[2j], B[2j] + B[2j+1], A[2j+1], B[2j+1] + B[2j+2]).
BRAMBLE_INLINE __m128 Join32(__m128 m, __m128 m_next, __m128 odd) {
  const __m128 even = _mm_shuffle_ps(m, m, _MM_SHUFFLE(3, 1, 2, 0));
  return _mm_add_ps(even, _mm_and_ps(_mm_shuffle_ps(m, m_next, _MM_SHUFFLE(2, 2, 3, 3)), odd));
}

// Fast 32-point transform X[m] = sum_k s[k] cos(m(2k+1)pi/64). Each n-point
// stage splits into two n/2-point problems: the mirrored sums s[k] + s[n-1-k]
// give the even outputs; the mirrored differences times 1/(2cos((2k+1)pi/2n))
// give results whose neighbouring sums are the odd outputs. The 32- and
// 16-point splits run four values at a time; the four 8-point problems then
// run one per lane.
BRAMBLE_INLINE void Dct32(const BuiltTables& t, const float* s, __m128* x) {
  const float* dct32_coef = t.dct32_coef;
  __m128 a0, a1, a2, a3, b0, b1, b2, b3;
  Butterfly(_mm_loadu_ps(s), Reverse(_mm_loadu_ps(s + 28)), _mm_load_ps(dct32_coef), &a0, &b0);
  Butterfly(_mm_loadu_ps(s + 4), Reverse(_mm_loadu_ps(s + 24)), _mm_load_ps(dct32_coef + 4), &a1, &b1);
  Butterfly(_mm_loadu_ps(s + 8), Reverse(_mm_loadu_ps(s + 20)), _mm_load_ps(dct32_coef + 8), &a2, &b2);
  Butterfly(_mm_loadu_ps(s + 12), Reverse(_mm_loadu_ps(s + 16)), _mm_load_ps(dct32_coef + 12), &a3, &b3);
  __m128 u[8], y[8];
  Split16(a0, a3, b0, b3, _mm_load_ps(dct32_coef + 16), u);
  Split16(a1, a2, b1, b2, _mm_load_ps(dct32_coef + 20), u + 4);
  Dct8Lanes(t.dct_splat, u, y);
  const __m128 odd = _mm_castsi128_ps(_mm_setr_epi32(0, -1, 0, -1));
  const __m128 zero = _mm_setzero_ps();
  const __m128 m0 = Join16(y[0], y[1], odd), m1 = Join16(y[1], y[2], odd);
  const __m128 m2 = Join16(y[2], y[3], odd), m3 = Join16(y[3], y[4], odd);
  const __m128 m4 = Join16(y[4], y[5], odd), m5 = Join16(y[5], y[6], odd);
  const __m128 m6 = Join16(y[6], y[7], odd), m7 = y[7];
  x[0] = Join32(m0, m1, odd);
  x[1] = Join32(m1, m2, odd);
  x[2] = Join32(m2, m3, odd);
  x[3] = Join32(m3, m4, odd);
  x[4] = Join32(m4, m5, odd);
  x[5] = Join32(m5, m6, odd);
  x[6] = Join32(m6, m7, odd);
  x[7] = Join32(m7, zero, odd);
}

// Limit to +-32767 (before conversion, so it never overflows; a NaN becomes
// -32767) and convert with the default round-to-nearest-even mode.
BRAMBLE_INLINE __m128i ToPcm(__m128 x0, __m128 x1) {
  const __m128 lo = _mm_set1_ps(-32767.0f), hi = _mm_set1_ps(32767.0f);
  const __m128i a = _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(x0, lo), hi));
  const __m128i b = _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(x1, lo), hi));
  return _mm_packs_epi32(a, b);
}

// True when one of the 32 scaled values rounds beyond +-32767, so that
// limiting it changed what the 16-bit history holds.
__attribute__((noinline)) bool AnyLimited(const float* x) {
  const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  __m128 peak = _mm_setzero_ps();
  for (int i = 0; i < 8; ++i) peak = _mm_max_ps(peak, _mm_and_ps(_mm_load_ps(x + 4 * i), magnitude));
  return _mm_movemask_ps(_mm_cmpge_ps(peak, _mm_set1_ps(32767.5f))) != 0;
}

// True when a stored value is +-32767: the only values a limited one can
// have, and rare otherwise.
BRAMBLE_INLINE bool AnyAtFullScale(__m128i q0, __m128i q1, __m128i q2, __m128i q3) {
  const __m128i hi = _mm_max_epi16(_mm_max_epi16(q0, q1), _mm_max_epi16(q2, q3));
  const __m128i lo = _mm_min_epi16(_mm_min_epi16(q0, q1), _mm_min_epi16(q2, q3));
  const __m128i full = _mm_or_si128(_mm_cmpgt_epi16(hi, _mm_set1_epi16(32766)),
                                    _mm_cmplt_epi16(lo, _mm_set1_epi16(-32766)));
  return _mm_movemask_epi8(full) != 0;
}

BRAMBLE_INLINE __m128i Reverse8(__m128i v) {
  v = _mm_shuffle_epi32(v, 0x4E);
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0x1B), 0x1B);
}

inline void StoreLow(int16_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }
inline void StoreHigh(int16_t* p, __m128i v) {
  _mm_storeh_pi(reinterpret_cast<__m64*>(p), _mm_castsi128_ps(v));
}

}  // namespace

void BRAMBLE_MATRIX_NAME(Dct32)(const float* in, float* out) {
  __m128 x[8];
  Dct32(Built(), in, x);
  for (int j = 0; j < 8; ++j) _mm_storeu_ps(out + 4 * j, x[j]);
}

// V[i] = sum_k cos((16+i)(2k+1)pi/64) s[k] equals X[16+i] of the 32-point
// transform, and with X[32] = 0, X[64-m] = -X[m], X[64+m] = -X[m]:
//   V[0..15] = X[16..31], V[16] = 0, V[17..47] = -X[31..1], V[48..63] = -X[0..15].
// V[0..31] go to the current half, V[32..63] to the other, at the current slot.
bool BRAMBLE_MATRIX_NAME(Matrix)(const float* s, float scale_factor, int16_t* history, int half, int slot,
                                 float* unlimited) {
  __m128 x[8];
  Dct32(Built(), s, x);
  const __m128 scale = _mm_set1_ps(scale_factor);
  x[0] = _mm_mul_ps(x[0], scale), x[1] = _mm_mul_ps(x[1], scale);
  x[2] = _mm_mul_ps(x[2], scale), x[3] = _mm_mul_ps(x[3], scale);
  x[4] = _mm_mul_ps(x[4], scale), x[5] = _mm_mul_ps(x[5], scale);
  x[6] = _mm_mul_ps(x[6], scale), x[7] = _mm_mul_ps(x[7], scale);
  const int h = half & 1;
  slot &= 15;
  for (int i = 0; i < 8; ++i) _mm_store_ps(unlimited + 4 * i, x[i]);

  const __m128i q0 = ToPcm(x[0], x[1]), q1 = ToPcm(x[2], x[3]);
  const __m128i q2 = ToPcm(x[4], x[5]), q3 = ToPcm(x[6], x[7]);
  const bool limited = AnyAtFullScale(q0, q1, q2, q3) && AnyLimited(unlimited);
  int16_t* cur = history + 512 * h + 4 * slot;
  int16_t* oth = history + 512 * (1 - h) + 4 * slot;

  StoreLow(cur, q2);
  StoreHigh(cur + 64, q2);
  StoreLow(cur + 128, q3);
  StoreHigh(cur + 192, q3);

  const __m128i zero = _mm_setzero_si128();
  const __m128i n0 = _mm_sub_epi16(zero, q0), n1 = _mm_sub_epi16(zero, q1);
  StoreLow(oth + 256, n0);
  StoreHigh(oth + 320, n0);
  StoreLow(oth + 384, n1);
  StoreHigh(oth + 448, n1);

  // X[32], X[31], ..., X[1] negated, eight at a time.
  const __m128i r3 = Reverse8(q3), r2 = Reverse8(q2), r1 = Reverse8(q1), r0 = Reverse8(q0);
  const __m128i m0 = _mm_sub_epi16(zero, _mm_slli_si128(r3, 2));
  const __m128i m1 = _mm_sub_epi16(zero, _mm_or_si128(_mm_srli_si128(r3, 14), _mm_slli_si128(r2, 2)));
  const __m128i m2 = _mm_sub_epi16(zero, _mm_or_si128(_mm_srli_si128(r2, 14), _mm_slli_si128(r1, 2)));
  const __m128i m3 = _mm_sub_epi16(zero, _mm_or_si128(_mm_srli_si128(r1, 14), _mm_slli_si128(r0, 2)));
  // V[16] is zero for every input and is never stored: keep what is there.
  const __m128i keep = _mm_setr_epi16(-1, 0, 0, 0, 0, 0, 0, 0);
  const __m128i old = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cur + 256));
  StoreLow(cur + 256, _mm_or_si128(_mm_and_si128(keep, old), _mm_andnot_si128(keep, m0)));
  StoreHigh(cur + 320, m0);
  StoreLow(cur + 384, m1);
  StoreHigh(cur + 448, m1);
  StoreLow(oth, m2);
  StoreHigh(oth + 64, m2);
  StoreLow(oth + 128, m3);
  StoreHigh(oth + 192, m3);
  return limited;
}

}  // namespace dsp
}  // namespace bramble
#endif
