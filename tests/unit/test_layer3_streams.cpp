// Layer III streams from the test writer through the whole decoder, for what
// real encoders rarely produce: escapes up to 8206, count1 table B, empty
// tables over zero regions, intensity positions, mixed blocks, reservoir
// shortfall, window switching with block type 0, embedded words and blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "decoder/tables/BuiltTables.h"
#include "decoder/MpegDecoder.h"
#include "tools/streams/Layer3Writer.h"

// Active once the Layer III reconstruction is part of the decoder.
#if __has_include("decoder/Layer3.h")

namespace bramble {
namespace {

using test::Layer3Channel;
using test::Layer3Frame;
using test::Layer3Header;
using test::Layer3Writer;

struct Decoded {
  std::vector<int> result;     // DecodeFrame's result per frame
  std::vector<int> pcm_count;  // pcm_out_count per frame
  std::vector<int> embed_bytes;
  std::vector<int16_t> pcm;    // everything produced
};

Decoded DecodeStream(const Layer3Writer& w, MpegDecoder& d) {
  const std::vector<uint8_t> s = w.Stream();
  const std::vector<size_t>& at = w.frame_offsets();
  Decoded out;
  std::vector<int16_t> pcm(MpegDecoder::kMaxPcmBytesPerFrame / 2);
  for (size_t k = 0; k < at.size(); ++k) {
    const size_t end = k + 1 < at.size() ? at[k + 1] : s.size();
    std::vector<uint8_t> frame(s.begin() + at[k], s.begin() + end);
    out.result.push_back(d.DecodeFrame(frame.data(), int(frame.size()), pcm.data()));
    out.pcm_count.push_back(d.pcm().count);
    out.embed_bytes.push_back(d.embedded().bytes);
    out.pcm.insert(out.pcm.end(), pcm.begin(), pcm.begin() + d.pcm().count);
  }
  return out;
}

Decoded Decode(const Layer3Writer& w) {
  auto d = std::make_unique<MpegDecoder>();
  d->Init();
  return DecodeStream(w, *d);
}

int MaxAbs(const std::vector<int16_t>& v) {
  int m = 0;
  for (int16_t x : v) m = std::max(m, std::abs(int(x)));
  return m;
}

// A spectrum-like granule: falling magnitudes, a tail of -1/0/1.
void FillValues(std::mt19937& rng, int32_t* v, int big_end, int tail_end, int max_mag) {
  std::uniform_int_distribution<int> unit(-1, 1), coin(0, 1);
  for (int i = 0; i < 576; ++i) {
    int m = 0;
    if (i < big_end) m = int(rng() % unsigned(max_mag * (big_end - i) / big_end + 1));
    else if (i < tail_end) m = unit(rng);
    v[i] = coin(rng) ? -m : m;
  }
}

Layer3Frame StereoFrame(int version, int bitrate_index, int mode, int mode_extension) {
  Layer3Frame f;
  f.header.version = version;
  f.header.bitrate_index = bitrate_index;
  f.header.mode = mode;
  f.header.mode_extension = mode_extension;
  for (auto& gr : f.gr)
    for (auto& c : gr) c = test::LongGranule();
  return f;
}

// ---- requantisation against the dequantisation formula ----

// xr of one line computed directly: 2^((global_gain - 210)/4), the
// scalefactor step 2^(-(1 + scalefac_scale)/2 per step), pre-emphasis,
// subblock gain 2^(-2 g), and sign(q) |q|^(4/3).
double ReferenceLine(const Layer3Header& h, const Layer3Channel& c, int i) {
  const GranuleInfo& gi = c.info;
  const SfbBounds& b = sfb_bounds[h.SfbRow()];
  const double q = c.values[i];
  double v = std::pow(2.0, (gi.global_gain - 210) / 4.0) * (q < 0 ? -1.0 : 1.0) *
             std::pow(std::fabs(q), 4.0 / 3.0);
  const double step = (1 + gi.scalefac_scale) / 2.0;
  const bool is_short = gi.window_switching_flag && gi.block_type == 2;
  if (!is_short || (gi.mixed_block_flag && i < 36)) {
    int sfb = 0;
    while (b.l[sfb + 1] <= i) ++sfb;
    const int s = c.sf.l[sfb] + (gi.preflag && sfb < 22 ? pretab[sfb] : 0);
    return v * std::pow(2.0, -step * s);
  }
  int sfb = 0;
  while (3 * b.s[sfb + 1] <= i) ++sfb;
  const int width = b.s[sfb + 1] - b.s[sfb];
  const int w = std::min(2, (i - 3 * b.s[sfb]) / width);
  return v * std::pow(2.0, -2.0 * gi.subblock_gain[w] - step * c.sf.s[w][sfb]);
}

// Runs the front end and the requantiser of a one-frame stream and compares
// every line with ReferenceLine.
void ExpectRequantised(const Layer3Frame& f, const Layer3Writer& w, const std::string& what) {
  auto d = std::make_unique<MpegDecoder>();
  d->Init();
  std::vector<uint8_t> s = w.Stream();
  s.resize(s.size() + 8, 0);
  ASSERT_TRUE(d->ParseHeader(s.data(), int(s.size())));
  const FrameHeader& h = d->header();
  Layer3State& st = d->layer3();
  const int channels = h.stereo ? 2 : 1;
  ASSERT_TRUE(h.lsf ? ReadSideInfoLsf(d->body(), channels, st.side_info)
                    : ReadSideInfoMpeg1(d->body(), channels, st.side_info));
  ASSERT_TRUE(FeedReservoir(st.reservoir, d->body(), h.main_data_bytes, st.side_info.main_data_begin));
  const SfbBounds& bands = sfb_bounds[h.SfbRow()];
  int32_t q[576];
  float xr[576];
  for (int gr = 0; gr < f.header.granules(); ++gr)
    for (int ch = 0; ch < f.header.channels(); ++ch) {
      GranuleInfo& gi = st.side_info.ch[ch].gr[gr];
      const int32_t part2_start = st.reservoir.read_pos;
      if (h.lsf)
        ReadScaleFactorsLsf(st.reservoir, gi, (h.mode_extension & 1) && ch == 1, st.scale_factors[ch], nullptr);
      else
        ReadScaleFactorsMpeg1(st.reservoir, gi, st.side_info.ch[ch].scfsi, gr, st.scale_factors[ch]);
      DecodeHuffman(st.reservoir, gi, bands, part2_start, q);
      Requantise(gi, st.scale_factors[ch], bands, q, xr);
      const Layer3Channel& c = f.gr[gr][ch];
      for (int i = 0; i < 576; ++i) {
        const double want = ReferenceLine(f.header, c, i);
        ASSERT_NEAR(xr[i], want, std::fabs(want) * 3e-7 + 1e-30)
            << what << ": granule " << gr << " channel " << ch << " line " << i << " q " << c.values[i];
      }
    }
}

TEST(Layer3Stages, RequantisationFollowsTheFormula) {
  std::mt19937 rng(21);
  for (int variant = 0; variant < 6; ++variant) {
    const int version = variant < 3 ? 1 : (variant == 3 ? 2 : 25);
    Layer3Frame f = StereoFrame(version, 14, 0, 0);
    f.header.sampling_frequency = variant % 3;
    for (int gr = 0; gr < f.header.granules(); ++gr)
      for (int ch = 0; ch < 2; ++ch) {
        Layer3Channel& c = f.gr[gr][ch];
        c.info.global_gain = 100 + 25 * variant + 7 * ch;
        c.info.scalefac_scale = (variant + ch) & 1;
        // long, short, mixed; the 8 kHz bands have no short band starting
        // at line 36, so no mixed blocks there.
        int kind = (variant + gr + ch) % 3;
        if (kind == 2 && f.header.SfbRow() == 8) kind = 1;
        if (kind) {
          c.info.window_switching_flag = 1;
          c.info.block_type = 2;
          c.info.mixed_block_flag = kind == 2;
          for (int w = 0; w < 3; ++w) c.info.subblock_gain[w] = int(rng() % 8);
        } else {
          c.info.preflag = 1;
        }
        FillValues(rng, c.values, 120, 300, 40);
        for (int b = 0; b < 12; ++b)
          for (int w = 0; w < 3; ++w) c.sf.s[w][b] = int(rng() % (b < 6 ? 8 : 4));
        for (int b = 0; b < 21; ++b) c.sf.l[b] = int(rng() % (b < 6 ? 8 : 4));
        if (kind == 1) std::memset(c.sf.l, 0, sizeof c.sf.l);
        if (kind == 2)
          for (int b = version == 1 ? 8 : 6; b < 23; ++b) c.sf.l[b] = 0;
        if (kind != 0)
          for (int w = 0; w < 3; ++w) c.sf.s[w][12] = 0;
        if (kind == 2)
          for (int b = 0; b < 3; ++b)
            for (int w = 0; w < 3; ++w) c.sf.s[w][b] = 0;
      }
    // Escapes at the top of the 13-bit tables.
    f.gr[0][0].values[2] = 8206;
    f.gr[0][0].values[3] = -8206;
    f.gr[0][1].values[0] = -8192;
    f.gr[0][1].values[1] = 8191;
    Layer3Writer w;
    ASSERT_TRUE(w.Add(f)) << w.error();
    ExpectRequantised(f, w, "variant " + std::to_string(variant));
  }
}

// ---- coding choices that must not change the sound ----

TEST(Layer3Streams, Count1TableBAndEmptyTablesDecodeLikeTheirAlternatives) {
  std::mt19937 rng(4);
  Layer3Frame base = StereoFrame(1, 14, 0, 0);
  for (auto& gr : base.gr)
    for (auto& c : gr) {
      FillValues(rng, c.values, 90, 400, 30);
      c.info.region0_count = 7;  // regions from line 36 and 90 at 44.1 kHz
      c.info.region1_count = 4;
      for (int i = 36; i < 90; ++i) c.values[i] = 0;  // region 1 all zero
    }
  auto coded = [&](int count1, int empty_table) {
    Layer3Frame f = base;
    for (auto& gr : f.gr)
      for (auto& c : gr) {
        c.auto_tables = false;
        c.auto_big_values = true;
        c.info.table_select[0] = 24;  // not the cheapest table for region 0
        c.info.table_select[1] = empty_table;
        c.info.table_select[2] = 24;
        c.info.count1table_select = count1;
      }
    Layer3Writer w;
    EXPECT_TRUE(w.Add(f)) << w.error();
    EXPECT_TRUE(w.Add(f)) << w.error();
    return w;
  };
  const Decoded a = Decode(coded(0, 0));
  ASSERT_EQ(a.pcm.size(), 2u * 2304);
  EXPECT_GT(MaxAbs(a.pcm), 100);
  for (int count1 : {0, 1})
    for (int empty : {0, 4, 14}) {
      const Decoded b = Decode(coded(count1, empty));
      EXPECT_EQ(b.pcm, a.pcm) << "count1 table " << count1 << ", empty table " << empty;
    }
  Layer3Writer automatic;
  Layer3Frame f = base;
  ASSERT_TRUE(automatic.Add(f));
  Layer3Frame g = base;
  ASSERT_TRUE(automatic.Add(g));
  EXPECT_EQ(Decode(automatic).pcm, a.pcm) << "automatic tables";
}

// ---- intensity stereo, judged against the equivalent plain stereo frame ----

// The right channel codes only line 1, so intensity starts at long band 1
// and every band up to 20 takes the right channel's scalefactor as position.
void IntensityPair(int version, int mode_extension, int illegal_band, Layer3Writer* intensity,
                   Layer3Writer* plain, bool lsf_pair_is_one) {
  std::mt19937 rng(9);
  Layer3Frame fi = StereoFrame(version, 14, 1, mode_extension);
  Layer3Frame fp = StereoFrame(version, 14, 0, 0);
  const SfbBounds& b = sfb_bounds[fi.header.SfbRow()];
  for (int gr = 0; gr < fi.header.granules(); ++gr) {
    Layer3Channel& left = fi.gr[gr][0];
    FillValues(rng, left.values, 300, 500, 20);
    Layer3Channel& right = fi.gr[gr][1];
    right.values[1] = -3;
    right.sf.l[illegal_band] = 7;  // MPEG-1: never intensity; LSF: see below
    if (version != 1) {
      // slen (3, 3, 3, 0) for the right channel: the limit 7 marks a band
      // as not intensity-coded, position 0 gives the pair (1, 1).
      right.auto_scalefac_compress = false;
      right.info.scalefac_compress = (3 * 36 + 3 * 6 + 3) << 1;
    }
    fp.gr[gr][0] = left;
    Layer3Channel& pr = fp.gr[gr][1];
    pr.values[1] = -3;
    for (int i = b.l[1]; i < 576; ++i) {
      const bool illegal = i >= b.l[illegal_band] && i < b.l[illegal_band + 1];
      if (illegal) continue;  // left keeps its value, right stays zero
      pr.values[i] = left.values[i];
      if (!lsf_pair_is_one) fp.gr[gr][0].values[i] = 0;  // MPEG-1 position 0: (0, 1)
    }
  }
  ASSERT_TRUE(intensity->Add(fi)) << intensity->error();
  ASSERT_TRUE(plain->Add(fp)) << plain->error();
}

TEST(Layer3Streams, IntensityPositionsMatchThePlainStereoFrame) {
  for (int version : {1, 2, 25}) {
    Layer3Writer intensity, plain;
    IntensityPair(version, 1, 6, &intensity, &plain, version != 1);
    const Decoded a = Decode(intensity), b = Decode(plain);
    ASSERT_EQ(a.pcm.size(), version == 1 ? 2304u : 1152u);
    EXPECT_GT(MaxAbs(b.pcm), 100);
    EXPECT_EQ(a.pcm, b.pcm) << "version " << version;
  }
}

// ---- mixed blocks ----

TEST(Layer3Streams, MixedBlocksReportEachGranuleChannel) {
  std::mt19937 rng(12);
  for (int version : {1, 2}) {
    Layer3Frame f = StereoFrame(version, 14, 0, 0);
    int mixed = 0;
    for (int gr = 0; gr < f.header.granules(); ++gr)
      for (int ch = 0; ch < 2; ++ch) {
        Layer3Channel& c = f.gr[gr][ch];
        FillValues(rng, c.values, 100, 300, 15);
        if (gr == 1 && ch == 0) continue;
        c.info.window_switching_flag = 1;
        c.info.block_type = 2;
        c.info.mixed_block_flag = 1;
        ++mixed;
      }
    Layer3Writer w;
    ASSERT_TRUE(w.Add(f)) << w.error();
    testing::internal::CaptureStderr();
    const Decoded d = Decode(w);
    const std::string err = testing::internal::GetCapturedStderr();
    std::string want;
    for (int k = 0; k < mixed; ++k) want += "Notchecked!";
    EXPECT_EQ(err, want) << "version " << version;
    EXPECT_GT(MaxAbs(d.pcm), 10);
    ExpectRequantised(f, w, "mixed, version " + std::to_string(version));
  }
}

// ---- frames the decoder does not decode ----

TEST(Layer3Streams, ReservoirShortfallAfterInit) {
  for (int version : {1, 2}) {
    Layer3Writer w;
    std::mt19937 rng(2);
    for (int k = 0; k < 3; ++k) {
      Layer3Frame f = StereoFrame(version, 9, 0, 0);
      for (auto& gr : f.gr)
        for (auto& c : gr) FillValues(rng, c.values, 20, 40, 5);
      if (k == 0) f.main_data_begin = 30;  // reaches before the stream
      ASSERT_TRUE(w.Add(f)) << w.error();
      if (k == 1) {
        EXPECT_GT(f.main_data_begin, 0);
      }
    }
    const Decoded d = Decode(w);
    const int frame_bytes = int(w.frame_offsets()[1]);
    const int per_frame = version == 1 ? 2304 : 1152;
    if (version == 1) {
      EXPECT_EQ(d.result[0], 0);
    } else {
      EXPECT_EQ(d.result[0], frame_bytes);
    }
    EXPECT_EQ(d.pcm_count[0], 0) << "version " << version;
    EXPECT_EQ(d.pcm_count[1], per_frame) << "the next frame finds its main data";
    EXPECT_EQ(d.pcm_count[2], per_frame);
  }
}

TEST(Layer3Streams, WindowSwitchingWithBlockTypeZeroSkipsTheFrameButKeepsItsData) {
  for (int version : {1, 2}) {
    std::mt19937 rng(8);
    Layer3Frame silent = StereoFrame(version, 14, 0, 0);
    Layer3Frame bad = silent;
    for (auto& gr : bad.gr)
      for (auto& c : gr) FillValues(rng, c.values, 200, 300, 30);
    bad.gr[0][1].info.window_switching_flag = 1;  // with block_type 0
    Layer3Frame last = silent;
    for (auto& gr : last.gr)
      for (auto& c : gr) FillValues(rng, c.values, 200, 400, 30);

    // The same stream with a silent frame in place of the invalid one.
    Layer3Writer with_bad, with_silent;
    for (Layer3Writer* w : {&with_bad, &with_silent}) {
      Layer3Frame a = silent, b = w == &with_bad ? bad : silent, c = last;
      ASSERT_TRUE(w->Add(a)) << w->error();
      ASSERT_TRUE(w->Add(b)) << w->error();
      ASSERT_TRUE(w->Add(c)) << w->error();
      ASSERT_GT(c.main_data_begin, 0) << "the last frame's data starts in the one before";
    }
    const Decoded d = Decode(with_bad), ref = Decode(with_silent);
    EXPECT_EQ(d.pcm_count[1], 0) << "version " << version;
    if (version == 1) {
      EXPECT_EQ(d.result[1], 0);
    }
    ASSERT_EQ(d.pcm_count[2], ref.pcm_count[2]);
    const std::vector<int16_t> tail(d.pcm.end() - d.pcm_count[2], d.pcm.end());
    const std::vector<int16_t> ref_tail(ref.pcm.end() - ref.pcm_count[2], ref.pcm.end());
    EXPECT_GT(MaxAbs(ref_tail), 100);
    EXPECT_EQ(tail, ref_tail) << "version " << version;
  }
}

// ---- embedded data channel ----

TEST(Layer3Streams, EmbeddedBlockAcrossFrames) {
  const uint16_t key[16] = {0x3C5A, 0x0001, 0xFFFE, 0x1234, 0x4321, 0x0F0F, 0xF00F, 0x0FF0,
                            0x1111, 0x2222, 0x4444, 0x8888, 0x1357, 0x2468, 0x9ABC, 0xDEF0};
  const EmbedKey desc{2, 16, key};
  uint16_t payload[15];
  for (int k = 0; k < 15; ++k) payload[k] = uint16_t(0x5100 + 17 * k);
  const std::vector<uint16_t> words = test::ScrambleEmbeddedBlock(key, 16, payload);

  // Two words before the block, then its 16 words, four per frame.
  std::vector<uint16_t> sent = {0x0BAD, 0x0DAD};
  sent.insert(sent.end(), words.begin(), words.end());
  sent.resize(20, 0x7777);
  Layer3Writer w;
  std::mt19937 rng(6);
  for (size_t k = 0; k < sent.size(); k += 4) {
    Layer3Frame f = StereoFrame(1, 14, 0, 0);
    for (int gr = 0; gr < 2; ++gr)
      for (int ch = 0; ch < 2; ++ch) {
        Layer3Channel& c = f.gr[gr][ch];
        FillValues(rng, c.values, 150, 300, 12);
        test::PlantEmbeddedWord(c.values, sent[k + size_t(gr * 2 + ch)], -1);
      }
    ASSERT_TRUE(w.Add(f)) << w.error();
  }
  auto d = std::make_unique<MpegDecoder>();
  d->Init();
  d->embedded().key = &desc;
  d->embedded().enable = 1;
  const std::vector<uint8_t> s = w.Stream();
  const std::vector<size_t>& at = w.frame_offsets();
  std::vector<int16_t> pcm(2304);
  for (size_t k = 0; k < at.size(); ++k) {
    const size_t end = k + 1 < at.size() ? at[k + 1] : s.size();
    ASSERT_GT(d->DecodeFrame(s.data() + at[k], int(end - at[k]), pcm.data()), 0);
    // Words 2..17 form the block: it completes in frame 4 (words 16..19).
    if (k == 4) {
      ASSERT_EQ(d->embedded().bytes, 30);
      for (int i = 0; i < 15; ++i) EXPECT_EQ(d->embedded().out[i], payload[i]) << "word " << i;
      // The ring was cleared, then took the two words after the block.
      int after = 0;
      for (int i = 0; i < 16; ++i) {
        after += d->embedded().ring[i] == 0x7777;
        EXPECT_TRUE(d->embedded().ring[i] == 0 || d->embedded().ring[i] == 0x7777) << "slot " << i;
      }
      EXPECT_EQ(after, 2);
    } else {
      EXPECT_EQ(d->embedded().bytes, 0) << "frame " << k;
    }
  }
}

}  // namespace
}  // namespace bramble

#endif  // __has_include("decoder/Layer3.h")
