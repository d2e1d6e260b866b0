#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>

#include "decoder/tables/HuffmanTables.h"
#include "decoder/tables/BuiltTables.h"
#include "decoder/MpegDecoder.h"
#include "tools/streams/Layer3Codes.h"

namespace bramble {
namespace {

using test::Layer3BitSink;
using test::PairCode;
using test::PutPair;
using test::PutQuad;
using test::QuadCode;

// Straightforward decoder: one bit per tree step, boundaries straight from
// the band table. The table-driven decoder must agree with it exactly.
class ReferenceHuffman {
 public:
  ReferenceHuffman(const uint8_t* buf, int32_t pos) : buf_(buf), pos_(pos) {}

  int Bit() {
    const int v = (buf_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1;
    ++pos_;
    return v;
  }
  int Bits(int n) {
    int v = 0;
    while (n--) v = (v << 1) | Bit();
    return v;
  }
  int Walk(int table, int32_t stop_at, bool* cut) {
    const uint32_t (*tree)[2] = huffman_tables[table].tree;
    int node = 0;
    while (tree[node][0] != 0) {
      node += int(tree[node][Bit()]);
      if (cut && pos_ >= stop_at) *cut = true;
    }
    return int(tree[node][1]);
  }

  // Returns the final read position.
  int32_t Decode(const GranuleInfo& gi, int sfb_row, int32_t part2_start, int32_t* out) {
    const int32_t end = part2_start + gi.part2_3_length;
    int r1 = 36, r2 = 576;
    if (!gi.short_block) {
      const int a = gi.region0_count + 1, b = gi.region0_count + gi.region1_count + 2;
      r1 = a <= 22 ? sfb_bounds[sfb_row].l[a] : 576;
      r2 = b <= 22 ? sfb_bounds[sfb_row].l[b] : 576;
    }
    const int big = std::min(2 * gi.big_values, 576);
    int i = 0;
    for (; i < big; i += 2) {
      const int t = gi.table_select[i < r1 ? 0 : (i < r2 ? 1 : 2)];
      const HuffmanCodeTable& ht = huffman_tables[t];
      if (!ht.nodes) {
        out[i] = out[i + 1] = 0;
        continue;
      }
      const int v = Walk(t, 0, nullptr);
      int x = v >> 4, y = v & 15;
      if (ht.linbits && x == 15) x += Bits(ht.linbits);
      if (x && Bit()) x = -x;
      if (ht.linbits && y == 15) y += Bits(ht.linbits);
      if (y && Bit()) y = -y;
      out[i] = x;
      out[i + 1] = y;
    }
    while (pos_ < end && i <= 572) {
      bool cut = false;
      const int v = Walk(32 + gi.count1table_select, end, &cut);
      if (cut) break;
      for (int k = 0; k < 4; ++k) {
        const int bit = (v >> (3 - k)) & 1;
        out[i + k] = bit ? (Bit() ? -1 : 1) : 0;
      }
      i += 4;
    }
    for (; i < 576; ++i) out[i] = 0;
    return end;
  }

 private:
  const uint8_t* buf_;
  int32_t pos_;
};

class HuffmanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d = std::make_unique<MpegDecoder>();
    d->header().lsf = 0;
    d->header().sampling_frequency = 0;
  }
  GranuleInfo& Gi() { return d->layer3().side_info.ch[0].gr[0]; }
  int32_t part2_start = 0;
  // Places the sink's bits at byte `at` of the reservoir; scalefactors are
  // taken to have used `part2_bits` before them.
  void Load(const Layer3BitSink& sink, int at = 100, int part2_bits = 0) {
    const std::vector<uint8_t> b = sink.Bytes();
    std::memcpy(d->layer3().reservoir.bytes + at, b.data(), b.size());
    part2_start = at * 8 - part2_bits;
    d->layer3().reservoir.read_pos = at * 8;
  }
  // Decodes into out[0..575]; out[576..579] are canaries.
  void Decode() {
    std::fill(std::begin(out), std::end(out), 777);
    DecodeHuffman(d->layer3().reservoir, Gi(), sfb_bounds[d->header().SfbRow()], part2_start, out);
  }
  void SetLong(int big_values, int t0, int t1, int t2, int region0, int region1) {
    GranuleInfo& gi = Gi();
    gi = GranuleInfo{};
    gi.big_values = big_values;
    gi.table_select[0] = t0;
    gi.table_select[1] = t1;
    gi.table_select[2] = t2;
    gi.region0_count = region0;
    gi.region1_count = region1;
  }

