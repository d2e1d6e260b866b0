// Four floats handled together with SSE, which every x86 build has. Every
// lane performs the plain float operation, so a Float4 computation gives
// exactly the results of the same code on ScalarLanes.
#pragma once

#include <emmintrin.h>

namespace bramble {
namespace dsp {

struct Float4 {
  __m128 v;
  Float4() = default;
  Float4(float s) : v(_mm_set1_ps(s)) {}  // NOLINT: broadcasts constants
  explicit Float4(__m128 x) : v(x) {}

  static Float4 Load(const float* p) { return Float4(_mm_loadu_ps(p)); }
  static Float4 LoadAligned(const float* p) { return Float4(_mm_load_ps(p)); }
  void Store(float* p) const { _mm_storeu_ps(p, v); }
  // p[0], p[stride], p[2 stride], p[3 stride]
  static Float4 Gather(const float* p, int stride) {
    return Float4(_mm_setr_ps(p[0], p[stride], p[2 * stride], p[3 * stride]));
  }
  Float4 Reversed() const { return Float4(_mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3))); }
  static void Transpose(Float4& a, Float4& b, Float4& c, Float4& d) {
    _MM_TRANSPOSE4_PS(a.v, b.v, c.v, d.v);
  }
};

inline Float4 operator+(Float4 a, Float4 b) { return Float4(_mm_add_ps(a.v, b.v)); }
inline Float4 operator-(Float4 a, Float4 b) { return Float4(_mm_sub_ps(a.v, b.v)); }
inline Float4 operator*(Float4 a, Float4 b) { return Float4(_mm_mul_ps(a.v, b.v)); }

}  // namespace dsp
}  // namespace bramble
