// Polyphase synthesis: matrixing of 32 sub-band samples into the V vector
// (floating point, stored as 16-bit integers in the per-channel history) and
// windowing of the history into 32 interleaved stereo PCM pairs.
#include <emmintrin.h>

#include <cmath>

#include "decoder/MpegDecoder.h"
#include "decoder/SynthesisWindow.h"

#define BRAMBLE_ALWAYS_INLINE static inline __attribute__((always_inline))

namespace bramble {

float dct32_coef[31];
SynthesisWindowFn synthesis_window_fn = WindowScalar;

namespace {

bool g_synthesis_tables_built = false;

// The n-point transforms below compute X[m] = sum_k in[k] cos(m(2k+1)pi/2n)
// by halving: the mirrored sums in[k] + in[n-1-k] give the even outputs, the
// mirrored differences times 1/(2cos((2k+1)pi/2n)) give, through the half-size
// transform, results whose neighbouring sums are the odd outputs.
BRAMBLE_ALWAYS_INLINE void Dct2(const float* in, float* out) {
  out[0] = in[0] + in[1];
  out[1] = (in[0] - in[1]) * dct32_coef[30];
}

BRAMBLE_ALWAYS_INLINE void Dct4(const float* in, float* out) {
  const float* c = dct32_coef + 28;
  float a[2], b[2], ea[2], ob[2];
  a[0] = in[0] + in[3];
  a[1] = in[1] + in[2];
  b[0] = (in[0] - in[3]) * c[0];
  b[1] = (in[1] - in[2]) * c[1];
  Dct2(a, ea);
  Dct2(b, ob);
  out[0] = ea[0];
  out[2] = ea[1];
  out[1] = ob[0] + ob[1];
  out[3] = ob[1];
}

BRAMBLE_ALWAYS_INLINE void Dct8(const float* in, float* out) {
  const float* c = dct32_coef + 24;
  float a[4], b[4], ea[4], ob[4];
  a[0] = in[0] + in[7];
  a[1] = in[1] + in[6];
  a[2] = in[2] + in[5];
  a[3] = in[3] + in[4];
  b[0] = (in[0] - in[7]) * c[0];
  b[1] = (in[1] - in[6]) * c[1];
  b[2] = (in[2] - in[5]) * c[2];
  b[3] = (in[3] - in[4]) * c[3];
  Dct4(a, ea);
  Dct4(b, ob);
  out[0] = ea[0];
  out[2] = ea[1];
  out[4] = ea[2];
  out[6] = ea[3];
  out[1] = ob[0] + ob[1];
  out[3] = ob[1] + ob[2];
  out[5] = ob[2] + ob[3];
  out[7] = ob[3];
}

BRAMBLE_ALWAYS_INLINE void Dct16(const float* in, float* out) {
  const float* c = dct32_coef + 16;
  float a[8], b[8], ea[8], ob[8];
  a[0] = in[0] + in[15];
  a[1] = in[1] + in[14];
  a[2] = in[2] + in[13];
  a[3] = in[3] + in[12];
  a[4] = in[4] + in[11];
  a[5] = in[5] + in[10];
  a[6] = in[6] + in[9];
  a[7] = in[7] + in[8];
  b[0] = (in[0] - in[15]) * c[0];
  b[1] = (in[1] - in[14]) * c[1];
  b[2] = (in[2] - in[13]) * c[2];
  b[3] = (in[3] - in[12]) * c[3];
  b[4] = (in[4] - in[11]) * c[4];
  b[5] = (in[5] - in[10]) * c[5];
  b[6] = (in[6] - in[9]) * c[6];
  b[7] = (in[7] - in[8]) * c[7];
  Dct8(a, ea);
  Dct8(b, ob);
  out[0] = ea[0];
  out[2] = ea[1];
  out[4] = ea[2];
  out[6] = ea[3];
  out[8] = ea[4];
  out[10] = ea[5];
  out[12] = ea[6];
  out[14] = ea[7];
  out[1] = ob[0] + ob[1];
  out[3] = ob[1] + ob[2];
  out[5] = ob[2] + ob[3];
  out[7] = ob[3] + ob[4];
  out[9] = ob[4] + ob[5];
  out[11] = ob[5] + ob[6];
  out[13] = ob[6] + ob[7];
  out[15] = ob[7];
}

BRAMBLE_ALWAYS_INLINE void Dct32(const float* in, float* out) {
  const float* c = dct32_coef + 0;
  float a[16], b[16], ea[16], ob[16];
  a[0] = in[0] + in[31];
  a[1] = in[1] + in[30];
  a[2] = in[2] + in[29];
  a[3] = in[3] + in[28];
  a[4] = in[4] + in[27];
  a[5] = in[5] + in[26];
  a[6] = in[6] + in[25];
  a[7] = in[7] + in[24];
  a[8] = in[8] + in[23];
  a[9] = in[9] + in[22];
  a[10] = in[10] + in[21];
  a[11] = in[11] + in[20];
  a[12] = in[12] + in[19];
  a[13] = in[13] + in[18];
  a[14] = in[14] + in[17];
  a[15] = in[15] + in[16];
  b[0] = (in[0] - in[31]) * c[0];
  b[1] = (in[1] - in[30]) * c[1];
  b[2] = (in[2] - in[29]) * c[2];
  b[3] = (in[3] - in[28]) * c[3];
  b[4] = (in[4] - in[27]) * c[4];
  b[5] = (in[5] - in[26]) * c[5];
  b[6] = (in[6] - in[25]) * c[6];
  b[7] = (in[7] - in[24]) * c[7];
  b[8] = (in[8] - in[23]) * c[8];
  b[9] = (in[9] - in[22]) * c[9];
  b[10] = (in[10] - in[21]) * c[10];
  b[11] = (in[11] - in[20]) * c[11];
  b[12] = (in[12] - in[19]) * c[12];
  b[13] = (in[13] - in[18]) * c[13];
  b[14] = (in[14] - in[17]) * c[14];
  b[15] = (in[15] - in[16]) * c[15];
  Dct16(a, ea);
  Dct16(b, ob);
  out[0] = ea[0];
  out[2] = ea[1];
  out[4] = ea[2];
  out[6] = ea[3];
  out[8] = ea[4];
  out[10] = ea[5];
  out[12] = ea[6];
  out[14] = ea[7];
  out[16] = ea[8];
  out[18] = ea[9];
  out[20] = ea[10];
  out[22] = ea[11];
  out[24] = ea[12];
  out[26] = ea[13];
  out[28] = ea[14];
  out[30] = ea[15];
  out[1] = ob[0] + ob[1];
  out[3] = ob[1] + ob[2];
  out[5] = ob[2] + ob[3];
  out[7] = ob[3] + ob[4];
  out[9] = ob[4] + ob[5];
  out[11] = ob[5] + ob[6];
  out[13] = ob[6] + ob[7];
  out[15] = ob[7] + ob[8];
  out[17] = ob[8] + ob[9];
  out[19] = ob[9] + ob[10];
  out[21] = ob[10] + ob[11];
  out[23] = ob[11] + ob[12];
  out[25] = ob[12] + ob[13];
  out[27] = ob[13] + ob[14];
  out[29] = ob[14] + ob[15];
  out[31] = ob[15];
}

// Scale, limit to +-32767 (before conversion, so it never overflows; a NaN
// becomes -32767) and convert with the default round-to-nearest-even mode.
inline __m128i ToPcm(const float* x, __m128 scale) {
  const __m128 lo = _mm_set1_ps(-32767.0f), hi = _mm_set1_ps(32767.0f);
  const __m128i a = _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(_mm_mul_ps(_mm_load_ps(x), scale), lo), hi));
  const __m128i b =
      _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(_mm_mul_ps(_mm_load_ps(x + 4), scale), lo), hi));
  return _mm_packs_epi32(a, b);
}

