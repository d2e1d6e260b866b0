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

#include "tests/support/TestFiles.h"
#include "tools/streams/QdxStream.h"

namespace bramble {
namespace {

using test::QdxBlock;

struct Result {
  int code = -1;  // -1: killed by a signal
  std::string out, err;
};

std::string Text(const std::string& path) {
  const std::vector<uint8_t> b = test::ReadFile(path);
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
  ASSERT_TRUE(test::WriteFile(garbage, std::vector<uint8_t>(text.begin(), text.end())) && test::WriteFile(empty, {}));
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
  ASSERT_TRUE(raw.size() > 0 && raw.size() % 4 == 0 && wav.size() == 44 + raw.size()) << raw.size() << " " << wav.size();
  EXPECT_TRUE(wav.compare(44, std::string::npos, raw) == 0 && piped.out == raw) << "the samples differ";
  EXPECT_EQ(wav.substr(0, 4) + wav.substr(8, 8) + wav.substr(36, 4), "RIFFWAVEfmt data");
  auto le = [&wav](size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | uint8_t(wav[at + size_t(i)]);
    return v;
  };
  // RIFF size, fmt size, PCM, channels, rate, byte rate, block align, bits, data size.
  EXPECT_EQ(std::vector<uint32_t>({le(4, 4), le(16, 4), le(20, 2), le(22, 2), le(24, 4), le(28, 4), le(32, 2),
                                   le(34, 2), le(40, 4)}),
            std::vector<uint32_t>({uint32_t(wav.size() - 8), 16, 1, 2, 32000, 128000, 4, 16, uint32_t(raw.size())}));
}

TEST_F(Tool, InfoDescribesTheStream) {
  const char* keys[] = {"version", "layer", "mode", "sample_rate", "bitrate", "length_ms", "frames"};
  const std::vector<std::string> cases[] = {
      {"l2-fl10", "1", "2", "stereo", "32000", "192000", "1764", "49"},
      {"l2-test32", "2", "2", "stereo", "24000", "128000", "3024", "63"},
      {"l1-fl4", "1", "1", "single_channel", "32000", "32000", "588", "49"},
      {"M2L3_compl24", "2", "3", "single_channel", "24000", "128000", "5088", "212"},
  };
  for (const auto& c : cases) {
    std::string expected;
    for (size_t k = 0; k < 7; ++k) expected += std::string(keys[k]) + ": " + c[k + 1] + "\n";
    EXPECT_EQ(Bramble({"info", streams_ + c[0] + ".bit"}).out, expected);
  }
}

// Each planted block once, at the decode time of the frame that completes
// it; a flipped channel word loses (or cuts short) the blocks with a byte in
// its channel block and nothing else.
TEST_F(Tool, QdxPrintsEachPlantedBlockAtItsFrame) {
  std::vector<QdxBlock> blocks = {{QdxBlock::kText, "First words"}, {QdxBlock::kUrl, "http://example.invalid/a"},
                                  {QdxBlock::kText, ""},
                                  {QdxBlock::kText, "tab\t, newline\n, back\\slash, \xE9, and enough for three channel blocks"}};
  for (int i = 0; i < 10; ++i) blocks.push_back({i % 3 ? QdxBlock::kText : QdxBlock::kUrl, "block " + std::to_string(i)});
  struct Variant {
    const char* name;
    int version, sampling_frequency, bitrate_index, mode, corrupt_word;
  } variants[] = {{"MPEG-1 stereo", 1, 0, 9, 1, -1},   {"MPEG-1 48 kHz mono", 1, 1, 9, 3, -1},
                  {"MPEG-2 mono", 2, 0, 8, 3, -1},     {"MPEG-2.5 stereo", 25, 2, 8, 1, -1},
                  {"a corrupt word", 1, 0, 9, 1, 60}, {"a later corrupt word", 1, 0, 9, 1, 200}};
  for (const Variant& v : variants) {
    test::QdxStreamOptions o;
    o.version = v.version, o.sampling_frequency = v.sampling_frequency, o.bitrate_index = v.bitrate_index;
    o.mode = v.mode, o.seed = uint32_t(v.version + v.mode + v.corrupt_word);
    if (v.corrupt_word >= 0) o.corrupt_words = {v.corrupt_word};
    test::QdxStream s;
    std::string error, expected = "\n", reported = "\n";
    ASSERT_TRUE(test::BuildQdxStream(blocks, o, &s, &error)) << error;
    ASSERT_EQ(s.lost_chunks.size(), v.corrupt_word >= 0 ? 1u : 0u) << v.name;
    const size_t lost = s.lost_chunks.empty() ? SIZE_MAX - 30 : size_t(s.lost_chunks[0]) * 30;  // its block bytes
    int touched = 0, other = 0;
    for (const auto& p : s.planted) {
      if (p.last_byte < lost || p.first_byte >= lost + 30)
        expected += test::QdxLine(p.time_ms, p.kind, p.payload) + "\n";
      else
        ++touched;
    }
    const std::string path = Work("qdx.mp3");
    ASSERT_TRUE(test::WriteFile(path, s.bytes));
    const Result r = Bramble({"qdx", path});
    std::remove(path.c_str());
    EXPECT_EQ(r.code, 0) << v.name;
    for (size_t at = 0, end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1) {
      const std::string line = r.out.substr(at, end + 1 - at);
      if (expected.find("\n" + line) != std::string::npos)
        reported += line;
      else
        ++other;
    }
    EXPECT_EQ(reported, expected) << v.name;
    EXPECT_LE(other, touched) << v.name << ": lines of damaged blocks";
  }
}

}  // namespace
}  // namespace bramble

#endif  // _WIN32
