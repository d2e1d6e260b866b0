#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "decoder/MpegDecoder.h"
#include "tools/streams/Layer3Codes.h"

namespace bramble {
namespace {

using test::Layer3BitSink;

// Writes one granule's side-information fields.
void PutGranule(Layer3BitSink& s, const GranuleInfo& g, bool lsf) {
  s.Put(uint32_t(g.part2_3_length), 12);
  s.Put(uint32_t(g.big_values), 9);
  s.Put(uint32_t(g.global_gain), 8);
  s.Put(uint32_t(g.scalefac_compress), lsf ? 9 : 4);
  s.Put(uint32_t(g.window_switching_flag), 1);
  if (g.window_switching_flag) {
    s.Put(uint32_t(g.block_type), 2);
    s.Put(uint32_t(g.mixed_block_flag), 1);
    s.Put(uint32_t(g.table_select[0]), 5);
    s.Put(uint32_t(g.table_select[1]), 5);
    for (int w = 0; w < 3; ++w) s.Put(uint32_t(g.subblock_gain[w]), 3);
  } else {
    for (int r = 0; r < 3; ++r) s.Put(uint32_t(g.table_select[r]), 5);
    s.Put(uint32_t(g.region0_count), 4);
    s.Put(uint32_t(g.region1_count), 3);
  }
  if (!lsf) s.Put(uint32_t(g.preflag), 1);
  s.Put(uint32_t(g.scalefac_scale), 1);
  s.Put(uint32_t(g.count1table_select), 1);
}

GranuleInfo RandomGranule(std::mt19937& rng, bool lsf) {
  GranuleInfo g{};
  g.part2_3_length = int(rng() % 4096);
  g.big_values = int(rng() % 512);
  g.global_gain = int(rng() % 256);
  g.scalefac_compress = int(rng() % (lsf ? 512 : 16));
  g.window_switching_flag = int(rng() % 2);
  if (g.window_switching_flag) {
    g.block_type = 1 + int(rng() % 3);
    g.mixed_block_flag = int(rng() % 2);
    for (int w = 0; w < 3; ++w) g.subblock_gain[w] = int(rng() % 8);
  }
  for (int r = 0; r < 3; ++r) g.table_select[r] = int(rng() % 32);
  g.region0_count = int(rng() % 16);
  g.region1_count = int(rng() % 8);
  g.preflag = lsf ? 0 : int(rng() % 2);
  g.scalefac_scale = int(rng() % 2);
  g.count1table_select = int(rng() % 2);
  return g;
}

class SideInfoTest : public ::testing::Test {
 protected:
  void SetUp() override { d = std::make_unique<MpegDecoder>(); }
  bool ReadSideInfo(int lsf, int channels) {
    SideInfo& si = d->layer3().side_info;
    return lsf ? ReadSideInfoLsf(d->body(), channels, si) : ReadSideInfoMpeg1(d->body(), channels, si);
  }
  void LoadBody(const Layer3BitSink& s, int start_bit) {
    std::memset(d->body().bytes, 0xA5, sizeof d->body().bytes);
    const std::vector<uint8_t> b = s.Bytes();
    std::memcpy(d->body().bytes + start_bit / 8, b.data(), b.size());
    d->body().bit_pos = start_bit;
  }
  void Poison() {
    for (auto& ch : d->layer3().side_info.ch)
      for (auto& g : ch.gr) {
        g = GranuleInfo{};
        g.part2_3_length = -7;
        g.table_select[2] = -7;
        g.mixed_block_flag = -7;
        g.preflag = -7;
        g.subblock_gain[0] = -7;
      }
  }
  void ExpectStored(const GranuleInfo& want, const GranuleInfo& got, bool lsf) {
    EXPECT_EQ(got.part2_3_length, want.part2_3_length);
    EXPECT_EQ(got.big_values, want.big_values);
    EXPECT_EQ(got.global_gain, want.global_gain);
    EXPECT_EQ(got.scalefac_compress, want.scalefac_compress);
    EXPECT_EQ(got.window_switching_flag, want.window_switching_flag);
    EXPECT_EQ(got.table_select[0], want.table_select[0]);
    EXPECT_EQ(got.table_select[1], want.table_select[1]);
    EXPECT_EQ(got.scalefac_scale, want.scalefac_scale);
    EXPECT_EQ(got.count1table_select, want.count1table_select);
    EXPECT_EQ(got.preflag, lsf ? -7 : want.preflag);
    if (want.window_switching_flag) {
      EXPECT_EQ(got.block_type, want.block_type);
      EXPECT_EQ(got.mixed_block_flag, want.mixed_block_flag);
      for (int w = 0; w < 3; ++w) EXPECT_EQ(got.subblock_gain[w], want.subblock_gain[w]);
      EXPECT_EQ(got.table_select[2], -7);  // not in the stream
      const bool pure_short = want.block_type == 2 && !want.mixed_block_flag;
      EXPECT_EQ(got.region0_count, pure_short ? 8 : 7);
      EXPECT_EQ(got.region1_count, pure_short ? 12 : 13);
      EXPECT_EQ(got.short_block, want.block_type == 2 ? 1 : 0);
    } else {
      EXPECT_EQ(got.block_type, 0);
      EXPECT_EQ(got.mixed_block_flag, -7);  // left as it was
      EXPECT_EQ(got.table_select[2], want.table_select[2]);
      EXPECT_EQ(got.region0_count, want.region0_count);
      EXPECT_EQ(got.region1_count, want.region1_count);
      EXPECT_EQ(got.short_block, 0);
    }
  }

