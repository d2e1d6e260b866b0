#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "decoder/EmbeddedData.h"
#include "tags/InfoBlocks.h"

namespace bramble {
namespace {

using Bytes = std::vector<uint8_t>;

struct Note {
  std::string text;
  int url;
  int32_t time;
  bool operator==(const Note& o) const { return text == o.text && url == o.url && time == o.time; }
};

void Record(void* context, const char* text, int url_flag, int32_t time_ms) {
  static_cast<std::vector<Note>*>(context)->push_back(Note{text, url_flag, time_ms});
}

// Sync, code bytes as given, parameter bytes, payload, optional end byte.
Bytes Block(const Bytes& codes, const Bytes& params, const std::string& payload, bool end = true) {
  Bytes b = {0x15, 0x11, 0x51};
  b.insert(b.end(), codes.begin(), codes.end());
  b.insert(b.end(), params.begin(), params.end());
  b.insert(b.end(), payload.begin(), payload.end());
  if (end) b.push_back(0xFF);
  return b;
}

Bytes Url(const std::string& s) { return Block({0x03}, {}, s); }
Bytes Text(const std::string& s) { return Block({0x01}, {0x42}, s); }

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Noise that can never start a synchronisation.
Bytes Noise(size_t n, uint32_t seed) {
  Bytes v(n);
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    uint8_t b = static_cast<uint8_t>(seed >> 16);
    v[i] = b == 0x15 ? 0x16 : b;
  }
  return v;
}

class InfoBlocksTest : public testing::Test {
 protected:
  void SetUp() override {
    reader_.SetNotify(&Record, &notes_);
    reader_.ResetInfoBlocks(channel_);
  }
  void Feed(const Bytes& b, int32_t time = 0) {
    reader_.FeedInfoBlocks(b.data(), static_cast<int>(b.size()), time);
    CheckInvariants();
  }
  void CheckInvariants() {
    ASSERT_GE(reader_.state(), 1);
    ASSERT_LE(reader_.state(), 4);
    ASSERT_GE(reader_.position(), 0);
    ASSERT_LE(reader_.position(), reader_.fill());
    ASSERT_LE(reader_.fill(), InfoBlockReader::kBufferBytes);
    ASSERT_LE(reader_.code_count(), InfoBlockReader::kMaxCodes);
  }
  // Feeds in chunks ending at the given cut points.
  std::vector<Note> FeedSplit(const Bytes& b, const std::vector<size_t>& cuts) {
    notes_.clear();
    reader_.ResetInfoBlocks(channel_);
    size_t from = 0;
    for (size_t cut : cuts) {
      Feed(Bytes(b.begin() + from, b.begin() + cut), static_cast<int32_t>(cut));
      from = cut;
    }
    Feed(Bytes(b.begin() + from, b.end()), static_cast<int32_t>(b.size()));
    return notes_;
  }
  EmbeddedChannel channel_ = {};
  InfoBlockReader reader_;
  std::vector<Note> notes_;
};

TEST_F(InfoBlocksTest, UrlAndTextBlocksInOneCall) {
  Feed(Url("http://x.example/a"), 12000);
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0], (Note{"http://x.example/a", 1, 12000}));
  // The end byte is not consumed by the block, the next scan drops it.
  EXPECT_EQ(reader_.state(), InfoBlockReader::kFindSync);

  notes_.clear();
  Feed(Text("hello there"), 500);
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0], (Note{"hello there", 0, 500}));  // parameter byte not in the text
}

TEST_F(InfoBlocksTest, SplitAtEveryBoundaryGivesOneNotification) {
  const Bytes stream = Noise(5, 1) + Url("u://a/b") + Noise(3, 2) + Text("tx") + Bytes{0x20};
  const std::vector<Note> whole = FeedSplit(stream, {});
  ASSERT_EQ(whole.size(), 2u);
  EXPECT_EQ(whole[0].text, "u://a/b");
  EXPECT_EQ(whole[1].text, "tx");
  // The time is the one of the call that completed each block.
  for (size_t i = 1; i < stream.size(); ++i) {
    for (size_t j = i; j < stream.size(); j += 3) {
      std::vector<Note> split = FeedSplit(stream, {i, j});
      ASSERT_EQ(split.size(), 2u) << i << "," << j;
      EXPECT_EQ(split[0].text, whole[0].text) << i << "," << j;
      EXPECT_EQ(split[0].url, 1);
      EXPECT_EQ(split[1].text, whole[1].text) << i << "," << j;
      EXPECT_EQ(split[1].url, 0);
    }
  }
  std::vector<size_t> every;
  for (size_t i = 1; i < stream.size(); ++i) every.push_back(i);
  std::vector<Note> bytewise = FeedSplit(stream, every);
  ASSERT_EQ(bytewise.size(), 2u);
  EXPECT_EQ(bytewise[0].text, "u://a/b");
  EXPECT_EQ(bytewise[1].text, "tx");
}

