#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "decoder/tables/BuiltTables.h"
#include "decoder/MpegDecoder.h"

namespace bramble {
namespace {

constexpr double kPi = 3.14159265358979323846;

class Layer3Tables : public ::testing::Test {
 protected:
  void SetUp() override { BuildTables(); }
};

TEST_F(Layer3Tables, IntensityRatiosMpeg1) {
  // Ordinary positions follow tan(i pi / 12).
  for (int i = 0; i < 16; ++i) {
    if (i == 6 || i == 9) continue;
    EXPECT_NEAR(is_tan[i], std::tan(i * kPi / 12), 1e-6) << i;
    const double t = std::tan(i * kPi / 12);
    EXPECT_NEAR(Built().is_ratio_mpeg1[i][0], t / (1 + t), 2e-6) << i;
    EXPECT_NEAR(Built().is_ratio_mpeg1[i][1], 1 / (1 + t), 2e-6) << i;
  }
  EXPECT_EQ(Built().is_ratio_mpeg1[0][0], 0.0f);
  EXPECT_EQ(Built().is_ratio_mpeg1[0][1], 1.0f);
  EXPECT_FLOAT_EQ(Built().is_ratio_mpeg1[3][0], 0.5f);
  EXPECT_FLOAT_EQ(Built().is_ratio_mpeg1[3][1], 0.5f);
  // The pole and the -1 entry are replaced so that both ratios stay finite.
  EXPECT_FLOAT_EQ(Built().is_ratio_mpeg1[6][0], 1.0f);
  EXPECT_NEAR(Built().is_ratio_mpeg1[6][1], 1.0e-11, 1e-14);
  EXPECT_NEAR(Built().is_ratio_mpeg1[9][0], 101.0f, 1e-3);
  EXPECT_NEAR(Built().is_ratio_mpeg1[9][1], -100.0f, 1e-3);
}

TEST_F(Layer3Tables, IntensityRatiosLsf) {
  EXPECT_EQ(Built().is_ratio_lsf[0][0][0], 1.0f);
  EXPECT_EQ(Built().is_ratio_lsf[0][0][1], 1.0f);
  EXPECT_NEAR(Built().is_ratio_lsf[0][1][0], 0.840896, 1e-6);
  EXPECT_EQ(Built().is_ratio_lsf[0][1][1], 1.0f);
  EXPECT_EQ(Built().is_ratio_lsf[0][2][0], 1.0f);
  EXPECT_NEAR(Built().is_ratio_lsf[0][2][1], 0.840896, 1e-6);
  EXPECT_NEAR(Built().is_ratio_lsf[1][3][0], 0.5, 1e-7);
  EXPECT_EQ(Built().is_ratio_lsf[1][3][1], 1.0f);
  EXPECT_EQ(Built().is_ratio_lsf[1][4][0], 1.0f);
  EXPECT_NEAR(Built().is_ratio_lsf[1][4][1], 0.5, 1e-7);
  // Each step of two positions halves (set 1) or quarter-steps (set 0).
  EXPECT_NEAR(Built().is_ratio_lsf[0][8][1], 0.5, 1e-7);
  EXPECT_NEAR(Built().is_ratio_lsf[1][63][0], std::pow(2.0, -16), 1e-10);
  EXPECT_NEAR(Built().is_ratio_lsf[1][62][1], std::pow(2.0, -15.5), 1e-10);
}

TEST_F(Layer3Tables, GainAndScalefactorScales) {
  EXPECT_EQ(Built().gain_scale[210], 1.0f);
  EXPECT_EQ(Built().gain_scale[214], 2.0f);
  EXPECT_EQ(Built().gain_scale[206], 0.5f);
  EXPECT_NEAR(Built().gain_scale[0], std::pow(2.0, -52.5), 1e-22);
  EXPECT_NEAR(Built().gain_scale[255], std::pow(2.0, 11.25), 1e-2);
  EXPECT_EQ(Built().sf_scale_long[0], 1.0f);
  EXPECT_EQ(Built().sf_scale_long[2], 0.5f);
  EXPECT_FLOAT_EQ(Built().sf_scale_long[1], 0.70710678f);
  EXPECT_EQ(Built().sf_scale_long[39], float(std::pow(2.0, -19.5)));
  // 2^(-2m - (1 + s) k / 2)
  EXPECT_EQ(Built().sf_scale_short[0][0][0], 1.0f);
  EXPECT_EQ(Built().sf_scale_short[1][0][0], 0.25f);
  EXPECT_EQ(Built().sf_scale_short[0][0][2], 0.5f);
  EXPECT_EQ(Built().sf_scale_short[0][1][1], 0.5f);
  EXPECT_EQ(Built().sf_scale_short[2][1][3], float(std::pow(2.0, -7)));
  EXPECT_EQ(Built().sf_scale_short[7][1][15], float(std::pow(2.0, -29)));
}

TEST_F(Layer3Tables, Pow43CoversEveryHuffmanMagnitude) {
  const float* p = Built().pow43_signed();
  EXPECT_EQ(p[0], 0.0f);
  EXPECT_TRUE(std::signbit(p[0]));
  // Exact powers: n^(4/3) for perfect cubes.
  EXPECT_EQ(p[1], 1.0f);
  EXPECT_EQ(p[8], 16.0f);
  EXPECT_EQ(p[-8], -16.0f);
  EXPECT_EQ(p[27], 81.0f);
  EXPECT_EQ(p[4096], 65536.0f);
  EXPECT_EQ(p[8000], 160000.0f);
  EXPECT_EQ(p[-8000], -160000.0f);
  // The escape range past 8191 up to 15 + 2^13 - 1.
  float before = p[8190];
  for (int i = 8191; i <= 8206; ++i) {
    const double want = std::pow(double(i), 4.0 / 3.0);
    EXPECT_NEAR(p[i], want, want * 1e-7) << i;
    EXPECT_EQ(p[-i], -p[i]) << i;
    EXPECT_GT(p[i], before) << i;
    before = p[i];
  }
}

TEST_F(Layer3Tables, AntialiasCoefficientsMatchPublishedValues) {
  // cs and ca as printed in ISO/IEC 11172-3 Table B.9.
  const double cs[8] = {0.857493, 0.881742, 0.949629, 0.983315, 0.995518, 0.999161, 0.999899, 0.999993};
  const double ca[8] = {-0.514496, -0.471732, -0.313377, -0.181913,
                        -0.094574, -0.040966, -0.014199, -0.003700};
  for (int i = 0; i < 8; ++i) {
    EXPECT_NEAR(Built().aa_cs[i], cs[i], 1e-6) << i;
    EXPECT_NEAR(Built().aa_ca[i], ca[i], 1e-6) << i;
  }
}

TEST_F(Layer3Tables, ShortReorderInterleavesWindows) {
  // 44.1 kHz MPEG-1: band 0 has width 4, so windows sit at 0, 4 and 8.
  const int32_t* r = ShortReorder(0);
  EXPECT_EQ(r[0], 0);
  EXPECT_EQ(r[1], 4);
  EXPECT_EQ(r[2], 8);
  EXPECT_EQ(r[3], 1);
  EXPECT_EQ(r[11], 11);
  // Band 12 (lines 408..575, width 56): its last line is window 2, line 55.
  EXPECT_EQ(r[408 + 1], 408 + 56);
  EXPECT_EQ(r[575], 575);
  // 24 kHz band 4 starts at 18 with width 8, so line 3 * 18 + 3 * 1 + 2
  // comes from 54 + 2 * 8 + 1.
  EXPECT_EQ(ShortReorder(4)[54 + 3 + 2], 54 + 16 + 1);
  // Every set is a permutation that keeps each band's lines in the band.
  for (int set = 0; set < kSfbRows; ++set) {
    const SfbBounds& b = sfb_bounds[set];
    std::vector<int> seen(576, 0);
    for (int sfb = 0; sfb < 13; ++sfb)
      for (int i = 3 * b.s[sfb]; i < 3 * b.s[sfb + 1]; ++i) {
        const int src = Built().short_reorder[set][i];
        ASSERT_GE(src, 3 * b.s[sfb]) << set << " " << i;
        ASSERT_LT(src, 3 * b.s[sfb + 1]) << set << " " << i;
        ++seen[src];
      }
    for (int i = 0; i < 576; ++i) ASSERT_EQ(seen[i], 1) << set << " " << i;
  }
}

TEST_F(Layer3Tables, BandBoundariesByVersionAndRate) {
  // Rows are indexed 3 * lsf + sampling_frequency: MPEG-1 first.
  EXPECT_EQ(sfb_bounds[0].l[21], 418);  // 44.1 kHz
  EXPECT_EQ(sfb_bounds[1].l[21], 384);  // 48 kHz
  EXPECT_EQ(sfb_bounds[2].l[21], 550);  // 32 kHz
  EXPECT_EQ(sfb_bounds[3].l[21], 522);  // 22.05 kHz
  EXPECT_EQ(sfb_bounds[0].s[12], 136);
  EXPECT_EQ(sfb_bounds[3].s[12], 174);
  // 24 kHz long bands 18 and 19 meet at 332, as the compliance decodings
  // of 24 kHz streams require.
  const int32_t lsf24[23] = {0,  6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
                             114, 136, 162, 194, 232, 278, 332, 394, 464, 540, 576};
  for (int i = 0; i < 23; ++i) EXPECT_EQ(sfb_bounds[4].l[i], lsf24[i]) << i;
  // Every row runs from 0 to 576 lines (192 per short window) and rises.
  for (int r = 0; r < 6; ++r) {
    EXPECT_EQ(sfb_bounds[r].l[22], 576);
    EXPECT_EQ(sfb_bounds[r].s[13], 192);
    for (int i = 1; i < 23; ++i) EXPECT_GT(sfb_bounds[r].l[i], sfb_bounds[r].l[i - 1]);
    for (int i = 1; i < 14; ++i) EXPECT_GT(sfb_bounds[r].s[i], sfb_bounds[r].s[i - 1]);
    // Two sub-bands (36 lines) end exactly on a long and a short boundary,
    // which mixed blocks rely on.
    EXPECT_EQ(3 * sfb_bounds[r].s[3], 36);
    EXPECT_EQ(sfb_bounds[r].l[r < 3 ? 8 : 6], 36);
  }
}

}  // namespace
}  // namespace bramble
