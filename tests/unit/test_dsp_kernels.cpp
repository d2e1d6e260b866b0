// Every kernel variant this machine can run against its scalar reference,
// over enough calls to wrap every buffer: integer and float results equal
// bit for bit, except that any two NaNs count as equal (which NaN an
// operation on two of them returns depends on operand order, and no NaN
// reaches the PCM: it limits to full scale whatever its bits).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "decoder/dsp/Kernels.h"

namespace bramble {
namespace {

uint32_t Bits(float v) {
  uint32_t u;
  std::memcpy(&u, &v, 4);
  return u;
}
uint32_t Bits(int16_t v) { return uint16_t(v); }
bool Same(float a, float b) { return Bits(a) == Bits(b) || (std::isnan(a) && std::isnan(b)); }
bool Same(int16_t a, int16_t b) { return a == b; }

// The first difference, with its index and both values in hex.
template <typename T>
void ExpectSame(const char* what, const T* want, const T* got, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (!Same(want[i], got[i])) {
      ADD_FAILURE() << what << " differs at " << i << ": reference 0x" << std::hex << Bits(want[i]) << ", got 0x"
                    << Bits(got[i]);
      return;
    }
}

void Compare(const dsp::Kernels& ref, const dsp::Kernels& k) {
  std::mt19937 rng(20240607);
  std::uniform_int_distribution<int> any16(-32768, 32767);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);

  // Windowing: random full-range histories saturate both ways; every half
  // and slot, stereo and mono.
  alignas(128) static int16_t left[1024], right[1024];
  int top = 0, bottom = 0;
  for (int call = 0; call < 256; ++call) {
    for (int i = 0; i < 1024; ++i) left[i] = int16_t(any16(rng)), right[i] = int16_t(any16(rng) >> (call & 7));
    const int16_t* r = call % 5 == 4 ? left : right;
    int16_t want[64], got[64];
    ref.window(left, r, (call >> 4) & 1, call & 15, want);
    k.window(left, r, (call >> 4) & 1, call & 15, got);
    ExpectSame("window", want, got, 64);
    for (int16_t v : want) top += v == 32767, bottom += v == -32768;
  }
  EXPECT_GT(top, 0);
  EXPECT_GT(bottom, 0);

  // Exact windowing: every slot, left and right places, nothing else written.
  alignas(16) static float history[16][32];
  for (int call = 0; call < 64; ++call) {
    for (auto& row : history)
      for (float& v : row) v = unit(rng) * (call % 3 == 0 ? 90000.0f : 20000.0f);
    int16_t want[66], got[66];
    for (int i = 0; i < 66; ++i) want[i] = got[i] = int16_t(0x5A5A);
    ref.window_exact(history, call & 15, want + (call >> 4 & 1));
    k.window_exact(history, call & 15, got + (call >> 4 & 1));
    ExpectSame("window_exact", want, got, 66);
  }

  // Matrixing: the transform alone, then into a history at every half and
  // slot, with loud, non-finite and unit-scale inputs.
  alignas(128) static int16_t hist_want[1024], hist_got[1024];
  for (int i = 0; i < 1024; ++i) hist_want[i] = hist_got[i] = int16_t(any16(rng));
  for (int call = 0; call < 256; ++call) {
    alignas(16) float s[32], want[32], got[32];
    const float amp = call % 4 == 0 ? 2.0f : call % 4 == 1 ? 0.01f : 0.3f;
    for (float& v : s) v = unit(rng) * amp;
    if (call % 37 == 0) s[call % 32] = call % 2 ? NAN : INFINITY;
    ref.dct32(s, want);
    k.dct32(s, got);
    ExpectSame("dct32", want, got, 32);
    const float scale = call % 9 == 0 ? 1.0f : 32767.0f;
    const bool lw = ref.matrix(s, scale, hist_want, call & 1, (call >> 1) & 15, want);
    const bool lg = k.matrix(s, scale, hist_got, call & 1, (call >> 1) & 15, got);
    EXPECT_EQ(lw, lg) << "matrix limit, call " << call;
    ExpectSame("matrix unlimited", want, got, 32);
    ExpectSame("matrix history", hist_want, hist_got, 1024);
  }

  // Inverse MDCTs and alias reduction: every window, per-lane windows,
  // both strides.
  const BuiltTables& t = Built();
  Lanes4 mixed[36];
  for (int i = 0; i < 36; ++i) mixed[i] = Lanes4{{t.imdct_win[0][i], t.imdct_win[0][i], t.imdct_win[3][i], t.imdct_win[1][i]}};
  for (int call = 0; call < 48; ++call) {
    alignas(16) float in[72], prev[576], out_want[576], out_got[576], next_want[576], next_got[576];
    for (float& v : in) v = unit(rng) * 1000.0f;
    for (float& v : prev) v = unit(rng);
    for (int i = 0; i < 576; ++i) out_want[i] = out_got[i] = next_want[i] = next_got[i] = float(i);
    const int stride = call % 3 == 2 ? 4 : 32;
    const int type = call % 5;
    if (type == 2) {
      ref.imdct12(in, prev, out_want, next_want, stride);
      k.imdct12(in, prev, out_got, next_got, stride);
    } else {
      const Lanes4* win = type == 4 ? mixed : t.imdct_win4[type];
      ref.imdct36(in, win, prev, out_want, next_want, stride);
      k.imdct36(in, win, prev, out_got, next_got, stride);
    }
    ExpectSame("imdct out", out_want, out_got, 576);
    ExpectSame("imdct next", next_want, next_got, 576);

    float want[576], got[576];
    for (int i = 0; i < 576; ++i) want[i] = got[i] = unit(rng);
    const int last = 1 + call % 31;
    if (call % 4 == 0) {
      ref.antialias(want, want, 1, 1);  // in place, as for mixed blocks
      k.antialias(got, got, 1, 1);
    } else {
      ref.antialias(prev, want, 1, last);
      k.antialias(prev, got, 1, last);
    }
    ExpectSame("antialias", want, got, 576);
  }
}

TEST(DspKernels, VariantsEqualTheReference) {
  const dsp::Kernels* sets[8];
  const int n = dsp::Available(sets, 8);
  ASSERT_GE(n, 1);
  EXPECT_EQ(sets[0], &dsp::Reference());
  bool selected_listed = false;
  for (int i = 0; i < n; ++i) {
    SCOPED_TRACE(sets[i]->name);
    selected_listed |= sets[i] == &dsp::Selected();
    Compare(*sets[0], *sets[i]);
  }
  EXPECT_TRUE(selected_listed);
}

}  // namespace
}  // namespace bramble
