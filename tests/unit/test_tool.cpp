// The `bramble` tool run as a child process (through the build's emulator,
// if any): failures, WAVE and raw output, stream descriptions, and `bramble
// qdx` on streams whose embedded data channel carries planted blocks.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"
#include "tools/streams/QdxStream.h"

namespace bramble {
namespace {

using namespace test;

struct Result {
  int code = -1;  // -1: killed by a signal
  std::string out, err;
};

std::string Text(const std::string& path) {
  const std::vector<uint8_t> b = ReadFile(path);
  std::remove(path.c_str());
  return std::string(b.begin(), b.end());
}

class Tool : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(program_.c_str(), X_OK) != 0) GTEST_SKIP() << "no " << program_;
  }
  static std::string Work(const std::string& name) {
    return std::string(BRAMBLE_BINARY_DIR) + "/tool_" + std::to_string(getpid()) + "_" + name;
  }
  Result Bramble(const std::vector<std::string>& args) {
    const std::string launcher = BRAMBLE_PROGRAM_LAUNCHER, out = Work("stdout"), err = Work("stderr");
    std::string command = (launcher.empty() ? "" : "'" + launcher + "' ") + "'" + program_ + "'";
    for (const std::string& a : args) command += " '" + a + "'";
    const int status = std::system((command + " >'" + out + "' 2>'" + err + "'").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Text(out), Text(err)};
  }
  const std::string program_ = std::string(BRAMBLE_BINARY_DIR) + "/bin/bramble";
  const std::string streams_ = std::string(BRAMBLE_SHARED_DIR) + "/conformance/";
};

TEST_F(Tool, FailuresExplainThemselvesInOneLine) {
  const std::string missing = Work("no_such.mp3"), garbage = Work("garbage.mp3"), empty = Work("empty.mp3");
  const std::string wav = Work("out.wav"), raw = Work("out.raw");
  std::string text;
  for (int i = 0; i < 300; ++i) text += "not audio at all; ";
  ASSERT_TRUE(WriteFile(garbage, Str(text)) && WriteFile(empty, {}));
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{"decode", missing, wav}, 1},  {{"decode", missing, raw}, 1}, {{"info", missing}, 1},
      {{"bench", missing, "--seconds", "0.1"}, 1}, {{"decode", garbage, wav}, 1}, {{"info", garbage}, 1},
      {{"bench", garbage, "--seconds", "0.1"}, 1}, {{"decode", empty, raw}, 1}, {{}, 2},
      {{"frobnicate", "x"}, 2}, {{"decode", "only_one_argument"}, 2}, {{"tag", garbage, "--genre", "Polka Rock"}, 2},
  };
  for (const auto& c : cases) {
    const Result r = Bramble(c.first);
    SCOPED_TRACE(c.first.empty() ? "no arguments" : c.first[0] + " " + c.first.back());
    EXPECT_EQ(r.code, c.second);
    if (c.second == 1) {
      EXPECT_TRUE(std::count(r.err.begin(), r.err.end(), '\n') == 1 && r.err.size() > 1 && r.err.back() == '\n')
          << "not one line: " << r.err;
      EXPECT_TRUE(access(wav.c_str(), F_OK) != 0 && access(raw.c_str(), F_OK) != 0) << "output created";
    }
  }
  std::remove(garbage.c_str());
  std::remove(empty.c_str());
}

TEST_F(Tool, DecodeWritesWaveRawAndStandardOutput) {
  const std::string in = streams_ + "l2-fl10.bit", wav_path = Work("out.wav"), raw_path = Work("out.raw");
  ASSERT_EQ(Bramble({"decode", in, wav_path}).code + Bramble({"decode", in, raw_path}).code, 0);
  const Result piped = Bramble({"decode", in, "-"});
  const std::string wav = Text(wav_path), raw = Text(raw_path);
  ASSERT_EQ(piped.code, 0);
  ASSERT_TRUE(raw.size() > 0 && raw.size() % 4 == 0 && wav.size() == 44 + raw.size()) << wav.size();
  EXPECT_TRUE(wav.compare(44, std::string::npos, raw) == 0 && piped.out == raw) << "the samples differ";
  // PCM, two channels, 32 kHz, 128000 bytes a second, four bytes a sample pair, 16 bits.
  const Bytes head = Str("RIFF") + Le32(uint32_t(wav.size() - 8)) + Str("WAVEfmt ") + Le32(16) + Bytes{1, 0, 2, 0} +
                     Le32(32000) + Le32(128000) + Bytes{4, 0, 16, 0} + Str("data") + Le32(uint32_t(raw.size()));
  EXPECT_EQ(wav.substr(0, 44), std::string(head.begin(), head.end()));
  // The decoder's diagnostics (a mixed block) only when asked for.
  const std::string mixed = streams_ + "l3-si_block.bit";
  EXPECT_EQ(Bramble({"decode", mixed, "-"}).err + "|" + Bramble({"--verbose", "decode", mixed, "-"}).err.substr(0, 11),
            "|Notchecked!");
}

