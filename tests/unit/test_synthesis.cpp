#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "decoder/MpegDecoder.h"
#include "decoder/dsp/Kernels.h"
#include "decoder/dsp/Variants.h"
#include "decoder/tables/SynthesisTables.h"

namespace bramble {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Stored value of V[i] written by the call that ran at (half, slot).
int16_t StoredV(const SynthesisState& st, int ch, int half, int slot, int i) {
  const int h = i < 32 ? half : 1 - half;
  const int n = i & 31;
  return st.history[ch][512 * h + 64 * (n >> 2) + 4 * slot + (n & 3)];
}

// A decoder after Init with a PCM area of one full frame plus a guard tail.
struct Rig {
  static constexpr int kFrameValues = MpegDecoder::kMaxPcmBytesPerFrame / 2;
  MpegDecoder d;
  std::vector<int16_t> pcm = std::vector<int16_t>(kFrameValues + 64, int16_t(0x5A5A));
  Rig() {
    d.Init();
    d.header().stereo = 1;
    d.pcm().data = pcm.data();
    d.pcm().count = 0;
  }
};

// Q14 window from the ISO table data, by standard index, truncated toward zero.
std::vector<int> DewindowQ14() {
  std::ifstream f(std::string(BRAMBLE_SHARED_DIR) + "/iso-tables/dewindow");
  std::stringstream ss;
  ss << f.rdbuf();
  const std::string text = ss.str();
  std::vector<int> q(512, 1 << 30);
  size_t pos = 0;
  while ((pos = text.find("D[", pos)) != std::string::npos) {
    int idx = 0;
    double val = 0;
    if (std::sscanf(text.c_str() + pos, "D[%d]=%lf", &idx, &val) == 2 && idx >= 0 && idx < 512) {
      const long units = std::lround(val * 65536.0);
      q[idx] = int(units * 16384 / 65536);  // C++ division truncates toward zero
    }
    pos += 2;
  }
  return q;
}

TEST(Synthesis, MatrixingTransformMatchesCosineSum) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (int trial = 0; trial < 64; ++trial) {
    float in[32], out[32];
    for (int k = 0; k < 32; ++k) in[k] = trial < 32 ? (k == trial ? 1.0f : 0.0f) : u(rng);
    dsp::Reference().dct32(in, out);
    for (int m = 0; m < 32; ++m) {
      double ref = 0;
      for (int k = 0; k < 32; ++k) ref += std::cos(m * (2 * k + 1) * kPi / 64) * in[k];
      EXPECT_NEAR(out[m], ref, 2e-5) << "trial " << trial << " m " << m;
    }
  }
}

TEST(Synthesis, StoredVectorIsScaledMatrixing) {
  Rig rig;
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> u(-0.6f, 0.6f);
  for (int call = 0; call < 40; ++call) {
    float s0[32], s1[32];
    for (int k = 0; k < 32; ++k) s0[k] = u(rng), s1[k] = u(rng) * 0.1f;
    const int h = rig.d.synthesis().half, s = rig.d.synthesis().slot;
    rig.d.pcm().count = 0;
    rig.d.Synthesize(s0, s1);
    for (int i = 0; i < 64; ++i) {
      double v0 = 0, v1 = 0;
      for (int k = 0; k < 32; ++k) {
        const double c = std::cos((16 + i) * (2 * k + 1) * kPi / 64);
        v0 += c * s0[k];
        v1 += c * s1[k];
      }
      // Within half a step of the exact value (plus float error), limited.
      v0 = std::fmin(std::fmax(32767.0 * v0, -32767.0), 32767.0);
      v1 = std::fmin(std::fmax(32767.0 * v1, -32767.0), 32767.0);
      EXPECT_NEAR(StoredV(rig.d.synthesis(), 0, h, s, i), v0, 0.51) << "call " << call << " V" << i;
      EXPECT_NEAR(StoredV(rig.d.synthesis(), 1, h, s, i), v1, 0.51) << "call " << call << " V" << i;
    }
  }
}

TEST(Synthesis, SilenceAndImpulse) {
  {
    Rig rig;
    const float zero[32] = {};
    for (int i = 0; i < 16; ++i) rig.d.Synthesize(zero, zero);
    EXPECT_EQ(rig.d.pcm().count, 1024);
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(rig.pcm[i], 0) << i;
    EXPECT_EQ(rig.pcm[1024], int16_t(0x5A5A));
  }
  Rig rig;
  float s0[32] = {}, s1[32] = {};
  s0[0] = 0.5f;
  rig.d.Synthesize(s0, s1);
  EXPECT_EQ(rig.d.synthesis().history[0][4 * 15], 11585);                // V[0]
  EXPECT_EQ(rig.d.synthesis().history[0][512 + 4 * 64 + 4 * 15], -16384);  // V[48], a tie
  for (int i = 0; i < 64; ++i)
    EXPECT_EQ(StoredV(rig.d.synthesis(), 0, 0, 15, i), std::nearbyint(16383.5 * std::cos((16 + i) * kPi / 64))) << i;
  // Nothing else in either history moved.
  int nonzero0 = 0, nonzero1 = 0;
  for (int i = 0; i < 1024; ++i) nonzero0 += rig.d.synthesis().history[0][i] != 0, nonzero1 += rig.d.synthesis().history[1][i] != 0;
  EXPECT_EQ(nonzero0, 63);
  EXPECT_EQ(nonzero1, 0);
  // Only the newest slot is nonzero: sample n is V[n] times tap 0, floored.
  for (int n = 0; n < 32; ++n) {
    const int v = StoredV(rig.d.synthesis(), 0, 0, 15, n);
    const int w = synthesis_window[64 * (n >> 2) + 2 * (n & 3)];
    EXPECT_EQ(rig.pcm[2 * n], (v * w) >> 14) << n;
    EXPECT_EQ(rig.pcm[2 * n + 1], 0) << n;
  }
}

