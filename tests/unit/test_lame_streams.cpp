// Layer III streams made with lame from sox signals, decoded exactly as
// `bramble decode` does and compared frame for frame with mpg123's decoding
// of the same file. The files are cached under the build directory. Run by
// the layer3_lame_streams test (tests/layer3.cmake), which sets
// BRAMBLE_LAME_STREAMS; skipped without it or without the tools.
#include <gtest/gtest.h>

#if __has_include("decoder/Layer3.h")

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "decoder/MpegDecoder.h"
#include "reader/ByteSource.h"
#include "reader/DecodeSource.h"
#include "tests/support/PcmCompare.h"

namespace bramble {
namespace {

struct LameStream {
  const char* name;
  int rate;             // Hz of the signal and the stream
  const char* options;  // lame options
};

const LameStream kLameStreams[] = {
    {"m1_32k_joint", 44100, "-b 32 -m j --resample 44.1"},
    {"m1_32k_mono", 44100, "-b 32 -m m --resample 44.1"},
    {"m1_128k_joint", 44100, "-b 128 -m j"},
    {"m1_128k_stereo", 44100, "-b 128 -m s"},
    {"m1_128k_mono", 44100, "-b 128 -m m"},
    {"m1_320k_joint", 44100, "-b 320 -m j"},
    {"m1_320k_stereo", 48000, "-b 320 -m s"},
    {"m1_v2_joint", 44100, "-V 2 -m j"},
    {"m1_v2_stereo", 32000, "-V 2 -m s"},
    {"m1_v2_mono", 44100, "-V 2 -m m"},
    {"m1_short_blocks", 44100, "-b 128 -m j --allshort"},
    {"m2_16k", 16000, "-b 32 -m j --resample 16"},
    {"m2_22k", 22050, "-b 64 -m j --resample 22.05"},
    {"m2_24k_v2", 24000, "-V 2 -m s --resample 24"},
    {"m25_8k", 8000, "-b 16 -m m --resample 8"},
    {"m25_11k", 11025, "-b 24 -m j --resample 11.025"},
    {"m25_12k", 12000, "-b 32 -m s --resample 12"},
};

void PrintTo(const LameStream& s, std::ostream* os) { *os << s.name; }

bool HaveTool(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

bool Shell(const std::string& cmd) { return std::system(cmd.c_str()) == 0; }

// 4 s of music-like stereo at `rate`: two chords, one with tremolo, over
// pink noise, with a click train for transients (short blocks).
std::string Signal(const std::string& dir, int rate) {
  const std::string out = dir + "/signal_" + std::to_string(rate) + ".wav";
  if (Exists(out)) return out;
  const std::string r = " -r " + std::to_string(rate) + " -c 2 -b 16 ";
  const std::string a = dir + "/a.wav", b = dir + "/b.wav", c = dir + "/c.wav", e = dir + "/e.wav";
  const bool ok =
      Shell("sox -n" + r + a + " synth 4 sine 220 sine 330 vol 0.25") &&
      Shell("sox -n" + r + b + " synth 4 sine 440 sine 1320 tremolo 3 40 vol 0.2") &&
      Shell("sox -n" + r + c + " synth 4 pinknoise pinknoise vol 0.08") &&
      Shell("sox -n" + r + e + " synth 4 square 4 vol 0.05") &&
      Shell("sox -m " + a + " " + b + " " + c + " " + e + " " + out);
  std::remove(a.c_str());
  std::remove(b.c_str());
  std::remove(c.c_str());
  std::remove(e.c_str());
  return ok ? out : std::string();
}

class LameStreams : public ::testing::TestWithParam<LameStream> {};

TEST_P(LameStreams, MatchMpg123) {
  if (!std::getenv("BRAMBLE_LAME_STREAMS")) GTEST_SKIP() << "run by the layer3_lame_streams test";
  for (const char* tool : {"sox", "lame", "mpg123"})
    if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
  const LameStream& s = GetParam();
  const std::string dir = std::string(BRAMBLE_BINARY_DIR) + "/lame_streams";
  Shell("mkdir -p " + dir);
  const std::string signal = Signal(dir, s.rate);
  ASSERT_FALSE(signal.empty()) << "sox failed";
  const std::string mp3 = dir + "/" + s.name + ".mp3", ref = dir + "/" + s.name + ".raw";
  if (!Exists(mp3)) {
    // -t: no information frame, which would shift the frame alignment.
    ASSERT_TRUE(Shell("lame --quiet -t " + std::string(s.options) + " " + signal + " " + mp3 + ".tmp && mv " +
                    mp3 + ".tmp " + mp3))
        << "lame failed";
  }
  if (!Exists(ref)) {
    ASSERT_TRUE(Shell("mpg123 -q --no-gapless -s " + mp3 + " > " + ref + ".tmp && mv " + ref + ".tmp " + ref));
  }

  FileSource file;
  ASSERT_TRUE(file.Open(mp3.c_str()));
  std::vector<int16_t> reference;
  ASSERT_TRUE(test::LoadPcm(ref, &reference));
  auto decoder = std::make_unique<MpegDecoder>();
  decoder->Init();
  test::CollectingSink sink;
  DecodeStats stats;
  DecodeSource(file, *decoder, sink, &stats);
  const test::PcmDiff d = test::ComparePcm(sink.pcm, sink.frames, reference);

  // The reference has every frame; frames without PCM still count.
  int64_t reference_values = 0, decoded_values = 0;
  for (const test::FrameLayout& f : sink.frames) {
    reference_values += int64_t(f.channels) * f.sample_frames;
    if (f.decoded) decoded_values += int64_t(f.channels) * f.sample_frames;
  }
  std::printf("%-16s %5d Hz  max %5d  rms %7.3f LSB  psnr %6.2f dB  frames %4d (%d no PCM)\n", s.name,
              sink.sample_rate, d.max_abs, d.rms, d.psnr, stats.frames, stats.rejected);
  EXPECT_EQ(sink.sample_rate, s.rate);
  ASSERT_GT(stats.frames, 10);
  EXPECT_LE(stats.rejected, 1) << "only frames the reservoir cannot serve yet";
  EXPECT_EQ(reference_values, int64_t(reference.size())) << "frame for frame, equal length";
  EXPECT_EQ(d.compared, decoded_values) << "every decoded frame compared";
  // Limited accuracy: RMS below 2^-11 / sqrt(12) of full scale.
  EXPECT_LT(d.rms, 32768.0 / 2048.0 / std::sqrt(12.0)) << "max " << d.max_abs;
}

INSTANTIATE_TEST_SUITE_P(Lame, LameStreams, ::testing::ValuesIn(kLameStreams),
                         [](const ::testing::TestParamInfo<LameStream>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace bramble

#endif  // __has_include("decoder/Layer3.h")