// The stream, then each field from the tag that shows it: ID3v1 unless its
// value is only the ID3v2 value cut to 30 characters ('?' for what Latin-1
// lacks), then ID3v2 (a comment without description, a 2.4 date's year),
// then APEv2.
TEST_F(Tool, InfoDescribesTheStreamAndPrintsTheTagsFieldByField) {
  const std::string full = "\u0141\u00f3d\u017a, a morning song in the hills of the west";  // 45 characters
  const Bytes v2 = Id3Tag(4, 0, Id3Frame(4, "TIT2", Bytes{3} + Str(full)) + Id3Frame(4, "TPE1", Bytes{0} + Str("Ada")) +
                                    Id3Frame(4, "COMM", Bytes{0} + Str("engLoudness") + Bytes{0} + Str("x")) +
                                    Id3Frame(4, "COMM", Bytes{0} + Str("eng") + Bytes{0} + Str("first take")) +
                                    Id3Frame(4, "TDRC", Bytes{0} + Str("2004-05-01")) + Id3Frame(4, "TCON", Str("\3Rock")));
  Bytes v1 = Str("TAG?\xF3" "d?, a morning song in the hi") + Str("Edited") + Bytes(88, 0);
  v1.push_back(255);
  const std::string path = Work("tagged.mp3");
  ASSERT_TRUE(WriteFile(path, v2 + ReadFile(streams_ + "l1-fl4.bit") + ApeTag({ApeItem("Album", Str("Hills"))}, false) + v1));
  const std::string out = Bramble({"info", path}).out;
  std::remove(path.c_str());
  EXPECT_EQ(out, "version: 1\nlayer: 1\nmode: single_channel\nsample_rate: 32000\nbitrate: 32000\nlength_ms: 588\n"
                 "frames: 49\naccuracy: limited\ntitle: " + full + "\nartist: Edited\nalbum: Hills\nyear: 2004\n"
                 "comment: first take\ngenre: Rock\ntags: id3v2.4 apev2 id3v1\n");
  EXPECT_EQ(Bramble({"info", streams_ + "l2-test32.bit", "--full-accuracy"}).out,
            "version: 2\nlayer: 2\nmode: stereo\nsample_rate: 24000\nbitrate: 128000\nlength_ms: 3024\nframes: 63\n"
            "accuracy: full\n");
}

// Each planted block once, at the decode time of the frame that completes it.
TEST_F(Tool, QdxPrintsEachPlantedBlockAtItsFrame) {
  std::vector<QdxBlock> blocks = {{QdxBlock::kText, "First words"}, {QdxBlock::kUrl, "http://example.invalid/a"},
                                  {QdxBlock::kText, ""}, {QdxBlock::kText, "tab\t, newline\n, back\\slash, \xE9 "
                                                                           "and more, for three channel blocks"}};
  for (int i = 0; i < 10; ++i) blocks.push_back({i % 3 ? QdxBlock::kText : QdxBlock::kUrl, "no. " + std::to_string(i)});
  const int variants[][4] = {{1, 0, 9, 1}, {1, 1, 9, 3}, {2, 0, 8, 3}, {25, 2, 8, 1}};  // version, rate, bit rate, mode
  for (const auto& v : variants) {
    QdxStreamOptions o;
    o.version = v[0], o.sampling_frequency = v[1], o.bitrate_index = v[2], o.mode = v[3];
    o.seed = uint32_t(v[0] + v[3]);
    QdxStream s;
    std::string error, expected;
    ASSERT_TRUE(BuildQdxStream(blocks, o, &s, &error)) << error;
    for (const auto& p : s.planted) expected += QdxLine(p.time_ms, p.kind, p.payload) + "\n";
    const std::string path = Work("qdx.mp3");
    ASSERT_TRUE(WriteFile(path, s.bytes));
    const Result r = Bramble({"qdx", path});
    std::remove(path.c_str());
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, expected) << "MPEG version " << v[0] << ", mode " << v[3];
  }
}

}  // namespace
}  // namespace bramble

#endif  // _WIN32