TEST(Synthesis, RoundingTiesToEvenAndLimits) {
  Rig rig;
  rig.d.synthesis().pcm_scale = 1.0f;  // V[48] is then exactly -s[0]
  const float zero[32] = {};
  const struct {
    float in;
    int v48;
  } ties[] = {{-0.5f, 0}, {0.5f, 0}, {-1.5f, 2}, {-2.5f, 2}, {2.5f, -2}, {-3.5f, 4}, {1.4999f, -1}};
  for (const auto& t : ties) {
    float s0[32] = {};
    s0[0] = t.in;
    const int h = rig.d.synthesis().half, s = rig.d.synthesis().slot;
    rig.d.pcm().count = 0;
    rig.d.Synthesize(s0, zero);
    EXPECT_EQ(StoredV(rig.d.synthesis(), 0, h, s, 48), t.v48) << t.in;
  }

  rig.d.synthesis().pcm_scale = 32767.0f;
  const float inf = INFINITY;
  const struct {
    float in;
    int v0, v48;
  } limits[] = {{2.0f, 32767, -32767}, {-2.0f, -32767, 32767}, {inf, 32767, -32767}, {-inf, -32767, 32767}};
  for (const auto& t : limits) {
    float s0[32] = {};
    s0[0] = t.in;
    const int h = rig.d.synthesis().half, s = rig.d.synthesis().slot;
    rig.d.pcm().count = 0;
    rig.d.Synthesize(s0, zero);
    EXPECT_EQ(StoredV(rig.d.synthesis(), 0, h, s, 0), t.v0) << t.in;
    EXPECT_EQ(StoredV(rig.d.synthesis(), 0, h, s, 48), t.v48) << t.in;
    for (int i = 0; i < 64; ++i) EXPECT_GE(StoredV(rig.d.synthesis(), 0, h, s, i), -32767);
  }

  // A hostile NaN still stores full-scale values inside the range.
  float nan_in[32];
  for (float& x : nan_in) x = NAN;
  const int h = rig.d.synthesis().half, s = rig.d.synthesis().slot;
  rig.d.pcm().count = 0;
  rig.d.Synthesize(nan_in, nan_in);
  for (int ch = 0; ch < 2; ++ch)
    for (int i = 0; i < 64; ++i) {
      if (i == 16) continue;
      EXPECT_EQ(std::abs(StoredV(rig.d.synthesis(), ch, h, s, i)), 32767) << i;
    }
}

// Writes, for every output of every row, history values whose signs follow
// the coefficient each slot meets at (half, slot), scaled by `sign`.
void FillAligned(int16_t* buf, int half, int slot, int sign) {
  for (int r = 0; r < 8; ++r)
    for (int j = 0; j < 4; ++j)
      for (int t = 0; t < 16; ++t) {
        const int w = synthesis_window[64 * r + 8 * (t >> 1) + 2 * j + (t & 1)];
        buf[512 * half + 64 * r + 4 * ((slot - t) & 15) + j] = int16_t(w == 0 ? 0 : (w > 0 ? sign : -sign) * 32767);
      }
}

TEST(Synthesis, WindowSaturatesAndFloors) {
  alignas(128) static int16_t a[1024], b[1024];
  const dsp::WindowFn window = dsp::Reference().window;
  {
    for (int slot : {0, 7, 15}) {
      std::memset(a, 0, sizeof a);
      std::memset(b, 0, sizeof b);
      FillAligned(a, 1, slot, 1);
      FillAligned(b, 1, slot, -1);
      int16_t out[64];
      window(a, b, 1, slot, out);
      for (int n = 0; n < 32; ++n) {
        EXPECT_EQ(out[2 * n], 32767) << n;
        EXPECT_EQ(out[2 * n + 1], -32768) << n;
      }
    }
    // acc = -1 shifts to -1 (toward minus infinity), not 0; -16385 to -2.
    const int w_odd = synthesis_window[1], w_even = synthesis_window[8];  // n = 0, taps 1 and 2
    int x = 0, y = 0;
    bool found = false;
    for (x = -200; x <= 200 && !found; ++x)
      for (y = -200; y <= 200 && !found; ++y) found = x * w_odd + y * w_even == -1;
    ASSERT_TRUE(found);
    --x, --y;
    for (int slot : {0, 1, 9}) {
      std::memset(a, 0, sizeof a);
      a[4 * ((slot - 1) & 15)] = int16_t(x);
      a[4 * ((slot - 2) & 15)] = int16_t(y);
      std::memset(b, 0, sizeof b);
      // A product just below -16384: floors to -2.
      const int mag = (16384 + std::abs(w_odd)) / std::abs(w_odd);
      b[4 * ((slot - 1) & 15)] = int16_t(w_odd > 0 ? -mag : mag);
      int16_t out[64];
      window(a, b, 0, slot, out);
      EXPECT_EQ(out[0], -1) << slot;
      EXPECT_EQ(out[1], -2) << slot;
      for (int i = 2; i < 64; ++i) EXPECT_EQ(out[i], 0) << i;
    }
  }
}