TEST_F(InfoBlocksTest, CodeListsParametersAndKinds) {
  // Text then URL: the last kind-setting code wins; Text's parameter skipped.
  Feed(Block({0x81, 0x03}, {0x99}, "last wins"));
  // URL then Text: a Text block, one parameter byte.
  Feed(Block({0x83, 0x01}, {0x99}, "text now"));
  // Every code with parameters before URL: 2+2+1+1+1+1 bytes skipped.
  Feed(Block({0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8D, 0x03}, {1, 2, 3, 4, 5, 6, 7, 8}, "params"));
  // Codes without parameters or kind around a URL.
  Feed(Block({0x80, 0x8C, 0x8E, 0xFF, 0x83, 0x7F}, {}, "unknown codes"));
  ASSERT_EQ(notes_.size(), 4u);
  EXPECT_EQ(notes_[0], (Note{"last wins", 1, 0}));
  EXPECT_EQ(notes_[1], (Note{"text now", 0, 0}));
  EXPECT_EQ(notes_[2], (Note{"params", 1, 0}));
  EXPECT_EQ(notes_[3], (Note{"unknown codes", 1, 0}));

  // HTML, lyrics, kind 5 and owner payloads are consumed silently; a block
  // without a kind leaves its payload to the scan.
  notes_.clear();
  Feed(Block({0x02}, {}, "<b>html</b>") + Block({0x04}, {}, "la la") + Block({0x05}, {}, "five") +
       Block({0x81, 0x06}, {1, 2}, "owner") + Block({0x00}, {}, "nothing") +
       Block({0x8E, 0x0D}, {9}, "binary") + Url("after"));
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0].text, "after");
}

TEST_F(InfoBlocksTest, PayloadEndsAndEmptyPayloads) {
  // A block ended by the next synchronisation; the next block still counts.
  Feed(Block({0x03}, {}, "first", false) + Url("second"));
  // 0xFF right after the parameters: an empty text is still reported.
  Feed(Text("") + Url(""));
  ASSERT_EQ(notes_.size(), 4u);
  EXPECT_EQ(notes_[0].text, "first");
  EXPECT_EQ(notes_[1].text, "second");
  EXPECT_EQ(notes_[2], (Note{"", 0, 0}));
  EXPECT_EQ(notes_[3], (Note{"", 1, 0}));

  // A partial pattern inside a payload is payload.
  notes_.clear();
  Feed(Url(std::string("a\x15\x11z\x15q", 6)));
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0].text, std::string("a\x15\x11z\x15q", 6));

  // Without an end the block waits; nothing is reported yet.
  notes_.clear();
  Feed(Block({0x03}, {}, "open", false));
  EXPECT_TRUE(notes_.empty());
  EXPECT_EQ(reader_.state(), InfoBlockReader::kReadPayload);
  Feed({0xFF}, 77);
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0], (Note{"open", 1, 77}));
}

TEST_F(InfoBlocksTest, PayloadLengthLimit) {
  const std::string longest(1023, 'a');
  Feed(Url(longest));
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0].text, longest);

  // 1023 bytes then a synchronisation whose first byte arrives alone.
  notes_.clear();
  Bytes b = Block({0x01}, {0}, longest, false) + Url("next");
  size_t cut = 3 + 2 + 1023 + 1;  // just after the 0x15
  Feed(Bytes(b.begin(), b.begin() + static_cast<long>(cut)));
  Feed(Bytes(b.begin() + static_cast<long>(cut), b.end()));
  ASSERT_EQ(notes_.size(), 2u);
  EXPECT_EQ(notes_[0].text, longest);
  EXPECT_EQ(notes_[1].text, "next");

  // A 1024th byte empties the buffer; collection goes on with the same kind.
  notes_.clear();
  Feed(Block({0x03}, {}, std::string(1024, 'b'), false));
  EXPECT_TRUE(notes_.empty());
  EXPECT_EQ(reader_.fill(), 0);
  EXPECT_EQ(reader_.state(), InfoBlockReader::kReadPayload);
  EXPECT_EQ(reader_.kind(), InfoBlockReader::kUrl);
  Feed(Bytes{'t', 'a', 'i', 'l', 0xFF}, 40);
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0], (Note{"tail", 1, 40}));

  // Bytes after the 1024th in the same call go with the emptied buffer.
  notes_.clear();
  Feed(Block({0x03}, {}, std::string(2000, 'c')) + Url("lost") + Noise(10, 3) + Url("kept"));
  EXPECT_TRUE(notes_.empty());
  // The overlong URL is still open: the next synchronisation ends it empty.
  Feed(Url("found"));
  ASSERT_EQ(notes_.size(), 2u);
  EXPECT_EQ(notes_[0], (Note{"", 1, 0}));
  EXPECT_EQ(notes_[1].text, "found");
}

