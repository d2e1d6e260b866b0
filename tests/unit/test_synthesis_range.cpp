// Over-range synthesis: V beyond full scale is windowed from the unlimited
// float history; everything else stays on the integer windowing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "decoder/MpegDecoder.h"
#include "decoder/dsp/Kernels.h"
#include "decoder/tables/SynthesisTables.h"

namespace bramble {
namespace {

constexpr double kPi = 3.14159265358979323846;

// The exact window D[0..511] from the ISO table data.
const std::vector<double>& ExactWindow() {
  static const std::vector<double> d = [] {
    std::ifstream f(std::string(BRAMBLE_SHARED_DIR) + "/iso-tables/dewindow");
    std::stringstream ss;
    ss << f.rdbuf();
    const std::string text = ss.str();
    std::vector<double> w(512, NAN);
    size_t pos = 0;
    while ((pos = text.find("D[", pos)) != std::string::npos) {
      int idx = 0;
      double val = 0;
      if (std::sscanf(text.c_str() + pos, "D[%d]=%lf", &idx, &val) == 2 && idx >= 0 && idx < 512)
        w[idx] = std::lround(val * 65536.0) / 65536.0;
      pos += 2;
    }
    return w;
  }();
  return d;
}

// The filterbank in double precision, straight from its definition: V from
// the cosine sums, S[n] = sum_i U[n + 32i] D[n + 32i], rounded and clipped.
class ReferenceFilterbank {
 public:
  // Returns the largest |V| of the new vector.
  double Push(const float* s) {
    std::vector<double> v(64);
    double peak = 0;
    for (int i = 0; i < 64; ++i) {
      double sum = 0;
      for (int k = 0; k < 32; ++k) sum += std::cos((16 + i) * (2 * k + 1) * kPi / 64) * s[k];
      v[i] = 32767.0 * sum;
      peak = std::fmax(peak, std::fabs(v[i]));
    }
    fifo_.push_front(v);
    if (fifo_.size() > 16) fifo_.pop_back();
    return peak;
  }
  int Sample(int n) const {
    const std::vector<double>& d = ExactWindow();
    double acc = 0;
    for (size_t i = 0; i < fifo_.size(); ++i) acc += fifo_[i][i & 1 ? 32 + n : n] * d[n + 32 * i];
    return int(std::fmin(std::fmax(std::nearbyint(acc), -32768.0), 32767.0));
  }

 private:
  std::deque<std::vector<double>> fifo_;  // newest first
};

struct Rig {
  MpegDecoder d;
  int16_t pcm[64] = {};
  explicit Rig(int stereo) {
    d.Init();
    d.header().stereo = stereo;
    d.pcm().data = pcm;
  }
  // One call; `integer` receives what the integer windowing makes of the
  // history the call leaves behind.
  void Call(const float* s0, const float* s1, int16_t* integer) {
    const int h = d.synthesis().half, s = d.synthesis().slot;
    d.pcm().count = 0;
    d.Synthesize(s0, s1);
    dsp::Reference().window(d.synthesis().history[0], d.synthesis().history[d.header().stereo ? 1 : 0], h, s, integer);
  }
};

// Stored value of V[i] written by the call that ran at (half, slot).
int StoredV(const SynthesisState& st, int ch, int half, int slot, int i) {
  const int h = i < 32 ? half : 1 - half;
  const int n = i & 31;
  return st.history[ch][512 * h + 64 * (n >> 2) + 4 * slot + (n & 3)];
}

// V[i] of a slot from the 32 values the float history keeps.
double VFromHistory(const SynthesisState& st, int ch, int slot, int i) {
  const float* x = st.unlimited[ch][slot];
  if (i < 16) return x[16 + i];
  if (i == 16) return 0;
  return i < 48 ? -x[48 - i] : -x[i - 48];
}

void Fill(std::mt19937& rng, float amp, float* s) {
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (int k = 0; k < 32; ++k) s[k] = u(rng) * amp;
}

// Every coefficient the folded window holds is D at its place, and every
// other place is 0, up to the table's end.
TEST(SynthesisRange, FoldedWindowIsTheExactWindow) {
  const std::vector<double>& d = ExactWindow();
  ASSERT_EQ(d[256], 75038.0 / 65536);
  for (int k = 0; k < 8; ++k) {
    const float* w = synthesis_window_exact + 72 * k;
    for (int q = 0; q < 16; ++q) {
      EXPECT_EQ(w[q], d[q + 64 * k]) << k << " A" << q;
      EXPECT_EQ(w[16 + q], q == 0 ? 0.0 : d[32 - q + 64 * k]) << k << " B" << q;
      EXPECT_EQ(w[32 + q], d[48 + q + 64 * k]) << k << " C" << q;
    }
    for (int p = 0; p < 24; ++p)
      EXPECT_EQ(w[48 + p], p >= 1 && p <= 16 ? d[48 - p + 64 * k] : 0.0) << k << " E" << p;
  }
}

TEST(SynthesisRange, InRangeStaysOnIntegerWindowing) {
  for (int stereo : {1, 0}) {
    SCOPED_TRACE(stereo ? "stereo" : "mono");
    Rig rig(stereo);
    std::mt19937 rng(21);
    for (int call = 0; call < 400; ++call) {
      float s0[32], s1[32];
      // Quiet, normal and just below full scale.
      const float amp = call % 9 == 0 ? 0.085f : call % 3 == 0 ? 0.05f : 0.01f;
      Fill(rng, amp, s0);
      Fill(rng, amp, s1);
      int16_t integer[64];
      rig.Call(s0, s1, integer);
      ASSERT_EQ(rig.d.synthesis().limited_calls[0] | rig.d.synthesis().limited_calls[1], 0) << call;
      for (int i = 0; i < 64; ++i) ASSERT_EQ(rig.pcm[i], integer[i]) << "call " << call << " value " << i;
    }
    // Each slot's float values make the V vector the 16-bit history holds
    // rounded. The last 16 calls wrote slots 0..15 at alternating halves.
    for (int back = 0; back < 16; ++back) {
      const int slot = (rig.d.synthesis().slot - 1 - back) & 15, half = (rig.d.synthesis().half + 1 + back) & 1;
      for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < 64; ++i)
          ASSERT_EQ(std::nearbyint(VFromHistory(rig.d.synthesis(), ch, slot, i)), StoredV(rig.d.synthesis(), ch, half, slot, i))
              << "ch " << ch << " slot " << slot << " V" << i;
    }
  }