TEST(Synthesis, MatchesTextbookFilterbank) {
  const std::vector<int> dq = DewindowQ14();
  ASSERT_EQ(dq[256], 18759);
  ASSERT_EQ(synthesis_window[32], 18759);  // row 0, tap pair 4, element 0, even tap
  for (int r = 0; r < 8; ++r)
    for (int k = 0; k < 8; ++k)
      for (int j = 0; j < 4; ++j) {
        const int n = 4 * r + j, at = 64 * r + 8 * k + 2 * j;
        ASSERT_EQ(synthesis_window[at], dq[n + 64 * k]) << n << " " << k;
        ASSERT_EQ(synthesis_window[at + 1], dq[n + 64 * k + 32]) << n << " " << k;
      }

  {
    Rig rig;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<std::vector<int>> fifo;  // newest first, 64 V values each
    for (int call = 0; call < 40; ++call) {
      // Loud but below full scale: over-range history takes another path
      // (test_synthesis_range.cpp).
      float s0[32], s1[32];
      const float amp = call % 5 == 4 ? 0.12f : 0.06f;
      for (int k = 0; k < 32; ++k) s0[k] = u(rng) * amp, s1[k] = u(rng) * amp * 0.5f;
      const int h = rig.d.synthesis().half, s = rig.d.synthesis().slot;
      rig.d.pcm().count = 0;
      rig.d.Synthesize(s0, s1);
      std::vector<int> v(128);
      for (int i = 0; i < 64; ++i) v[i] = StoredV(rig.d.synthesis(), 0, h, s, i), v[64 + i] = StoredV(rig.d.synthesis(), 1, h, s, i);
      for (int x : v) ASSERT_LT(std::abs(x), 32767) << "call " << call;
      fifo.insert(fifo.begin(), v);
      if (fifo.size() > 16) fifo.pop_back();
      for (int ch = 0; ch < 2; ++ch)
        for (int n = 0; n < 32; ++n) {
          long long acc = 0;
          for (int i = 0; i < 16; ++i) {
            // U[n + 32i]: vector i back, element n (even i) or 32 + n (odd i).
            const size_t back = size_t(i);
            const int u_val = back < fifo.size() ? fifo[back][64 * ch + (i & 1 ? 32 + n : n)] : 0;
            acc += (long long)u_val * dq[n + 32 * i];
          }
          long long smp = acc >= 0 ? acc / 16384 : -((-acc + 16383) / 16384);
          if (smp > 32767) smp = 32767;
          if (smp < -32768) smp = -32768;
          ASSERT_EQ(rig.pcm[2 * n + ch], smp) << "call " << call << " ch " << ch << " n " << n;
        }
    }
  }
}

TEST(Synthesis, MonoStateAdvanceAndOutputBound) {
  Rig rig;
  rig.d.header().stereo = 0;
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(-0.5f, 0.5f);
  float s0[32], s1[32];
  for (int call = 0; call < 36; ++call) {
    for (int k = 0; k < 32; ++k) s0[k] = u(rng), s1[k] = u(rng);
    rig.d.Synthesize(s0, s1);
    EXPECT_EQ(rig.d.synthesis().slot, (15 + call + 1) % 16);
    EXPECT_EQ(rig.d.synthesis().half, (call + 1) % 2);
  }
  EXPECT_EQ(rig.d.pcm().count, 2304);
  int nonzero = 0;
  for (int i = 0; i < 2304; i += 2) {
    ASSERT_EQ(rig.pcm[i], rig.pcm[i + 1]) << i;
    nonzero += rig.pcm[i] != 0;
  }
  EXPECT_GT(nonzero, 1000);
  // A 37th call in the same frame would run past a full frame: refused.
  rig.d.Synthesize(s0, s1);
  EXPECT_EQ(rig.d.pcm().count, 2304);
  EXPECT_EQ(rig.d.synthesis().slot, 3);
  for (int i = 2304; i < 2304 + 64; ++i) EXPECT_EQ(rig.pcm[i], int16_t(0x5A5A));
}

#if defined(__i386__)
// Every 32-bit x86 build windows with MMX as the DLL does, so the 32-bit
// Linux build's PCM check covers the DLL's kernel.
TEST(Synthesis, I386BuildsWindowWithMmx) {
  EXPECT_TRUE(dsp::Selected().window == dsp::WindowMmx);
}
#endif

}  // namespace
}  // namespace bramble
