// Layer III alias reduction, short-block reordering and the hybrid
// filterbank: 36-point and 12-point inverse MDCTs with windowing and
// overlap-add (ISO/IEC 11172-3 2.4.3.4.10 .. 2.4.3.4.11).
//
// Both transforms use the same factorisation. With theta = pi (2i + n0) / 2N,
//   2 cos(theta) sum X[k] cos((2k+1) theta) = sum Y[m] cos(2m theta),
// Y[m] = X[m] + X[m-1] (the top term vanishes for every output i); splitting
// Y into even and odd m and applying the same step once more to the odd half
// leaves two cosine sums of half length (9 points, or 3 for short blocks)
// whose outputs, added and subtracted, give every output sample. The factor
// 2 cos(theta) is divided out by the window tables.
#include <cstdio>
#include <cstring>

#include "decoder/Layer3Tables.h"
#include "decoder/MpegDecoder.h"

namespace bramble {

namespace {

// Highest line holding a nonzero value, or -1 when all are zero.
inline int LastNonzero(const float* x) {
  int i = 575;
  while (i >= 0 && x[i] == 0.0f) --i;
  return i;
}

// The eight butterflies across the boundary below sub-band sb.
inline void Butterflies(const float* in, float* out, int sb) {
  const float* lo_in = in + 18 * sb - 1;
  const float* hi_in = in + 18 * sb;
  float* lo_out = out + 18 * sb - 1;
  float* hi_out = out + 18 * sb;
  for (int i = 0; i < 8; ++i) {
    const float lo = lo_in[-i];
    const float hi = hi_in[i];
    lo_out[-i] = lo * aa_cs[i] - hi * aa_ca[i];
    hi_out[i] = hi * aa_cs[i] + lo * aa_ca[i];
  }
}

void AntialiasLong(const float* xr, float* aa) {
  const int last = LastNonzero(xr);
  if (last < 0) {
    std::memset(aa, 0, 576 * sizeof(float));
    return;
  }
  // Above the last nonzero sub-band every butterfly sees zeros on both sides.
  const int nsb = last / 18 + 1;
  const int top = nsb < 32 ? nsb : 31;
  for (int i = 0; i < 8; ++i) aa[i] = xr[i];
  for (int sb = 1; sb <= top; ++sb) Butterflies(xr, aa, sb);
  for (int sb = 0; sb < top; ++sb) {
    aa[18 * sb + 8] = xr[18 * sb + 8];
    aa[18 * sb + 9] = xr[18 * sb + 9];
  }
  if (nsb == 32)
    for (int i = 18 * 31 + 8; i < 576; ++i) aa[i] = xr[i];
  else
    std::memset(aa + 18 * nsb + 8, 0, size_t(576 - 18 * nsb - 8) * sizeof(float));
}

// C[v] = sum (j = 0..8) a[j] cos(j pi (2v + 1) / 18), v = 0..8. C[8 - v]
// differs from C[v] only in the sign of the odd-j terms.
inline void Cosine9(const float* a, float* c) {
  const float c1 = imdct_cos9[1], c2 = imdct_cos9[2], c3 = imdct_cos9[3], c4 = imdct_cos9[4];
  const float c5 = imdct_cos9[5], c6 = imdct_cos9[6], c7 = imdct_cos9[7], c8 = imdct_cos9[8];
  const float a0 = a[0], a1 = a[1], a2 = a[2], a3 = a[3], a4 = a[4];
  const float a5 = a[5], a6 = a[6], a7 = a[7], a8 = a[8];

  const float e0 = a0 + a2 * c2 + a4 * c4 + a6 * c6 + a8 * c8;
  const float o0 = a1 * c1 + a3 * c3 + a5 * c5 + a7 * c7;
  const float e1 = a0 - a6 + c6 * (a2 - a4 - a8);
  const float o1 = c3 * (a1 - a5 - a7);
  const float e2 = a0 - a2 * c8 - a4 * c2 + a6 * c6 + a8 * c4;
  const float o2 = a1 * c5 - a3 * c3 - a5 * c7 + a7 * c1;
  const float e3 = a0 - a2 * c4 + a4 * c8 + a6 * c6 - a8 * c2;
  const float o3 = a1 * c7 - a3 * c3 + a5 * c1 - a7 * c5;

  c[0] = e0 + o0;
  c[8] = e0 - o0;
  c[1] = e1 + o1;
  c[7] = e1 - o1;
  c[2] = e2 + o2;
  c[6] = e2 - o2;
  c[3] = e3 + o3;
  c[5] = e3 - o3;
  c[4] = a0 - a2 + a4 - a6 + a8;
}

// One long sub-band: out (stride 32) = prev + first half, next = second half.
inline void Imdct36(const float* x, const float* win, const float* prev, float* out,
                    float* next) {
  float even[9], odd[9];
  even[0] = x[0];
  even[1] = x[2] + x[1];
  even[2] = x[4] + x[3];
  even[3] = x[6] + x[5];
  even[4] = x[8] + x[7];
  even[5] = x[10] + x[9];
  even[6] = x[12] + x[11];
  even[7] = x[14] + x[13];
  even[8] = x[16] + x[15];
  const float y1 = x[1] + x[0], y3 = x[3] + x[2], y5 = x[5] + x[4];
  const float y7 = x[7] + x[6], y9 = x[9] + x[8], y11 = x[11] + x[10];
  const float y13 = x[13] + x[12], y15 = x[15] + x[14], y17 = x[17] + x[16];
  odd[0] = y1;
  odd[1] = y3 + y1;
  odd[2] = y5 + y3;
  odd[3] = y7 + y5;
  odd[4] = y9 + y7;
  odd[5] = y11 + y9;
  odd[6] = y13 + y11;
  odd[7] = y15 + y13;
  odd[8] = y17 + y15;

  float ce[9], co[9];
  Cosine9(even, ce);
  Cosine9(odd, co);

#define BRAMBLE_IMDCT36_PAIR(v)                                \
  {                                                            \
    const float o = co[v] * imdct_tfcos36[v];                  \
    const float s = ce[v] + o;                                 \
    const float d = ce[v] - o;                                 \
    next[9 + (v)] = s * win[27 + (v)];                         \
    next[8 - (v)] = s * win[26 - (v)];                         \
    out[32 * (8 - (v))] = prev[8 - (v)] + d * win[8 - (v)];    \
    out[32 * (9 + (v))] = prev[9 + (v)] + d * win[9 + (v)];    \
  }
  BRAMBLE_IMDCT36_PAIR(0)
  BRAMBLE_IMDCT36_PAIR(1)
  BRAMBLE_IMDCT36_PAIR(2)
  BRAMBLE_IMDCT36_PAIR(3)
  BRAMBLE_IMDCT36_PAIR(4)
  BRAMBLE_IMDCT36_PAIR(5)
  BRAMBLE_IMDCT36_PAIR(6)
  BRAMBLE_IMDCT36_PAIR(7)
  BRAMBLE_IMDCT36_PAIR(8)
#undef BRAMBLE_IMDCT36_PAIR
}

// One short window: x[3k] for k = 0..5 in, 12 windowed samples out.
inline void Imdct12Window(const float* x, float* y) {
  const float* win = imdct_win[2];
  const float cs = imdct_cos6[0], ch = imdct_cos6[1];
  const float e0 = x[0];
  const float e1 = x[6] + x[3];
  const float e2 = x[12] + x[9];
  const float y1 = x[3] + x[0], y3 = x[9] + x[6], y5 = x[15] + x[12];
  const float o0 = y1, o1 = y3 + y1, o2 = y5 + y3;

  const float ev0 = e0 + e1 * cs + e2 * ch;
  const float ev1 = e0 - e2;
  const float ev2 = e0 - e1 * cs + e2 * ch;
  const float od0 = (o0 + o1 * cs + o2 * ch) * imdct_tfcos12[0];
  const float od1 = (o0 - o2) * imdct_tfcos12[1];
  const float od2 = (o0 - o1 * cs + o2 * ch) * imdct_tfcos12[2];

  const float d0 = ev0 - od0, d1 = ev1 - od1, d2 = ev2 - od2;
  const float s0 = ev0 + od0, s1 = ev1 + od1, s2 = ev2 + od2;
  y[2] = d0 * win[2];
  y[3] = d0 * win[3];
  y[1] = d1 * win[1];
  y[4] = d1 * win[4];
  y[0] = d2 * win[0];
  y[5] = d2 * win[5];
  y[8] = s0 * win[8];
  y[9] = s0 * win[9];
  y[7] = s1 * win[7];
  y[10] = s1 * win[10];
  y[6] = s2 * win[6];
  y[11] = s2 * win[11];
}

// One short sub-band: three overlapping windows at offsets 6, 12 and 18.
inline void Imdct12(const float* x, const float* prev, float* out, float* next) {
  float w0[12], w1[12], w2[12];
  Imdct12Window(x, w0);
  Imdct12Window(x + 1, w1);
  Imdct12Window(x + 2, w2);
  for (int i = 0; i < 6; ++i) {
    out[32 * i] = prev[i];
    out[32 * (6 + i)] = prev[6 + i] + w0[i];
    out[32 * (12 + i)] = prev[12 + i] + (w0[6 + i] + w1[i]);
    next[i] = w1[6 + i] + w2[i];
    next[6 + i] = w2[6 + i];
    next[12 + i] = 0.0f;
  }
}

}  // namespace

void MpegDecoder::Antialias(int ch, int gr, const float* xr, float* aa) {
  const GranuleInfo& gi = side_info.ch[ch].gr[gr];
  if (!gi.short_block) {
    AntialiasLong(xr, aa);
    return;
  }
  const int32_t* reorder = ShortReorder(lsf, sampling_frequency);
  if (!gi.mixed_block_flag) {
    for (int i = 0; i < 576; ++i) aa[i] = xr[reorder[i]];
    return;
  }
  for (int i = 0; i < 36; ++i) aa[i] = xr[i];
  for (int i = 36; i < 576; ++i) aa[i] = xr[reorder[i]];
  float lo_hi[16];
  for (int i = 0; i < 8; ++i) {
    lo_hi[i] = aa[17 - i];
    lo_hi[8 + i] = aa[18 + i];
  }
  for (int i = 0; i < 8; ++i) {
    aa[17 - i] = lo_hi[i] * aa_cs[i] - lo_hi[8 + i] * aa_ca[i];
    aa[18 + i] = lo_hi[8 + i] * aa_cs[i] + lo_hi[i] * aa_ca[i];
  }
  std::fputs("Notchecked!", stderr);
}

void MpegDecoder::HybridFilterbank(int ch, int gr, float* aa, float* xr) {
  const GranuleInfo& gi = side_info.ch[ch].gr[gr];
  const float* prev = overlap[ch][overlap_select & 1];
  float* next = overlap[ch][(overlap_select & 1) ^ 1];
  const int block_type = gi.block_type & 3;
  const int low_type = gi.mixed_block_flag ? 0 : block_type;

  // An all-zero sub-band transforms to zero: its output is the old overlap
  // and its new overlap is zero.
  const int last = LastNonzero(aa);
  const int nsb = last < 0 ? 0 : last / 18 + 1;
  for (int sb = 0; sb < nsb; ++sb) {
    const int type = sb < 2 ? low_type : block_type;
    const float* x = aa + 18 * sb;
    if (type == 2)
      Imdct12(x, prev + 18 * sb, xr + sb, next + 18 * sb);
    else
      Imdct36(x, imdct_win[type], prev + 18 * sb, xr + sb, next + 18 * sb);
  }
  for (int sb = nsb; sb < 32; ++sb) {
    for (int i = 0; i < 18; ++i) {
      xr[32 * i + sb] = prev[18 * sb + i];
      next[18 * sb + i] = 0.0f;
    }
  }
}

}  // namespace bramble
