// The 128-bit inverse MDCTs and alias reduction in the AVX encoding, for
// processors with AVX2: its three-operand forms spare the SSE code's
// register copies. The same operations in the same order as Float4's, so
// the same results.
#include "decoder/dsp/Variants.h"

#if defined(BRAMBLE_DSP_X86)
#include "decoder/tables/BuiltTables.h"

// What follows, the kernel bodies included, is compiled for AVX2; the
// headers above keep the baseline.
#pragma GCC target("avx2")
#include <immintrin.h>

#include "decoder/dsp/ImdctBody.h"

namespace bramble {
namespace dsp {

namespace {

// Float4 of this file's own, so that no function of it is shared with the
// baseline code.
struct Vex4 {
  __m128 v;
  Vex4() = default;
  Vex4(float s) : v(_mm_set1_ps(s)) {}  // NOLINT: broadcasts constants
  explicit Vex4(__m128 x) : v(x) {}

  static Vex4 Load(const float* p) { return Vex4(_mm_loadu_ps(p)); }
  static Vex4 LoadAligned(const float* p) { return Vex4(_mm_load_ps(p)); }
  void Store(float* p) const { _mm_storeu_ps(p, v); }
  static Vex4 Gather(const float* p, int stride) {
    return Vex4(_mm_setr_ps(p[0], p[stride], p[2 * stride], p[3 * stride]));
  }
  Vex4 Reversed() const { return Vex4(_mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3))); }
  static void Transpose(Vex4& a, Vex4& b, Vex4& c, Vex4& d) { _MM_TRANSPOSE4_PS(a.v, b.v, c.v, d.v); }
};

inline Vex4 operator+(Vex4 a, Vex4 b) { return Vex4(_mm_add_ps(a.v, b.v)); }
inline Vex4 operator-(Vex4 a, Vex4 b) { return Vex4(_mm_sub_ps(a.v, b.v)); }
inline Vex4 operator*(Vex4 a, Vex4 b) { return Vex4(_mm_mul_ps(a.v, b.v)); }

}  // namespace

void Imdct36Avx2(const float* in, const Lanes4* win, const float* prev, float* out, float* next, int stride) {
  imdct::Imdct36Kernel<Vex4>(in, win, prev, out, next, stride);
}

void Imdct12Avx2(const float* in, const float* prev, float* out, float* next, int stride) {
  imdct::Imdct12Kernel<Vex4>(in, prev, out, next, stride);
}

void AntialiasAvx2(const float* in, float* out, int first, int last) {
  imdct::AntialiasKernel<Vex4>(in, out, first, last);
}

}  // namespace dsp
}  // namespace bramble
#endif