  std::unique_ptr<MpegDecoder> d;
  int32_t out[580];
};

TEST_F(HuffmanTest, TableDrivenDecoderMatchesTreeWalkOnRandomBits) {
  std::mt19937 rng(12345);
  int32_t want[576];
  for (int table = 1; table <= 33; ++table) {
    if (table < 32 && !huffman_tables[table].nodes) continue;
    for (int round = 0; round < 40; ++round) {
      for (int k = 0; k < BitReservoir::kBytes; ++k) d->layer3().reservoir.bytes[k] = uint8_t(rng());
      GranuleInfo& gi = Gi();
      gi = GranuleInfo{};
      d->header().lsf = int(rng() % 2);
      d->header().sampling_frequency = int(rng() % 3);
      if (table < 32) {
        gi.big_values = int(rng() % 300);
        gi.short_block = rng() % 4 == 0;
        for (int r = 0; r < 3; ++r) gi.table_select[r] = (rng() % 3) ? table : int(rng() % 32);
        gi.region0_count = int(rng() % 16);
        gi.region1_count = int(rng() % 8);
        gi.count1table_select = int(rng() % 2);
      } else {
        gi.big_values = int(rng() % 4) * 30;
        gi.table_select[0] = gi.table_select[1] = gi.table_select[2] = 1;
        gi.count1table_select = table - 32;
      }
      gi.part2_3_length = int(rng() % 4096);
      const int32_t start = int32_t(8 * 200 + rng() % 64);
      part2_start = start - int32_t(rng() % 40);
      d->layer3().reservoir.read_pos = start;

      ReferenceHuffman ref(d->layer3().reservoir.bytes, start);
      const int32_t want_end = ref.Decode(gi, 3 * d->header().lsf + d->header().sampling_frequency, part2_start, want);
      Decode();
      ASSERT_EQ(d->layer3().reservoir.read_pos, want_end) << "table " << table << " round " << round;
      for (int k = 0; k < 576; ++k)
        ASSERT_EQ(out[k], want[k]) << "table " << table << " round " << round << " value " << k;
      for (int k = 576; k < 580; ++k) ASSERT_EQ(out[k], 777);
    }
  }
}

TEST_F(HuffmanTest, EncoderCodesDecodeBackForEveryTable) {
  std::mt19937 rng(7);
  for (int table = 1; table < 32; ++table) {
    const HuffmanCodeTable& ht = huffman_tables[table];
    if (!ht.nodes) continue;
    const int limit = ht.linbits ? 15 + (1 << ht.linbits) - 1 : ht.xmax;
    Layer3BitSink sink;
    std::vector<int32_t> values;
    for (int k = 0; k < 288; ++k) {
      int v = int(rng() % uint32_t(limit + 1));
      if (k < 2 * (ht.xmax + 1) * (ht.ymax + 1) && k % 2 == 0) v = (k / 2) / (ht.ymax + 1);
      if (rng() % 2) v = -v;
      values.push_back(v);
    }
    for (size_t k = 0; k < values.size(); k += 2)
      ASSERT_TRUE(PutPair(sink, table, values[k], values[k + 1])) << table;
    SetLong(144, table, table, table, 15, 7);
    Gi().part2_3_length = int(sink.bit_count());
    Load(sink);
    Decode();
    for (size_t k = 0; k < values.size(); ++k) ASSERT_EQ(out[k], values[k]) << "table " << table;
    EXPECT_EQ(d->layer3().reservoir.read_pos, part2_start + Gi().part2_3_length);
  }
}

TEST_F(HuffmanTest, EmptyGranuleAndEmptyTables) {
  // big_values 0 and no count1 bits: the granule is only scalefactors.
  Layer3BitSink none;
  none.Put(0x1F, 5);
  SetLong(0, 1, 1, 1, 0, 0);
  Gi().part2_3_length = 11;
  Load(none, 100, 11);
  Decode();
  for (int k = 0; k < 576; ++k) ASSERT_EQ(out[k], 0);
  EXPECT_EQ(d->layer3().reservoir.read_pos, 800);

  // Tables 4 and 14 consume nothing: region 1 (from value 8, band 2 at
  // 44.1 kHz) starts decoding at the first bit.
  for (int empty : {4, 14, 0}) {
    Layer3BitSink s;
    for (int k = 0; k < 6; ++k) ASSERT_TRUE(PutPair(s, 1, (k & 1) ? -1 : 1, k & 1));
    SetLong(10, empty, 1, 1, 1, 0);
    Gi().part2_3_length = int(s.bit_count());
    Load(s);
    Decode();
    for (int k = 0; k < 8; ++k) EXPECT_EQ(out[k], 0) << empty;
    for (int k = 0; k < 6; ++k) {
      EXPECT_EQ(out[8 + 2 * k], (k & 1) ? -1 : 1) << empty;
      EXPECT_EQ(out[9 + 2 * k], k & 1) << empty;
    }
    EXPECT_EQ(d->layer3().reservoir.read_pos, 800 + s.bit_count());
  }
}

TEST_F(HuffmanTest, EscapesAndSigns) {
  // Table 16 (1 linbit): x = 15, escape 1, sign 1 gives -16. Table 23
  // (13 linbits): escape bits all ones give 8206. Region 0 (band 0, values
  // 0..3 at 44.1 kHz) uses table 16, the rest table 23.
  const test::HuffCode c16 = PairCode(16, 15, 2);
  const test::HuffCode c23 = PairCode(23, 15, 15);
  ASSERT_GT(c16.length, 0);
  ASSERT_GT(c23.length, 0);
  SetLong(3, 16, 23, 23, 0, 0);
  Layer3BitSink t;
  t.Put(c16.bits, c16.length);
  t.Put(1, 1);
  t.Put(1, 1);
  t.Put(0, 1);
  const test::HuffCode zero16 = PairCode(16, 0, 0);
  t.Put(zero16.bits, zero16.length);
  t.Put(c23.bits, c23.length);
  t.Put(0x1FFF, 13);
  t.Put(0, 1);
  t.Put(0, 13);
  t.Put(1, 1);
  Gi().part2_3_length = int(t.bit_count());
  Load(t);
  Decode();
  EXPECT_EQ(out[0], -16);
  EXPECT_EQ(out[1], 2);
  EXPECT_EQ(out[2], 0);
  EXPECT_EQ(out[3], 0);
  EXPECT_EQ(out[4], 8206);
  EXPECT_EQ(out[5], -15);
  EXPECT_EQ(out[6], 0);
  EXPECT_EQ(d->layer3().reservoir.read_pos, 800 + t.bit_count());
}

TEST_F(HuffmanTest, Count1Quads) {
  // Table B: code 1111 is the quad 0000 and carries no sign bit.
  Layer3BitSink s;
  s.Put(0xF, 4);
  ASSERT_TRUE(PutQuad(s, 33, -1, 0, 1, 0));
  ASSERT_TRUE(PutQuad(s, 33, 1, 1, 1, 1));
  SetLong(0, 0, 0, 0, 0, 0);
  Gi().count1table_select = 1;
  Gi().part2_3_length = int(s.bit_count()) + 3;  // 3 ancillary bits
  Load(s);
  Decode();
  const int32_t want[12] = {0, 0, 0, 0, -1, 0, 1, 0, 1, 1, 1, 1};
  for (int k = 0; k < 12; ++k) EXPECT_EQ(out[k], want[k]) << k;
  EXPECT_EQ(out[12], 0);
  EXPECT_EQ(d->layer3().reservoir.read_pos, 800 + s.bit_count() + 3);

  // Table A: a quad whose code is cut by end is dropped; one whose code ends
  // exactly at end is dropped too; one whose signs pass end is kept.
  const test::HuffCode q = QuadCode(32, 1, 1, 0, 1);
  ASSERT_GT(q.length, 2);
  for (int cut = 0; cut <= 1; ++cut) {
    Layer3BitSink a;
    ASSERT_TRUE(PutQuad(a, 32, 0, 1, 0, 0));
    const int64_t first = a.bit_count();
    ASSERT_TRUE(PutQuad(a, 32, 1, 1, 0, -1));
    Gi().count1table_select = 0;
    Gi().part2_3_length = int(first + q.length - cut);
    Load(a);
    Decode();
    EXPECT_EQ(out[1], 1);
    for (int k = 4; k < 8; ++k) EXPECT_EQ(out[k], 0) << "cut " << cut;
    EXPECT_EQ(d->layer3().reservoir.read_pos, part2_start + Gi().part2_3_length);
  }
  Layer3BitSink a;
  ASSERT_TRUE(PutQuad(a, 32, 1, 1, 0, -1));
  Gi().part2_3_length = q.length + 1;  // two of three sign bits lie past end
  Load(a);
  Decode();
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[1], 1);
  EXPECT_EQ(out[3], -1);
  EXPECT_EQ(d->layer3().reservoir.read_pos, part2_start + q.length + 1);
}