TEST_F(InfoBlocksTest, NoiseIsConsumedAndCompacted) {
  Feed(Noise(2040, 4));
  EXPECT_EQ(reader_.fill(), 2040);  // not above 2048: kept
  EXPECT_EQ(reader_.position(), 2037);
  Feed(Noise(20, 5));
  EXPECT_EQ(reader_.fill(), 3);  // compacted: only the unscanned tail
  EXPECT_EQ(reader_.position(), 0);
  // Many small feeds of noise never grow the buffer beyond a compaction.
  for (int i = 0; i < 500; ++i) {
    Feed(Noise(30, 100 + i));
    ASSERT_LE(reader_.fill(), 2048 + 30);
  }
  Feed(Noise(7, 6) + Text("still works") + Noise(7, 7));
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0].text, "still works");

  // A partial block waiting across a compaction keeps its bytes.
  notes_.clear();
  reader_.ResetInfoBlocks(channel_);
  Feed(Noise(2000, 8) + Block({0x83, 0x01}, {}, "", false));
  EXPECT_EQ(reader_.state(), InfoBlockReader::kReadCodes);  // last code byte needs a follower
  Feed(Noise(60, 9) + Bytes{0xFF});  // first noise byte is the parameter
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0].text.size(), 59u);
}

TEST_F(InfoBlocksTest, ChunksLargerThanTheBuffer) {
  // Blocks before, across and after each 4096-byte piece of one call.
  Bytes big = Noise(4090, 10) + Url("across") + Noise(3000, 11) + Text("middle") +
              Noise(5000, 12) + Url("end");
  Feed(big, 9);
  ASSERT_EQ(notes_.size(), 3u);
  EXPECT_EQ(notes_[0], (Note{"across", 1, 9}));
  EXPECT_EQ(notes_[1], (Note{"middle", 0, 9}));
  EXPECT_EQ(notes_[2], (Note{"end", 1, 9}));
  // The same when a payload is open while the buffer fills.
  notes_.clear();
  Feed(Noise(2047, 13) + Block({0x03}, {}, std::string(1000, 'p')) + Noise(6000, 14) + Url("z"));
  ASSERT_EQ(notes_.size(), 2u);
  EXPECT_EQ(notes_[0].text, std::string(1000, 'p'));
  EXPECT_EQ(notes_[1].text, "z");
}

TEST_F(InfoBlocksTest, CodeListLimit) {
  // Twenty codes is the most a block holds.
  Bytes twenty(19, 0x8E);
  twenty.push_back(0x03);
  Feed(Block(twenty, {}, "twenty"));
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0].text, "twenty");

  // More than twenty: the block is dropped, its tail scanned as noise.
  notes_.clear();
  Bytes many(24, 0x8E);
  many.push_back(0x03);
  Feed(Block(many, {}, "too many"));
  EXPECT_TRUE(notes_.empty());
  EXPECT_EQ(reader_.state(), InfoBlockReader::kFindSync);
  // A code list that never ends cannot hold the reader.
  Feed(Bytes{0x15, 0x11, 0x51} + Bytes(300, 0xFF) + Url("recovered"));
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0].text, "recovered");
  // A synchronisation hidden after the 20th code byte is found.
  notes_.clear();
  Feed(Bytes{0x15, 0x11, 0x51} + Bytes(20, 0x80) + Url("inside"));
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0].text, "inside");
}

