// The Layer III test writer, checked through the decoder's front end: side
// information, reservoir, scalefactors and Huffman decoding must give back
// exactly what was written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "decoder/tables/HuffmanTables.h"
#include "decoder/MpegDecoder.h"
#include "tools/streams/Layer3Writer.h"

namespace bramble {
namespace {

using test::Layer3Channel;
using test::Layer3Frame;
using test::Layer3Header;
using test::Layer3Writer;

// What the front end read for one frame.
struct FrontEndFrame {
  bool fed = false;  // the reservoir held the frame's main data
  SideInfo side{};
  ScaleFactors sf[2][2]{};   // [granule][channel]
  int32_t values[2][2][576]{};
  int32_t end_pos[2][2]{};   // read position after Huffman decoding
  int32_t start_pos[2][2]{};
};

std::vector<FrontEndFrame> ReadFrontEnd(MpegDecoder& d, const Layer3Writer& w, bool i_stereo = false) {
  const std::vector<uint8_t> s = w.Stream();
  std::vector<FrontEndFrame> out;
  const std::vector<size_t>& at = w.frame_offsets();
  for (size_t k = 0; k < at.size(); ++k) {
    FrontEndFrame f;
    const size_t next = k + 1 < at.size() ? at[k + 1] : s.size();
    std::vector<uint8_t> frame(s.begin() + at[k], s.begin() + next);
    frame.resize(frame.size() + 8, 0);
    EXPECT_TRUE(d.ParseHeader(frame.data(), int(frame.size()))) << "frame " << k;
    EXPECT_EQ(size_t(d.header().frame_bytes), next - at[k]) << "frame " << k;
    const FrameHeader& h = d.header();
    Layer3State& st = d.layer3();
    const int channels = h.stereo ? 2 : 1;
    EXPECT_TRUE(h.lsf ? ReadSideInfoLsf(d.body(), channels, st.side_info)
                      : ReadSideInfoMpeg1(d.body(), channels, st.side_info));
    f.fed = FeedReservoir(st.reservoir, d.body(), h.main_data_bytes, st.side_info.main_data_begin);
    f.side = st.side_info;
    if (f.fed) {
      for (int gr = 0; gr < (d.header().lsf ? 1 : 2); ++gr)
        for (int ch = 0; ch < (d.header().stereo ? 2 : 1); ++ch) {
          GranuleInfo& gi = st.side_info.ch[ch].gr[gr];
          const int32_t part2_start = st.reservoir.read_pos;
          f.start_pos[gr][ch] = part2_start;
          if (h.lsf)
            ReadScaleFactorsLsf(st.reservoir, gi, (h.mode_extension & 1) && ch == 1, st.scale_factors[ch],
                                i_stereo && ch == 1 ? &st.limits : nullptr);
          else
            ReadScaleFactorsMpeg1(st.reservoir, gi, st.side_info.ch[ch].scfsi, gr, st.scale_factors[ch]);
          f.sf[gr][ch] = st.scale_factors[ch];
          DecodeHuffman(st.reservoir, gi, sfb_bounds[h.SfbRow()], part2_start, f.values[gr][ch]);
          f.end_pos[gr][ch] = d.layer3().reservoir.read_pos;
        }
    }
    out.push_back(f);
  }
  return out;
}

// Random values shaped like a spectrum: large low lines, a tail of -1/0/1.
void RandomValues(std::mt19937& rng, int32_t* v, int big_end, int tail_end, int max_mag) {
  std::uniform_int_distribution<int> mag(0, max_mag), unit(-1, 1), coin(0, 1);
  for (int i = 0; i < 576; ++i) {
    int m = 0;
    if (i < big_end) m = coin(rng) ? mag(rng) * (big_end - i) / big_end : mag(rng) % 4;
    else if (i < tail_end) m = unit(rng);
    v[i] = coin(rng) ? -std::abs(m) : std::abs(m);
  }
}

void ExpectSameValues(const int32_t* want, const int32_t* got, const char* what) {
  for (int i = 0; i < 576; ++i) ASSERT_EQ(got[i], want[i]) << what << " value " << i;
}

class WriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d = std::make_unique<MpegDecoder>();
    d->Init();
  }
  std::unique_ptr<MpegDecoder> d;
  Layer3Writer w;
};

