#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "decoder/tables/BuiltTables.h"
#include "decoder/MpegDecoder.h"

namespace bramble {
namespace {

constexpr double kPi = 3.14159265358979323846;

// ---- reference formulas, double precision, exact pi ----

double StandardWindow(int type, int i) {
  auto sin36 = [](int n) { return std::sin(kPi / 36 * (n + 0.5)); };
  auto sin12 = [](int n) { return std::sin(kPi / 12 * (n + 0.5)); };
  switch (type) {
    case 0: return sin36(i);
    case 1: return i < 18 ? sin36(i) : i < 24 ? 1.0 : i < 30 ? sin12(i - 18) : 0.0;
    case 3: return i < 6 ? 0.0 : i < 12 ? sin12(i - 6) : i < 18 ? 1.0 : sin36(i);
    default: return sin12(i);  // short window, i < 12
  }
}

// Windowed 36 samples of one long sub-band.
void DirectLong(const float* X, int type, double* out36) {
  for (int i = 0; i < 36; ++i) {
    double s = 0;
    for (int k = 0; k < 18; ++k) s += X[k] * std::cos(kPi / 72 * (2 * i + 19) * (2 * k + 1));
    out36[i] = s * StandardWindow(type, i);
  }
}

// Overlapped 36 samples of one short sub-band (interleaved input X[3k + w]).
void DirectShort(const float* X, double* out36) {
  for (int i = 0; i < 36; ++i) out36[i] = 0;
  for (int w = 0; w < 3; ++w)
    for (int i = 0; i < 12; ++i) {
      double s = 0;
      for (int k = 0; k < 6; ++k) s += X[3 * k + w] * std::cos(kPi / 24 * (2 * i + 7) * (2 * k + 1));
      out36[6 + 6 * w + i] += s * StandardWindow(2, i);
    }
}

struct Imdct : public ::testing::Test {
  void SetUp() override {
    d = std::make_unique<MpegDecoder>();
    d->Init();
    std::memset(&d->layer3().side_info, 0, sizeof d->layer3().side_info);
  }
  GranuleInfo& Gi() { return d->layer3().side_info.ch[0].gr[0]; }
  void Hybrid(int ch, float* aa, float* xr) {
    OverlapStore& ov = d->layer3().overlap;
    HybridFilterbank(Gi(), ov.overlap[ch][ov.select & 1], ov.overlap[ch][(ov.select & 1) ^ 1], d->kernels(), aa, xr);
  }
  void SetBlock(int block_type, int mixed) {
    Gi().window_switching_flag = block_type != 0;
    Gi().block_type = block_type;
    Gi().mixed_block_flag = mixed;
    Gi().short_block = block_type == 2;
  }
  // Runs the filterbank on aa with the given previous overlap and checks
  // every output and new overlap value against the direct formulas.
  void ExpectMatchesDirect(const float* aa, const float* prev, int low_type, int high_type,
                           double tol) {
    d->layer3().overlap.select = 1;
    std::memcpy(d->layer3().overlap.overlap[0][1], prev, sizeof(float) * 576);
    float in[576], out[576];
    std::memcpy(in, aa, sizeof in);
    Hybrid(0, in, out);
    for (int sb = 0; sb < 32; ++sb) {
      const int type = sb < 2 ? low_type : high_type;
      double y[36];
      if (type == 2)
        DirectShort(aa + 18 * sb, y);
      else
        DirectLong(aa + 18 * sb, type, y);
      for (int i = 0; i < 18; ++i) {
        ASSERT_NEAR(out[32 * i + sb], prev[32 * i + sb] + y[i], tol) << "sb " << sb << " i " << i;
        ASSERT_NEAR(d->layer3().overlap.overlap[0][0][32 * i + sb], y[18 + i], tol) << "sb " << sb << " i " << i;
      }
    }
  }
  std::unique_ptr<MpegDecoder> d;
  std::mt19937 rng{1234};
  float Rand() { return std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng); }
};

TEST_F(Imdct, ZeroInputGivesOverlapAlone) {
  float aa[576] = {}, xr[576];
  // Zero overlap: zero out, zero new overlap.
  d->layer3().overlap.select = 0;
  std::memset(xr, 0x7f, sizeof xr);
  std::memset(d->layer3().overlap.overlap[0][1], 0x7f, sizeof d->layer3().overlap.overlap[0][1]);
  Hybrid(0, aa, xr);
  for (int i = 0; i < 576; ++i) {
    ASSERT_EQ(xr[i], 0.0f) << i;
    ASSERT_EQ(d->layer3().overlap.overlap[0][1][i], 0.0f) << i;
  }
  // An all-zero granule after a nonzero one outputs the stored halves exactly.
  for (int type : {0, 1, 2, 3}) {
    SetBlock(type, 0);
    for (int i = 0; i < 576; ++i) d->layer3().overlap.overlap[0][0][i] = Rand();
    std::memset(aa, 0, sizeof aa);
    Hybrid(0, aa, xr);
    for (int sb = 0; sb < 32; ++sb)
      for (int i = 0; i < 18; ++i) {
        ASSERT_EQ(xr[32 * i + sb], d->layer3().overlap.overlap[0][0][32 * i + sb]) << type;
        ASSERT_EQ(d->layer3().overlap.overlap[0][1][32 * i + sb], 0.0f) << type;
      }
  }
}

TEST_F(Imdct, LongTransformsMatchDirectFormula) {
  float aa[576], prev[576];
  for (int type : {0, 1, 3}) {
    SetBlock(type, 0);
    for (int i = 0; i < 576; ++i) {
      aa[i] = Rand();
      prev[i] = Rand();
    }
    ExpectMatchesDirect(aa, prev, type, type, 1e-4);
  }
  // Large values keep the relative error small.
  SetBlock(0, 0);
  for (int i = 0; i < 576; ++i) {
    aa[i] = 30000.0f * Rand();
    prev[i] = 0;
  }
  ExpectMatchesDirect(aa, prev, 0, 0, 30000.0 * 1e-4);
}

TEST_F(Imdct, ImpulseResponse) {
  // X[0] = 1 in sub-band 0, normal window: sin(pi (2i+1)/72) cos(pi (2i+19)/72).
  SetBlock(0, 0);
  float aa[576] = {}, xr[576];
  aa[0] = 1.0f;
  d->layer3().overlap.select = 1;
  std::memset(d->layer3().overlap.overlap[0][1], 0, sizeof d->layer3().overlap.overlap[0][1]);
  Hybrid(0, aa, xr);
  for (int i = 0; i < 36; ++i) {
    const double want = std::sin(kPi * (2 * i + 1) / 72) * std::cos(kPi * (2 * i + 19) / 72);
    const float got = i < 18 ? xr[32 * i] : d->layer3().overlap.overlap[0][0][32 * (i - 18)];
    EXPECT_NEAR(got, want, 2e-6) << i;
  }
  for (int sb = 1; sb < 32; ++sb) EXPECT_EQ(xr[32 * 5 + sb], 0.0f);
}

TEST_F(Imdct, ShortTransformsMatchDirectFormula) {
  SetBlock(2, 0);
  float aa[576], prev[576];
  for (int i = 0; i < 576; ++i) {
    aa[i] = Rand();
    prev[i] = Rand();
  }
  ExpectMatchesDirect(aa, prev, 2, 2, 1e-4);
}

TEST_F(Imdct, ShortBlockEdges) {
  SetBlock(2, 0);
  float aa[576], prev[576], xr[576];
  for (int i = 0; i < 576; ++i) {
    aa[i] = Rand();
    prev[i] = Rand();
  }
  std::memcpy(d->layer3().overlap.overlap[0][1], prev, sizeof prev);
  d->layer3().overlap.select = 1;
  Hybrid(0, aa, xr);
  for (int sb = 0; sb < 32; ++sb)
    for (int i = 0; i < 6; ++i) {
      ASSERT_EQ(xr[32 * i + sb], prev[32 * i + sb]);
      ASSERT_EQ(d->layer3().overlap.overlap[0][0][32 * (12 + i) + sb], 0.0f);
    }
}

TEST_F(Imdct, MixedAndSwitchedLowSubbands) {
  float aa[576], prev[576];
  for (int i = 0; i < 576; ++i) {
    aa[i] = Rand();
    prev[i] = Rand();
  }
  // Mixed short block: long window 0 below sub-band 2, short above.
  SetBlock(2, 1);
  ExpectMatchesDirect(aa, prev, 0, 2, 1e-4);
  // Start and stop blocks with the mixed flag: window 0 below sub-band 2.
  SetBlock(3, 1);
  ExpectMatchesDirect(aa, prev, 0, 3, 1e-4);
  SetBlock(1, 1);
  ExpectMatchesDirect(aa, prev, 0, 1, 1e-4);
}

TEST_F(Imdct, ZeroHighSubbandsStillOverlap) {
  // Only the low sub-bands carry data while every sub-band has overlap: the
  // skipped sub-bands must still pass their overlap through.
  for (int nonzero : {1, 17, 18, 100, 575}) {
    SetBlock(nonzero % 2 ? 0 : 2, 0);
    float aa[576] = {}, prev[576];
    for (int i = 0; i < 576; ++i) prev[i] = Rand();
    for (int i = 0; i < nonzero; ++i) aa[i] = Rand();
    ExpectMatchesDirect(aa, prev, Gi().block_type, Gi().block_type, 1e-4);
  }
}

TEST_F(Imdct, OverlapHalvesAlternate) {
  SetBlock(0, 0);
  float aa[576], xr[576];
  for (int i = 0; i < 576; ++i) aa[i] = Rand();
  for (int i = 0; i < 576; ++i) d->layer3().overlap.overlap[1][0][i] = 5.0f;
  std::memset(d->layer3().overlap.overlap[1][1], 0, sizeof d->layer3().overlap.overlap[1][1]);
  d->layer3().overlap.select = 0;
  float first[576];
  std::memcpy(first, aa, sizeof first);
  Hybrid(1, first, xr);
  // Half 0 was read and left alone; half 1 received the new overlap.
  for (int i = 0; i < 576; ++i) ASSERT_EQ(d->layer3().overlap.overlap[1][0][i], 5.0f);
  float without[576];
  std::memcpy(first, aa, sizeof first);
  for (int i = 0; i < 576; ++i) d->layer3().overlap.overlap[1][0][i] = 0.0f;
  Hybrid(1, first, without);
  for (int i = 0; i < 576; ++i) ASSERT_EQ(xr[i], 5.0f + without[i]) << i;
  bool any = false;
  for (int i = 0; i < 576; ++i) any |= d->layer3().overlap.overlap[1][1][i] != 0.0f;
  EXPECT_TRUE(any);
  // Channel 0 was not touched.
  for (int i = 0; i < 576; ++i) ASSERT_EQ(d->layer3().overlap.overlap[0][0][i], 0.0f);
  // With the selector flipped, the next granule overlaps with half 1.
  float zero[576] = {};
  float saved[576];
  std::memcpy(saved, d->layer3().overlap.overlap[1][1], sizeof saved);
  d->layer3().overlap.select = 1;
  Hybrid(1, zero, xr);
  for (int sb = 0; sb < 32; ++sb)
    for (int i = 0; i < 18; ++i) ASSERT_EQ(xr[32 * i + sb], saved[32 * i + sb]);
}

// ---- antialias ----

void DirectAntialias(const float* xr, float* aa) {
  std::memcpy(aa, xr, sizeof(float) * 576);
  for (int sb = 1; sb < 32; ++sb)
    for (int i = 0; i < 8; ++i) {
      const float lo = xr[18 * sb - 1 - i], hi = xr[18 * sb + i];
      aa[18 * sb - 1 - i] = lo * Built().aa_cs[i] - hi * Built().aa_ca[i];
      aa[18 * sb + i] = hi * Built().aa_cs[i] + lo * Built().aa_ca[i];
    }
}

TEST_F(Imdct, AntialiasLongBlocks) {
  SetBlock(0, 0);
  // One butterfly by hand: lo = 1 at line 17, hi = 0 at line 18.
  float xr[576] = {}, aa[576];
  xr[17] = 1.0f;
  Antialias(Gi(), d->header().SfbRow(), d->kernels(), xr, aa);
  EXPECT_NEAR(aa[17], 0.857493, 1e-6);
  EXPECT_NEAR(aa[18], -0.514496, 1e-6);
  for (int i = 0; i < 576; ++i) {
    if (i != 17 && i != 18) {
      ASSERT_EQ(aa[i], 0.0f) << i;
    }
  }
  // Random spectra with zero tails of every kind: the same as butterflies
  // over all 31 boundaries.
  for (int nonzero : {0, 1, 8, 9, 10, 18, 26, 27, 300, 557, 558, 566, 567, 576}) {
    for (int i = 0; i < 576; ++i) xr[i] = i < nonzero ? Rand() : 0.0f;
    float want[576];
    DirectAntialias(xr, want);
    std::memset(aa, 0x7f, sizeof aa);
    Antialias(Gi(), d->header().SfbRow(), d->kernels(), xr, aa);
    for (int i = 0; i < 576; ++i) ASSERT_EQ(aa[i], want[i]) << nonzero << " " << i;
  }
  // Start and stop blocks are long blocks too.
  SetBlock(3, 0);
  for (int i = 0; i < 576; ++i) xr[i] = Rand();
  float want[576];
  DirectAntialias(xr, want);
  Antialias(Gi(), d->header().SfbRow(), d->kernels(), xr, aa);
  for (int i = 0; i < 576; ++i) ASSERT_EQ(aa[i], want[i]) << i;
}

TEST_F(Imdct, AntialiasShortBlocksOnlyReorder) {
  SetBlock(2, 0);
  d->header().lsf = 1;
  d->header().sampling_frequency = 2;  // 16 kHz
  float xr[576], aa[576];
  for (int i = 0; i < 576; ++i) xr[i] = float(i);
  testing::internal::CaptureStderr();
  Antialias(Gi(), d->header().SfbRow(), d->kernels(), xr, aa);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  // 16 kHz band 5 spans 26..36 (width 10): line 3*26 + 3*2 + 1 is window 1,
  // line 2 of the band.
  EXPECT_EQ(aa[78 + 6 + 1], float(78 + 10 + 2));
  for (int i = 0; i < 576; ++i) ASSERT_EQ(aa[i], xr[ShortReorder(5)[i]]);
}

TEST_F(Imdct, AntialiasMixedBlocks) {
  SetBlock(2, 1);
  d->header().lsf = 0;
  d->header().sampling_frequency = 0;
  float xr[576], aa[576];
  for (int i = 0; i < 576; ++i) xr[i] = Rand();
  testing::internal::CaptureStderr();
  Antialias(Gi(), d->header().SfbRow(), d->kernels(), xr, aa);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Notchecked!");
  // Only the boundary between sub-bands 0 and 1 is antialiased.
  for (int i = 0; i < 8; ++i) {
    const float lo = xr[17 - i], hi = xr[18 + i];
    EXPECT_EQ(aa[17 - i], lo * Built().aa_cs[i] - hi * Built().aa_ca[i]) << i;
    EXPECT_EQ(aa[18 + i], hi * Built().aa_cs[i] + lo * Built().aa_ca[i]) << i;
  }
  for (int i = 0; i < 10; ++i) EXPECT_EQ(aa[i], xr[i]);
  for (int i = 26; i < 36; ++i) EXPECT_EQ(aa[i], xr[i]);
  // From line 36 on the short bands are reordered and nothing else.
  const int32_t* r = ShortReorder(0);
  for (int i = 36; i < 576; ++i) ASSERT_EQ(aa[i], xr[r[i]]) << i;
  EXPECT_EQ(r[36 + 1], 36 + 4);  // short band 3 has width 4 at 44.1 kHz
}

}  // namespace
}  // namespace bramble
