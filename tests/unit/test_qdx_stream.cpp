// Streams made by the QDX stream builder, read back by `bramble qdx`: every
// planted Text and URL block once, at the decode time of the frame that
// completes it; damaged streams lose blocks and nothing else.
#ifndef _WIN32

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/streams/QdxStream.h"

namespace bramble {
namespace {

using test::QdxBlock;
using test::QdxLine;
using test::QdxStream;
using test::QdxStreamOptions;

struct ToolRun {
  int exit_code = -1;  // -1: killed by a signal
  std::vector<std::string> lines;
};

std::string TempFile(const std::string& name) { return std::string(BRAMBLE_BINARY_DIR) + "/qdx_" + name; }

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

ToolRun RunQdx(const std::string& path) {
  ToolRun run;
  const std::string launcher = BRAMBLE_PROGRAM_LAUNCHER;
  const std::string command = (launcher.empty() ? "" : "'" + launcher + "' ") + BRAMBLE_BINARY_DIR +
                              "/bin/bramble qdx '" + path + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  std::string line;
  for (int c; (c = std::fgetc(pipe)) != EOF;) {
    if (c == '\n') {
      run.lines.push_back(line);
      line.clear();
    } else {
      line += char(c);
    }
  }
  const int status = pclose(pipe);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::vector<QdxBlock> SampleBlocks() {
  return {
      {QdxBlock::kText, "First words of the song"},
      {QdxBlock::kUrl, "http://example.invalid/a"},
      {QdxBlock::kText, ""},
      {QdxBlock::kText, std::string("tab\there, newline\nthere, back\\slash, high \xE9 byte") +
                            " and enough text after it to need three channel blocks"},
      {QdxBlock::kUrl, "http://example.invalid/b?x=1"},
      {QdxBlock::kText, "Last"},
  };
}

std::vector<std::string> ExpectedLines(const QdxStream& s) {
  std::vector<std::string> out;
  for (const auto& p : s.planted) out.push_back(QdxLine(p.time_ms, p.kind, p.payload));
  return out;
}

TEST(QdxStream, BrambleQdxPrintsEachPlantedBlockAtItsFrame) {
  struct Variant {
    const char* name;
    int version, sampling_frequency, bitrate_index, mode;
    uint32_t seed;
    int32_t frame_ms;
  };
  // 1152 samples at 44.1 kHz: 26 ms; 576 at 22.05 kHz: 26 ms; 576 at 8 kHz: 72 ms.
  const Variant variants[] = {{"mpeg1_stereo", 1, 0, 9, 1, 1, 26},
                              {"mpeg1_48k_mono", 1, 1, 9, 3, 2, 24},
                              {"mpeg2_mono", 2, 0, 8, 3, 3, 26},
                              {"mpeg25_stereo", 25, 2, 8, 1, 4, 72}};
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    QdxStreamOptions o;
    o.version = v.version;
    o.sampling_frequency = v.sampling_frequency;
    o.bitrate_index = v.bitrate_index;
    o.mode = v.mode;
    o.seed = v.seed;
    QdxStream s;
    std::string error;
    ASSERT_TRUE(test::BuildQdxStream(SampleBlocks(), o, &s, &error)) << error;
    ASSERT_EQ(s.frame_ms, v.frame_ms);
    ASSERT_EQ(s.planted.size(), 6u);
    // Later blocks complete no earlier (two may share a channel block), none
    // in the lead.
    for (size_t i = 1; i < s.planted.size(); ++i) EXPECT_GE(s.planted[i].frame, s.planted[i - 1].frame);
    EXPECT_GE(s.planted[0].frame, o.lead_frames);

    const std::string path = TempFile(std::string(v.name) + ".mp3");
    WriteFile(path, s.bytes);
    const ToolRun run = RunQdx(path);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.lines, ExpectedLines(s));
    std::remove(path.c_str());
  }
}

TEST(QdxStream, SameOptionsGiveTheSameBytes) {
  QdxStreamOptions o;
  o.seed = 9;
  QdxStream a, b, c;
  std::string error;
  ASSERT_TRUE(test::BuildQdxStream(SampleBlocks(), o, &a, &error)) << error;
  ASSERT_TRUE(test::BuildQdxStream(SampleBlocks(), o, &b, &error)) << error;
  o.seed = 10;
  ASSERT_TRUE(test::BuildQdxStream(SampleBlocks(), o, &c, &error)) << error;
  EXPECT_EQ(a.bytes, b.bytes);
  EXPECT_NE(a.bytes, c.bytes);
  // A payload the block format cannot carry is refused.
  EXPECT_FALSE(test::BuildQdxStream({{QdxBlock::kText, "a\xFF"}}, o, &a, &error));
  EXPECT_FALSE(test::BuildQdxStream({{QdxBlock::kUrl, "x\x15\x11\x51y"}}, o, &a, &error));
}

// A flipped word spoils its channel block: the information blocks with a
// byte in it are not reported as planted, blocks before it are, and after
// it the reader finds its way back within one block.
TEST(QdxStream, CorruptChannelWordsLoseTheirBlocksOnly) {
  std::vector<QdxBlock> blocks;
  for (int i = 0; i < 14; ++i)
    blocks.push_back({i % 3 == 1 ? QdxBlock::kUrl : QdxBlock::kText, "block " + std::to_string(i) + " payload"});
  for (int hit : {60, 61, 75, 200}) {
    SCOPED_TRACE("corrupt word " + std::to_string(hit));
    QdxStreamOptions o;
    o.seed = uint32_t(hit);
    o.corrupt_words = {hit};
    QdxStream s;
    std::string error;
    ASSERT_TRUE(test::BuildQdxStream(blocks, o, &s, &error)) << error;
    ASSERT_EQ(s.lost_chunks.size(), 1u);
    const size_t lost_first = size_t(s.lost_chunks[0]) * 30, lost_last = lost_first + 29;

    const std::string path = TempFile("corrupt.mp3");
    WriteFile(path, s.bytes);
    const ToolRun run = RunQdx(path);
    std::remove(path.c_str());
    EXPECT_EQ(run.exit_code, 0);

    int touched = 0, skipped_after = 0;
    for (const auto& p : s.planted) {
      const std::string line = QdxLine(p.time_ms, p.kind, p.payload);
      const bool reported = std::count(run.lines.begin(), run.lines.end(), line) == 1;
      if (p.last_byte < lost_first) {
        EXPECT_TRUE(reported) << line;
      } else if (p.first_byte <= lost_last) {
        ++touched;
        EXPECT_FALSE(reported) << line;
      } else if (!reported) {
        ++skipped_after;
      }
    }
    EXPECT_GE(touched, 1);
    EXPECT_LE(skipped_after, 1);
    EXPECT_LE(run.lines.size(), s.planted.size());
  }
}

// Bytes flipped anywhere in the file and cut-off files: the tool ends
// normally and prints only well-formed lines.
TEST(QdxStream, DamagedFilesEndCleanly) {
  QdxStreamOptions o;
  QdxStream s;
  std::string error;
  ASSERT_TRUE(test::BuildQdxStream(SampleBlocks(), o, &s, &error)) << error;
  std::mt19937 rng(77);
  const std::string path = TempFile("damaged.mp3");
  for (int round = 0; round < 12; ++round) {
    std::vector<uint8_t> bytes = s.bytes;
    const int flips = 1 + int(rng() % 40);
    for (int k = 0; k < flips; ++k) bytes[rng() % bytes.size()] ^= uint8_t(1u << (rng() % 8));
    if (round % 3 == 2) bytes.resize(rng() % bytes.size());
    WriteFile(path, bytes);
    const ToolRun run = RunQdx(path);
    EXPECT_TRUE(run.exit_code == 0 || run.exit_code == 1) << "round " << round << " exit " << run.exit_code;
    for (const std::string& line : run.lines) {
      const size_t tab = line.find('\t');
      ASSERT_NE(tab, std::string::npos) << line;
      const std::string kind = line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
      EXPECT_TRUE(kind == "text" || kind == "url") << line;
      EXPECT_GE(std::stol(line.substr(0, tab)), 0) << line;
    }
  }
  std::remove(path.c_str());
}

}  // namespace
}  // namespace bramble

#endif  // _WIN32
