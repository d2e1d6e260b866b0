#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "decoder/tables/BuiltTables.h"
#include "decoder/MpegDecoder.h"

namespace bramble {
namespace {

struct Requant : public ::testing::Test {
  void SetUp() override {
    d = std::make_unique<MpegDecoder>();
    d->Init();
    std::memset(&d->layer3().side_info, 0, sizeof d->layer3().side_info);
    std::memset(d->layer3().scale_factors, 0, sizeof d->layer3().scale_factors);
    d->header().lsf = 0;
    d->header().sampling_frequency = 0;  // 44.1 kHz
    Gi().global_gain = 210;
    std::memset(q, 0, sizeof q);
  }
  GranuleInfo& Gi() { return d->layer3().side_info.ch[0].gr[0]; }
  ScaleFactors& Sf() { return d->layer3().scale_factors[0]; }
  void Short(int mixed) {
    Gi().window_switching_flag = 1;
    Gi().block_type = 2;
    Gi().short_block = 1;
    Gi().mixed_block_flag = mixed;
  }
  void Run() {
    std::memset(xr, 0x7f, sizeof xr);
    Requantise(Gi(), Sf(), sfb_bounds[d->header().SfbRow()], q, xr);
  }
  std::unique_ptr<MpegDecoder> d;
  int32_t q[576];
  float xr[576];
};

TEST_F(Requant, LongBlockValues) {
  q[0] = 1;
  q[1] = -8;
  q[2] = 8206;
  q[575] = -27;
  Run();
  EXPECT_EQ(xr[0], 1.0f);
  EXPECT_EQ(xr[1], -16.0f);
  EXPECT_FLOAT_EQ(xr[2], float(std::pow(8206.0, 4.0 / 3.0)));
  EXPECT_EQ(xr[575], -81.0f);
  // A zero value comes out as negative zero.
  EXPECT_EQ(xr[3], 0.0f);
  EXPECT_TRUE(std::signbit(xr[3]));
  // Above the last nonzero value every line is negative zero too, in long
  // and in short blocks.
  for (int shortb = 0; shortb < 2; ++shortb) {
    if (shortb) Short(0);
    for (int last : {0, 1, 2, 37, 291, 574}) {
      std::memset(q, 0, sizeof q);
      q[last] = 2;
      Run();
      for (int i = 0; i < 576; ++i) {
        if (i == last) continue;
        ASSERT_EQ(xr[i], 0.0f) << last << " " << i;
        ASSERT_TRUE(std::signbit(xr[i])) << last << " " << i;
      }
      ASSERT_FLOAT_EQ(std::fabs(xr[last]), float(std::pow(2.0, 4.0 / 3.0))) << last;
    }
  }
  Gi() = GranuleInfo{};
  Gi().global_gain = 210;
  q[0] = 1;
  q[1] = -8;
  // The global gain moves in quarter powers of two.
  Gi().global_gain = 218;
  Run();
  EXPECT_EQ(xr[0], 4.0f);
  EXPECT_EQ(xr[1], -64.0f);
}

TEST_F(Requant, LongBlockScalefactors) {
  for (int i = 0; i < 576; ++i) q[i] = 1;
  // Band 15 (lines 134..161 at 44.1 kHz) with scalefactor 3, pre-emphasis
  // 2 and scalefac_scale 1: 2^(-(3 + 2) * 2 / 2).
  Sf().l[15] = 3;
  Gi().preflag = 1;
  Gi().scalefac_scale = 1;
  Run();
  EXPECT_EQ(xr[133], 0.5f);  // band 14: pretab 1
  EXPECT_EQ(xr[134], float(std::pow(2.0, -5)));
  EXPECT_EQ(xr[161], float(std::pow(2.0, -5)));
  EXPECT_EQ(xr[162], 0.25f);  // band 16: pretab 2
  EXPECT_EQ(xr[0], 1.0f);     // band 0: nothing
  EXPECT_EQ(xr[575], 1.0f);   // band 21: pretab 0
  // Without preflag and with scalefac_scale 0 the band is 2^(-3/2).
  Gi().preflag = 0;
  Gi().scalefac_scale = 0;
  Run();
  EXPECT_FLOAT_EQ(xr[140], float(std::pow(2.0, -1.5)));
  EXPECT_EQ(xr[133], 1.0f);
  // LSF boundaries: 22.05 kHz band 15 spans 200..237.
  d->header().lsf = 1;
  Run();
  EXPECT_EQ(xr[199], 1.0f);
  EXPECT_FLOAT_EQ(xr[200], float(std::pow(2.0, -1.5)));
  EXPECT_FLOAT_EQ(xr[237], float(std::pow(2.0, -1.5)));
  EXPECT_EQ(xr[238], 1.0f);
}

TEST_F(Requant, ShortBlockWindows) {
  Short(0);
  for (int i = 0; i < 576; ++i) q[i] = (i & 1) ? -8 : 1;
  Gi().subblock_gain[1] = 2;
  Sf().s[2][5] = 2;  // band 5 (22..30, width 8): window 2 is lines 82..89
  Run();
  // Band 0 (width 4): windows at 0, 4, 8.
  EXPECT_EQ(xr[0], 1.0f);
  EXPECT_EQ(xr[1], -16.0f);
  EXPECT_EQ(xr[4], 1.0f / 16);
  EXPECT_EQ(xr[5], -1.0f);
  EXPECT_EQ(xr[8], 1.0f);
  // Every window 1 value is 2^-4 times the window 0 value.
  const SfbBounds& b = sfb_bounds[0];
  for (int sfb = 0; sfb < 13; ++sfb) {
    const int width = b.s[sfb + 1] - b.s[sfb];
    for (int k = 0; k < width; ++k) {
      const int i0 = 3 * b.s[sfb] + k;
      ASSERT_EQ(xr[i0 + width], xr[i0] / 16) << sfb << " " << k;
      if (sfb != 5) {
        ASSERT_EQ(xr[i0 + 2 * width], xr[i0]) << sfb << " " << k;
      }
    }
  }
  EXPECT_EQ(xr[81], -1.0f);
  EXPECT_EQ(xr[82], 0.5f);
  EXPECT_EQ(xr[89], -8.0f);
  EXPECT_EQ(xr[90], 1.0f);
}

TEST_F(Requant, MixedBlocks) {
  Short(1);
  for (int i = 0; i < 576; ++i) q[i] = 1;
  Sf().l[1] = 2;      // lines 4..7
  Sf().l[7] = 1;      // lines 30..35
  Sf().l[8] = 4;      // long band 8 lies above line 36: not used
  Sf().s[0][3] = 2;   // short band 3 (12..16, width 4): window 0 = 36..39
  Sf().s[1][3] = 4;   // window 1 = 40..43
  Sf().s[0][0] = 6;   // short bands 0..2 are covered by the long part
  Gi().subblock_gain[2] = 1;
  Gi().preflag = 1;   // pretab is 0 below band 11
  Run();
  EXPECT_EQ(xr[3], 1.0f);
  EXPECT_EQ(xr[4], 0.5f);
  EXPECT_EQ(xr[7], 0.5f);
  EXPECT_EQ(xr[8], 1.0f);
  EXPECT_FLOAT_EQ(xr[30], 0.70710678f);
  EXPECT_FLOAT_EQ(xr[35], 0.70710678f);
  EXPECT_EQ(xr[36], 0.5f);
  EXPECT_EQ(xr[39], 0.5f);
  EXPECT_EQ(xr[40], 0.25f);
  EXPECT_EQ(xr[43], 0.25f);
  EXPECT_EQ(xr[44], 0.25f);  // window 2: subblock gain 1
  EXPECT_EQ(xr[47], 0.25f);
  EXPECT_EQ(xr[48], 1.0f);   // band 4, window 0
  EXPECT_EQ(xr[575], 0.25f); // band 12, window 2
  // The gain applies everywhere.
  Gi().global_gain = 214;
  Run();
  EXPECT_EQ(xr[4], 1.0f);
  EXPECT_EQ(xr[40], 0.5f);
}

}  // namespace
}  // namespace bramble