TEST_F(WriterTest, Mpeg1LongBlocksRoundTripWithEscapesAndReservoir) {
  std::mt19937 rng(7);
  std::vector<Layer3Frame> frames;
  for (int k = 0; k < 6; ++k) {
    Layer3Frame f;
    f.header.bitrate_index = 14;  // 320 kbit/s
    f.header.mode = k % 2 ? 1 : 0;
    f.header.mode_extension = k % 2 ? 2 : 0;
    f.header.crc = k == 3;
    f.header.padding = k == 4;
    for (int gr = 0; gr < 2; ++gr)
      for (int ch = 0; ch < 2; ++ch) {
        Layer3Channel& c = f.gr[gr][ch];
        c = test::LongGranule();
        c.info.region0_count = (k * 3 + gr) % 16;
        c.info.region1_count = (k + ch) % 8;
        c.info.scalefac_scale = ch;
        // Frames 0..2 are small, so frame 3 (large) has to reach back.
        RandomValues(rng, c.values, k < 3 ? 40 : 200, k < 3 ? 100 : 400, k < 3 ? 20 : 60);
        for (int b = 0; b < 21; ++b) c.sf.l[b] = int(rng() % (b < 11 ? 16 : 8));
      }
    f.gr[1][0].values[1] = 8206;  // 15 + 2^13 - 1: only tables 23 and 31 carry it
    f.gr[0][1].values[0] = -8191;
    f.gr[1][1].values[3] = 16;
    ASSERT_TRUE(w.Add(f)) << w.error();
    frames.push_back(f);
  }
  EXPECT_EQ(frames[0].main_data_begin, 0);
  EXPECT_GT(frames[3].main_data_begin, 0) << "a large frame after small ones uses the reservoir";
  const int table_of_8206 = frames[1].gr[1][0].info.table_select[0];
  EXPECT_TRUE(table_of_8206 == 23 || table_of_8206 == 31) << table_of_8206;

  const std::vector<FrontEndFrame> got = ReadFrontEnd(*d, w);
  ASSERT_EQ(got.size(), frames.size());
  for (size_t k = 0; k < frames.size(); ++k) {
    ASSERT_TRUE(got[k].fed) << "frame " << k;
    EXPECT_EQ(got[k].side.main_data_begin, frames[k].main_data_begin);
    for (int gr = 0; gr < 2; ++gr)
      for (int ch = 0; ch < 2; ++ch) {
        const Layer3Channel& c = frames[k].gr[gr][ch];
        const GranuleInfo& gi = got[k].side.ch[ch].gr[gr];
        EXPECT_EQ(gi.part2_3_length, c.info.part2_3_length);
        EXPECT_EQ(gi.big_values, c.info.big_values);
        EXPECT_EQ(gi.region0_count, c.info.region0_count);
        EXPECT_EQ(gi.region1_count, c.info.region1_count);
        EXPECT_EQ(gi.scalefac_scale, c.info.scalefac_scale);
        for (int b = 0; b < 21; ++b) EXPECT_EQ(got[k].sf[gr][ch].l[b], c.sf.l[b]) << "band " << b;
        ExpectSameValues(c.values, got[k].values[gr][ch], "long");
        // Granules follow each other bit for bit.
        EXPECT_EQ(got[k].end_pos[gr][ch] - got[k].start_pos[gr][ch], c.info.part2_3_length);
      }
  }
}

