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
//
// The overlap store is kept time-major (32 t + sb) like the output, so that
// four neighbouring sub-bands read and write it as one vector.
#include <cstdio>
#include <cstring>

#include "decoder/Float4.h"
#include "decoder/Layer3.h"
#include "decoder/tables/BuiltTables.h"

namespace bramble {

namespace {

// The eight butterflies across the boundary below sub-band sb. All inputs
// are loaded before anything is stored, so in and out may be the same.
inline void Butterflies(const float* in, float* out, int sb) {
  const float* hi_in = in + 18 * sb;
  const Float4 hi0 = Float4::Load(hi_in), hi1 = Float4::Load(hi_in + 4);
  const Float4 lo0 = Float4::Load(hi_in - 4).Reversed();  // lines 18sb-1 .. 18sb-4
  const Float4 lo1 = Float4::Load(hi_in - 8).Reversed();
  const Float4 cs0 = Float4::Load(Built().aa_cs), cs1 = Float4::Load(Built().aa_cs + 4);
  const Float4 ca0 = Float4::Load(Built().aa_ca), ca1 = Float4::Load(Built().aa_ca + 4);
  float* hi_out = out + 18 * sb;
  (lo0 * cs0 - hi0 * ca0).Reversed().Store(hi_out - 4);
  (lo1 * cs1 - hi1 * ca1).Reversed().Store(hi_out - 8);
  (hi0 * cs0 + lo0 * ca0).Store(hi_out);
  (hi1 * cs1 + lo1 * ca1).Store(hi_out + 4);
}

void AntialiasLong(const float* xr, float* aa) {
  const int last = LastNonzero(xr, 576);
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

#if defined(__GNUC__)
#define BRAMBLE_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define BRAMBLE_ALWAYS_INLINE inline
#endif

// The transforms run on four neighbouring sub-bands at once, one per lane.
// Time sample i of the lanes lives at ptr + stride * i (stride 32 for the
// output and the overlap store).
inline Float4 L(const Lanes4& c) { return Float4::LoadAligned(c.v); }

// C[v] = sum (j = 0..8) a[j] cos(j pi (2v + 1) / 18), v = 0..8. C[8 - v]
// differs from C[v] only in the sign of the odd-j terms.
BRAMBLE_ALWAYS_INLINE void Cosine9(const Float4* a, Float4* c) {
  const Float4 c1 = L(Built().imdct_cos9_4[1]), c2 = L(Built().imdct_cos9_4[2]), c3 = L(Built().imdct_cos9_4[3]);
  const Float4 c4 = L(Built().imdct_cos9_4[4]), c5 = L(Built().imdct_cos9_4[5]), c6 = L(Built().imdct_cos9_4[6]);
  const Float4 c7 = L(Built().imdct_cos9_4[7]), c8 = L(Built().imdct_cos9_4[8]);
  const Float4 a0 = a[0], a1 = a[1], a2 = a[2], a3 = a[3], a4 = a[4];
  const Float4 a5 = a[5], a6 = a[6], a7 = a[7], a8 = a[8];

  const Float4 e0 = a0 + a2 * c2 + a4 * c4 + a6 * c6 + a8 * c8;
  const Float4 o0 = a1 * c1 + a3 * c3 + a5 * c5 + a7 * c7;
  const Float4 e1 = a0 - a6 + c6 * (a2 - a4 - a8);
  const Float4 o1 = c3 * (a1 - a5 - a7);
  const Float4 e2 = a0 - a2 * c8 - a4 * c2 + a6 * c6 + a8 * c4;
  const Float4 o2 = a1 * c5 - a3 * c3 - a5 * c7 + a7 * c1;
  const Float4 e3 = a0 - a2 * c4 + a4 * c8 + a6 * c6 - a8 * c2;
  const Float4 o3 = a1 * c7 - a3 * c3 + a5 * c1 - a7 * c5;

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

// Long transform: out = prev + first windowed half, next = second half.
BRAMBLE_ALWAYS_INLINE void Imdct36(const Float4* x, const Lanes4* win, const float* prev,
                                   float* out, float* next, int stride) {
  Float4 even[9], odd[9];
  even[0] = x[0];
  even[1] = x[2] + x[1];
  even[2] = x[4] + x[3];
  even[3] = x[6] + x[5];
  even[4] = x[8] + x[7];
  even[5] = x[10] + x[9];
  even[6] = x[12] + x[11];
  even[7] = x[14] + x[13];
  even[8] = x[16] + x[15];
  const Float4 y1 = x[1] + x[0], y3 = x[3] + x[2], y5 = x[5] + x[4];
  const Float4 y7 = x[7] + x[6], y9 = x[9] + x[8], y11 = x[11] + x[10];
  const Float4 y13 = x[13] + x[12], y15 = x[15] + x[14], y17 = x[17] + x[16];
  odd[0] = y1;
  odd[1] = y3 + y1;
  odd[2] = y5 + y3;
  odd[3] = y7 + y5;
  odd[4] = y9 + y7;
  odd[5] = y11 + y9;
  odd[6] = y13 + y11;
  odd[7] = y15 + y13;
  odd[8] = y17 + y15;

  Float4 ce[9], co[9];
  Cosine9(even, ce);
  Cosine9(odd, co);

#define BRAMBLE_IMDCT36_PAIR(v)                                                  \
  {                                                                              \
    const Float4 o = co[v] * L(Built().imdct_tfcos36_4[v]);                              \
    const Float4 s = ce[v] + o;                                                  \
    const Float4 d = ce[v] - o;                                                  \
    (s * L(win[27 + (v)])).Store(next + stride * (9 + (v)));                        \
    (s * L(win[26 - (v)])).Store(next + stride * (8 - (v)));                        \
    (Float4::Load(prev + stride * (8 - (v))) + d * L(win[8 - (v)]))                 \
        .Store(out + stride * (8 - (v)));                                        \
    (Float4::Load(prev + stride * (9 + (v))) + d * L(win[9 + (v)]))                 \
        .Store(out + stride * (9 + (v)));                                        \
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
BRAMBLE_ALWAYS_INLINE void Imdct12Window(const Float4* x, Float4* y) {
  const Lanes4* win = Built().imdct_win4[2];
  const Float4 cs = L(Built().imdct_cos6_4[0]), ch = L(Built().imdct_cos6_4[1]);
  const Float4 e0 = x[0];
  const Float4 e1 = x[6] + x[3];
  const Float4 e2 = x[12] + x[9];
  const Float4 y1 = x[3] + x[0], y3 = x[9] + x[6], y5 = x[15] + x[12];
  const Float4 o0 = y1, o1 = y3 + y1, o2 = y5 + y3;

  const Float4 ev0 = e0 + e1 * cs + e2 * ch;
  const Float4 ev1 = e0 - e2;
  const Float4 ev2 = e0 - e1 * cs + e2 * ch;
  const Float4 od0 = (o0 + o1 * cs + o2 * ch) * L(Built().imdct_tfcos12_4[0]);
  const Float4 od1 = (o0 - o2) * L(Built().imdct_tfcos12_4[1]);
  const Float4 od2 = (o0 - o1 * cs + o2 * ch) * L(Built().imdct_tfcos12_4[2]);

  const Float4 d0 = ev0 - od0, d1 = ev1 - od1, d2 = ev2 - od2;
  const Float4 s0 = ev0 + od0, s1 = ev1 + od1, s2 = ev2 + od2;
  y[2] = d0 * L(win[2]);
  y[3] = d0 * L(win[3]);
  y[1] = d1 * L(win[1]);
  y[4] = d1 * L(win[4]);
  y[0] = d2 * L(win[0]);
  y[5] = d2 * L(win[5]);
  y[8] = s0 * L(win[8]);
  y[9] = s0 * L(win[9]);
  y[7] = s1 * L(win[7]);
  y[10] = s1 * L(win[10]);
  y[6] = s2 * L(win[6]);
  y[11] = s2 * L(win[11]);
}

// Short transform: three overlapping windows at offsets 6, 12 and 18.
BRAMBLE_ALWAYS_INLINE void Imdct12(const Float4* x, const float* prev, float* out, float* next,
                                   int stride) {
  Float4 w0[12], w1[12], w2[12];
  Imdct12Window(x, w0);
  Imdct12Window(x + 1, w1);
  Imdct12Window(x + 2, w2);
  const Float4 zero = 0.0f;
  for (int i = 0; i < 6; ++i) {
    Float4::Load(prev + stride * i).Store(out + stride * i);
    (Float4::Load(prev + stride * (6 + i)) + w0[i]).Store(out + stride * (6 + i));
    (Float4::Load(prev + stride * (12 + i)) + (w0[6 + i] + w1[i])).Store(out + stride * (12 + i));
    (w1[6 + i] + w2[i]).Store(next + stride * i);
    w2[6 + i].Store(next + stride * (6 + i));
    zero.Store(next + stride * (12 + i));
  }
}

// The 18 inputs of sub-bands sb .. sb + 3, lane l holding sub-band sb + l.
inline void LoadInputs(const float* aa, int sb, Float4* x) {
  const float* r = aa + 18 * sb;
  for (int k = 0; k < 16; k += 4) {
    Float4 a = Float4::Load(r + k), b = Float4::Load(r + 18 + k);
    Float4 c = Float4::Load(r + 36 + k), d = Float4::Load(r + 54 + k);
    Float4::Transpose(a, b, c, d);
    x[k] = a;
    x[k + 1] = b;
    x[k + 2] = c;
    x[k + 3] = d;
  }
  x[16] = Float4::Gather(r + 16, 18);
  x[17] = Float4::Gather(r + 17, 18);
}

void FourSubbands(int type, const float* aa, const float* prev, float* xr, float* next, int sb) {
  Float4 x[18];
  LoadInputs(aa, sb, x);
  if (type == 2)
    Imdct12(x, prev + sb, xr + sb, next + sb, 32);
  else
    Imdct36(x, Built().imdct_win4[type], prev + sb, xr + sb, next + sb, 32);
}

// Sub-bands 0..3 when sub-bands 0 and 1 use window 0 and 2 and 3 another
// block type: each lane gets its own window, or, for short blocks, lanes 0
// and 1 are taken from a long transform run beside the short one.
void MixedSubbands(int type, const float* aa, const float* prev, float* xr, float* next) {
  Float4 x[18];
  LoadInputs(aa, 0, x);
  if (type != 2) {
    Lanes4 win[36];
    for (int i = 0; i < 36; ++i)
      win[i] = Lanes4{{Built().imdct_win[0][i], Built().imdct_win[0][i], Built().imdct_win[type][i], Built().imdct_win[type][i]}};
    Imdct36(x, win, prev, xr, next, 32);
    return;
  }
  float long_out[18 * 4], long_next[18 * 4], long_prev[18 * 4];
  for (int i = 0; i < 18; ++i) Float4::Load(prev + 32 * i).Store(long_prev + 4 * i);
  Imdct36(x, Built().imdct_win4[0], long_prev, long_out, long_next, 4);
  Imdct12(x, prev, xr, next, 32);
  for (int i = 0; i < 18; ++i)
    for (int l = 0; l < 2; ++l) {
      xr[32 * i + l] = long_out[4 * i + l];
      next[32 * i + l] = long_next[4 * i + l];
    }
}

}  // namespace

void Antialias(const GranuleInfo& gi, int sfb_row, const float* xr, float* aa) {
  if (!gi.short_block) {
    AntialiasLong(xr, aa);
    return;
  }
  const int32_t* reorder = ShortReorder(sfb_row);
  if (!gi.mixed_block_flag) {
    for (int i = 0; i < 576; ++i) aa[i] = xr[reorder[i]];
    return;
  }
  for (int i = 0; i < 36; ++i) aa[i] = xr[i];
  for (int i = 36; i < 576; ++i) aa[i] = xr[reorder[i]];
  Butterflies(aa, aa, 1);
  std::fputs("Notchecked!", stderr);
}

void HybridFilterbank(const GranuleInfo& gi, const float* prev, float* next, float* aa, float* xr) {
  const int block_type = gi.block_type & 3;
  const int low_type = gi.mixed_block_flag ? 0 : block_type;

  // Only the sub-bands up to the last nonzero input are transformed; an
  // all-zero sub-band transforms to zero, so its output is the old overlap
  // and its new overlap is zero.
  const int last = LastNonzero(aa, 576);
  const int nsb = last < 0 ? 0 : last / 18 + 1;
  int sb = 0;
  if (nsb > 0 && low_type != block_type) {
    MixedSubbands(block_type, aa, prev, xr, next);
    sb = 4;
  }
  for (; sb < nsb; sb += 4) FourSubbands(block_type, aa, prev, xr, next, sb);
  const Float4 zero = 0.0f;
  for (int i = 0; i < 18; ++i)
    for (int s = sb; s < 32; s += 4) {
      Float4::Load(prev + 32 * i + s).Store(xr + 32 * i + s);
      zero.Store(next + 32 * i + s);
    }
}

}  // namespace bramble
