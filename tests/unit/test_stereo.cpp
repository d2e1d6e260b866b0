#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include "decoder/tables/BuiltTables.h"
#include "decoder/MpegDecoder.h"

namespace bramble {
namespace {

constexpr double kPi = 3.14159265358979323846;

constexpr float kSqrt2 = 1.4142137f;

struct Stereo : public ::testing::Test {
  void SetUp() override {
    d = std::make_unique<MpegDecoder>();
    d->Init();
    modes = {};
    std::memset(&d->layer3().side_info, 0, sizeof d->layer3().side_info);
    std::memset(d->layer3().scale_factors, 0, sizeof d->layer3().scale_factors);
    d->header().lsf = 0;
    d->header().sampling_frequency = 0;  // 44.1 kHz
    d->header().stereo = 1;
    d->header().mode = 1;
    for (int i = 0; i < 576; ++i) {
      xr[0][i] = left[i] = 1.0f + std::uniform_real_distribution<float>(0.0f, 1.0f)(rng);
      xr[1][i] = 0.0f;
    }
  }
  void SetModes(int ms, int is) { modes = {ms != 0, is != 0}; }
  void Mpeg1() {
    Layer3State& s = d->layer3();
    StereoMpeg1(modes, s.side_info.ch[0].gr[0], sfb_bounds[d->header().SfbRow()], s.scale_factors[1], xr);
  }
  void Lsf() {
    Layer3State& s = d->layer3();
    StereoLsf(modes, s.side_info.ch[0].gr[0], s.side_info.ch[1].gr[0].scalefac_compress,
              sfb_bounds[d->header().SfbRow()], s.scale_factors[1], s.limits, xr);
  }
  void Short(int mixed) {
    for (int ch = 0; ch < 2; ++ch) {
      GranuleInfo& gi = d->layer3().side_info.ch[ch].gr[0];
      gi.window_switching_flag = 1;
      gi.block_type = 2;
      gi.short_block = 1;
      gi.mixed_block_flag = mixed;
    }
  }
  ScaleFactors& Right() { return d->layer3().scale_factors[1]; }
  // The line was intensity coded with the pair (a, b).
  void ExpectIntensity(int i, double a, double b) {
    ASSERT_NEAR(xr[0][i], left[i] * a, 1e-5 * std::fabs(left[i] * a) + 1e-12) << i;
    ASSERT_NEAR(xr[1][i], left[i] * b, 1e-5 * std::fabs(left[i] * b) + 1e-12) << i;
  }
  void ExpectUntouched(int i, float right) {
    ASSERT_EQ(xr[0][i], left[i]) << i;
    ASSERT_EQ(xr[1][i], right) << i;
  }
  void ExpectMidSide(int i, float right) {
    ASSERT_EQ(xr[0][i], (left[i] + right) * 0.70710683f) << i;
    ASSERT_EQ(xr[1][i], (left[i] - right) * 0.70710683f) << i;
  }
  static double T(int pos) { return std::tan(pos * kPi / 12); }