TEST_F(WriterTest, Mpeg1ShortMixedStartStopAndScfsi) {
  std::mt19937 rng(11);
  Layer3Frame f;
  f.header.bitrate_index = 13;
  f.header.sampling_frequency = 1;  // 48 kHz
  const int kinds[4][3] = {{2, 0, 0}, {2, 1, 0}, {1, 0, 0}, {3, 1, 0}};  // block_type, mixed
  for (int gr = 0; gr < 2; ++gr)
    for (int ch = 0; ch < 2; ++ch) {
      Layer3Channel& c = f.gr[gr][ch];
      c = test::LongGranule();
      const int* kind = kinds[gr * 2 + ch];
      c.info.window_switching_flag = 1;
      c.info.block_type = kind[0];
      c.info.mixed_block_flag = kind[1];
      c.info.subblock_gain[1] = 3;
      RandomValues(rng, c.values, 150, 300, 30);
      for (int b = 0; b < 22; ++b) c.sf.l[b] = 0;
      for (int b = 0; b < 12; ++b)
        for (int wdw = 0; wdw < 3; ++wdw) c.sf.s[wdw][b] = int(rng() % (b < 6 ? 16 : 8));
      if (kind[0] == 2 && kind[1])
        for (int b = 0; b < 8; ++b) c.sf.l[b] = int(rng() % 16);
      if (kind[0] != 2)
        for (int b = 0; b < 21; ++b) c.sf.l[b] = int(rng() % 8);
    }
  ASSERT_TRUE(w.Add(f)) << w.error();

  // A second frame of long blocks reusing groups 1 and 3 of granule 0.
  Layer3Frame g;
  g.header = f.header;
  g.scfsi[0][1] = g.scfsi[0][3] = 1;
  g.scfsi[1][0] = 1;
  for (int gr = 0; gr < 2; ++gr)
    for (int ch = 0; ch < 2; ++ch) {
      Layer3Channel& c = g.gr[gr][ch];
      c = test::LongGranule();
      RandomValues(rng, c.values, 100, 200, 15);
      for (int b = 0; b < 21; ++b) c.sf.l[b] = int(rng() % 8);
    }
  const Layer3Frame g_before = g;
  ASSERT_TRUE(w.Add(g)) << w.error();

  const std::vector<FrontEndFrame> got = ReadFrontEnd(*d, w);
  ASSERT_EQ(got.size(), 2u);
  for (int gr = 0; gr < 2; ++gr)
    for (int ch = 0; ch < 2; ++ch) {
      const Layer3Channel& c = f.gr[gr][ch];
      const GranuleInfo& gi = got[0].side.ch[ch].gr[gr];
      EXPECT_EQ(gi.block_type, c.info.block_type);
      EXPECT_EQ(gi.mixed_block_flag, c.info.mixed_block_flag);
      EXPECT_EQ(gi.subblock_gain[1], 3);
      EXPECT_EQ(gi.table_select[0], c.info.table_select[0]);
      EXPECT_EQ(gi.table_select[1], c.info.table_select[1]);
      ExpectSameValues(c.values, got[0].values[gr][ch], "window switching");
      const ScaleFactors& sf = got[0].sf[gr][ch];
      const bool is_short = c.info.block_type == 2;
      const int first_short = c.info.mixed_block_flag ? 3 : 0;
      if (is_short) {
        for (int b = first_short; b < 12; ++b)
          for (int wdw = 0; wdw < 3; ++wdw) EXPECT_EQ(sf.s[wdw][b], c.sf.s[wdw][b]) << b << "/" << wdw;
        if (c.info.mixed_block_flag) {
          for (int b = 0; b < 8; ++b) EXPECT_EQ(sf.l[b], c.sf.l[b]);
        }
      } else {
        for (int b = 0; b < 21; ++b) EXPECT_EQ(sf.l[b], c.sf.l[b]);
      }
      EXPECT_EQ(got[0].end_pos[gr][ch] - got[0].start_pos[gr][ch], c.info.part2_3_length);
    }
  // Reused groups hold granule 0's values, whatever granule 1 asked for.
  const int group[5] = {0, 6, 11, 16, 21};
  for (int ch = 0; ch < 2; ++ch)
    for (int gi = 0; gi < 4; ++gi)
      for (int b = group[gi]; b < group[gi + 1]; ++b) {
        const int want = g.scfsi[ch][gi] ? g_before.gr[0][ch].sf.l[b] : g_before.gr[1][ch].sf.l[b];
        EXPECT_EQ(got[1].sf[1][ch].l[b], want) << "ch " << ch << " band " << b;
        EXPECT_EQ(g.gr[1][ch].sf.l[b], want) << "the writer reports the reused values";
      }
  // Fewer scalefactor bits when groups are reused.
  Layer3Frame h = g_before;
  h.scfsi[0][1] = h.scfsi[0][3] = 0;
  Layer3Writer w2;
  ASSERT_TRUE(w2.Add(h));
  EXPECT_GT(h.gr[1][0].info.part2_3_length, g.gr[1][0].info.part2_3_length);
}