  std::unique_ptr<MpegDecoder> d;
};

TEST_F(SideInfoTest, SizesAndFieldsForEveryLayout) {
  std::mt19937 rng(3);
  struct Case {
    bool lsf;
    int channels;
    int bits;
  };
  for (const Case c : {Case{false, 2, 256}, Case{false, 1, 136}, Case{true, 2, 136}, Case{true, 1, 72}}) {
    for (int crc = 0; crc <= 1; ++crc) {
      for (int round = 0; round < 20; ++round) {
        Layer3BitSink s;
        const int mdb = int(rng() % (c.lsf ? 256 : 512));
        const int priv = int(rng() % 4);
        int scfsi[2][4] = {};
        GranuleInfo g[2][2];
        s.Put(uint32_t(mdb), c.lsf ? 8 : 9);
        s.Put(uint32_t(priv), c.lsf ? c.channels : (c.channels == 2 ? 3 : 5));
        if (!c.lsf)
          for (int ch = 0; ch < c.channels; ++ch)
            for (int b = 0; b < 4; ++b) s.Put(uint32_t(scfsi[ch][b] = int(rng() % 2)), 1);
        for (int gr = 0; gr < (c.lsf ? 1 : 2); ++gr)
          for (int ch = 0; ch < c.channels; ++ch) {
            g[ch][gr] = RandomGranule(rng, c.lsf);
            PutGranule(s, g[ch][gr], c.lsf);
          }
        ASSERT_EQ(s.bit_count(), c.bits);
        Poison();
        d->header().lsf = c.lsf;
        d->header().stereo = c.channels == 2;
        LoadBody(s, crc ? 16 : 0);
        ASSERT_TRUE(ReadSideInfo(c.lsf, c.channels));
        EXPECT_EQ(d->body().bit_pos, c.bits + (crc ? 16 : 0));
        EXPECT_EQ(d->layer3().side_info.main_data_begin, mdb);
        for (int ch = 0; ch < c.channels; ++ch) {
          if (!c.lsf) {
            for (int b = 0; b < 4; ++b) EXPECT_EQ(d->layer3().side_info.ch[ch].scfsi[b], scfsi[ch][b]);
          }
          for (int gr = 0; gr < (c.lsf ? 1 : 2); ++gr) ExpectStored(g[ch][gr], d->layer3().side_info.ch[ch].gr[gr], c.lsf);
        }
        if (c.lsf) {  // granule 1 untouched
          for (int ch = 0; ch < 2; ++ch) EXPECT_EQ(d->layer3().side_info.ch[ch].gr[1].part2_3_length, -7);
        }
        if (c.channels == 1) {
          for (int gr = 0; gr < 2; ++gr) EXPECT_EQ(d->layer3().side_info.ch[1].gr[gr].part2_3_length, -7);
        }
      }
    }
  }
}

TEST_F(SideInfoTest, WindowSwitchingWithBlockTypeZeroStopsReading) {
  for (bool lsf : {false, true}) {
    std::mt19937 rng(5);
    Layer3BitSink s;
    s.Put(0, lsf ? 10 : 12);  // main_data_begin, private bits (two channels)
    if (!lsf) s.Put(0, 8);    // scfsi
    GranuleInfo good = RandomGranule(rng, lsf);
    good.window_switching_flag = 0;
    PutGranule(s, good, lsf);
    const int64_t before_bad = s.bit_count();
    GranuleInfo bad = RandomGranule(rng, lsf);
    bad.window_switching_flag = 1;
    bad.block_type = 0;
    PutGranule(s, bad, lsf);
    Poison();
    d->header().lsf = lsf;
    d->header().stereo = 1;
    LoadBody(s, 0);
    EXPECT_FALSE(ReadSideInfo(lsf, 2));
    // Stopped right after the subblock gains of channel 1.
    const int read = 12 + 9 + 8 + (lsf ? 9 : 4) + 1 + 2 + 1 + 10 + 9;
    EXPECT_EQ(d->body().bit_pos, before_bad + read);
    const GranuleInfo& g = d->layer3().side_info.ch[1].gr[0];
    EXPECT_EQ(g.subblock_gain[2], bad.subblock_gain[2]);
    EXPECT_EQ(g.preflag, -7);
    EXPECT_EQ(g.table_select[2], -7);
    EXPECT_EQ(d->layer3().side_info.ch[0].gr[1].part2_3_length, -7);  // later granules untouched
    EXPECT_EQ(d->layer3().side_info.ch[1].gr[1].part2_3_length, -7);
  }
}

// ---- reservoir ----

class ReservoirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d = std::make_unique<MpegDecoder>();
    d->Init();
  }
  // Feeds a frame carrying `bytes` main-data bytes, the next in a stream
  // whose byte k is Pattern(k).
  bool Feed(int bytes, int main_data_begin, int start_bit = 0) {
    Layer3BitSink s;
    for (int k = 0; k < start_bit; ++k) s.Put(1, 1);
    for (int k = 0; k < bytes; ++k) s.Put(Pattern(stream_ + k), 8);
    const std::vector<uint8_t> b = s.Bytes(2);
    std::memcpy(d->body().bytes, b.data(), b.size());
    d->body().bit_pos = start_bit;
    stream_ += bytes;
    return FeedReservoir(d->layer3().reservoir, d->body(), bytes, main_data_begin);
  }
  static uint8_t Pattern(int64_t k) { return uint8_t((k * 7 + k / 251) & 0xFF); }
  // Checks that the next `n` bytes read are stream bytes from `first` on.
  void ExpectReads(int64_t first, int n) {
    for (int k = 0; k < n; ++k) ASSERT_EQ(d->layer3().reservoir.GetBits(8), Pattern(first + k)) << "byte " << first + k;
  }

