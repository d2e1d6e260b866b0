// Embedded data channel: the word in one granule's quantised values, and
// the keyed blocks the words make.
#include "decoder/EmbeddedData.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "decoder/Layer3.h"
#include "decoder/tables/HuffmanTables.h"

namespace bramble {

namespace {

constexpr int32_t kDetectThreshold = 8;  // the channel's: a word's marker is larger
constexpr int kWordValues = 16;          // one word, 16 quantised values (8 pairs)

}  // namespace

bool ExtractEmbeddedWord(const int32_t* values, const GranuleInfo& gi, const SfbBounds& bands, uint32_t* word) {
  if (gi.big_values < kWordValues / 2) return false;

  // Past the big-values part every magnitude is 0 or 1, below the detection
  // threshold, so neither the largest value nor the outside test can come
  // from there.
  const int end = gi.big_values * 2 < 576 ? gi.big_values * 2 : 576;
  int32_t largest = 0;
  for (int k = 0; k < end; ++k) largest = std::max(largest, std::abs(values[k]));
  if (largest <= kDetectThreshold) return false;
  int p = 0;
  while (std::abs(values[p]) != largest) ++p;

  const int b = p & ~(kWordValues - 1);
  if (b + kWordValues - 1 >= 2 * gi.big_values) return false;

  // A value at its table's ceiling may be an escape that happens to be the
  // largest: only trust it when nothing outside the block reaches it.
  const HuffmanRegions rg = ComputeHuffmanRegions(gi, bands);
  const int region = p < rg.region1 ? 0 : (p < rg.region2 ? 1 : 2);
  if (largest == huffman_max_magnitude[gi.table_select[region] & 31]) {
    int32_t outside = 0;
    for (int k = 0; k < b; ++k) outside = std::max(outside, std::abs(values[k]));
    for (int k = b + kWordValues; k < end; ++k) outside = std::max(outside, std::abs(values[k]));
    if (outside == largest) return false;
  }

  uint32_t w = 0;
  for (int k = 0; k < kWordValues; ++k) w |= uint32_t(std::abs(values[b + k]) & 1) << k;
  *word = w;
  return true;
}

int AssembleEmbeddedBlock(EmbeddedChannel& c, uint16_t word) {
  if (!AcceptsWords(c)) return 0;
  const EmbedKey* key = c.key;
  const int n = key->n;
  if (c.ring_index < 0 || c.ring_index >= n) c.ring_index = 0;

  c.ring[c.ring_index] = word;
  uint16_t check = 0;
  for (int k = 0; k < n; ++k) check ^= c.ring[k];

  int gained = 0;
  if (check == key->words[n - 1]) {
    uint16_t plain[16];
    for (int k = 0; k < n; ++k) plain[k] = c.ring[(c.ring_index + 1 + k) % n] ^ key->words[k];
    // The block's check word is written too (the next block overwrites it),
    // so the whole block must fit; one that does not is dropped.
    const int at = c.bytes / 2;
    if (at >= 0 && at + n <= EmbeddedChannel::kOutWords) {
      std::memcpy(c.out + at, plain, sizeof(uint16_t) * size_t(n));
      gained = 2 * n - 2;
    }
    std::memset(c.ring, 0, sizeof c.ring);
  }
  c.ring_index = (c.ring_index + 1) % n;
  return gained;
}

}  // namespace bramble
