// Test vectors through the whole decoder, exactly as `bramble decode` reads
// a file: the conformance streams against their reference decodings, and
// Layer III streams made here with lame against mpg123's decoding of them.
// Each group (source, layer, version) has its own PSNR floor over all its
// samples, its measured PSNR minus 1 dB: a fault that costs the group a dB
// fails, where the limited-accuracy bound (about 77 dB) would let a drop
// from 92 to 78 dB through. The conformance groups run again in full
// accuracy, with floors of their own.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
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

struct Group {
  const char* name;
  double floor_db;     // measured group PSNR minus 1 dB
  const char* lame;    // nullptr: conformance streams
  bool full_accuracy = false;
};

// Group PSNR as measured when the floors were set: L1 MPEG-1 88.57,
// L2 MPEG-1 90.53, L2 MPEG-2 89.88, L3 MPEG-1 89.64, L3 MPEG-2 91.69; lame
// MPEG-1 90.57, MPEG-2 90.05, MPEG-2.5 90.46 dB. (The 16-bit history and
// Q14 window cost about 1 LSB RMS against a float synthesis.)
const Group kGroups[] = {
    {"L1_MPEG1", 87.5, nullptr},  {"L2_MPEG1", 89.5, nullptr},     {"L2_MPEG2", 88.8, nullptr},
    {"L3_MPEG1", 88.6, nullptr},  {"L3_MPEG2", 90.6, nullptr},     {"Lame_L3_MPEG1", 89.5, ""},
    {"Lame_L3_MPEG2", 89.0, ""},  {"Lame_L3_MPEG25", 89.4, ""},
    // Full accuracy, measured at 118.58, 119.31, 119.52, 114.62 and 117.11 dB;
    // each stream also within the standard's full-accuracy bound.
    {"L1_MPEG1", 117.5, nullptr, true},  {"L2_MPEG1", 118.3, nullptr, true}, {"L2_MPEG2", 118.5, nullptr, true},
    {"L3_MPEG1", 113.6, nullptr, true},  {"L3_MPEG2", 116.1, nullptr, true},
    // Free format, measured at 91.85 dB limited and 139.18 dB full.
    {"L3_MPEG1_free", 90.8, nullptr},    {"L3_MPEG1_free", 138.1, nullptr, true},
};

struct Vector {
  const char* group;
  const char* name;
  int rate = 0;                   // lame: Hz of the signal and the stream
  const char* options = nullptr;  // lame options
};