TEST_F(InfoBlocksTest, KeyDescriptorAndReset) {
  channel_.enable = 0;
  channel_.key = nullptr;
  reader_.ResetInfoBlocks(channel_);
  ASSERT_EQ(channel_.key, &reader_.key());
  EXPECT_EQ(channel_.enable, 1);
  const EmbedKey& key = *channel_.key;
  EXPECT_EQ(key.kind, 2);
  ASSERT_EQ(key.n, 16);
  ASSERT_NE(key.words, nullptr);
  EXPECT_EQ(key.words[0], kQdxKeySeed);
  uint32_t expect = kQdxKeySeed;
  for (uint32_t i = 1; i < 16; ++i) {
    expect = (expect * kQdxKeyFactor + kQdxKeyIndexMultiple * i) % 65536u;
    EXPECT_EQ(key.words[i], expect) << i;
  }
  // Distinct words, so no two positions of a block descramble alike.
  for (int i = 0; i < 16; ++i)
    for (int j = 0; j < i; ++j) EXPECT_NE(key.words[i], key.words[j]);
  uint16_t built[16];
  BuildQdxKeyWords(built);
  EXPECT_EQ(std::memcmp(built, key.words, sizeof built), 0);

  // Reset forgets a half-read block.
  Feed(Block({0x03}, {}, "half", false));
  reader_.ResetInfoBlocks(channel_);
  EXPECT_EQ(reader_.state(), InfoBlockReader::kFindSync);
  EXPECT_EQ(reader_.fill(), 0);
  EXPECT_EQ(reader_.kind(), InfoBlockReader::kNoKind);
  Feed({'x', 0xFF});
  EXPECT_TRUE(notes_.empty());
}

TEST_F(InfoBlocksTest, FeedFromDecoderAndHostileCounts) {
  Bytes b = Url("w");  // 6 bytes
  b.resize(30, 0x20);
  for (size_t i = 0; i < 15; ++i)
    channel_.out[i] = static_cast<uint16_t>(b[2 * i] | (b[2 * i + 1] << 8));
  channel_.bytes = 30;
  reader_.FeedFromDecoder(channel_, 26);
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0], (Note{"w", 1, 26}));

  channel_.bytes = 100000;  // bounded by the 40 bytes of out
  int fill = reader_.fill();
  reader_.FeedFromDecoder(channel_, 0);
  EXPECT_EQ(reader_.fill(), fill + 40);
  channel_.bytes = -5;
  reader_.FeedFromDecoder(channel_, 0);
  CheckInvariants();

  const uint8_t one = 0x15;
  int before = reader_.fill();
  EXPECT_EQ(reader_.FeedInfoBlocks(&one, 0, 0), 0);
  EXPECT_EQ(reader_.FeedInfoBlocks(&one, -1, 0), 0);
  EXPECT_EQ(reader_.FeedInfoBlocks(nullptr, 10, 0), 0);
  EXPECT_EQ(reader_.fill(), before);

  // No callback: blocks are parsed and dropped.
  InfoBlockReader quiet;
  quiet.ResetInfoBlocks(channel_);
  Bytes u = Url("nobody");
  quiet.FeedInfoBlocks(u.data(), static_cast<int>(u.size()), 0);
  EXPECT_EQ(quiet.state(), InfoBlockReader::kFindSync);
}

TEST_F(InfoBlocksTest, RandomStreamsAreSplitInvariant) {
  uint32_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  for (int round = 0; round < 40; ++round) {
    Bytes stream;
    for (int k = 0; k < 12; ++k) {
      stream = stream + Noise(next() % 50, next());
      std::string text(next() % 40, 'a');
      for (char& c : text) c = static_cast<char>('a' + next() % 26);
      switch (next() % 4) {
        case 0: stream = stream + Url(text); break;
        case 1: stream = stream + Text(text); break;
        case 2: stream = stream + Block({0x02}, {}, text); break;
        default: stream = stream + Bytes(next() % 8, static_cast<uint8_t>(next())); break;
      }
    }
    std::vector<Note> whole = FeedSplit(stream, {});
    std::vector<size_t> cuts;
    for (size_t at = next() % 40 + 1; at < stream.size(); at += next() % 40 + 1) cuts.push_back(at);
    std::vector<Note> split = FeedSplit(stream, cuts);
    ASSERT_EQ(split.size(), whole.size()) << "round " << round;
    for (size_t i = 0; i < whole.size(); ++i) {
      EXPECT_EQ(split[i].text, whole[i].text);
      EXPECT_EQ(split[i].url, whole[i].url);
    }
    // Arbitrary bytes never break the invariants.
    Bytes junk(next() % 3000);
    for (uint8_t& j : junk) j = static_cast<uint8_t>(next() % 7 == 0 ? 0x15 : next());
    Feed(junk);
  }
}

}  // namespace
}  // namespace bramble
