// Files as encoders write them, made with sox and lame and cached under the
// build directory: a variable-rate file with a Xing header and LAME tag, and
// a constant-rate file without one, also behind an ID3v2 tag whose picture
// holds frame headers. Run by the real_world_streams test (tests/layer3.cmake).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "decoder/MpegDecoder.h"
#include "reader/ByteSource.h"
#include "reader/FrameReader.h"
#include "reader/Length.h"
#include "tests/support/TestFiles.h"

namespace bramble {
namespace {

class RealWorldStreams : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("BRAMBLE_LAME_STREAMS")) GTEST_SKIP() << "run by the real_world_streams test";
    ASSERT_EQ(std::system(("command -v sox lame >/dev/null && mkdir -p " + dir_).c_str()), 0) << "sox or lame missing";
  }
  // `name` made by `command` (OUT stands for the file) unless cached.
  std::string Make(const std::string& name, std::string command) {
    const std::string out = dir_ + "/" + name, part = dir_ + "/part" + std::to_string(getpid()) + name;
    command.replace(command.find("OUT"), 3, part);
    EXPECT_TRUE(access(out.c_str(), R_OK) == 0 || std::system((command + " && mv " + part + " " + out).c_str()) == 0);
    return out;
  }
  const std::string dir_ = std::string(BRAMBLE_BINARY_DIR) + "/real_world";
};

int LengthMs(const std::string& path) {
  FrameReader scanner;
  int bitrate = 0, channels = 0, rate = 0;
  scanner.GetInfo(path.c_str(), &bitrate, &channels, &rate);
  return LengthMs(scanner.layout(), FileSize(path.c_str()), bitrate, false);
}

// The whole file as the player decodes it, seeking to `seek_ms` after the first frame.
std::vector<int16_t> Decode(const std::string& path, bool gapless, int seek_ms = 0) {
  FileSource file;
  EXPECT_TRUE(file.Open(path.c_str()));
  auto decoder = std::make_unique<MpegDecoder>();
  alignas(16) static int16_t pcm[FrameReader::kPcmBufferBytes / 2];
  FrameReader reader;
  reader.Attach(&file, decoder.get());
  reader.ScanLayout(file);
  reader.SetGapless(gapless);
  std::vector<int16_t> out;
  for (int r, frames = 0; (r = reader.SynHeader(pcm)) != -1; ++frames) {
    if (frames == 0 && seek_ms > 0)
      EXPECT_TRUE(reader.SeekSource(SeekOffset(reader.layout(), reader.byte_rate(), seek_ms, gapless)));
    else if (r == 0)
      out.insert(out.end(), pcm, pcm + decoder->pcm_bytes() / 2);
  }
  return out;
}

TEST_F(RealWorldStreams, VariableRateLengthGaplessAndSeek) {
  const std::string sweep = Make("sweep.wav", "sox -R -n -r 44100 -c 2 -b 16 OUT synth 30 sine 20:20000 vol 0.5");
  const std::string mp3 = Make("sweep_v2.mp3", "lame --quiet -V 2 " + sweep + " OUT");
  EXPECT_NEAR(LengthMs(mp3), 30025, 75);
  const std::vector<int16_t> ours = Decode(mp3, true);
  EXPECT_EQ(ours.size(), 2u * 1323000u);  // exactly the encoder's input
  // A seek to 20 s through the Xing table leaves 10 s, trimmed at the end as without it.
  for (bool gapless : {false, true}) {
    const std::vector<int16_t> rest = Decode(mp3, gapless, 20000);
    EXPECT_NEAR(double(rest.size() / 2) / 44100.0, 10.0, 0.35) << (gapless ? "gapless" : "untrimmed");
    EXPECT_TRUE(!gapless || (rest.size() > 4096 && std::equal(rest.end() - 4096, rest.end(), ours.end() - 4096)));
  }
}

TEST_F(RealWorldStreams, ConstantRateWithoutHeaderAndBehindAPicture) {
  const std::string signal = Make("chord8.wav", "sox -R -n -r 44100 -c 2 -b 16 OUT synth 8 sine 440 sine 660 vol 0.3");
  const std::string mp3 = Make("chord8_plain.mp3", "lame --quiet -t -b 128 " + signal + " OUT");
  // An ID3v2.3 tag of 101000 bytes, a picture's noise with five frame headers 417 bytes apart.
  std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0, 0, 6, 0x15, 0x08};
  for (uint32_t i = 0, x = 12345; i < 101000; ++i, x = x * 1103515245u + 12345u)
    tag.push_back(uint8_t(x >> 16) == 0xFF ? 0xFE : uint8_t(x >> 16));
  for (size_t k = 0; k < 5; ++k) std::copy_n("\xFF\xFB\x90\x44", 4, tag.begin() + 5000 + 417 * k);
  const std::string tagged = dir_ + "/chord8_tagged.mp3";
  ASSERT_TRUE(test::WriteFile(tagged, tag + test::ReadFile(mp3)));

  const std::vector<int16_t> plain = Decode(mp3, false);
  EXPECT_GT(plain.size(), 2u * 8u * 44100u);
  EXPECT_TRUE(Decode(mp3, true) == plain) << "gapless decoding changed a file without a LAME tag";
  EXPECT_TRUE(Decode(tagged, false) == plain) << "the tagged file plays differently";
  for (const std::string& path : {mp3, tagged}) EXPECT_NEAR(LengthMs(path), 8050, 50) << path;
}

}  // namespace
}  // namespace bramble
