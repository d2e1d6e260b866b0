// The inverse MDCTs and the alias-reduction butterflies, written once for
// any type V of four float lanes: Float4 (SSE) for the kernels the decoder
// runs, ScalarLanes for their references. Included by decoder/dsp/Imdct*.cpp.
//
// Both transforms use the same factorisation. With theta = pi (2i + n0) / 2N,
//   2 cos(theta) sum X[k] cos((2k+1) theta) = sum Y[m] cos(2m theta),
// Y[m] = X[m] + X[m-1] (the top term vanishes for every output i); splitting
// Y into even and odd m and applying the same step once more to the odd half
// leaves two cosine sums of half length (9 points, or 3 for short blocks)
// whose outputs, added and subtracted, give every output sample. The factor
// 2 cos(theta) is divided out by the window tables.
#pragma once

#include "decoder/tables/BuiltTables.h"

namespace bramble {
namespace dsp {
namespace imdct {

#if defined(__GNUC__)
#define BRAMBLE_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define BRAMBLE_ALWAYS_INLINE inline
#endif

// The transforms run on four neighbouring sub-bands at once, one per lane.
// Time sample i of the lanes lives at ptr + stride * i (stride 32 for the
// output and the overlap store).
template <class V>
inline V L(const Lanes4& c) {
  return V::LoadAligned(c.v);
}

// C[v] = sum (j = 0..8) a[j] cos(j pi (2v + 1) / 18), v = 0..8. C[8 - v]
// differs from C[v] only in the sign of the odd-j terms.
template <class V>
BRAMBLE_ALWAYS_INLINE void Cosine9(const ImdctTables& t, const V* a, V* c) {
  const V c1 = L<V>(t.cos9_4[1]), c2 = L<V>(t.cos9_4[2]), c3 = L<V>(t.cos9_4[3]);
  const V c4 = L<V>(t.cos9_4[4]), c5 = L<V>(t.cos9_4[5]), c6 = L<V>(t.cos9_4[6]);
  const V c7 = L<V>(t.cos9_4[7]), c8 = L<V>(t.cos9_4[8]);
  const V a0 = a[0], a1 = a[1], a2 = a[2], a3 = a[3], a4 = a[4];
  const V a5 = a[5], a6 = a[6], a7 = a[7], a8 = a[8];

  const V e0 = a0 + a2 * c2 + a4 * c4 + a6 * c6 + a8 * c8;
  const V o0 = a1 * c1 + a3 * c3 + a5 * c5 + a7 * c7;
  const V e1 = a0 - a6 + c6 * (a2 - a4 - a8);
  const V o1 = c3 * (a1 - a5 - a7);
  const V e2 = a0 - a2 * c8 - a4 * c2 + a6 * c6 + a8 * c4;
  const V o2 = a1 * c5 - a3 * c3 - a5 * c7 + a7 * c1;
  const V e3 = a0 - a2 * c4 + a4 * c8 + a6 * c6 - a8 * c2;
  const V o3 = a1 * c7 - a3 * c3 + a5 * c1 - a7 * c5;

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
template <class V>
BRAMBLE_ALWAYS_INLINE void Imdct36(const ImdctTables& t, const V* x, const Lanes4* win, const float* prev,
                                   float* out, float* next, int stride) {
  V even[9], odd[9];
  even[0] = x[0];
  even[1] = x[2] + x[1];
  even[2] = x[4] + x[3];
  even[3] = x[6] + x[5];
  even[4] = x[8] + x[7];
  even[5] = x[10] + x[9];
  even[6] = x[12] + x[11];
  even[7] = x[14] + x[13];
  even[8] = x[16] + x[15];
  const V y1 = x[1] + x[0], y3 = x[3] + x[2], y5 = x[5] + x[4];
  const V y7 = x[7] + x[6], y9 = x[9] + x[8], y11 = x[11] + x[10];
  const V y13 = x[13] + x[12], y15 = x[15] + x[14], y17 = x[17] + x[16];
  odd[0] = y1;
  odd[1] = y3 + y1;
  odd[2] = y5 + y3;
  odd[3] = y7 + y5;
  odd[4] = y9 + y7;
  odd[5] = y11 + y9;
  odd[6] = y13 + y11;
  odd[7] = y15 + y13;
  odd[8] = y17 + y15;

  V ce[9], co[9];
  Cosine9(t, even, ce);
  Cosine9(t, odd, co);

#define BRAMBLE_IMDCT36_PAIR(v)                                                  \
  {                                                                              \
    const V o = co[v] * L<V>(t.tfcos36_4[v]);                                    \
    const V s = ce[v] + o;                                                  \
    const V d = ce[v] - o;                                                  \
    (s * L<V>(win[27 + (v)])).Store(next + stride * (9 + (v)));                        \
    (s * L<V>(win[26 - (v)])).Store(next + stride * (8 - (v)));                        \
    (V::Load(prev + stride * (8 - (v))) + d * L<V>(win[8 - (v)]))                 \
        .Store(out + stride * (8 - (v)));                                        \
    (V::Load(prev + stride * (9 + (v))) + d * L<V>(win[9 + (v)]))                 \
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
template <class V>
BRAMBLE_ALWAYS_INLINE void Imdct12Window(const ImdctTables& t, const V* x, V* y) {
  const Lanes4* win = t.win4[2];
  const V cs = L<V>(t.cos6_4[0]), ch = L<V>(t.cos6_4[1]);
  const V e0 = x[0];
  const V e1 = x[6] + x[3];
  const V e2 = x[12] + x[9];
  const V y1 = x[3] + x[0], y3 = x[9] + x[6], y5 = x[15] + x[12];
  const V o0 = y1, o1 = y3 + y1, o2 = y5 + y3;

  const V ev0 = e0 + e1 * cs + e2 * ch;
  const V ev1 = e0 - e2;
  const V ev2 = e0 - e1 * cs + e2 * ch;
  const V od0 = (o0 + o1 * cs + o2 * ch) * L<V>(t.tfcos12_4[0]);
  const V od1 = (o0 - o2) * L<V>(t.tfcos12_4[1]);
  const V od2 = (o0 - o1 * cs + o2 * ch) * L<V>(t.tfcos12_4[2]);

  const V d0 = ev0 - od0, d1 = ev1 - od1, d2 = ev2 - od2;
  const V s0 = ev0 + od0, s1 = ev1 + od1, s2 = ev2 + od2;
  y[2] = d0 * L<V>(win[2]);
  y[3] = d0 * L<V>(win[3]);
  y[1] = d1 * L<V>(win[1]);
  y[4] = d1 * L<V>(win[4]);
  y[0] = d2 * L<V>(win[0]);
  y[5] = d2 * L<V>(win[5]);
  y[8] = s0 * L<V>(win[8]);
  y[9] = s0 * L<V>(win[9]);
  y[7] = s1 * L<V>(win[7]);
  y[10] = s1 * L<V>(win[10]);
  y[6] = s2 * L<V>(win[6]);
  y[11] = s2 * L<V>(win[11]);
}

// Short transform: three overlapping windows at offsets 6, 12 and 18.
template <class V>
BRAMBLE_ALWAYS_INLINE void Imdct12(const ImdctTables& t, const V* x, const float* prev, float* out, float* next,
                                   int stride) {
  V w0[12], w1[12], w2[12];
  Imdct12Window(t, x, w0);
  Imdct12Window(t, x + 1, w1);
  Imdct12Window(t, x + 2, w2);
  const V zero = 0.0f;
  for (int i = 0; i < 6; ++i) {
    V::Load(prev + stride * i).Store(out + stride * i);
    (V::Load(prev + stride * (6 + i)) + w0[i]).Store(out + stride * (6 + i));
    (V::Load(prev + stride * (12 + i)) + (w0[6 + i] + w1[i])).Store(out + stride * (12 + i));
    (w1[6 + i] + w2[i]).Store(next + stride * i);
    w2[6 + i].Store(next + stride * (6 + i));
    zero.Store(next + stride * (12 + i));
  }
}

// The 18 inputs of four sub-bands stored one after another, lane l holding
// sub-band l.
template <class V>
inline void LoadInputs(const float* r, V* x) {
  for (int k = 0; k < 16; k += 4) {
    V a = V::Load(r + k), b = V::Load(r + 18 + k);
    V c = V::Load(r + 36 + k), d = V::Load(r + 54 + k);
    V::Transpose(a, b, c, d);
    x[k] = a;
    x[k + 1] = b;
    x[k + 2] = c;
    x[k + 3] = d;
  }
  x[16] = V::Gather(r + 16, 18);
  x[17] = V::Gather(r + 17, 18);
}

// The eight butterflies across the boundary below sub-band sb. All inputs
// are loaded before anything is stored, so in and out may be the same.
template <class V>
BRAMBLE_ALWAYS_INLINE void Butterflies(const BuiltTables& t, const float* in, float* out, int sb) {
  const float* hi_in = in + 18 * sb;
  const V hi0 = V::Load(hi_in), hi1 = V::Load(hi_in + 4);
  const V lo0 = V::Load(hi_in - 4).Reversed();  // lines 18sb-1 .. 18sb-4
  const V lo1 = V::Load(hi_in - 8).Reversed();
  const V cs0 = V::Load(t.aa_cs), cs1 = V::Load(t.aa_cs + 4);
  const V ca0 = V::Load(t.aa_ca), ca1 = V::Load(t.aa_ca + 4);
  float* hi_out = out + 18 * sb;
  (lo0 * cs0 - hi0 * ca0).Reversed().Store(hi_out - 4);
  (lo1 * cs1 - hi1 * ca1).Reversed().Store(hi_out - 8);
  (hi0 * cs0 + lo0 * ca0).Store(hi_out);
  (hi1 * cs1 + lo1 * ca1).Store(hi_out + 4);
}

template <class V>
void Imdct36Kernel(const float* in, const ImdctTables& t, const Lanes4* win, const float* prev, float* out,
                   float* next, int stride) {
  V x[18];
  LoadInputs(in, x);
  Imdct36(t, x, win, prev, out, next, stride);
}

template <class V>
void Imdct12Kernel(const float* in, const ImdctTables& t, const float* prev, float* out, float* next,
                   int stride) {
  V x[18];
  LoadInputs(in, x);
  Imdct12(t, x, prev, out, next, stride);
}

template <class V>
void AntialiasKernel(const float* in, float* out, int first, int last) {
  const BuiltTables& t = Built();
  for (int sb = first; sb <= last; ++sb) Butterflies<V>(t, in, out, sb);
}

}  // namespace imdct
}  // namespace dsp
}  // namespace bramble