  std::unique_ptr<MpegDecoder> d;
  StereoModes modes{};
  std::mt19937 rng{99};
  float xr[2][576];
  float left[576];
};

TEST_F(Stereo, MidSideOnly) {
  for (int i = 0; i < 576; ++i) {
    xr[0][i] = 1.0f;
    xr[1][i] = (i & 1) ? -1.0f : 1.0f;
  }
  SetModes(1, 0);
  Mpeg1();
  EXPECT_EQ(xr[0][0], kSqrt2);
  EXPECT_EQ(xr[1][0], 0.0f);
  EXPECT_EQ(xr[0][1], 0.0f);
  EXPECT_EQ(xr[1][1], kSqrt2);
  EXPECT_EQ(xr[0][575], 0.0f);
  EXPECT_EQ(xr[1][575], kSqrt2);
  // Neither mode: nothing changes. The LSF stage does the same.
  SetModes(0, 0);
  Mpeg1();
  Lsf();
  EXPECT_EQ(xr[0][0], kSqrt2);
  EXPECT_EQ(xr[1][1], kSqrt2);
  SetModes(1, 0);
  d->header().lsf = 1;
  Lsf();
  EXPECT_FLOAT_EQ(xr[0][0], 1.0f);
  EXPECT_FLOAT_EQ(xr[1][0], 1.0f);
}

TEST_F(Stereo, Mpeg1IntensityLongBlocks) {
  // Right channel nonzero up to line 109, the last of band 13 (90..109);
  // above it only negative zeros, which count as zero. Intensity starts at
  // band 14 (110).
  for (int i = 0; i <= 109; ++i) xr[1][i] = 0.5f;
  for (int i = 110; i < 576; ++i) xr[1][i] = -0.0f;
  for (int b = 0; b < 21; ++b) Right().l[b] = 2;
  Right().l[16] = 7;  // illegal position: band 16 (162..195) is not intensity
  SetModes(1, 1);
  Mpeg1();
  const double a = T(2) / (1 + T(2)), b = 1 / (1 + T(2));
  for (int i = 0; i < 110; ++i) ExpectMidSide(i, 0.5f);
  for (int i = 110; i < 162; ++i) ExpectIntensity(i, a, b);
  for (int i = 162; i < 196; ++i) ExpectMidSide(i, -0.0f);
  for (int i = 196; i < 576; ++i) ExpectIntensity(i, a, b);  // band 21 follows band 20

  // Without mid/side the illegal band is left alone.
  SetUp();
  for (int i = 0; i <= 100; ++i) xr[1][i] = 0.5f;
  for (int b = 0; b < 21; ++b) Right().l[b] = 2;
  Right().l[16] = 7;
  Right().l[20] = 7;  // band 21 copies band 20: neither is intensity
  SetModes(0, 1);
  Mpeg1();
  for (int i = 0; i < 110; ++i) ExpectUntouched(i, i <= 100 ? 0.5f : 0.0f);
  for (int i = 162; i < 196; ++i) ExpectUntouched(i, 0.0f);
  for (int i = 342; i < 576; ++i) ExpectUntouched(i, 0.0f);
  ExpectIntensity(341, a, b);
}

TEST_F(Stereo, Mpeg1IntensityPositions) {
  // An all-zero right channel: line 0 counts as nonzero, so band 0 keeps
  // its values and every band from 1 on is intensity coded.
  for (int b = 0; b < 21; ++b) Right().l[b] = 0;
  Right().l[5] = 6;
  Right().l[6] = 1;
  SetModes(0, 1);
  Mpeg1();
  for (int i = 0; i < 4; ++i) ExpectUntouched(i, 0.0f);
  // Position 0: the left channel gets nothing, the right all.
  for (int i = 4; i < 20; ++i) {
    ASSERT_EQ(xr[0][i], 0.0f);
    ASSERT_EQ(xr[1][i], left[i]);
  }
  // Position 6 keeps almost everything on the left.
  for (int i = 20; i < 24; ++i) {
    ASSERT_FLOAT_EQ(xr[0][i], left[i]);
    ASSERT_NEAR(xr[1][i], left[i] * 1e-11, 1e-15);
  }
  for (int i = 24; i < 30; ++i) ExpectIntensity(i, T(1) / (1 + T(1)), 1 / (1 + T(1)));
  ASSERT_EQ(xr[1][575], left[575]);  // band 21 follows band 20 (position 0)
}

TEST_F(Stereo, Mpeg1IntensityRightChannelReachingBand21) {
  // Nonzero in band 20 (342..417): band 21 follows band 20, which is not
  // intensity coded.
  xr[1][400] = 0.25f;
  for (int b = 0; b < 21; ++b) Right().l[b] = 1;
  SetModes(0, 1);
  Mpeg1();
  for (int i = 0; i < 576; ++i) ExpectUntouched(i, i == 400 ? 0.25f : 0.0f);

  SetUp();
  xr[1][500] = 0.25f;
  for (int b = 0; b < 21; ++b) Right().l[b] = 1;
  SetModes(0, 1);
  Mpeg1();
  for (int i = 0; i < 576; ++i) ExpectUntouched(i, i == 500 ? 0.25f : 0.0f);
  SetModes(1, 1);
  Mpeg1();
  for (int i = 0; i < 576; ++i) ExpectMidSide(i, i == 500 ? 0.25f : 0.0f);
}

// 44.1 kHz short bands: 0 4 8 12 16 22 30 40 52 66 84 106 136 192.
int Line(int sfb, int w, int k) {
  const SfbBounds& b = sfb_bounds[0];
  return 3 * b.s[sfb] + w * (b.s[sfb + 1] - b.s[sfb]) + k;
}
int Width(int sfb) { return sfb_bounds[0].s[sfb + 1] - sfb_bounds[0].s[sfb]; }

TEST_F(Stereo, Mpeg1IntensityShortBlocks) {
  Short(0);
  xr[1][Line(2, 0, 1)] = 1.0f;   // window 0: highest nonzero band 2
  xr[1][Line(12, 1, 5)] = 1.0f;  // window 1: band 12, so nothing is marked
  for (int sfb = 0; sfb < 13; ++sfb) {
    Right().s[0][sfb] = 1;
    Right().s[1][sfb] = 1;
    Right().s[2][sfb] = 3;
  }
  Right().s[0][11] = 7;  // band 11 follows band 10 whatever it holds
  Right().s[2][10] = 7;  // ... also when band 10 is not intensity coded
  SetModes(0, 1);
  float right[576];
  std::memcpy(right, xr[1], sizeof right);
  Mpeg1();
  const double a1 = T(1) / (1 + T(1)), b1 = 1 / (1 + T(1));
  for (int sfb = 0; sfb < 13; ++sfb)
    for (int k = 0; k < Width(sfb); ++k) {
      // Window 0: bands 3..11.
      const int i0 = Line(sfb, 0, k);
      if (sfb >= 3 && sfb <= 11)
        ExpectIntensity(i0, a1, b1);
      else
        ExpectUntouched(i0, right[i0]);
      // Window 1: nothing.
      const int i1 = Line(sfb, 1, k);
      ExpectUntouched(i1, right[i1]);
      // Window 2: bands 0..9 with position 3; 10 illegal, 11 follows it.
      const int i2 = Line(sfb, 2, k);
      if (sfb <= 9)
        ExpectIntensity(i2, 0.5, 0.5);
      else
        ExpectUntouched(i2, right[i2]);
    }
}

TEST_F(Stereo, Mpeg1IntensityMixedBlocks) {
  Short(1);
  // Only line 10 (long band 2) of the right channel is nonzero: every short
  // band from 3 is intensity coded, and so are long bands 3..7 (12..35).
  xr[1][10] = 1.0f;
  SetModes(0, 1);
  Mpeg1();
  for (int i = 0; i < 12; ++i) ExpectUntouched(i, i == 10 ? 1.0f : 0.0f);
  for (int i = 12; i < 3 * 136; ++i) {
    ASSERT_EQ(xr[0][i], 0.0f) << i;
    ASSERT_EQ(xr[1][i], left[i]) << i;
  }
  for (int i = 3 * 136; i < 576; ++i) ExpectUntouched(i, 0.0f);  // short band 12

  // A nonzero right line in short band 5 of window 0 keeps the long part
  // (and the short bands up to 5 of that window) out of intensity.
  SetUp();
  Short(1);
  xr[1][Line(5, 0, 0)] = 1.0f;
  SetModes(0, 1);
  Mpeg1();
  for (int i = 0; i < 36; ++i) ExpectUntouched(i, 0.0f);
  for (int sfb = 3; sfb <= 5; ++sfb)
    for (int k = 0; k < Width(sfb); ++k) {
      const int i = Line(sfb, 0, k);
      ExpectUntouched(i, i == Line(5, 0, 0) ? 1.0f : 0.0f);
    }
  ASSERT_EQ(xr[0][Line(6, 0, 0)], 0.0f);
  ASSERT_EQ(xr[0][Line(3, 1, 0)], 0.0f);

  // Short band 3 is enough to keep the long part out.
  SetUp();
  Short(1);
  xr[1][Line(3, 2, 3)] = 1.0f;
  SetModes(0, 1);
  Mpeg1();
  for (int i = 0; i < 36; ++i) ExpectUntouched(i, 0.0f);
  ASSERT_EQ(xr[0][Line(3, 0, 0)], 0.0f);
  ASSERT_EQ(xr[0][Line(4, 2, 0)], 0.0f);
}

TEST_F(Stereo, LsfIntensityRatioSets) {
  d->header().lsf = 1;
  d->header().sampling_frequency = 0;  // 22.05 kHz: long bands 0 6 12 18 24 ...
  for (int b = 0; b < 21; ++b) d->layer3().limits.is_max_long[b] = 7;
  d->layer3().side_info.ch[1].gr[0].scalefac_compress = 1;  // odd: 2^(-1/2) steps
  Right().l[1] = 4;
  Right().l[2] = 3;
  Right().l[3] = 7;  // the illegal position of band 3
  Right().l[4] = 0;
  d->layer3().limits.is_max_long[4] = -1;  // a partition with no bits: position 0 is legal
  Right().l[5] = 5;
  d->layer3().limits.is_max_long[5] = 5;
  Right().l[20] = 4;
  SetModes(0, 1);
  Lsf();
  // An all-zero right channel is intensity coded from band 0 on.
  for (int i = 0; i < 6; ++i) ExpectIntensity(i, 1.0, 1.0);
  for (int i = 6; i < 12; ++i) ExpectIntensity(i, 1.0, 0.5);
  for (int i = 12; i < 18; ++i) ExpectIntensity(i, 0.5, 1.0);
  for (int i = 18; i < 24; ++i) ExpectUntouched(i, 0.0f);
  for (int i = 24; i < 30; ++i) ExpectIntensity(i, 1.0, 1.0);
  for (int i = 30; i < 36; ++i) ExpectUntouched(i, 0.0f);
  for (int i = 464; i < 576; ++i) ExpectIntensity(i, 1.0, 0.5);  // band 21 follows 20

  // Even scalefac_compress: 2^(-1/4) steps.
  SetUp();
  d->header().lsf = 1;
  for (int b = 0; b < 21; ++b) d->layer3().limits.is_max_long[b] = 7;
  Right().l[1] = 1;
  Right().l[2] = 4;
  SetModes(0, 1);
  Lsf();
  for (int i = 6; i < 12; ++i) ExpectIntensity(i, std::pow(2.0, -0.25), 1.0);
  for (int i = 12; i < 18; ++i) ExpectIntensity(i, 1.0, std::pow(2.0, -0.5));
}

TEST_F(Stereo, LsfIntensityMixedBlocks) {
  d->header().lsf = 1;
  d->header().sampling_frequency = 0;  // 22.05 kHz: short band 3 spans lines 36..53
  Short(1);
  for (int b = 0; b < 21; ++b) {
    d->layer3().limits.is_max_long[b] = 7;
    Right().l[b] = 1;
  }
  for (int w = 0; w < 3; ++w)
    for (int b = 0; b < 12; ++b) {
      d->layer3().limits.is_max_short[w][b] = 7;
      Right().s[w][b] = 1;
    }
  const double io = std::pow(2.0, -0.25);
  // Nothing on the right above line 20: long bands 4..7 (24..43) and every
  // short band from 3 are intensity coded, band 12 like band 11.
  xr[1][20] = 1.0f;
  SetModes(0, 1);
  Lsf();
  for (int i = 0; i < 24; ++i) ExpectUntouched(i, i == 20 ? 1.0f : 0.0f);
  for (int i = 24; i < 576; ++i) ExpectIntensity(i, io, 1.0);

  // A nonzero line in short band 3 keeps the long part out, even where
  // long bands 6 and 7 (36..53) would reach into the short part.
  SetUp();
  d->header().lsf = 1;
  Short(1);
  for (int b = 0; b < 21; ++b) {
    d->layer3().limits.is_max_long[b] = 7;
    Right().l[b] = 1;
  }
  for (int w = 0; w < 3; ++w)
    for (int b = 0; b < 12; ++b) d->layer3().limits.is_max_short[w][b] = 7;
  xr[1][36] = 1.0f;
  SetModes(0, 1);
  Lsf();
  for (int i = 0; i < 42; ++i) ExpectUntouched(i, i == 36 ? 1.0f : 0.0f);
  // Windows 1 and 2 of band 3 (42..53) are intensity coded with their short
  // position 0, not with long band 7 (44..53).
  for (int i = 42; i < 54; ++i) ExpectIntensity(i, 1.0, 1.0);
  ExpectIntensity(3 * 18, 1.0, 1.0);  // window 0 of band 4
}

TEST_F(Stereo, LsfIntensityLastBands) {
  // 22.05 kHz: long band 20 spans 464..521, band 21 522..575.
  d->header().lsf = 1;
  for (int b = 0; b < 21; ++b) {
    d->layer3().limits.is_max_long[b] = 7;
    Right().l[b] = 2;
  }
  const double io = std::pow(2.0, -0.25);
  // Right channel nonzero in band 20: band 21 alone is intensity coded,
  // with position 0.
  xr[1][500] = 1.0f;
  SetModes(0, 1);
  Lsf();
  for (int i = 0; i < 522; ++i) ExpectUntouched(i, i == 500 ? 1.0f : 0.0f);
  for (int i = 522; i < 576; ++i) ExpectIntensity(i, 1.0, 1.0);

  // Right channel nonzero up to band 17 (284..335): bands 18..20 use their
  // positions and band 21 follows band 20, here illegal.
  SetUp();
  d->header().lsf = 1;
  for (int b = 0; b < 21; ++b) {
    d->layer3().limits.is_max_long[b] = 7;
    Right().l[b] = 2;
  }
  Right().l[20] = 7;
  xr[1][300] = 1.0f;
  SetModes(0, 1);
  Lsf();
  for (int i = 0; i < 336; ++i) ExpectUntouched(i, i == 300 ? 1.0f : 0.0f);
  for (int i = 336; i < 464; ++i) ExpectIntensity(i, 1.0, io);
  for (int i = 464; i < 576; ++i) ExpectUntouched(i, 0.0f);

  // Short blocks: band 11 (132..174, width 42) uses its own position; band
  // 12 (174..192, width 18) follows band 11, or takes position 0 when band
  // 11 holds the highest nonzero line, or stays when band 12 holds it.
  SetUp();
  d->header().lsf = 1;
  Short(0);
  for (int w = 0; w < 3; ++w)
    for (int b = 0; b < 12; ++b) {
      d->layer3().limits.is_max_short[w][b] = 7;
      Right().s[w][b] = 3;
    }
  xr[1][3 * 132 + 42 + 5] = 1.0f;   // window 1, band 11
  xr[1][3 * 174 + 36 + 1] = 1.0f;   // window 2, band 12
  SetModes(0, 1);
  Lsf();
  const double io2 = std::pow(2.0, -0.5);
  for (int k = 0; k < 42; ++k) ExpectIntensity(3 * 132 + k, io2, 1.0);
  for (int k = 0; k < 18; ++k) {
    ExpectIntensity(3 * 174 + k, io2, 1.0);
    ExpectIntensity(3 * 174 + 18 + k, 1.0, 1.0);
    ExpectUntouched(3 * 174 + 36 + k, k == 1 ? 1.0f : 0.0f);
  }
  for (int k = 0; k < 42; ++k) ExpectUntouched(3 * 132 + 42 + k, k == 5 ? 1.0f : 0.0f);
}

TEST_F(Stereo, LsfIntensityShortBlocksUseWindowLimits) {
  d->header().lsf = 1;
  d->header().sampling_frequency = 0;
  Short(0);
  // 22.05 kHz short bands: 0 4 8 12 18 24 ...; band 4 spans 18..24.
  for (int w = 0; w < 3; ++w)
    for (int b = 0; b < 12; ++b) {
      d->layer3().limits.is_max_short[w][b] = 3;
      Right().s[w][b] = 1;
    }
  d->layer3().limits.is_max_short[1][4] = 1;  // band 4 of window 1 only
  SetModes(0, 1);
  Lsf();
  const int w4 = 24 - 18;
  for (int k = 0; k < w4; ++k) {
    ExpectIntensity(3 * 18 + k, std::pow(2.0, -0.25), 1.0);
    ExpectUntouched(3 * 18 + w4 + k, 0.0f);
    ExpectIntensity(3 * 18 + 2 * w4 + k, std::pow(2.0, -0.25), 1.0);
  }
}

}  // namespace
}  // namespace bramble