const Vector kVectors[] = {
    {"L1_MPEG1", "l1-fl1"}, {"L1_MPEG1", "l1-fl2"}, {"L1_MPEG1", "l1-fl3"}, {"L1_MPEG1", "l1-fl4"},
    {"L1_MPEG1", "l1-fl5"}, {"L1_MPEG1", "l1-fl6"}, {"L1_MPEG1", "l1-fl7"},
    {"L2_MPEG1", "l2-fl10"}, {"L2_MPEG1", "l2-fl11"}, {"L2_MPEG1", "l2-fl12"}, {"L2_MPEG1", "l2-fl13"},
    {"L2_MPEG1", "l2-fl14"}, {"L2_MPEG1", "l2-fl15"}, {"L2_MPEG2", "l2-test32"},
    {"L3_MPEG1", "l3-compl"}, {"L3_MPEG1", "l3-he_32khz"}, {"L3_MPEG1", "l3-he_44khz"},
    {"L3_MPEG1", "l3-he_mode"}, {"L3_MPEG1", "l3-hecommon"}, {"L3_MPEG1", "l3-si"},
    {"L3_MPEG1", "l3-si_block"}, {"L3_MPEG1", "l3-si_huff"}, {"L3_MPEG1", "l3-sin1k0db"},
    {"L3_MPEG1_free", "l3-he_free"},
    {"L3_MPEG2", "l3-test45"}, {"L3_MPEG2", "M2L3_bitrate_16_all"}, {"L3_MPEG2", "M2L3_bitrate_22_all"},
    {"L3_MPEG2", "M2L3_compl24"}, {"L3_MPEG2", "M2L3_noise"},
    {"Lame_L3_MPEG1", "m1_32k_joint", 44100, "-b 32 -m j --resample 44.1"},
    {"Lame_L3_MPEG1", "m1_32k_mono", 44100, "-b 32 -m m --resample 44.1"},
    {"Lame_L3_MPEG1", "m1_128k_joint", 44100, "-b 128 -m j"},
    {"Lame_L3_MPEG1", "m1_128k_stereo", 44100, "-b 128 -m s"},
    {"Lame_L3_MPEG1", "m1_128k_mono", 44100, "-b 128 -m m"},
    {"Lame_L3_MPEG1", "m1_320k_joint", 44100, "-b 320 -m j"},
    {"Lame_L3_MPEG1", "m1_320k_stereo", 48000, "-b 320 -m s"},
    {"Lame_L3_MPEG1", "m1_v2_joint", 44100, "-V 2 -m j"},
    {"Lame_L3_MPEG1", "m1_v2_stereo", 32000, "-V 2 -m s"},
    {"Lame_L3_MPEG1", "m1_v2_mono", 44100, "-V 2 -m m"},
    {"Lame_L3_MPEG1", "m1_short_blocks", 44100, "-b 128 -m j --allshort"},
    {"Lame_L3_MPEG2", "m2_16k", 16000, "-b 32 -m j --resample 16"},
    {"Lame_L3_MPEG2", "m2_22k", 22050, "-b 64 -m j --resample 22.05"},
    {"Lame_L3_MPEG2", "m2_24k_v2", 24000, "-V 2 -m s --resample 24"},
    {"Lame_L3_MPEG25", "m25_8k", 8000, "-b 16 -m m --resample 8"},
    {"Lame_L3_MPEG25", "m25_11k", 11025, "-b 24 -m j --resample 11.025"},
    {"Lame_L3_MPEG25", "m25_12k", 12000, "-b 32 -m s --resample 12"},
};

bool Shell(const std::string& cmd) { return std::system(cmd.c_str()) == 0; }

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

// Makes (once, cached under the build directory) a lame stream of 4 s of
// music-like stereo: two chords, one with tremolo, pink noise and a click
// train for transients; and mpg123's decoding of it. Empty on failure.
std::string MakeLameStream(const Vector& v, std::string* reference) {
  const std::string dir = std::string(BRAMBLE_BINARY_DIR) + "/lame_streams", r = std::to_string(v.rate);
  const std::string signal = dir + "/signal_" + r + ".wav", mp3 = dir + "/" + v.name + ".mp3";
  *reference = dir + "/" + v.name + ".raw";
  // -R: the same noise every time.
  const std::string part = " -v 1 \"|sox -R -n -r " + r + " -c 2 -p synth 4 ";
  if (!Exists(signal) &&
      !Shell("mkdir -p " + dir + " && sox -R -m" + part + "sine 220 sine 330 vol 0.25\"" + part +
             "sine 440 sine 1320 tremolo 3 40 vol 0.2\"" + part + "pinknoise pinknoise vol 0.08\"" + part +
             "square 4 vol 0.05\" -b 16 " + signal + ".tmp.wav && mv " + signal + ".tmp.wav " + signal))
    return "";
  // -t: no information frame, which would shift the frame alignment.
  if (!Exists(mp3) && !Shell("lame --quiet -t " + std::string(v.options) + " " + signal + " " + mp3 + ".tmp && mv " +
                             mp3 + ".tmp " + mp3))
    return "";
  if (!Exists(*reference) && !Shell("mpg123 -q --no-gapless -s " + mp3 + " > " + *reference + ".tmp && mv " +
                                    *reference + ".tmp " + *reference))
    return "";
  return mp3;
}

std::string GroupName(const Group& g) { return std::string(g.name) + (g.full_accuracy ? "_FullAccuracy" : ""); }
void PrintTo(const Group& g, std::ostream* os) { *os << GroupName(g); }

