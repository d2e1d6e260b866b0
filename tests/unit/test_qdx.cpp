// QDX information blocks: a channel block recorded from a stream scrambled
// with the player's key, and the block reader's parse, which must not
// depend on how the bytes arrive.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "decoder/EmbeddedData.h"
#include "tags/InfoBlocks.h"

namespace bramble {
namespace {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// A reader on a fresh channel that notes "url:payload@time" or "text:...".
struct Reader {
  Reader() {
    reader.SetNotify(
        [](void* lines, const char* text, int url, int32_t ms) {
          static_cast<Lines*>(lines)->push_back((url ? "url:" : "text:") + std::string(text) + "@" + std::to_string(ms));
        },
        &lines);
    reader.ResetInfoBlocks(channel);
  }
  void Feed(const Bytes& b, size_t step = SIZE_MAX) {
    for (size_t at = 0; at < b.size(); at += step) reader.FeedInfoBlocks(&b[at], int(std::min(step, b.size() - at)), 0);
  }
  EmbeddedChannel channel = {};
  InfoBlockReader reader;
  Lines lines;
};

TEST(EmbeddedChannel, RecordedBlockDescramblesWithThePlayersKey) {
  // One block as streams carry it: sync, URL code, "http://bramble.invalid/", end, two spaces.
  const uint16_t words[16] = {0xA2B2, 0x7CAF, 0xC804, 0x2FE9, 0x8C17, 0xDE47, 0xFD78, 0x4292,
                              0x7F4F, 0x4A2C, 0xA1F6, 0x6770, 0xF9E0, 0xC3E3, 0xEC36, 0xAF49};
  Reader r;
  EmbeddedChannel& channel = r.channel;
  // Stray words first: a block completes wherever the ring stands.
  for (uint16_t w : {0x1234, 0xBEEF, 0x0F0F}) EXPECT_EQ(AssembleEmbeddedBlock(channel, w), 0);
  for (int k = 0; k < 15; ++k) EXPECT_EQ(AssembleEmbeddedBlock(channel, words[k]), 0);
  channel.bytes = AssembleEmbeddedBlock(channel, words[15]);
  EXPECT_EQ(channel.bytes, 30);  // the check word is no data
  r.reader.FeedFromDecoder(channel, 26);
  EXPECT_EQ(r.lines, Lines{"url:http://bramble.invalid/@26"});
  // A second block does not fit in the frame's 20 words: dropped.
  for (uint16_t w : words) EXPECT_EQ(AssembleEmbeddedBlock(channel, w), 0);
  channel.bytes = 0, channel.enable = 0;  // without the channel enabled no block is built
  for (uint16_t w : words) EXPECT_EQ(AssembleEmbeddedBlock(channel, w), 0);
  channel.bytes = 100000;  // a count beyond the record is bounded by it
  r.reader.FeedFromDecoder(channel, 0);
}

// Sync, code list and parameter bytes, payload, end byte.
Bytes Block(const Bytes& head, const std::string& payload, bool end = true) {
  Bytes b(3 + head.size() + payload.size() + (end ? 1 : 0), 0xFF);
  b[0] = 0x15, b[1] = 0x11, b[2] = 0x51;
  std::copy(head.begin(), head.end(), b.begin() + 3);
  std::copy(payload.begin(), payload.end(), b.begin() + 3 + long(head.size()));
  return b;
}
Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
// Noise that can never start a synchronisation.
Bytes Noise(size_t n) {
  Bytes v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i * 7919 >> 3) == 0x15 ? 0x16 : uint8_t(i * 7919 >> 3);
  return v;
}

TEST(InfoBlocks, ParseWholeAndSplit) {
  const std::string a1023(1023, 'a'), partial("a\x15\x11z\x15q", 6);
  const std::pair<Bytes, Lines> cases[] = {
      {Block({0x03}, "http://x/a"), {"url:http://x/a"}},
      {Block({0x01, 0x42}, "Text skips its parameter"), {"text:Text skips its parameter"}},
      {Block({0x81, 0x03, 0x99}, "the last kind wins") + Block({0x83, 0x01, 0x99}, "text"),
       {"url:the last kind wins", "text:text"}},
      {Block({0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8D, 0x03, 1, 2, 3, 4, 5, 6, 7, 8}, "every parameter"),
       {"url:every parameter"}},
      {Block({0x80, 0x8C, 0x8E, 0xFF, 0x83, 0x7F}, "codes without any"), {"url:codes without any"}},
      {Block({0x02}, "<b>") + Block({0x04}, "la") + Block({0x05}, "five") + Block({0x81, 0x06, 1, 2}, "owner") +
           Block({0x00}, "none") + Block({0x8E, 0x0D, 9}, "binary") + Block({0x03}, "only this"),
       {"url:only this"}},
      {Block({0x03}, "ended by a sync", false) + Block({0x03}, "b"), {"url:ended by a sync", "url:b"}},
      {Block({0x01, 0}, "") + Block({0x03}, ""), {"text:", "url:"}},
      {Block({0x03}, partial), {"url:" + partial}},
      {Block({0x01, 0}, a1023, false) + Block({0x03}, "next"), {"text:" + a1023, "url:next"}},
      {Block(Bytes(19, 0x8E) + Bytes{0x03}, "twenty codes"), {"url:twenty codes"}},
      {Block(Bytes(24, 0x8E) + Bytes{0x03}, "more: dropped") + Block({0x03}, "next"), {"url:next"}},
      {Block(Bytes(300, 0xFF), "", false) + Block({0x03}, "after endless codes"), {"url:after endless codes"}},
      {Noise(4090) + Block({3}, "across") + Noise(3000) + Block({1, 0}, "the buffer") + Noise(5000),
       {"url:across", "text:the buffer"}},
  };
  for (const auto& c : cases) {
    for (size_t step : {c.first.size(), size_t(1), size_t(7), size_t(4099)}) {
      Reader r;
      r.Feed(c.first, step);
      for (std::string& line : r.lines) line.resize(line.size() - 2);  // "@0"
      EXPECT_EQ(r.lines, c.second) << "in pieces of " << step;
    }
  }
  // A 1024th payload byte empties the input; the payload then collected
  // from the bytes that follow keeps its kind.
  Reader r;
  r.Feed(Block({0x03}, std::string(1024, 'b') + "lost", false));
  r.Feed({'t', 'a', 'i', 'l', 0xFF});
  EXPECT_EQ(r.lines, Lines{"url:tail@0"});
}

}  // namespace
}  // namespace bramble