  // Limited means rounded beyond +-32767: with a unit scale V[48] is -s[0].
  Rig rig(1);
  rig.d.synthesis().pcm_scale = 1.0f;
  const float zero[32] = {};
  int16_t integer[64];
  for (float in : {32767.49f, -32767.49f, 32767.0f}) {
    float s0[32] = {};
    s0[0] = in;
    rig.Call(s0, zero, integer);
    EXPECT_EQ(rig.d.synthesis().limited_calls[0], 0) << in;
  }
  for (float in : {32767.5f, -32767.5f, 40000.0f}) {
    Rig fresh(1);
    fresh.d.synthesis().pcm_scale = 1.0f;
    float s0[32] = {};
    s0[0] = in;
    fresh.Call(s0, zero, integer);
    // Set to 16 by the call, one window used up.
    EXPECT_EQ(fresh.d.synthesis().limited_calls[0], 15) << in;
    EXPECT_EQ(fresh.d.synthesis().limited_calls[1], 0) << in;
  }
}

// A run of calls through the decoder and the reference side by side: over-
// range windows must match the exact filterbank, all others the integer
// windowing bit for bit.
struct RangeRun {
  int over_range_windows[2] = {};
  int worst_exact_error = 0;    // over-range windows, decoder vs reference
  int worst_integer_error = 0;  // same windows, integer windowing vs reference
};

RangeRun RunAgainstReference(int stereo, const std::vector<std::vector<float>>& inputs) {
  RangeRun run;
  Rig rig(stereo);
  ReferenceFilterbank ref[2];
  int last_loud[2] = {-100, -100};
  for (size_t call = 0; call < inputs.size(); ++call) {
    const float* s[2] = {inputs[call].data(), inputs[call].data() + 32};
    int16_t integer[64];
    rig.Call(s[0], s[1], integer);
    for (int ch = 0; ch < 2; ++ch) {
      const double peak = ref[ch].Push(s[ch]);
      EXPECT_TRUE(peak < 32000 || peak > 33000) << "ambiguous input at call " << call;
      if (peak > 32767.5) last_loud[ch] = int(call);
    }
    for (int out_ch = 0; out_ch < 2; ++out_ch) {
      const int ch = stereo ? out_ch : 0;
      const bool over = int(call) - last_loud[ch] < 16;
      run.over_range_windows[out_ch] += over;
      for (int n = 0; n < 32; ++n) {
        const int got = rig.pcm[2 * n + out_ch], want = ref[ch].Sample(n), old = integer[2 * n + out_ch];
        if (!over) {
          EXPECT_EQ(got, old) << "call " << call << " ch " << out_ch << " n " << n;
          continue;
        }
        run.worst_exact_error = std::max(run.worst_exact_error, std::abs(got - want));
        run.worst_integer_error = std::max(run.worst_integer_error, std::abs(old - want));
      }
    }
  }
  return run;
}

TEST(SynthesisRange, OverRangeMatchesExactFilterbank) {
  std::mt19937 rng(8);
  std::vector<std::vector<float>> inputs;
  auto quiet = [&](int calls) {
    for (int i = 0; i < calls; ++i) {
      inputs.emplace_back(64);
      Fill(rng, 0.04f, inputs.back().data());
      Fill(rng, 0.04f, inputs.back().data() + 32);
    }
  };
  quiet(20);
  // A sub-band impulse of amplitude 4 in channel 0 only, then quiet.
  inputs.emplace_back(64, 0.0f);
  inputs.back()[3] = 4.0f;
  quiet(30);
  // Three loud calls in channel 1, a lone one in channel 0 two calls later.
  for (int i = 0; i < 3; ++i) {
    inputs.emplace_back(64, 0.0f);
    inputs.back()[32 + 7 + i] = -3.0f;
    inputs.back()[32 + 20] = 2.5f;
  }
  quiet(2);
  inputs.emplace_back(64, 0.0f);
  inputs.back()[0] = -4.0f;
  quiet(20);
  // A sustained tone in sub-band 2, 1.5 to 3 times full scale, both channels.
  for (int i = 0; i < 40; ++i) {
    inputs.emplace_back(64, 0.0f);
    inputs.back()[2] = (i % 2 ? 1.5f : -1.5f) * (1.0f + float(std::fabs(std::sin(0.7 * i))));
    inputs.back()[32 + 2] = -inputs.back()[2];
  }
  quiet(30);

  const RangeRun stereo = RunAgainstReference(1, inputs);
  // Channel 0: 16 after the impulse, 16 after the lone call, 40 + 15 around
  // the sine; channel 1: 18 after its burst and 40 + 15.
  EXPECT_EQ(stereo.over_range_windows[0], 16 + 16 + 55);
  EXPECT_EQ(stereo.over_range_windows[1], 18 + 55);
  EXPECT_LE(stereo.worst_exact_error, 2);
  EXPECT_GT(stereo.worst_integer_error, 1000);  // what limiting V did

  // Mono reads channel 0 for both sides, however loud channel 1 is.
  const RangeRun mono = RunAgainstReference(0, inputs);
  EXPECT_EQ(mono.over_range_windows[0], 16 + 16 + 55);
  EXPECT_EQ(mono.over_range_windows[1], 16 + 16 + 55);
  EXPECT_LE(mono.worst_exact_error, 2);
}

// Once the burst has left the 16-slot window, the output is the integer
// windowing of the recent history alone: a fresh decoder fed just the calls
// since the burst, from the same position, gives the same samples.
TEST(SynthesisRange, IntegerWindowingResumesAfterBurst) {
  std::mt19937 rng(99);
  std::vector<std::vector<float>> after(40, std::vector<float>(64));
  for (auto& in : after) Fill(rng, 0.05f, in.data()), Fill(rng, 0.05f, in.data() + 32);

  Rig loud(1);
  float burst0[32] = {}, burst1[32] = {};
  int16_t integer[64];
  for (int i = 0; i < 5; ++i) {
    Fill(rng, 1.5f, burst0);
    Fill(rng, 1.5f, burst1);
    loud.Call(burst0, burst1, integer);
  }
  ASSERT_EQ(loud.d.synthesis().limited_calls[0], 15);
  ASSERT_EQ(loud.d.synthesis().limited_calls[1], 15);
  const int half = loud.d.synthesis().half, slot = loud.d.synthesis().slot;
  std::vector<int16_t> got;
  int differs_from_integer = 0;
  for (size_t i = 0; i < after.size(); ++i) {
    loud.Call(after[i].data(), after[i].data() + 32, integer);
    for (int v = 0; v < 64; ++v) differs_from_integer += i < 15 && loud.pcm[v] != integer[v];
    got.insert(got.end(), loud.pcm, loud.pcm + 64);
  }
  EXPECT_GT(differs_from_integer, 500);  // the burst's echo was windowed exactly

  Rig fresh(1);
  fresh.d.synthesis().half = half;
  fresh.d.synthesis().slot = slot;
  for (size_t i = 0; i < after.size(); ++i) {
    fresh.Call(after[i].data(), after[i].data() + 32, integer);
    ASSERT_EQ(fresh.d.synthesis().limited_calls[0] | fresh.d.synthesis().limited_calls[1], 0);
    if (i < 15) continue;  // its window still reaches back to Init's zeros
    for (int v = 0; v < 64; ++v) ASSERT_EQ(fresh.pcm[v], got[64 * i + v]) << "call " << i << " value " << v;
  }
}

}  // namespace
}  // namespace bramble

