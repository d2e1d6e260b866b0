#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "decoder/Layer3.h"
#include "decoder/tables/BuiltTables.h"
#include "decoder/MpegDecoder.h"

namespace bramble {
namespace {

TEST(Layer3Driver, FrequencyInversionPattern) {
  float xr[576];
  for (int i = 0; i < 576; ++i) xr[i] = float(i + 1);
  InvertFrequencies(xr);
  for (int t = 0; t < 18; ++t)
    for (int sb = 0; sb < 32; ++sb) {
      const float v = float(32 * t + sb + 1);
      const bool negated = (t & 1) && (sb & 1);
      ASSERT_EQ(xr[32 * t + sb], negated ? -v : v) << t << " " << sb;
    }
  EXPECT_LT(xr[32 + 1], 0.0f);
  EXPECT_LT(xr[17 * 32 + 31], 0.0f);
  EXPECT_GT(xr[17 * 32], 0.0f);
}

// Two decoders prepared alike: one runs the granule back end, the other the
// stages one by one, and the results must agree.
struct Reconstruct : public ::testing::Test {
  void SetUp() override {
    for (auto* d : {&a, &b}) {
      d->Init();
      std::memset(&d->layer3().side_info, 0, sizeof d->layer3().side_info);
      d->header().lsf = 0;
      d->header().sampling_frequency = 1;
      d->pcm().data = pcm;
      d->pcm().count = 0;
    }
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int ch = 0; ch < 2; ++ch)
      for (int h = 0; h < 2; ++h)
        for (int i = 0; i < 576; ++i) a.layer3().overlap.overlap[ch][h][i] = b.layer3().overlap.overlap[ch][h][i] = u(rng);
    for (int ch = 0; ch < 2; ++ch)
      for (int i = 0; i < 576; ++i) w.xr[ch][i] = u(rng);
  }
  void SetGranule(int ch, int block_type, int mixed) {
    for (auto* d : {&a, &b}) {
      GranuleInfo& gi = d->layer3().side_info.ch[ch].gr[1];
      gi.window_switching_flag = block_type != 0;
      gi.block_type = block_type;
      gi.mixed_block_flag = mixed;
      gi.short_block = block_type == 2;
    }
  }
  void Expected(int ch, float* xr) {
    float aa[576];
    const GranuleInfo& gi = b.layer3().side_info.ch[ch].gr[1];
    OverlapStore& ov = b.layer3().overlap;
    Antialias(gi, b.header().SfbRow(), b.kernels(), xr, aa);
    HybridFilterbank(gi, ov.overlap[ch][ov.select], ov.overlap[ch][ov.select ^ 1], b.kernels(), aa, xr);
    InvertFrequencies(xr);
  }
  MpegDecoder a, b;
  Layer3Work w;
  int16_t pcm[4608];
};

TEST_F(Reconstruct, MonoRunsChannelZeroOnly) {
  a.header().stereo = 0;
  SetGranule(0, 2, 0);
  float want[576], right[576], overlap1[2][576];
  std::memcpy(want, w.xr[0], sizeof want);
  std::memcpy(right, w.xr[1], sizeof right);
  std::memcpy(overlap1, a.layer3().overlap.overlap[1], sizeof overlap1);
  ReconstructGranule(a, 1, w);
  b.layer3().overlap.select = 1;
  Expected(0, want);
  EXPECT_EQ(a.layer3().overlap.select, 1);
  for (int i = 0; i < 576; ++i) ASSERT_EQ(w.xr[0][i], want[i]) << i;
  for (int i = 0; i < 576; ++i) ASSERT_EQ(w.xr[1][i], right[i]) << i;
  EXPECT_EQ(std::memcmp(overlap1, a.layer3().overlap.overlap[1], sizeof overlap1), 0);
  EXPECT_EQ(std::memcmp(a.layer3().overlap.overlap[0], b.layer3().overlap.overlap[0], sizeof a.layer3().overlap.overlap[0]), 0);
  // The second synthesis channel hears silence, so a later switch to two
  // channels starts it from an empty history.
  const int16_t* history = a.synthesis().history[1];
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(history[i], 0) << i;
}

TEST_F(Reconstruct, TwoChannelsShareOneOverlapFlip) {
  a.header().stereo = 1;
  a.layer3().overlap.select = b.layer3().overlap.select = 1;
  SetGranule(0, 0, 0);
  SetGranule(1, 3, 1);  // channels may switch blocks independently
  float want[2][576];
  std::memcpy(want, w.xr, sizeof want);
  ReconstructGranule(a, 1, w);
  b.layer3().overlap.select = 0;
  Expected(0, want[0]);
  Expected(1, want[1]);
  EXPECT_EQ(a.layer3().overlap.select, 0);
  for (int ch = 0; ch < 2; ++ch)
    for (int i = 0; i < 576; ++i) ASSERT_EQ(w.xr[ch][i], want[ch][i]) << ch << " " << i;
  EXPECT_EQ(std::memcmp(a.layer3().overlap.overlap, b.layer3().overlap.overlap, sizeof a.layer3().overlap.overlap), 0);
}

// ---- whole frames ----

struct BitWriter {
  std::vector<uint8_t>& out;
  size_t pos;
  void Skip(int n) { pos += size_t(n); }  // zero bits
  void Put(uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i, ++pos)
      if ((v >> i) & 1) out[pos >> 3] |= uint8_t(0x80 >> (pos & 7));
  }
};

// MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, stereo, no CRC: 417 bytes.
std::vector<uint8_t> Mpeg1Frame(int main_data_begin, bool invalid_granule) {
  std::vector<uint8_t> f(417 + 8, 0);
  f[0] = 0xFF;
  f[1] = 0xFB;
  f[2] = 0x90;
  f[3] = 0x00;
  BitWriter bw{f, 32};
  bw.Put(uint32_t(main_data_begin), 9);
  bw.Skip(3 + 8);  // private bits, scfsi
  bw.Skip(12 + 9 + 8 + 4);
  bw.Put(invalid_granule ? 1 : 0, 1);  // window_switching_flag; block_type 0 follows
  return f;
}

// MPEG-2 Layer III, 64 kbit/s, 22.05 kHz, stereo, no CRC: 208 bytes.
std::vector<uint8_t> LsfFrame(int main_data_begin, bool invalid_granule) {
  std::vector<uint8_t> f(208 + 8, 0);
  f[0] = 0xFF;
  f[1] = 0xF3;
  f[2] = 0x80;
  f[3] = 0x00;
  BitWriter bw{f, 32};
  bw.Put(uint32_t(main_data_begin), 8);
  bw.Skip(2);
  bw.Skip(12 + 9 + 8 + 9);
  bw.Put(invalid_granule ? 1 : 0, 1);
  return f;
}

TEST(Layer3Frames, FirstFrameReachingBackYieldsNoPcm) {
  auto d = std::make_unique<MpegDecoder>();
  d->Init();
  std::vector<int16_t> pcm(2304, 0x5555);
  auto f = Mpeg1Frame(100, false);
  EXPECT_EQ(d->DecodeFrame(f.data(), int(f.size()), pcm.data()), 0);
  EXPECT_EQ(d->pcm().count, 0);
  d->Init();
  f = LsfFrame(100, false);
  EXPECT_EQ(d->DecodeFrame(f.data(), int(f.size()), pcm.data()), 208);
  EXPECT_EQ(d->pcm().count, 0);
  EXPECT_EQ(pcm[0], 0x5555);
}

TEST(Layer3Frames, InvalidBlockTypeSkipsTheGranules) {
  auto d = std::make_unique<MpegDecoder>();
  d->Init();
  std::vector<int16_t> pcm(2304, 0x5555);
  auto f = Mpeg1Frame(0, true);
  EXPECT_EQ(d->DecodeFrame(f.data(), int(f.size()), pcm.data()), 0);
  EXPECT_EQ(d->pcm().count, 0);
  // The main data is taken from just after the side information, not from
  // where the reader stopped.
  EXPECT_GE(d->body().bit_pos, 256);
  EXPECT_EQ(d->body().bit_pos % 8, 0);
  d->Init();
  f = LsfFrame(0, true);
  EXPECT_EQ(d->DecodeFrame(f.data(), int(f.size()), pcm.data()), 208);
  EXPECT_EQ(d->pcm().count, 0);
  EXPECT_GE(d->body().bit_pos, 136);
  EXPECT_EQ(d->body().bit_pos % 8, 0);
  EXPECT_EQ(pcm[0], 0x5555);
}

}  // namespace
}  // namespace bramble
