#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "decoder/tables/BuiltTables.h"
#include "decoder/MpegDecoder.h"
#include "tools/streams/Layer3Codes.h"

namespace bramble {
namespace {

using test::Layer3BitSink;

class ScaleFactorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d = std::make_unique<MpegDecoder>();
    for (auto& sf : d->layer3().scale_factors) {
      for (auto& v : sf.l) v = -9;
      for (auto& w : sf.s)
        for (auto& v : w) v = -9;
    }
  }
  GranuleInfo& Gi(int ch, int gr = 0) { return d->layer3().side_info.ch[ch].gr[gr]; }
  // Values are written after 3 filler bits so reads start mid-byte.
  void Load(const std::vector<std::pair<int, int>>& fields) {
    Layer3BitSink s;
    s.Put(5, 3);
    for (const auto& f : fields) s.Put(uint32_t(f.first), f.second);
    s.Put(0x2A, 7);  // what follows must not be read
    const std::vector<uint8_t> b = s.Bytes(8);
    std::memcpy(d->layer3().reservoir.bytes + 40, b.data(), b.size());
    d->layer3().reservoir.read_pos = 40 * 8 + 3;
    bits_ = int(s.bit_count()) - 10;
  }
  int Consumed() const { return d->layer3().reservoir.read_pos - 40 * 8 - 3; }
  void Mpeg1(int ch, int gr) {
    Layer3State& s = d->layer3();
    ReadScaleFactorsMpeg1(s.reservoir, Gi(ch, gr), s.side_info.ch[ch].scfsi, gr, s.scale_factors[ch]);
  }
  void Lsf(int ch) {
    Layer3State& s = d->layer3();
    const int ext = d->header().mode_extension;
    ReadScaleFactorsLsf(s.reservoir, Gi(ch), (ext == 1 || ext == 3) && ch == 1, s.scale_factors[ch],
                        i_stereo && ch == 1 ? &s.limits : nullptr);
  }

  std::unique_ptr<MpegDecoder> d;
  int bits_ = 0;
  int i_stereo = 0;
};

TEST_F(ScaleFactorTest, Mpeg1LongBlocksAndReuse) {
  std::mt19937 rng(1);
  for (int sc = 0; sc < 16; ++sc) {
    const int slen1 = slen_mpeg1[0][sc], slen2 = slen_mpeg1[1][sc];
    std::vector<std::pair<int, int>> f;
    int want[21];
    for (int b = 0; b < 21; ++b) {
      const int n = b < 11 ? slen1 : slen2;
      want[b] = n ? int(rng() % (1u << n)) : 0;
      f.push_back({want[b], n});
    }
    Load(f);
    Gi(0) = GranuleInfo{};
    Gi(0).scalefac_compress = sc;
    Mpeg1(0, 0);
    EXPECT_EQ(Consumed(), 11 * slen1 + 10 * slen2) << sc;
    for (int b = 0; b < 21; ++b) EXPECT_EQ(d->layer3().scale_factors[0].l[b], want[b]) << sc << " " << b;
    EXPECT_EQ(d->layer3().scale_factors[0].l[21], 0);
    EXPECT_EQ(d->layer3().scale_factors[0].l[22], 0);
    EXPECT_EQ(d->layer3().scale_factors[0].s[0][0], -9);  // short bands untouched

    // Granule 1 reuses the groups whose scfsi bit is set.
    const int scfsi = sc;  // every combination of the four bits
    const int starts[5] = {0, 6, 11, 16, 21};
    std::vector<std::pair<int, int>> g1;
    int want1[21];
    int bits = 0;
    Gi(0, 1) = GranuleInfo{};
    Gi(0, 1).scalefac_compress = 15;  // slen1 4, slen2 3
    for (int g = 0; g < 4; ++g) {
      d->layer3().side_info.ch[0].scfsi[g] = (scfsi >> g) & 1;
      for (int b = starts[g]; b < starts[g + 1]; ++b) {
        if (d->layer3().side_info.ch[0].scfsi[g]) {
          want1[b] = want[b];
          continue;
        }
        const int n = g < 2 ? 4 : 3;
        want1[b] = int(rng() % (1u << n));
        g1.push_back({want1[b], n});
        bits += n;
      }
    }
    Load(g1);
    Mpeg1(0, 1);
    EXPECT_EQ(Consumed(), bits) << sc;
    for (int b = 0; b < 21; ++b) EXPECT_EQ(d->layer3().scale_factors[0].l[b], want1[b]) << sc << " " << b;
  }
}

