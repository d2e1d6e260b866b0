// Files as encoders write them, made with sox and lame at test time and
// cached under the build directory: a variable-rate file with a Xing
// header and LAME tag, and a constant-rate file behind an ID3v2 tag whose
// picture holds frame headers. Run by the real_world_streams test
// (tests/layer3.cmake), which sets BRAMBLE_LAME_STREAMS; skipped without
// it or without the tools.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "decoder/MpegDecoder.h"
#include "reader/ByteSource.h"
#include "reader/DecodeSource.h"
#include "reader/FrameReader.h"
#include "reader/Length.h"
#include "tests/support/PcmCompare.h"
#include "tests/support/ReaderStreams.h"

namespace bramble {
namespace {

bool Shell(const std::string& cmd) { return std::system(cmd.c_str()) == 0; }

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && st.st_size > 0;
}

class RealWorldStreams : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("BRAMBLE_LAME_STREAMS")) GTEST_SKIP() << "run by the real_world_streams test";
    for (const char* tool : {"sox", "lame", "mpg123"})
      if (!Shell(std::string("command -v ") + tool + " >/dev/null 2>&1")) GTEST_SKIP() << tool << " is missing";
    dir_ = std::string(BRAMBLE_BINARY_DIR) + "/real_world";
    Shell("mkdir -p " + dir_);
  }
  // `name` made by `command` (OUT stands for the file) unless cached.
  std::string Make(const std::string& name, const std::string& command) {
    const std::string out = dir_ + "/" + name;
    const std::string tmp = dir_ + "/part" + std::to_string(getpid()) + "-" + name;
    if (!Exists(out)) {
      std::string cmd = command;
      cmd.replace(cmd.find("OUT"), 3, tmp);
      EXPECT_TRUE(Shell(cmd + " && mv " + tmp + " " + out)) << cmd;
    }
    return out;
  }
  std::string dir_;
};

std::vector<int16_t> Decode(const std::string& path, bool gapless) {
  FileSource file;
  EXPECT_TRUE(file.Open(path.c_str()));
  auto decoder = std::make_unique<MpegDecoder>();
  decoder->Init();
  test::CollectingSink sink;
  DecodeStats stats;
  DecodeSource(file, *decoder, sink, &stats, gapless);
  return sink.pcm;
}

TEST_F(RealWorldStreams, VariableRateLengthSeekAndGapless) {
  const std::string sweep = Make("sweep.wav", "sox -n -r 44100 -c 2 -b 16 OUT synth 30 sine 20:20000 vol 0.5");
  const std::string mp3 = Make("sweep_v2.mp3", "lame --quiet -V 2 " + sweep + " OUT");
  const std::string ref = Make("sweep_v2.raw", "mpg123 -q -s " + mp3 + " > OUT");

  FrameReader scanner;
  const int length = FileLengthMs(scanner, mp3.c_str(), FileSize(mp3.c_str()));
  EXPECT_GE(length, 29950);
  EXPECT_LE(length, 30100);

  // Exactly the source's samples, within limited accuracy of mpg123's.
  const std::vector<int16_t> ours = Decode(mp3, true);
  std::vector<int16_t> reference;
  ASSERT_TRUE(test::LoadPcm(ref, &reference));
  EXPECT_EQ(ours.size(), 2u * 1323000u);
  ASSERT_EQ(ours.size(), reference.size());
  double sum = 0.0;
  int max_abs = 0;
  for (size_t i = 0; i < ours.size(); ++i) {
    const int d = ours[i] - reference[i];
    sum += double(d) * d;
    max_abs = std::max(max_abs, std::abs(d));
  }
  const double rms = std::sqrt(sum / double(ours.size()));
  std::printf("gapless: %zu samples, max %d, rms %.3f LSB, psnr %.2f dB\n", ours.size() / 2, max_abs, rms,
              20.0 * std::log10(32767.0 / std::max(rms, 1e-9)));
  EXPECT_LT(rms, 32768.0 / 2048.0 / std::sqrt(12.0));

  // A seek to 20 s as the player makes it, with the trimmed time: 10 s remain.
  for (bool gapless : {false, true}) {
    SCOPED_TRACE(gapless ? "gapless" : "untrimmed");
    FileSource file;
    ASSERT_TRUE(file.Open(mp3.c_str()));
    auto decoder = std::make_unique<MpegDecoder>();
    decoder->Init();
    alignas(16) static int16_t pcm[FrameReader::kPcmBufferBytes / 2];
    FrameReader player;
    player.Attach(&file, decoder.get());
    player.ScanLayout(file);
    player.SetGapless(gapless);
    ASSERT_EQ(player.SynHeader(pcm), 0);
    ASSERT_TRUE(player.SeekSource(SeekOffset(player.layout(), player.byte_rate(), 20000, gapless)));
    std::vector<int16_t> rest;
    for (int r; (r = player.SynHeader(pcm)) != -1;)
      if (r == 0) rest.insert(rest.end(), pcm, pcm + decoder->pcm_bytes() / 2);
    const double left = double(rest.size() / 2) / 44100.0;
    std::printf("%s: %.3f s left after a seek to 20 s\n", gapless ? "gapless" : "untrimmed", left);
    EXPECT_NEAR(left, 10.0, 0.35);
    // The end is trimmed as without the seek: the last frame is found by
    // where it ends, not by the table's rough place.
    if (gapless) {
      ASSERT_GT(rest.size(), 4096u);
      EXPECT_TRUE(std::equal(rest.end() - 4096, rest.end(), ours.end() - 4096));
    }
  }
}

