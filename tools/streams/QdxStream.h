// Test streams that carry QDX information blocks: Layer III frames of a
// simple tone whose embedded data channel transports Text and URL blocks,
// scrambled with the plug-in's key, with garbage bytes and HTML blocks
// between them, stray words between the channel's own blocks and granules
// that carry no word at all. Everything follows from the options' seed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bramble {
namespace test {

struct QdxBlock {
  enum Kind { kText = 1, kHtml = 2, kUrl = 3 };
  int kind = kText;
  std::string payload;  // no 0xFF byte, no 0x15 0x11 0x51 sequence
};

struct QdxStreamOptions {
  int version = 1;             // 1, 2 or 25
  int sampling_frequency = 0;  // rate index within the version
  int bitrate_index = 9;
  int mode = 1;                // 3: single channel
  uint32_t seed = 1;
};

// One planted Text or URL block and when the decoder completes it.
struct QdxPlanted {
  int kind = QdxBlock::kText;
  std::string payload;
  size_t last_byte = 0;  // its terminator in the block byte stream
  int32_t time_ms = 0;   // the player's decode time after the frame that delivers the terminator
};

struct QdxStream {
  std::vector<uint8_t> bytes;       // the Layer III stream
  std::vector<QdxPlanted> planted;  // Text and URL blocks, in order
};

// Builds the stream; false with `error` when a payload is not allowed or a
// frame cannot be coded.
bool BuildQdxStream(const std::vector<QdxBlock>& blocks, const QdxStreamOptions& options, QdxStream* out,
                    std::string* error);

// The line `bramble qdx` prints for a block: TIME<TAB>text|url<TAB>payload,
// the payload with \\, \t, \n and \xNN escapes for other control and
// non-ASCII bytes.
std::string QdxLine(int32_t time_ms, int kind, const std::string& payload);

}  // namespace test
}  // namespace bramble