TEST_F(HuffmanTest, OverrunUnderrunAndLimits) {
  // Big values are read past end; the position still ends at end.
  Layer3BitSink s;
  for (int k = 0; k < 10; ++k) ASSERT_TRUE(PutPair(s, 15, k, -k));
  SetLong(10, 15, 15, 15, 15, 7);
  Gi().part2_3_length = 20;
  Load(s);
  Decode();
  for (int k = 0; k < 10; ++k) {
    EXPECT_EQ(out[2 * k], k);
    EXPECT_EQ(out[2 * k + 1], -k);
  }
  EXPECT_EQ(d->layer3().reservoir.read_pos, 820);

  // Five ancillary bits after the data are skipped.
  Gi().part2_3_length = int(s.bit_count()) + 5;
  Load(s, 100, 9);
  Gi().part2_3_length += 9;
  Decode();
  EXPECT_EQ(d->layer3().reservoir.read_pos, 800 + s.bit_count() + 5);

  // big_values beyond 288 stops at 576 values; quads stop when fewer than
  // four places remain.
  Layer3BitSink full;
  for (int k = 0; k < 300; ++k) ASSERT_TRUE(PutPair(full, 1, 1, 0));
  SetLong(300, 1, 1, 1, 15, 7);  // region 2 index 24: clamps to 576
  Gi().part2_3_length = int(full.bit_count());
  Load(full);
  Decode();
  for (int k = 0; k < 576; ++k) ASSERT_EQ(out[k], (k & 1) ? 0 : 1) << k;
  for (int k = 576; k < 580; ++k) EXPECT_EQ(out[k], 777);
  EXPECT_EQ(d->layer3().reservoir.read_pos, part2_start + Gi().part2_3_length);

  // 286 pairs leave room for one quad; 287 pairs leave two places: none.
  for (int pairs : {286, 287}) {
    Layer3BitSink tail;
    for (int k = 0; k < pairs; ++k) ASSERT_TRUE(PutPair(tail, 1, 0, 1));
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(PutQuad(tail, 33, 1, 1, 1, -1));
    SetLong(pairs, 1, 1, 1, 15, 7);
    Gi().count1table_select = 1;
    Gi().part2_3_length = int(tail.bit_count());
    Load(tail);
    Decode();
    const int32_t want[4] = {1, 1, 1, -1};
    for (int k = 572; k < 576; ++k) {
      const int32_t expect = pairs == 286 ? want[k - 572] : (k < 574 ? (k & 1) : 0);
      EXPECT_EQ(out[k], expect) << pairs << " " << k;
    }
    for (int k = 576; k < 580; ++k) EXPECT_EQ(out[k], 777);
    EXPECT_EQ(d->layer3().reservoir.read_pos, part2_start + Gi().part2_3_length);
  }
}