// ID3v2.3 tag with a 100 kB picture holding five frame headers 417 bytes
// apart with noise between them.
std::vector<uint8_t> TagWithPicture() {
  std::vector<uint8_t> picture(100000);
  uint32_t x = 12345;
  for (uint8_t& b : picture) {
    x = x * 1103515245u + 12345u;
    b = uint8_t(x >> 16);
    if (b == 0xFF) b = 0xFE;
  }
  for (int k = 0; k < 5; ++k) {
    const uint8_t header[4] = {0xFF, 0xFB, 0x90, 0x44};
    std::copy(header, header + 4, picture.begin() + 5000 + 417 * k);
  }
  const std::string mime = "image/jpeg";
  std::vector<uint8_t> apic = {0};
  apic.insert(apic.end(), mime.begin(), mime.end());
  apic.insert(apic.end(), {0, 3, 0});
  apic.insert(apic.end(), picture.begin(), picture.end());
  std::vector<uint8_t> frame = {'A', 'P', 'I', 'C'};
  for (int i = 3; i >= 0; --i) frame.push_back(uint8_t(apic.size() >> (8 * i)));
  frame.insert(frame.end(), {0, 0});
  frame.insert(frame.end(), apic.begin(), apic.end());
  frame.resize(frame.size() + 1000, 0);  // padding
  const uint32_t n = uint32_t(frame.size());
  std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0, uint8_t(n >> 21 & 0x7F), uint8_t(n >> 14 & 0x7F),
                              uint8_t(n >> 7 & 0x7F), uint8_t(n & 0x7F)};
  tag.insert(tag.end(), frame.begin(), frame.end());
  return tag;
}

TEST_F(RealWorldStreams, PictureInATagIsNotPlayed) {
  const std::string signal = Make("chord8.wav", "sox -n -r 44100 -c 2 -b 16 OUT synth 8 sine 440 sine 660 vol 0.3");
  const std::string mp3 = Make("chord8.mp3", "lame --quiet -b 128 " + signal + " OUT");
  std::vector<uint8_t> bytes = TagWithPicture();
  {
    FileSource file;
    ASSERT_TRUE(file.Open(mp3.c_str()));
    std::vector<uint8_t> audio(size_t(file.Size()));
    ASSERT_EQ(file.Read(audio.data(), int(audio.size())), int(audio.size()));
    bytes.insert(bytes.end(), audio.begin(), audio.end());
  }
  const std::string tagged = dir_ + "/chord8_tagged.mp3";
  ASSERT_TRUE(test::WriteFile(tagged, bytes));

  const std::vector<int16_t> plain = Decode(mp3, false);
  EXPECT_GT(plain.size(), 2u * 8u * 44100u);
  EXPECT_TRUE(Decode(tagged, false) == plain) << "the tagged file plays differently";
  FrameReader scanner;
  const int length = FileLengthMs(scanner, tagged.c_str(), FileSize(tagged.c_str()));
  EXPECT_GE(length, 8000);
  EXPECT_LE(length, 8100);
}

}  // namespace
}  // namespace bramble