TEST_F(WriterTest, LsfBlocksPartitionsAndIntensityRightChannel) {
  std::mt19937 rng(5);
  for (int version : {2, 25})
    for (int kind = 0; kind < 3; ++kind)
      for (int ext : {0, 1, 3}) {
        Layer3Writer lw;
        Layer3Frame f;
        f.header.version = version;
        f.header.sampling_frequency = kind;
        f.header.bitrate_index = 14;
        f.header.mode = 1;
        f.header.mode_extension = ext;
        for (int ch = 0; ch < 2; ++ch) {
          Layer3Channel& c = f.gr[0][ch];
          c = test::LongGranule();
          if (kind) {
            c.info.window_switching_flag = 1;
            c.info.block_type = 2;
            c.info.mixed_block_flag = kind == 2;
          }
          c.info.preflag = ch == 0 && kind == 0 && ext == 0;
          c.info.scalefac_compress = ext == 1 ? 1 : 0;  // intensity_scale of the right channel
          RandomValues(rng, c.values, 60, 150, 12);
          // Widths every layout can carry: 3, 3, 2, 2 bits... kept small.
          for (int b = 0; b < 21; ++b) c.sf.l[b] = int(rng() % (b < 6 ? 8 : 4));
          for (int b = 0; b < 12; ++b)
            for (int wdw = 0; wdw < 3; ++wdw) c.sf.s[wdw][b] = int(rng() % (b < 6 ? 4 : 2));
          if (kind == 2)
            for (int b = 6; b < 23; ++b) c.sf.l[b] = 0;
        }
        ASSERT_TRUE(lw.Add(f)) << lw.error();
        MpegDecoder& dec = *d;
        dec.Init();
        const std::vector<FrontEndFrame> got = ReadFrontEnd(dec, lw, ext & 1);
        ASSERT_EQ(got.size(), 1u);
        ASSERT_TRUE(got[0].fed);
        for (int ch = 0; ch < 2; ++ch) {
          SCOPED_TRACE(testing::Message() << "version " << version << " kind " << kind << " ext " << ext
                                          << " ch " << ch);
          const Layer3Channel& c = f.gr[0][ch];
          const ScaleFactors& sf = got[0].sf[0][ch];
          EXPECT_EQ(got[0].side.ch[ch].gr[0].scalefac_compress, c.info.scalefac_compress);
          if (ch == 1 && (ext & 1)) {
            EXPECT_EQ(c.info.scalefac_compress & 1, ext == 1 ? 1 : 0);
          }
          if (ch == 0 && kind == 0 && ext == 0) {
            EXPECT_GE(c.info.scalefac_compress, 500) << "preflag asked";
          }
          if (kind == 0) {
            for (int b = 0; b < 21; ++b) EXPECT_EQ(sf.l[b], c.sf.l[b]) << "band " << b;
          } else {
            const int first = kind == 2 ? 3 : 0;
            for (int b = first; b < 12; ++b)
              for (int wdw = 0; wdw < 3; ++wdw) EXPECT_EQ(sf.s[wdw][b], c.sf.s[wdw][b]) << b << "/" << wdw;
            if (kind == 2) {
              for (int b = 0; b < 6; ++b) EXPECT_EQ(sf.l[b], c.sf.l[b]) << "long band " << b;
            }
          }
          ExpectSameValues(c.values, got[0].values[0][ch], "lsf");
          EXPECT_EQ(got[0].end_pos[0][ch] - got[0].start_pos[0][ch], c.info.part2_3_length);
        }
      }
}

