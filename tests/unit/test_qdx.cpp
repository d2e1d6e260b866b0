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

struct Notes {
  std::vector<std::string> lines;  // "url:payload" or "text:payload", "@time" when asked
  bool with_time = false;
  static void Add(void* self, const char* text, int url, int32_t time_ms) {
    Notes& n = *static_cast<Notes*>(self);
    n.lines.push_back((url ? "url:" : "text:") + std::string(text) + (n.with_time ? "@" + std::to_string(time_ms) : ""));
  }
};

TEST(EmbeddedChannel, RecordedBlockDescramblesWithThePlayersKey) {
  // One block as streams carry it: sync, URL code, "http://bramble.invalid/", end, two spaces.
  const uint16_t words[16] = {0xA2B2, 0x7CAF, 0xC804, 0x2FE9, 0x8C17, 0xDE47, 0xFD78, 0x4292,
                              0x7F4F, 0x4A2C, 0xA1F6, 0x6770, 0xF9E0, 0xC3E3, 0xEC36, 0xAF49};
  EmbeddedChannel channel = {};
  InfoBlockReader reader;
  Notes notes;
  notes.with_time = true;
  reader.SetNotify(&Notes::Add, &notes);
  reader.ResetInfoBlocks(channel);
  // Stray words first: a block completes wherever the ring stands.
  for (uint16_t w : {0x1234, 0xBEEF, 0x0F0F}) EXPECT_EQ(AssembleEmbeddedBlock(channel, w), 0);
  for (int k = 0; k < 15; ++k) EXPECT_EQ(AssembleEmbeddedBlock(channel, words[k]), 0);
  channel.bytes = AssembleEmbeddedBlock(channel, words[15]);
  EXPECT_EQ(channel.bytes, 30);  // the check word is no data
  reader.FeedFromDecoder(channel, 26);
  EXPECT_EQ(notes.lines, std::vector<std::string>{"url:http://bramble.invalid/@26"});
  // A second block does not fit in the frame's 20 words: dropped.
  for (uint16_t w : words) EXPECT_EQ(AssembleEmbeddedBlock(channel, w), 0);
  // Without the channel enabled no block is built.
  channel.bytes = 0;
  channel.enable = 0;
  for (uint16_t w : words) EXPECT_EQ(AssembleEmbeddedBlock(channel, w), 0);
  channel.bytes = 100000;  // a count beyond the record is bounded by it
  reader.FeedFromDecoder(channel, 0);
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
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t((i * 7919 + 13) >> 3) == 0x15 ? 0x16 : uint8_t((i * 7919 + 13) >> 3);
  return v;
}

TEST(InfoBlocks, ParseWholeAndSplit) {
  const std::string a1023(1023, 'a'), partial("a\x15\x11z\x15q", 6);
  struct Case {
    const char* what;
    Bytes bytes;
    std::vector<std::string> notes;
  } cases[] = {
      {"URL", Block({0x03}, "http://x/a"), {"url:http://x/a"}},
      {"Text skips its parameter", Block({0x01, 0x42}, "hello"), {"text:hello"}},
      {"the last kind wins", Block({0x81, 0x03, 0x99}, "last") + Block({0x83, 0x01, 0x99}, "text"), {"url:last", "text:text"}},
      {"parameters of every code", Block({0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8D, 0x03, 1, 2, 3, 4, 5, 6, 7, 8}, "p"), {"url:p"}},
      {"codes without parameters", Block({0x80, 0x8C, 0x8E, 0xFF, 0x83, 0x7F}, "q"), {"url:q"}},
      {"HTML, lyrics, owner and kindless blocks are silent",
       Block({0x02}, "<b>") + Block({0x04}, "la") + Block({0x05}, "five") + Block({0x81, 0x06, 1, 2}, "owner") +
           Block({0x00}, "none") + Block({0x8E, 0x0D, 9}, "binary") + Block({0x03}, "after"),
       {"url:after"}},
      {"ended by the next sync", Block({0x03}, "first", false) + Block({0x03}, "second"), {"url:first", "url:second"}},
      {"empty payloads", Block({0x01, 0}, "") + Block({0x03}, ""), {"text:", "url:"}},
      {"a partial sync is payload", Block({0x03}, partial), {"url:" + partial}},
      {"1023 bytes", Block({0x01, 0}, a1023, false) + Block({0x03}, "next"), {"text:" + a1023, "url:next"}},
      {"twenty codes", Block(Bytes(19, 0x8E) + Bytes{0x03}, "twenty"), {"url:twenty"}},
      {"more codes: dropped", Block(Bytes(24, 0x8E) + Bytes{0x03}, "many") + Block({0x03}, "next"), {"url:next"}},
      {"a code list that never ends", Block(Bytes(300, 0xFF), "", false) + Block({0x03}, "found"), {"url:found"}},
      {"across the buffer", Noise(4090) + Block({3}, "across") + Noise(3000) + Block({1, 0}, "middle") + Noise(5000),
       {"url:across", "text:middle"}},
  };
  for (const Case& c : cases) {
    for (size_t step : {c.bytes.size(), size_t(1), size_t(7), size_t(4099)}) {
      SCOPED_TRACE(std::string(c.what) + ", in pieces of " + std::to_string(step));
      EmbeddedChannel channel = {};
      InfoBlockReader reader;
      Notes notes;
      reader.SetNotify(&Notes::Add, &notes);
      reader.ResetInfoBlocks(channel);
      for (size_t at = 0; at < c.bytes.size(); at += step)
        reader.FeedInfoBlocks(c.bytes.data() + at, int(std::min(step, c.bytes.size() - at)), 0);
      EXPECT_EQ(notes.lines, c.notes);
    }
  }
  // A 1024th payload byte empties the input; the payload then collected
  // from the bytes that follow keeps its kind.
  EmbeddedChannel channel = {};
  InfoBlockReader reader;
  Notes notes;
  reader.SetNotify(&Notes::Add, &notes);
  reader.ResetInfoBlocks(channel);
  const Bytes overlong = Block({0x03}, std::string(1024, 'b') + "lost", false), tail = {'t', 'a', 'i', 'l', 0xFF};
  reader.FeedInfoBlocks(overlong.data(), int(overlong.size()), 0);
  reader.FeedInfoBlocks(tail.data(), int(tail.size()), 0);
  EXPECT_EQ(notes.lines, std::vector<std::string>{"url:tail"});
}

}  // namespace
}  // namespace bramble
