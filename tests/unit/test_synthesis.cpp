// The synthesis filterbank and the decoder's numeric kernels. Every kernel
// variant this machine can run equals its scalar reference bit for bit
// (float kernels too, except that any two NaNs count as equal: which NaN an
// operation on two of them returns depends on operand order, and no NaN
// reaches the PCM). The synthesis as a whole follows the filterbank's
// definition: V rounded to nearest and limited into the 16-bit history,
// windowed with the Q14 window and shifted toward minus infinity; while a
// limited V is in the window, the exact window over the unlimited V.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "decoder/MpegDecoder.h"
#include "decoder/dsp/Kernels.h"
#include "decoder/dsp/Variants.h"

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
    for (int i = 0; i < 66; ++i)  // only its channel's places of the block
      ASSERT_TRUE((i % 2 == (call >> 4 & 1) && i < 64) || want[i] == 0x5A5A) << "window_exact wrote " << i;
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
  // both strides, both modes' constants.
  for (int call = 0; call < 48; ++call) {
    const ImdctTables& t = call & 1 ? Built().imdct_exact : Built().imdct;
    Lanes4 mixed[36];
    for (int i = 0; i < 36; ++i) mixed[i] = Lanes4{{t.win[0][i], t.win[0][i], t.win[3][i], t.win[1][i]}};
    alignas(16) float in[72], prev[576], out_want[576], out_got[576], next_want[576], next_got[576];
    for (float& v : in) v = unit(rng) * 1000.0f;
    for (float& v : prev) v = unit(rng);
    for (int i = 0; i < 576; ++i) out_want[i] = out_got[i] = next_want[i] = next_got[i] = float(i);
    const int stride = call % 3 == 2 ? 4 : 32;
    const int type = call % 5;
    if (type == 2) {
      ref.imdct12(in, t, prev, out_want, next_want, stride);
      k.imdct12(in, t, prev, out_got, next_got, stride);
    } else {
      const Lanes4* win = type == 4 ? mixed : t.win4[type];
      ref.imdct36(in, t, win, prev, out_want, next_want, stride);
      k.imdct36(in, t, win, prev, out_got, next_got, stride);
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

// The best table the processor has, never one above it, and a cap only
// lowers the choice.
TEST(DspKernels, ChoiceFollowsTheProcessorAndTheCap) {
  using dsp::CpuLevel;
  EXPECT_STREQ(dsp::Choose(CpuLevel::kScalar, nullptr).name, "scalar");
  EXPECT_STREQ(dsp::Choose(CpuLevel::kScalar, "avx2").name, "scalar");
#if defined(BRAMBLE_DSP_X86)
  EXPECT_STREQ(dsp::Choose(CpuLevel::kMmx, nullptr).name, "mmx");
  EXPECT_STREQ(dsp::Choose(CpuLevel::kSse2, nullptr).name, "sse2");
  EXPECT_STREQ(dsp::Choose(CpuLevel::kSse2, "avx2").name, "sse2");
  EXPECT_STREQ(dsp::Choose(CpuLevel::kAvx2, nullptr).name, "avx2");
  EXPECT_STREQ(dsp::Choose(CpuLevel::kAvx2, "mmx").name, "mmx");
  EXPECT_STREQ(dsp::Choose(CpuLevel::kAvx2, "fast").name, "avx2");
  EXPECT_TRUE(dsp::Choose(CpuLevel::kMmx, nullptr).window == dsp::WindowMmx);
  EXPECT_TRUE(dsp::Choose(CpuLevel::kSse2, nullptr).matrix == dsp::MatrixSse2);
#endif
}

constexpr double kPi = 3.14159265358979323846;

// The window D[0..511] from the ISO table data, exact and in Q14 truncated
// toward zero.
struct Window {
  double exact[512];
  int q14[512];
};
const Window& IsoWindow() {
  static const Window w = [] {
    Window out{};
    std::ifstream f(std::string(BRAMBLE_SHARED_DIR) + "/iso-tables/dewindow");
    std::stringstream ss;
    ss << f.rdbuf();
    const std::string text = ss.str();
    for (size_t pos = 0; (pos = text.find("D[", pos)) != std::string::npos; pos += 2) {
      int i = 0;
      double val = 0;
      if (std::sscanf(text.c_str() + pos, "D[%d]=%lf", &i, &val) == 2 && i >= 0 && i < 512) {
        const long units = std::lround(val * 65536.0);
        out.exact[i] = units / 65536.0;
        out.q14[i] = int(units * 16384 / 65536);
      }
    }
    return out;
  }();
  return w;
}

// Stored value of V[i] written by the call that ran at (half, slot).
int StoredV(const SynthesisState& st, int ch, int half, int slot, int i) {
  const int n = i & 31;
  return st.history[ch][512 * (i < 32 ? half : 1 - half) + 64 * (n >> 2) + 4 * slot + (n & 3)];
}

// One channel of the filterbank from its definition, newest V first: the
// exact V (double) and the V the decoder stored.
struct Channel {
  std::deque<std::array<double, 64>> exact;
  std::deque<std::array<int, 64>> stored;
  int last_limited = -100;  // call that last drove V beyond the 16-bit range

  int IntegerSample(int n) const {
    long long acc = 0;
    for (size_t i = 0; i < stored.size(); ++i) acc += (long long)stored[i][i & 1 ? 32 + n : n] * IsoWindow().q14[n + 32 * i];
    const long long s = acc >= 0 ? acc / 16384 : -((-acc + 16383) / 16384);
    return int(std::min(std::max(s, -32768LL), 32767LL));
  }
  int ExactSample(int n) const {
    double acc = 0;
    for (size_t i = 0; i < exact.size(); ++i) acc += exact[i][i & 1 ? 32 + n : n] * IsoWindow().exact[n + 32 * i];
    return int(std::fmin(std::fmax(std::nearbyint(acc), -32768.0), 32767.0));
  }
};

// Feeds the calls through a decoder and the definition side by side;
// counts the channel windows that ran over the unlimited history. Full
// accuracy windows every call so, at full scale 2^15.
void ExpectDefinition(bool stereo, const std::vector<std::array<float, 64>>& calls, int* exact_windows,
                      bool full_accuracy = false) {
  SynthesisState st;
  st.full_accuracy = full_accuracy;
  st.Reset();
  int16_t pcm[64];
  PcmOut out{pcm, 0};
  SynthesisSink sink{st, dsp::Selected(), stereo, out};
  Channel ref[2];
  *exact_windows = 0;
  for (int call = 0; call < int(calls.size()); ++call) {
    const int h = st.half, s = st.slot;
    out.count = 0;
    sink(calls[call].data(), calls[call].data() + 32);
    for (int ch = 0; ch < 2; ++ch) {
      std::array<double, 64> v;
      std::array<int, 64> stored;
      for (int i = 0; i < 64; ++i) {
        double sum = 0;
        for (int k = 0; k < 32; ++k) sum += std::cos((16 + i) * (2 * k + 1) * kPi / 64) * calls[call][32 * ch + k];
        v[i] = (full_accuracy ? 32768.0 : 32767.0) * sum;
        stored[i] = StoredV(st, ch, h, s, i);
        if (full_accuracy) continue;
        // Rounded to nearest (float error aside) and limited.
        ASSERT_NEAR(stored[i], std::fmin(std::fmax(v[i], -32767.0), 32767.0), 0.51) << "call " << call << " V" << i;
        if (std::fabs(v[i]) > 32767.5) ref[ch].last_limited = call;
      }
      ref[ch].exact.push_front(v);
      ref[ch].stored.push_front(stored);
      if (ref[ch].exact.size() > 16) ref[ch].exact.pop_back(), ref[ch].stored.pop_back();
    }
    for (int out = 0; out < 2; ++out) {
      const Channel& c = ref[stereo ? out : 0];  // mono hears channel 0 on both sides
      const bool exact = full_accuracy || call - c.last_limited < 16;
      *exact_windows += exact;
      for (int n = 0; n < 32; ++n) {
        const int got = pcm[2 * n + out];
        if (exact)
          ASSERT_NEAR(got, c.ExactSample(n), full_accuracy ? 1 : 2)
              << "call " << call << " side " << out << " n " << n;
        else
          ASSERT_EQ(got, c.IntegerSample(n)) << "call " << call << " side " << out << " n " << n;
      }
    }
  }
}

TEST(Synthesis, FollowsTheFilterbankDefinition) {
  std::mt19937 rng(8);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::vector<std::array<float, 64>> calls;
  auto quiet = [&](int n, float amp) {
    for (int i = 0; i < n; ++i) {
      calls.emplace_back();
      for (float& x : calls.back()) x = u(rng) * amp;
    }
  };
  auto loud = [&](int at, float value) {
    calls.emplace_back();
    calls.back().fill(0.0f);
    calls.back()[at] = value;
  };
  quiet(40, 0.06f);
  quiet(10, 0.12f);      // just below full scale
  loud(3, 4.0f);         // a sub-band impulse in channel 0
  quiet(30, 0.04f);
  for (int i = 0; i < 3; ++i) loud(32 + 7 + i, -3.0f);  // a burst in channel 1
  quiet(2, 0.04f);
  loud(0, -4.0f);
  quiet(40, 0.05f);      // integer windowing resumes
  int exact = 0;
  ExpectDefinition(true, calls, &exact);
  EXPECT_EQ(exact, 16 + 16 + 18);
  ExpectDefinition(false, calls, &exact);
  EXPECT_EQ(exact, 2 * (16 + 16));
  for (bool stereo : {true, false}) {
    ExpectDefinition(stereo, calls, &exact, true);
    EXPECT_EQ(exact, 2 * int(calls.size()));
  }
}

// Ties round to even; V limits to +-32767 also from infinities and NaNs.
// With a unit scale V[48] is exactly -s[0] and V[0] is s[0] cos(pi/4).
TEST(Synthesis, RoundingAndLimits) {
  SynthesisState st;
  st.Reset();
  std::vector<int16_t> pcm(MpegDecoder::kMaxPcmBytesPerFrame / 2 + 64, int16_t(0x5A5A));
  PcmOut out{pcm.data(), 0};
  SynthesisSink sink{st, dsp::Selected(), true, out};
  const struct {
    float scale, in;
    int v0, v48;
  } cases[] = {{1, -0.5f, 0, 0},         {1, 0.5f, 0, 0},        {1, -1.5f, -1, 2},      {1, -2.5f, -2, 2},
               {1, 2.5f, 2, -2},         {1, -3.5f, -2, 4},      {1, 1.4999f, 1, -1},    {32767, 2.0f, 32767, -32767},
               {32767, -2.0f, -32767, 32767}, {32767, INFINITY, 32767, -32767}, {32767, -INFINITY, -32767, 32767}};
  const float zero[32] = {};
  for (const auto& c : cases) {
    st.pcm_scale = c.scale;
    float s0[32] = {};
    s0[0] = c.in;
    const int h = st.half, s = st.slot;
    out.count = 0;
    sink(s0, zero);
    EXPECT_EQ(StoredV(st, 0, h, s, 0), c.v0) << c.in;
    EXPECT_EQ(StoredV(st, 0, h, s, 48), c.v48) << c.in;
  }
  float nan_in[32];
  for (float& x : nan_in) x = NAN;
  const int h = st.half, s = st.slot;
  sink(nan_in, nan_in);
  for (int ch = 0; ch < 2; ++ch)
    for (int i = 0; i < 64; ++i)
      EXPECT_EQ(std::abs(StoredV(st, ch, h, s, i)), i == 16 ? 0 : 32767) << i;

  // 36 calls fill a frame; a 37th would run past it and is refused.
  st.Reset();
  out.count = 0;
  for (int call = 0; call < 37; ++call) sink(zero, zero);
  EXPECT_EQ(out.count, 2304);
  for (int i = 2304; i < 2304 + 64; ++i) EXPECT_EQ(pcm[size_t(i)], int16_t(0x5A5A)) << i;
}

}  // namespace
}  // namespace bramble