  std::unique_ptr<MpegDecoder> d;
  int64_t stream_ = 0;
};

TEST_F(ReservoirTest, ShortfallAfterInitThenDecodes) {
  EXPECT_FALSE(Feed(300, 1));  // reaches back before the first byte held
  EXPECT_EQ(d->body().bit_pos, 8 * 300);
  EXPECT_TRUE(Feed(300, 300));  // starts at the first frame's data
  ExpectReads(0, 600);

  // A second Init empties the reservoir again.
  d->Init();
  stream_ = 0;
  EXPECT_FALSE(Feed(100, 5));
  EXPECT_TRUE(Feed(100, 0));
  ExpectReads(100, 100);
}

TEST_F(ReservoirTest, WrapsThroughTheMirrorAcrossManyFrames) {
  std::mt19937 rng(11);
  int held = 0;  // bytes held before the current frame, unread
  for (int frame = 0; frame < 400; ++frame) {
    const int bytes = 100 + int(rng() % 1300);
    const int mdb = std::min(held, int(rng() % 512));
    const int64_t start = stream_ - mdb;
    ASSERT_TRUE(Feed(bytes, mdb)) << frame;
    // Read all of this frame's main data but leave up to 40 ancillary bytes.
    const int skip = int(rng() % 41);
    const int n = int(stream_ - start) - skip;
    ExpectReads(start, n);
    ASSERT_LE(d->layer3().reservoir.read_pos, BitReservoir::kMaxReadBit);
    held = skip;
    ASSERT_GE(d->layer3().reservoir.write_index, 0);
    ASSERT_LT(d->layer3().reservoir.write_index, BitReservoir::kRingBytes);
  }
  EXPECT_GT(stream_, 10 * BitReservoir::kRingBytes);
}

