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
  int lead_frames = 3;         // frames before the first word
  int trail_frames = 3;        // frames after the last word
  int garbage_bytes = 7;       // at most this many garbage bytes before each block
  bool html_between = true;    // an HTML block after every second block
  int stray_words = 3;         // at most this many unscrambled words between channel blocks
  int empty_slot_percent = 20; // granules that carry no word
  uint32_t seed = 1;
  // Channel words (counted over the whole stream, stray words included) sent
  // with their low bit flipped: the channel block holding one is lost.
  std::vector<int> corrupt_words;
};

// One planted Text or URL block and where the decoder completes it.
struct QdxPlanted {
  int kind = QdxBlock::kText;
  std::string payload;
  size_t first_byte = 0;  // its sync and its terminator in the block byte stream
  size_t last_byte = 0;
  int frame = 0;          // index of the frame whose decoding delivers the terminator
  int32_t time_ms = 0;    // the player's decode time after that frame
};

struct QdxStream {
  std::vector<uint8_t> bytes;          // the Layer III stream
  std::vector<uint8_t> block_bytes;    // the information block byte stream
  std::vector<QdxPlanted> planted;     // Text and URL blocks, in order
  std::vector<int> lost_chunks;        // channel blocks that corrupt words spoil
  int frames = 0;
  int words = 0;                       // channel words sent, stray ones included
  int32_t frame_ms = 0;                // decode time one frame adds
};

// Byte form of one block: sync, code list, parameter bytes, payload, 0xFF.
// Text blocks list a Start code (two parameter bytes) before the Text code.
std::vector<uint8_t> EncodeQdxBlock(const QdxBlock& block);

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