TEST_F(ScaleFactorTest, Mpeg1ShortAndMixedBlocks) {
  for (int mixed = 0; mixed <= 1; ++mixed) {
    GranuleInfo& gi = Gi(1);
    gi = GranuleInfo{};
    gi.scalefac_compress = 14;  // slen1 4, slen2 2
    gi.window_switching_flag = 1;
    gi.block_type = 2;
    gi.mixed_block_flag = mixed;
    gi.short_block = 1;
    std::vector<std::pair<int, int>> f;
    int v = 1;
    if (mixed)
      for (int b = 0; b < 8; ++b) f.push_back({v++, 4});
    for (int band = mixed ? 3 : 0; band < 12; ++band)
      for (int w = 0; w < 3; ++w) f.push_back({(v++) & (band < 6 ? 15 : 3), band < 6 ? 4 : 2});
    Load(f);
    Mpeg1(1, 0);
    EXPECT_EQ(Consumed(), bits_);
    const ScaleFactors& sf = d->layer3().scale_factors[1];
    size_t k = 0;
    if (mixed) {
      for (int b = 0; b < 8; ++b) EXPECT_EQ(sf.l[b], f[k++].first);
    }
    for (int band = mixed ? 3 : 0; band < 12; ++band)
      for (int w = 0; w < 3; ++w) EXPECT_EQ(sf.s[w][band], f[k++].first) << band << " " << w;
    for (int w = 0; w < 3; ++w) EXPECT_EQ(sf.s[w][12], 0);
  }
}

TEST_F(ScaleFactorTest, LsfPartitionsAndPreflag) {
  // 500 outside intensity: slen all 0, preflag 1, nothing read.
  Gi(0) = GranuleInfo{};
  Gi(0).scalefac_compress = 500;
  Load({});
  Lsf(0);
  EXPECT_EQ(Consumed(), 0);
  EXPECT_EQ(Gi(0).preflag, 1);
  for (int b = 0; b < 23; ++b) EXPECT_EQ(d->layer3().scale_factors[0].l[b], 0);

  // 489 on the right channel with intensity: table 5, slen 0, preflag 0.
  d->header().mode_extension = 1;
  Gi(1) = GranuleInfo{};
  Gi(1).scalefac_compress = 489;
  Gi(1).preflag = 1;
  Load({});
  Lsf(1);
  EXPECT_EQ(Consumed(), 0);
  EXPECT_EQ(Gi(1).preflag, 0);

  // The same value on the left channel: table 1, slen (4, 2, 1, 0),
  // partitions of 6, 5, 7 and 3 bands.
  Gi(0).scalefac_compress = 489;
  std::vector<std::pair<int, int>> f;
  for (int b = 0; b < 6; ++b) f.push_back({15 - b, 4});
  for (int b = 0; b < 5; ++b) f.push_back({b & 3, 2});
  for (int b = 0; b < 7; ++b) f.push_back({b & 1, 1});
  Load(f);
  Lsf(0);
  EXPECT_EQ(Consumed(), 6 * 4 + 5 * 2 + 7);
  EXPECT_EQ(Gi(0).preflag, 0);
  for (size_t b = 0; b < f.size(); ++b) EXPECT_EQ(d->layer3().scale_factors[0].l[b], f[b].first) << b;
  for (int b = 18; b < 23; ++b) EXPECT_EQ(d->layer3().scale_factors[0].l[b], 0);

  // Short blocks: 36 values, band by band, windows in turn (table 0,
  // slen (2, 3, 1, 1) from scalefac_compress ((2*5+3) << 4) | (1 << 2) | 1).
  GranuleInfo& gi = Gi(0);
  gi.scalefac_compress = (13 << 4) | 5;
  gi.block_type = 2;
  gi.window_switching_flag = 1;
  gi.short_block = 1;
  const int slen[4] = {2, 3, 1, 1};
  f.clear();
  for (int k = 0; k < 36; ++k) f.push_back({(k * 5) & ((1 << slen[k / 9]) - 1), slen[k / 9]});
  Load(f);
  Lsf(0);
  EXPECT_EQ(Consumed(), bits_);
  for (int k = 0; k < 36; ++k) EXPECT_EQ(d->layer3().scale_factors[0].s[k % 3][k / 3], f[size_t(k)].first) << k;
  for (int w = 0; w < 3; ++w) EXPECT_EQ(d->layer3().scale_factors[0].s[w][12], 0);
}