TEST_F(WriterTest, ReservoirShortfallOverlapAndFit) {
  // A first frame that reaches back before the stream: its data is lost.
  Layer3Frame f;
  f.header.bitrate_index = 9;
  f.header.mode = 3;
  f.main_data_begin = 20;
  f.gr[0][0] = test::LongGranule();
  f.gr[1][0] = test::LongGranule();
  f.gr[0][0].values[0] = 5;
  ASSERT_TRUE(w.Add(f)) << w.error();
  Layer3Frame g = f;
  g.main_data_begin = -1;
  ASSERT_TRUE(w.Add(g)) << w.error();
  EXPECT_GT(g.main_data_begin, 0) << "the second frame's data starts in the first frame's slot";
  const std::vector<FrontEndFrame> got = ReadFrontEnd(*d, w);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_FALSE(got[0].fed);
  ASSERT_TRUE(got[1].fed);
  EXPECT_EQ(got[1].values[0][0][0], 5);

  // Explicit main_data_begin that would overwrite earlier data is refused.
  Layer3Writer ow;
  Layer3Frame first = g;
  first.main_data_begin = -1;
  ASSERT_TRUE(ow.Add(first));
  EXPECT_EQ(first.main_data_begin, 0);
  Layer3Frame over = g;
  over.main_data_begin = f.header.MainDataBytes();
  EXPECT_FALSE(ow.Add(over));
  EXPECT_NE(ow.error().find("overlaps"), std::string::npos) << ow.error();
  over.main_data_begin = f.header.MainDataBytes() - 8;
  EXPECT_TRUE(ow.Add(over)) << ow.error();
  // So is main data larger than the reservoir and the slot together.
  Layer3Writer small;
  Layer3Frame big;
  big.header.bitrate_index = 1;  // 32 kbit/s
  big.header.mode = 3;
  big.gr[0][0] = test::LongGranule();
  big.gr[1][0] = test::LongGranule();
  for (int i = 0; i < 200; ++i) big.gr[0][0].values[i] = 1 + i % 15;
  EXPECT_FALSE(small.Add(big));
  EXPECT_NE(small.error().find("bytes"), std::string::npos) << small.error();
  EXPECT_EQ(small.frame_offsets().size(), 0u);
}

TEST_F(WriterTest, ForcedFieldsTablesAndStuffing) {
  Layer3Frame f;
  f.header.bitrate_index = 11;
  f.header.mode = 3;
  Layer3Channel& c = f.gr[0][0];
  c = test::LongGranule();
  for (int i = 0; i < 60; ++i) c.values[i] = (i % 7) - 3;
  for (int i = 60; i < 120; ++i) c.values[i] = (i % 3) - 1;
  c.auto_tables = false;
  c.info.table_select[0] = 5;
  c.info.table_select[1] = 5;
  c.info.table_select[2] = 4;  // empty table over nonzero values: not codable
  c.info.region0_count = 7;  // regions from 36 and 90 at 44.1 kHz
  c.info.region1_count = 4;
  c.auto_big_values = false;
  c.info.big_values = 100;
  f.gr[1][0] = test::LongGranule();
  Layer3Writer bad;
  EXPECT_FALSE(bad.Add(f));

  // Region 2 empty of nonzero values: table 4 writes nothing there.
  for (int i = 60; i < 120; ++i) c.values[i] = 0;
  // values 60..199 are zero
  c.info.count1table_select = 1;
  c.stuffing_bits = 5;
  ASSERT_TRUE(w.Add(f)) << w.error();
  const std::vector<FrontEndFrame> got = ReadFrontEnd(*d, w);
  ASSERT_TRUE(got[0].fed);
  const GranuleInfo& gi = got[0].side.ch[0].gr[0];
  EXPECT_EQ(gi.big_values, 100);
  EXPECT_EQ(gi.table_select[2], 4);
  EXPECT_EQ(gi.count1table_select, 1);
  ExpectSameValues(c.values, got[0].values[0][0], "forced");
  EXPECT_EQ(got[0].end_pos[0][0] - got[0].start_pos[0][0], gi.part2_3_length);

  // A declared length beyond the coded bits pads with zeros.
  Layer3Frame pad = f;
  pad.gr[0][0].stuffing_bits = 0;
  pad.gr[0][0].auto_part2_3_length = false;
  pad.gr[0][0].info.part2_3_length = f.gr[0][0].info.part2_3_length + 40;
  Layer3Writer pw;
  ASSERT_TRUE(pw.Add(pad)) << pw.error();
  d->Init();
  const std::vector<FrontEndFrame> padded = ReadFrontEnd(*d, pw);
  ASSERT_TRUE(padded[0].fed);
  ExpectSameValues(c.values, padded[0].values[0][0], "padded");
  EXPECT_EQ(padded[0].start_pos[1][0] - padded[0].start_pos[0][0], pad.gr[0][0].info.part2_3_length);
}