TEST_F(HuffmanTest, RegionBoundaries) {
  GranuleInfo gi{};
  gi.region0_count = 7;
  gi.region1_count = 13;
  HuffmanRegions r = ComputeHuffmanRegions(gi, sfb_bounds[0]);  // 44.1 kHz
  EXPECT_EQ(r.region1, 36);
  EXPECT_EQ(r.region2, 576);
  r = ComputeHuffmanRegions(gi, sfb_bounds[3]);  // 22.05 kHz
  EXPECT_EQ(r.region1, 54);
  gi.region0_count = 15;
  gi.region1_count = 7;
  r = ComputeHuffmanRegions(gi, sfb_bounds[1]);  // 48 kHz
  EXPECT_EQ(r.region1, 156);
  EXPECT_EQ(r.region2, 576);  // band 24 lies past the table
  gi.region0_count = 3;
  gi.region1_count = 2;
  r = ComputeHuffmanRegions(gi, sfb_bounds[4]);  // 24 kHz
  EXPECT_EQ(r.region1, 24);
  EXPECT_EQ(r.region2, 44);
  gi.short_block = 1;
  r = ComputeHuffmanRegions(gi, sfb_bounds[5]);
  EXPECT_EQ(r.region1, 36);
  EXPECT_EQ(r.region2, 576);
}

TEST_F(HuffmanTest, HostilePositionsStayInsideTheReservoir) {
  std::mt19937 rng(99);
  for (int k = 0; k < BitReservoir::kBytes; ++k) d->layer3().reservoir.bytes[k] = uint8_t(rng());
  for (int32_t start : {BitReservoir::kMaxReadBit - 300, BitReservoir::kMaxReadBit,
                        BitReservoir::kMaxReadBit + 200}) {
    SetLong(288, 23, 31, 13, 15, 7);
    Gi().part2_3_length = 4095;
    part2_start = start;
    d->layer3().reservoir.read_pos = start;
    Decode();
    EXPECT_LE(d->layer3().reservoir.read_pos, BitReservoir::kMaxReadBit);
    for (int k = 576; k < 580; ++k) EXPECT_EQ(out[k], 777);
  }
}

}  // namespace
}  // namespace bramble