TEST_F(ScaleFactorTest, LsfIntensityLimits) {
  d->header().mode_extension = 1;
  i_stereo = 1;
  // c = 110: slen (3, 0, 2, 0), table 3: 7, 7, 7 long bands.
  GranuleInfo& gi = Gi(1);
  gi = GranuleInfo{};
  gi.scalefac_compress = 220;
  std::vector<std::pair<int, int>> f;
  for (int b = 0; b < 7; ++b) f.push_back({b, 3});
  for (int b = 0; b < 7; ++b) f.push_back({b & 3, 2});
  Load(f);
  Lsf(1);
  EXPECT_EQ(Consumed(), 7 * 3 + 7 * 2);
  for (int b = 0; b < 21; ++b) {
    EXPECT_EQ(d->layer3().limits.is_max_long[b], b < 7 ? 7 : (b < 14 ? -1 : 3)) << b;
    EXPECT_EQ(d->layer3().scale_factors[1].l[b], b < 7 ? b : (b < 14 ? 0 : (b - 14) & 3)) << b;
  }

  // Without i_stereo the limits are left alone.
  i_stereo = 0;
  d->layer3().limits.is_max_long[0] = 55;
  Load(f);
  Lsf(1);
  EXPECT_EQ(d->layer3().limits.is_max_long[0], 55);
}

TEST_F(ScaleFactorTest, LsfMixedBlocksMapSixLongBandsThenShortFromBandThree) {
  d->header().mode_extension = 3;
  i_stereo = 1;
  for (int ch = 0; ch < 2; ++ch) {
    GranuleInfo& gi = Gi(ch);
    gi = GranuleInfo{};
    gi.window_switching_flag = 1;
    gi.block_type = 2;
    gi.mixed_block_flag = 1;
    gi.short_block = 1;
    int slen[4];
    if (ch == 0) {
      gi.scalefac_compress = (7 << 4) | (3 << 2) | 3;  // table 0: slen (1, 2, 3, 3), 6/9/9/9
      const int s[4] = {1, 2, 3, 3};
      std::copy(s, s + 4, slen);
    } else {
      gi.scalefac_compress = 2 * (180 + (2 << 4) + (1 << 2) + 3);  // table 4: (2, 1, 3, 0), 6/12/9/6
      const int s[4] = {2, 1, 3, 0};
      std::copy(s, s + 4, slen);
    }
    const int32_t* n = lsf_nr_of_sfb[ch == 0 ? 0 : 4][2];
    std::vector<std::pair<int, int>> f;
    std::vector<int> values, limits;
    for (int p = 0; p < 4; ++p)
      for (int k = 0; k < n[p]; ++k) {
        const int v = slen[p] ? int((values.size() * 3 + 1) & ((1u << slen[p]) - 1)) : 0;
        if (slen[p]) f.push_back({v, slen[p]});
        values.push_back(v);
        limits.push_back(slen[p] ? (1 << slen[p]) - 1 : -1);
      }
    ASSERT_EQ(values.size(), 33u);
    for (int w = 0; w < 3; ++w)
      for (int b = 0; b < 3; ++b) d->layer3().limits.is_max_short[w][b] = 99;
    Load(f);
    Lsf(ch);
    EXPECT_EQ(Consumed(), bits_);
    const ScaleFactors& sf = d->layer3().scale_factors[ch];
    for (int b = 0; b < 6; ++b) EXPECT_EQ(sf.l[b], values[size_t(b)]) << ch << " long " << b;
    EXPECT_EQ(sf.l[6], 0);
    EXPECT_EQ(sf.l[7], 0);
    for (int k = 6; k < 33; ++k) {
      const int band = 3 + (k - 6) / 3, w = (k - 6) % 3;
      EXPECT_EQ(sf.s[w][band], values[size_t(k)]) << ch << " band " << band << " window " << w;
      if (ch == 1) {
        EXPECT_EQ(d->layer3().limits.is_max_short[w][band], limits[size_t(k)]) << band << " " << w;
      }
    }
    for (int w = 0; w < 3; ++w) {
      EXPECT_EQ(sf.s[w][0], -9);  // short bands below the switch point untouched
      EXPECT_EQ(sf.s[w][12], 0);
    }
    if (ch == 1) {
      for (int b = 0; b < 6; ++b) EXPECT_EQ(d->layer3().limits.is_max_long[b], limits[size_t(b)]);
      EXPECT_EQ(d->layer3().limits.is_max_short[0][0], 99);
    }
  }
}

}  // namespace
}  // namespace bramble