namespace bramble {
namespace {

// The exact windowing writes every other value of a stereo block; for the
// right channel it must stop at the block's last value.
TEST(SynthesisRange, ExactWindowingStaysInsideTheBlock) {
  alignas(16) float history[16][32];
  for (int s = 0; s < 16; ++s)
    for (int i = 0; i < 32; ++i) history[s][i] = float((s * 31 + i * 7) % 200) - 100.0f;
  int16_t block[64 + 1 + 8];
  for (int16_t& v : block) v = 0x5A5A;
  dsp::Reference().window_exact(history, 7, block + 1);  // right channel
  for (int i = 0; i < 64; i += 2) EXPECT_EQ(block[i], 0x5A5A) << "left value " << i << " changed";
  EXPECT_EQ(block[65], 0x5A5A) << "wrote past the block";
  int16_t right[32];
  for (int n = 0; n < 32; ++n) right[n] = block[2 * n + 1];
  dsp::Reference().window_exact(history, 7, block);  // left channel: same history, same values
  for (int n = 0; n < 32; ++n) {
    EXPECT_EQ(block[2 * n + 1], right[n]) << "right value " << n << " changed";
    EXPECT_EQ(block[2 * n], right[n]) << n;
  }
  EXPECT_EQ(block[64], 0x5A5A) << "wrote past the block";
}

}  // namespace
}  // namespace bramble