TEST_F(WriterTest, PlantedWordsAreFound) {
  std::mt19937 rng(3);
  for (int trial = 0; trial < 40; ++trial) {
    Layer3Frame f;
    f.header.bitrate_index = 14;
    f.header.mode = 3;
    int block[2];
    uint16_t word[2];
    for (int gr = 0; gr < 2; ++gr) {
      Layer3Channel& c = f.gr[gr][0];
      c = test::LongGranule();
      RandomValues(rng, c.values, 30 + trial * 5, 300, trial % 2 ? 40 : 6);
      word[gr] = uint16_t(rng());
      block[gr] = test::PlantEmbeddedWord(c.values, word[gr], trial % 3 == 0 ? -1 : int(rng() % 35) * 16);
    }
    Layer3Writer one;
    ASSERT_TRUE(one.Add(f)) << one.error();
    ASSERT_EQ(f.main_data_begin, 0);
    d->Init();
    const std::vector<FrontEndFrame> got = ReadFrontEnd(*d, one);
    for (int gr = 0; gr < 2; ++gr) {
      uint32_t found = 0;
      ASSERT_TRUE(ExtractEmbeddedWord(got[0].values[gr][0], got[0].side.ch[0].gr[gr], sfb_bounds[0], &found))
          << "trial " << trial << " granule " << gr << " block " << block[gr];
      EXPECT_EQ(found, word[gr]) << "trial " << trial;
    }
  }
}

TEST(EmbeddedBlock, ScrambledWordsAssembleIntoTheBlock) {
  const uint16_t key[16] = {0x1234, 0xBEEF, 7, 0x8001, 0x0F0F, 0xF0F0, 0x5555, 0xAAAA,
                            0x0102, 0x0304, 0x0506, 0x0708, 0x090A, 0x0B0C, 0x0D0E, 0x7777};
  const EmbedKey desc{2, 16, key};
  uint16_t payload[15];
  for (int k = 0; k < 15; ++k) payload[k] = uint16_t(0x4100 + k * 3);
  const std::vector<uint16_t> words = test::ScrambleEmbeddedBlock(key, 16, payload);
  ASSERT_EQ(words.size(), 16u);
  auto d = std::make_unique<MpegDecoder>();
  d->Init();
  d->embedded().key = &desc;
  d->embedded().enable = 1;
  d->embedded().ring_index = 5;  // any ring position
  int gained = 0;
  for (int k = 0; k < 16; ++k) {
    gained = AssembleEmbeddedBlock(d->embedded(), words[size_t(k)]);
    if (k < 15) {
      ASSERT_EQ(gained, 0) << "early block at word " << k;
    }
  }
  EXPECT_EQ(gained, 30);
  for (int k = 0; k < 15; ++k) EXPECT_EQ(d->embedded().out[k], payload[k]);
}

TEST(FrameCrc, KnownCheckValue) {
  const char* digits = "123456789";
  EXPECT_EQ(test::FrameCrc16(reinterpret_cast<const uint8_t*>(digits), 9), 0xAEE7);
}

TEST(Layer3Header, FrameSizes) {
  Layer3Header h;
  EXPECT_EQ(h.FrameBytes(), 417);
  h.crc = true;
  EXPECT_EQ(h.MainDataBytes(), 417 - 4 - 2 - 32);
  Layer3Header lsf;
  lsf.version = 2;
  lsf.bitrate_index = 8;  // 64 kbit/s at 22.05 kHz
  EXPECT_EQ(lsf.FrameBytes(), 208);
  Layer3Header low;
  low.version = 25;
  low.sampling_frequency = 2;
  low.bitrate_index = 1;
  low.mode = 3;
  EXPECT_EQ(low.FrameBytes(), 72);
  EXPECT_EQ(low.MainDataBytes(), 72 - 4 - 9);
}

}  // namespace
}  // namespace bramble