class Vectors : public ::testing::TestWithParam<Group> {};

TEST_P(Vectors, ReachTheGroupFloor) {
  const Group& g = GetParam();
  if (g.lame) {
    if (!std::getenv("BRAMBLE_LAME_STREAMS")) GTEST_SKIP() << "run by the layer3_lame_streams test";
    if (!Shell("{ command -v sox && command -v lame && command -v mpg123; } >/dev/null 2>&1"))
      GTEST_SKIP() << "sox, lame or mpg123 is not installed";
  }
  double sum_sq = 0;
  int64_t compared = 0;
  for (const Vector& v : kVectors) {
    if (std::string(v.group) != g.name) continue;
    SCOPED_TRACE(v.name);
    std::string path = std::string(BRAMBLE_SHARED_DIR) + "/conformance/" + v.name + ".bit";
    std::string ref = std::string(BRAMBLE_SHARED_DIR) + "/conformance/" + v.name + ".pcm";
    if (g.lame) {
      path = MakeLameStream(v, &ref);
      ASSERT_FALSE(path.empty()) << "making the stream failed";
    }
    FileSource file;
    ASSERT_TRUE(file.Open(path.c_str())) << path;
    std::vector<int16_t> reference;
    ASSERT_TRUE(test::LoadPcm(ref, &reference)) << ref;
    auto decoder = std::make_unique<MpegDecoder>();
    decoder->SetFullAccuracy(g.full_accuracy);
    decoder->Init();
    test::CollectingSink sink;
    DecodeStats stats;
    DecodeSource(file, *decoder, sink, &stats);
    const test::PcmDiff d = test::ComparePcm(sink.pcm, sink.frames, reference);
    std::printf("%-22s max %5d  rms %7.3f LSB  psnr %6.2f dB  frames %5d (%d no PCM)\n", v.name, d.max_abs, d.rms,
                d.psnr, stats.frames, stats.rejected);
    ASSERT_GT(stats.frames, 10);
    ASSERT_GT(d.compared, 0) << "nothing compared";
    if (g.full_accuracy) {
      // ISO/IEC 11172-4: RMS below 2^-15/sqrt(12) of full scale, no sample
      // more than 2^-14 off.
      EXPECT_LT(d.rms, 0.289);
      EXPECT_LE(d.max_abs, 2);
    }
    sum_sq += d.rms * d.rms * double(d.compared);
    compared += d.compared;

    // Only Layer III frames whose main data lies before the first frame may
    // yield nothing, and only at the start; the reference skips them too.
    const int leading = test::LeadingUndecoded(sink.frames);
    EXPECT_EQ(stats.rejected, leading) << "frames after the start that yielded no PCM";
    EXPECT_TRUE(leading == 0 || stats.layer == 3) << leading << " frames without PCM at the start";
    EXPECT_EQ(stats.sample_frames, stats.expected_sample_frames - leading * (stats.expected_sample_frames / stats.frames))
        << "not every frame was decoded";
    if (g.lame) {
      // Frame for frame against a reference that has every frame.
      int64_t values = 0;
      for (const test::FrameLayout& f : sink.frames) values += int64_t(f.channels) * f.sample_frames;
      EXPECT_EQ(sink.sample_rate, v.rate);
      EXPECT_EQ(values, int64_t(reference.size()));
    }
  }
  ASSERT_GT(compared, 0);
  const double psnr = 10.0 * std::log10(32767.0 * 32767.0 * double(compared) / std::max(sum_sq, 1e-9));
  std::printf("group %-16s psnr %6.2f dB (floor %.1f)\n", g.name, psnr, g.floor_db);
  EXPECT_GE(psnr, g.floor_db);
}

INSTANTIATE_TEST_SUITE_P(Groups, Vectors, ::testing::ValuesIn(kGroups),
                         [](const ::testing::TestParamInfo<Group>& info) { return GroupName(info.param); });

}  // namespace
}  // namespace bramble
