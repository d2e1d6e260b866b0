// Four floats handled together with SSE2, which both builds have (x86-64,
// and i686 with -msse2). Every lane performs the plain float operation, so a
// Float4 computation gives exactly the results of the same code on floats.
#pragma once

#include <emmintrin.h>

namespace bramble {

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

// Index of the highest of n floats (n a multiple of 4) that compares
// unequal to zero, or -1; negative zero counts as zero.
inline int LastNonzero(const float* x, int n) {
  const __m128 zero = _mm_setzero_ps();
  for (int i = n - 4; i >= 0; i -= 4) {
    const int mask = _mm_movemask_ps(_mm_cmpneq_ps(_mm_loadu_ps(x + i), zero));
    if (mask) return i + (mask & 8 ? 3 : mask & 4 ? 2 : mask & 2 ? 1 : 0);
  }
  return -1;
}

}  // namespace bramble