TEST_F(ReservoirTest, UnalignedMainDataAndPartialBits) {
  ASSERT_FALSE(Feed(50, 3, 5));  // side information stopped mid-byte
  EXPECT_EQ(d->body().bit_pos, 5 + 8 * 50);
  ASSERT_TRUE(Feed(40, 10));
  ExpectReads(40, 10);
  d->layer3().reservoir.GetBits(3);  // the next frame starts at the following byte
  ASSERT_TRUE(Feed(40, 39));
  ExpectReads(51, 39 + 40);
}

TEST_F(ReservoirTest, HostileLengthsNeverLeaveTheBuffer) {
  std::mt19937 rng(21);
  int32_t out[576];
  int decoded = 0;
  int32_t highest = 0;
  for (int frame = 0; frame < 3000; ++frame) {
    d->header().lsf = int(rng() % 2);
    d->header().sampling_frequency = int(rng() % 3);
    d->header().stereo = 1;
    const int bytes = int(rng() % 1442);
    for (int k = 0; k < bytes + 2; ++k) d->body().bytes[k] = uint8_t(rng());
    d->body().bit_pos = rng() % 4 ? 0 : int(rng() % 300);
    const bool ok = FeedReservoir(d->layer3().reservoir, d->body(), bytes, int(rng() % 512));
    ASSERT_GE(d->layer3().reservoir.read_pos, 0);
    ASSERT_LE(d->layer3().reservoir.read_pos, BitReservoir::kMaxReadBit);
    if (!ok) continue;
    ++decoded;
    for (int gr = 0; gr < 2; ++gr)
      for (int ch = 0; ch < 2; ++ch) {
        GranuleInfo& g = d->layer3().side_info.ch[ch].gr[gr];
        g = GranuleInfo{};
        g.part2_3_length = rng() % 3 ? int(rng() % 4096) : 4095;
        g.big_values = int(rng() % 512);
        g.scalefac_compress = int(rng() % (d->header().lsf ? 512 : 16));
        g.window_switching_flag = int(rng() % 2);
        g.block_type = g.window_switching_flag ? 2 : 0;
        g.short_block = uint8_t(g.window_switching_flag);
        g.mixed_block_flag = int(rng() % 2);
        for (int r = 0; r < 3; ++r) g.table_select[r] = int(rng() % 32);
        g.region0_count = int(rng() % 16);
        g.region1_count = int(rng() % 8);
        Layer3State& s = d->layer3();
        const int32_t part2_start = s.reservoir.read_pos;
        ASSERT_LE(part2_start, BitReservoir::kMaxReadBit);
        if (d->header().lsf)
          ReadScaleFactorsLsf(s.reservoir, g, false, s.scale_factors[ch], nullptr);
        else
          ReadScaleFactorsMpeg1(s.reservoir, g, s.side_info.ch[ch].scfsi, gr, s.scale_factors[ch]);
        ASSERT_LE(d->layer3().reservoir.read_pos, (BitReservoir::kBytes - 8) * 8);
        DecodeHuffman(s.reservoir, g, sfb_bounds[d->header().SfbRow()], part2_start, out);
        ASSERT_LE(d->layer3().reservoir.read_pos, BitReservoir::kMaxReadBit);
        ASSERT_GE(d->layer3().reservoir.read_pos, part2_start);
        highest = std::max(highest, d->layer3().reservoir.read_pos);
      }
  }
  EXPECT_GT(decoded, 100);
  EXPECT_GT(highest, 8 * 6500);  // the stream drove reads deep into the mirror
}

}  // namespace
}  // namespace bramble
