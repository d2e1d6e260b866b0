// Embedded data channel: one 16-bit word per granule and channel hidden in
// the low bits of the quantised values around the largest one, gathered
// into keyed blocks that end in a check word. The key and the channel's
// record are all a reader of the blocks needs.
#pragma once

#include <cstdint>

namespace bramble {

struct GranuleInfo;
struct SfbBounds;

// Key descriptor, owned by the caller.
struct EmbedKey {
  int32_t kind;           // must be 2
  int32_t n;              // words per block, at most 16
  const uint16_t* words;  // n key words
};

struct EmbeddedChannel {
  static constexpr int kOutWords = 20;
  int32_t ring_index;
  uint16_t ring[16];
  uint16_t out[kOutWords];  // blocks gained in the current frame
  int32_t bytes;            // bytes of `out` gained in the current frame
  int32_t enable;
  const EmbedKey* key;
};

// The channel builds blocks: enabled, with a usable key.
inline bool AcceptsWords(const EmbeddedChannel& c) {
  const EmbedKey* key = c.key;
  return c.enable == 1 && key && key->kind == 2 && key->n >= 1 && key->n <= 16 && key->words;
}

// The word hidden in one granule's quantised values, if there is one.
bool ExtractEmbeddedWord(const int32_t* values, const GranuleInfo& gi, const SfbBounds& bands,
                         uint32_t* word);

// Adds a word to the ring of a channel that accepts words; when the ring
// completes a block, writes it to `out` at `bytes` and returns the bytes
// gained (the check word not counted), else 0.
int AssembleEmbeddedBlock(EmbeddedChannel& c, uint16_t word);

}  // namespace bramble
