// Decodes every compliance stream exactly as `bramble decode` does and
// compares with its reference decoding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "decoder/MpegDecoder.h"
#include "reader/ByteSource.h"
#include "reader/DecodeSource.h"
#include "tests/support/PcmCompare.h"

namespace bramble {
namespace {

// Flip when Layer III decoding lands.
constexpr bool kLayer3Ready = true;

struct Stream {
  const char* name;
  int layer;
};

// The one list of compliance streams. l3-he_free is free format, which the
// frame reader does not play by design.
const Stream kStreams[] = {
    {"l1-fl1", 1}, {"l1-fl2", 1}, {"l1-fl3", 1}, {"l1-fl4", 1}, {"l1-fl5", 1}, {"l1-fl6", 1},
    {"l1-fl7", 1},
    {"l2-fl10", 2}, {"l2-fl11", 2}, {"l2-fl12", 2}, {"l2-fl13", 2}, {"l2-fl14", 2},
    {"l2-fl15", 2}, {"l2-test32", 2},
    {"l3-compl", 3}, {"l3-he_32khz", 3}, {"l3-he_44khz", 3}, {"l3-he_mode", 3},
    {"l3-hecommon", 3}, {"l3-si", 3}, {"l3-si_block", 3}, {"l3-si_huff", 3},
    {"l3-sin1k0db", 3}, {"l3-test45", 3},
    {"M2L3_bitrate_16_all", 3}, {"M2L3_bitrate_22_all", 3}, {"M2L3_compl24", 3},
    {"M2L3_noise", 3},
};

std::vector<std::string> EnabledStreams() {
  std::vector<std::string> names;
  for (const Stream& s : kStreams)
    if (s.layer != 3 || kLayer3Ready) names.push_back(s.name);
  return names;
}

// 2^-11 / sqrt(12) of full scale, in LSB.
const double kLimitedAccuracyRms = 32768.0 / 2048.0 / std::sqrt(12.0);

int layer_of(const std::string& name) {
  for (const Stream& s : kStreams)
    if (name == s.name) return s.layer;
  return 0;
}

class Conformance : public ::testing::TestWithParam<std::string> {};

TEST_P(Conformance, MatchesReference) {
  const std::string base = std::string(BRAMBLE_SHARED_DIR) + "/conformance/" + GetParam();
  FileSource file;
  ASSERT_TRUE(file.Open((base + ".bit").c_str())) << base << ".bit";
  std::vector<int16_t> reference;
  ASSERT_TRUE(test::LoadPcm(base + ".pcm", &reference)) << base << ".pcm";

  auto decoder = std::make_unique<MpegDecoder>();
  decoder->Init();
  test::CollectingSink sink;
  DecodeStats stats;
  DecodeSource(file, *decoder, sink, &stats);
  const test::PcmDiff d = test::ComparePcm(sink.pcm, sink.frames, reference);

  std::printf("%-22s max %6d  rms %9.3f LSB  psnr %7.2f dB  samples %8lld / %8lld (%d frames, %d no PCM)\n",
              GetParam().c_str(), d.max_abs, d.rms, d.psnr, (long long)stats.sample_frames,
              (long long)stats.expected_sample_frames, stats.frames, stats.rejected);

  ASSERT_GT(stats.frames, 0) << "no frames found";
  // Only Layer III frames whose main data lies before the first frame may
  // yield nothing, and only at the start.
  const int leading = test::LeadingUndecoded(sink.frames);
  EXPECT_EQ(stats.rejected, leading) << "frames after the start that yielded no PCM";
  if (leading > 0) {
    EXPECT_EQ(layer_of(GetParam()), 3);
  }
  const int64_t per_frame = stats.frames > 0 ? stats.expected_sample_frames / stats.frames : 0;
  EXPECT_EQ(stats.sample_frames, stats.expected_sample_frames - leading * per_frame)
      << "not every frame was decoded";
  ASSERT_GT(d.compared, 0) << "nothing compared";
  EXPECT_LT(d.rms, kLimitedAccuracyRms) << "max abs " << d.max_abs << ", psnr " << d.psnr << " dB";
}

INSTANTIATE_TEST_SUITE_P(Streams, Conformance, ::testing::ValuesIn(EnabledStreams()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string n = info.param;
                           for (char& c : n)
                             if (c == '-') c = '_';
                           return n;
                         });

// The comparison itself: a layout with single-channel frames takes the left
// channel, frames without PCM skip their span, the common prefix is used.
TEST(PcmCompare, FollowsTheFrameLayout) {
  const std::vector<test::FrameLayout> frames = {{2, 2, true}, {1, 2, true}, {2, 1, false}, {2, 1, true}};
  const std::vector<int16_t> ours = {1, 2, 3, 4, 10, -10, 11, -11, 20, 21};
  // The undecoded frame has no span in the reference either.
  std::vector<int16_t> ref = {1, 2, 3, 4, 10, 11, 20, 21, 77};
  test::PcmDiff d = test::ComparePcm(ours, frames, ref);
  EXPECT_EQ(d.compared, 8);
  EXPECT_EQ(d.max_abs, 0);
  EXPECT_TRUE(std::isinf(d.psnr));

  ref[5] = 14;  // one sample 3 off out of 8
  d = test::ComparePcm(ours, frames, ref);
  EXPECT_EQ(d.max_abs, 3);
  EXPECT_NEAR(d.rms, std::sqrt(9.0 / 8.0), 1e-12);
  EXPECT_NEAR(d.psnr, 10.0 * std::log10(32767.0 * 32767.0 / (9.0 / 8.0)), 1e-9);

  ref.resize(3);  // shorter reference: its prefix only
  d = test::ComparePcm(ours, frames, ref);
  EXPECT_EQ(d.compared, 2);
}

}  // namespace
}  // namespace bramble