inline __m128i Reverse8(__m128i v) {
  v = _mm_shuffle_epi32(v, 0x4E);
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0x1B), 0x1B);
}

inline void StoreLow(int16_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }
inline void StoreHigh(int16_t* p, __m128i v) {
  _mm_storeh_pi(reinterpret_cast<__m64*>(p), _mm_castsi128_ps(v));
}

}  // namespace

void SynthesisDct32(const float* in, float* out) { Dct32(in, out); }

void BuildSynthesisTables() {
  if (g_synthesis_tables_built) return;
  const double pi = 3.14159265358979323846;
  int i = 0;
  for (int n = 64; n >= 4; n /= 2)
    for (int k = 0; k < n / 4; ++k) dct32_coef[i++] = float(1.0 / (2.0 * std::cos((2 * k + 1) * pi / n)));
#if defined(BRAMBLE_X86_WINDOWS)
  BuildSlotOrderedWindow();
#if defined(__x86_64__)
  synthesis_window_fn = CpuHasAvx2() ? WindowAvx2 : WindowSse2;
#else
  synthesis_window_fn = WindowMmx;
#endif
#endif
  g_synthesis_tables_built = true;
}

// V[i] = sum_k cos((16+i)(2k+1)pi/64) s[k] equals X[16+i] of the 32-point
// transform, and with X[32] = 0, X[64-m] = -X[m], X[64+m] = -X[m]:
//   V[0..15] = X[16..31], V[16] = 0, V[17..47] = -X[31..1], V[48..63] = -X[0..15].
// V[0..31] go to the current half, V[32..63] to the other, at the current slot.
void MpegDecoder::Matrix(const float* s, int ch) {
  alignas(16) float x[32];
  Dct32(s, x);
  const __m128 scale = _mm_set1_ps(pcm_scale);
  const __m128i q0 = ToPcm(x, scale), q1 = ToPcm(x + 8, scale);
  const __m128i q2 = ToPcm(x + 16, scale), q3 = ToPcm(x + 24, scale);

  const int h = synth_half & 1, slot = synth_slot & 15;
  int16_t* cur = SynthesisBuffer(ch) + 512 * h + 4 * slot;
  int16_t* oth = SynthesisBuffer(ch) + 512 * (1 - h) + 4 * slot;

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
}

void MpegDecoder::Synthesize(const float* s0, const float* s1) {
  // A frame never yields more than this; refuse rather than write past it.
  if (pcm_out == nullptr || pcm_out_count < 0 || pcm_out_count > kMaxPcmBytesPerFrame / 2 - 64)
    return;
  Matrix(s0, 0);
  Matrix(s1, 1);
  const int16_t* left = SynthesisBuffer(0);
  const int16_t* right = output_stereo ? SynthesisBuffer(1) : left;
  synthesis_window_fn(left, right, synth_half & 1, synth_slot & 15, pcm_out + pcm_out_count);
  pcm_out_count += 64;
  synth_slot = (synth_slot + 1) & 15;
  synth_half ^= 1;
}

}  // namespace bramble
