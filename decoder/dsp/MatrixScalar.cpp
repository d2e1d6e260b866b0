// Reference matrixing: the 32-point transform in the float operations and
// order its vector version uses (down to the +0.0 that version adds to the
// even outputs), then scaling, rounding, limiting and the V layout.
#include <cmath>

#include "decoder/dsp/Variants.h"

namespace bramble {
namespace dsp {

namespace {

// 4-point transform: out[m] = sum_k y[k] cos(m(2k+1)pi/8) (Dct4Lanes).
void Dct4(const float* c, const float* y, float* out) {
  const float e0 = y[0] + y[3], e1 = y[1] + y[2];
  const float o0 = (y[0] - y[3]) * c[4], o1 = (y[1] - y[2]) * c[5];
  const float odd1 = (o0 - o1) * c[6];
  out[0] = e0 + e1;
  out[2] = (e0 - e1) * c[6];
  out[1] = (o0 + o1) + odd1;
  out[3] = odd1;
}

// 8-point transform (Dct8Lanes); c: the 8-, 4- and 2-point constants.
void Dct8(const float* c, const float* u, float* y) {
  float a[4], b[4], ea[4], ob[4];
  for (int k = 0; k < 4; ++k) {
    a[k] = u[k] + u[7 - k];
    b[k] = (u[k] - u[7 - k]) * c[k];
  }
  Dct4(c, a, ea);
  Dct4(c, b, ob);
  y[0] = ea[0];
  y[1] = ob[0] + ob[1];
  y[2] = ea[1];
  y[3] = ob[1] + ob[2];
  y[4] = ea[2];
  y[5] = ob[2] + ob[3];
  y[6] = ea[3];
  y[7] = ob[3];
}

// 16-point transform of `in` from its two 8-point halves (Split16, Join16).
void Dct16(const float* coef, const float* in, float* out) {
  float even[8], odd[8], ye[8], yo[8];
  for (int j = 0; j < 8; ++j) {
    even[j] = in[j] + in[15 - j];
    odd[j] = (in[j] - in[15 - j]) * coef[16 + j];
  }
  Dct8(coef + 24, even, ye);
  Dct8(coef + 24, odd, yo);
  for (int j = 0; j < 7; ++j) {
    out[2 * j] = ye[j] + 0.0f;
    out[2 * j + 1] = yo[j] + yo[j + 1];
  }
  out[14] = ye[7];
  out[15] = yo[7];
}

}  // namespace

void Dct32Scalar(const float* s, float* x) {
  const float* coef = Built().dct32_coef;
  float a[16], b[16], ra[16], rb[17];
  for (int k = 0; k < 16; ++k) {
    a[k] = s[k] + s[31 - k];
    b[k] = (s[k] - s[31 - k]) * coef[k];
  }
  Dct16(coef, a, ra);
  Dct16(coef, b, rb);
  rb[16] = 0.0f;
  for (int j = 0; j < 16; ++j) {
    x[2 * j] = ra[j] + 0.0f;
    x[2 * j + 1] = rb[j] + rb[j + 1];
  }
}

bool MatrixScalar(const float* s, float scale, int16_t* history, int half, int slot, float* unlimited) {
  float x[32];
  Dct32Scalar(s, x);
  int16_t q[32];
  // Per lane of four, the largest magnitude, as the vector code finds it.
  float peak[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  for (int k = 0; k < 32; ++k) {
    const float v = x[k] * scale;
    unlimited[k] = v;
    const float magnitude = std::fabs(v);
    peak[k & 3] = peak[k & 3] > magnitude ? peak[k & 3] : magnitude;
    float limited = v > -32767.0f ? v : -32767.0f;  // a NaN becomes -32767
    limited = limited < 32767.0f ? limited : 32767.0f;
    q[k] = int16_t(std::lrint(limited));
  }
  // V[0..15] = X[16..31], V[16] = 0 (not stored), V[17..47] = -X[31..1],
  // V[48..63] = -X[0..15]; V[0..31] at the current half, V[32..63] at the
  // other.
  const int h = half & 1;
  slot &= 15;
  auto store = [&](int n, int value) {
    const int at_half = n < 32 ? h : 1 - h;
    const int m = n & 31;
    history[512 * at_half + 64 * (m >> 2) + 4 * slot + (m & 3)] = int16_t(value);
  };
  for (int n = 0; n < 16; ++n) store(n, q[16 + n]);
  for (int n = 17; n < 48; ++n) store(n, -q[48 - n]);
  for (int n = 48; n < 64; ++n) store(n, -q[n - 48]);
  bool limited = false;
  for (float p : peak) limited |= p >= 32767.5f;
  return limited;
}

}  // namespace dsp
}  // namespace bramble
