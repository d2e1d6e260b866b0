#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "decoder/MpegDecoder.h"

namespace bramble {
namespace {

class EmbeddedWordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d = std::make_unique<MpegDecoder>();
    std::fill(std::begin(v), std::end(v), 0);
    GranuleInfo& gi = d->layer3().side_info.ch[1].gr[1];
    gi = GranuleInfo{};
    gi.big_values = 40;
    gi.region0_count = 15;  // region 1 from value 162 at 44.1 kHz
    gi.region1_count = 7;
    gi.table_select[0] = gi.table_select[1] = gi.table_select[2] = 24;
  }
  GranuleInfo& Gi() { return d->layer3().side_info.ch[1].gr[1]; }
  bool Extract(uint32_t* word) { return ExtractEmbeddedWord(v, Gi(), sfb_bounds[d->header().SfbRow()], word); }

  std::unique_ptr<MpegDecoder> d;
  int32_t v[576];
};

TEST_F(EmbeddedWordTest, ThresholdPositionAndWordBits) {
  uint32_t word = 0xDEAD;
  v[37] = 8;
  v[3] = -7;
  EXPECT_FALSE(Extract(&word));

  // Largest 9 at 37: the word comes from the low bits of values 32..47.
  const int32_t low[16] = {1, -3, 2, 0, 5, -9, 4, 6, 7, 0, 0, -1, 2, 2, 3, 1};
  for (int k = 0; k < 16; ++k) v[32 + k] = low[k];
  v[37] = -9;
  v[100] = 9;  // a later equal value does not move the position
  v[31] = 7;
  v[48] = 7;
  ASSERT_TRUE(Extract(&word));
  uint32_t want = 0;
  for (int k = 0; k < 16; ++k) want |= uint32_t((k == 5 ? 9 : std::abs(low[k])) & 1) << k;
  EXPECT_EQ(word, want);

  // The 16 values must lie below 2 * big_values.
  Gi().big_values = 24;
  EXPECT_TRUE(Extract(&word));
  Gi().big_values = 23;
  EXPECT_FALSE(Extract(&word));
  // Fewer than 8 big values: never a word.
  Gi().big_values = 7;
  v[37] = 200;
  v[0] = 3;
  EXPECT_FALSE(Extract(&word));
}

TEST_F(EmbeddedWordTest, TableCeilingNeedsAUniqueLargest) {
  uint32_t word = 0;
  v[20] = 15;
  v[21] = 1;
  v[60] = -15;  // outside block 16..31
  Gi().big_values = 100;
  Gi().table_select[0] = 13;  // largest 15: could be any escape-free value
  EXPECT_FALSE(Extract(&word));
  Gi().table_select[0] = 16;  // largest 16: 15 is an ordinary value
  ASSERT_TRUE(Extract(&word));
  EXPECT_EQ(word, (1u << 4) | (1u << 5));
  // At the ceiling but alone: the word is taken.
  Gi().table_select[0] = 13;
  v[60] = 14;
  ASSERT_TRUE(Extract(&word));
  EXPECT_EQ(word, (1u << 4) | (1u << 5));

  // The ceiling is that of the table in force at the largest value's
  // region (region 1 from value 162 here).
  std::fill(std::begin(v), std::end(v), 0);
  Gi().big_values = 200;
  v[170] = 30;
  v[171] = 1;
  v[300] = -30;
  Gi().table_select[0] = 25;  // largest 46
  Gi().table_select[1] = 24;  // largest 30
  EXPECT_FALSE(Extract(&word));
  Gi().table_select[0] = 24;
  Gi().table_select[1] = 25;
  ASSERT_TRUE(Extract(&word));
  EXPECT_EQ(word, 1u << 11);
}

class EmbeddedBlockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d = std::make_unique<MpegDecoder>();
    std::mt19937 rng(77);
    for (auto& k : key_words) k = uint16_t(rng());
    key = EmbedKey{2, 16, key_words};
    d->embedded().key = &key;
    d->embedded().enable = 1;
  }
  // Words that make a block of n whose plain words are `plain` (the last
  // one follows from the check).
  std::vector<uint16_t> Block(int n, const std::vector<uint16_t>& plain) {
    std::vector<uint16_t> w(static_cast<size_t>(n));
    uint16_t x = 0;
    for (int k = 0; k < n - 1; ++k) {
      w[size_t(k)] = plain[size_t(k)] ^ key_words[k];
      x ^= w[size_t(k)];
    }
    w[size_t(n - 1)] = uint16_t(key_words[n - 1] ^ x);
    return w;
  }
  int Feed(uint16_t word) {
    const int got = AssembleEmbeddedBlock(d->embedded(), word);
    d->embedded().bytes += got;
    return got;
  }

  std::unique_ptr<MpegDecoder> d;
  uint16_t key_words[16];
  EmbedKey key;
};

TEST_F(EmbeddedBlockTest, SixteenWordBlockAfterPartialGarbage) {
  std::vector<uint16_t> plain;
  for (int k = 0; k < 15; ++k) plain.push_back(uint16_t(0x4100 + k));
  EXPECT_EQ(Feed(0x1234), 0);
  EXPECT_EQ(Feed(0x0F0F), 0);
  EXPECT_EQ(Feed(0xBEEF), 0);
  const std::vector<uint16_t> words = Block(16, plain);
  for (int k = 0; k < 15; ++k) ASSERT_EQ(Feed(words[size_t(k)]), 0) << k;
  EXPECT_EQ(Feed(words[15]), 30);
  EXPECT_EQ(d->embedded().bytes, 30);
  for (int k = 0; k < 15; ++k) EXPECT_EQ(d->embedded().out[k], plain[size_t(k)]) << k;
  for (uint16_t r : d->embedded().ring) EXPECT_EQ(r, 0);
  EXPECT_EQ(d->embedded().ring_index, 3);

  // A second block in the same frame does not fit in 20 words: dropped.
  const std::vector<uint16_t> again = Block(16, plain);
  const uint16_t before = d->embedded().out[19];
  int total = 0;
  for (uint16_t w : again) total += Feed(w);
  EXPECT_EQ(total, 0);
  EXPECT_EQ(d->embedded().bytes, 30);
  EXPECT_EQ(d->embedded().out[19], before);
  EXPECT_EQ(d->embedded().out[14], plain[14]);
  for (uint16_t r : d->embedded().ring) EXPECT_EQ(r, 0);
}

TEST_F(EmbeddedBlockTest, ShortBlocksFillTheFrameThenDrop) {
  key.n = 4;
  std::mt19937 rng(3);
  int blocks = 0;
  for (int b = 0; b < 7; ++b) {
    std::vector<uint16_t> plain = {uint16_t(rng()), uint16_t(rng()), uint16_t(rng())};
    const std::vector<uint16_t> w = Block(4, plain);
    int got = 0;
    for (uint16_t x : w) got += Feed(x);
    if (b < 6) {
      ASSERT_EQ(got, 6) << b;
      for (int k = 0; k < 3; ++k) EXPECT_EQ(d->embedded().out[3 * b + k], plain[size_t(k)]);
      ++blocks;
    } else {
      EXPECT_EQ(got, 0);  // would need words 18..21
    }
  }
  EXPECT_EQ(blocks, 6);
  EXPECT_EQ(d->embedded().bytes, 36);
}

TEST_F(EmbeddedBlockTest, DisabledOrWrongKeyBuildsNothing) {
  const std::vector<uint16_t> w = Block(16, std::vector<uint16_t>(15, 0x5555));
  d->embedded().enable = 0;
  for (uint16_t x : w) EXPECT_EQ(Feed(x), 0);
  EXPECT_EQ(d->embedded().ring[0], 0);
  EXPECT_EQ(d->embedded().ring_index, 0);
  d->embedded().enable = 1;
  key.kind = 1;
  for (uint16_t x : w) EXPECT_EQ(Feed(x), 0);
  key.kind = 2;
  key.n = 17;
  for (uint16_t x : w) EXPECT_EQ(Feed(x), 0);
  d->embedded().key = nullptr;
  EXPECT_EQ(Feed(1), 0);
  EXPECT_EQ(d->embedded().bytes, 0);
}

}  // namespace
}  // namespace bramble
