// Reader for the QDX information blocks carried by a Layer III stream's
// embedded data channel. It buffers the channel's bytes, finds blocks by
// their synchronisation bytes, skips their code parameters and reports Text
// and URL payloads through a callback.
//
// Block: 0x15 0x11 0x51, code bytes (low 7 bits a code, bit 7 = more
// follow), the codes' parameter bytes, then the payload up to a 0xFF byte or
// the next synchronisation (at most 1023 bytes).
//
// Bounds: a block lists at most 20 codes; at a 21st code byte the block is
// dropped and the scan for the next synchronisation resumes at that byte.
// A payload end or synchronisation cut by the end of the data waits for the
// missing bytes, so the result never depends on how the stream was split.
#pragma once

#include <cstdint>

#include "decoder/EmbeddedData.h"

namespace bramble {

// Key words the decoder descrambles the channel with: word 0 is the seed,
// word i = word(i-1) * kQdxKeyFactor + kQdxKeyIndexMultiple * i (mod 65536).
// The values are this player's own; a stream must be built with the same.
constexpr uint16_t kQdxKeySeed = 0xB3A7;
constexpr uint16_t kQdxKeyFactor = 0x9E35;
constexpr uint16_t kQdxKeyIndexMultiple = 0x3C6B;
constexpr int kQdxKeyWords = 16;
void BuildQdxKeyWords(uint16_t out[kQdxKeyWords]);

class InfoBlockReader {
 public:
  static constexpr int kBufferBytes = 4096;
  static constexpr int kCompactAbove = 2048;
  static constexpr int kMaxCodes = 20;
  static constexpr int kPayloadBytes = 1024;  // 1023 characters and a NUL

  enum State : int32_t { kFindSync = 1, kReadCodes = 2, kReadParameters = 3, kReadPayload = 4 };
  enum Kind : int32_t { kNoKind = -1, kText = 1, kHtml = 2, kUrl = 3 };

  // text: the payload, NUL-terminated; url_flag: 1 URL, 0 Text.
  using NotifyFn = void (*)(void* context, const char* text, int url_flag, int32_t time_ms);

  InfoBlockReader();
  InfoBlockReader(const InfoBlockReader&) = delete;
  InfoBlockReader& operator=(const InfoBlockReader&) = delete;

  void SetNotify(NotifyFn notify, void* context);

  // Empties the reader and hands a decoder's embedded data channel this
  // reader's key descriptor (which lives as long as the reader) with block
  // building enabled.
  void ResetInfoBlocks(EmbeddedChannel& channel);

  // Appends `count` bytes and parses as far as they allow; blocks found are
  // reported with `decode_time_ms`. A chunk larger than the buffer's free
  // room is taken in parts, parsing between them, so nothing is lost.
  // Returns 0.
  int FeedInfoBlocks(const uint8_t* data, int count, int32_t decode_time_ms);

  // Feeds the bytes a decoder's embedded data channel produced in its last
  // frame, each word low byte first.
  void FeedFromDecoder(const EmbeddedChannel& channel, int32_t decode_time_ms);

  // For inspection.
  int32_t state() const { return qdx_state; }
  int32_t fill() const { return qdx_fill; }
  int32_t position() const { return qdx_position; }
  int32_t kind() const { return qdx_kind; }
  const EmbedKey& key() const { return qdx_key; }

 private:
  // Each returns false when it has to wait for more bytes.
  bool StepFindSync();
  bool StepReadCodes();
  bool StepReadParameters();
  bool StepReadPayload(int32_t decode_time_ms);
  void EndBlock();
  void ParseAndCompact(int32_t decode_time_ms);
  bool SyncAt(int at) const;

  int32_t qdx_state;
  uint8_t qdx_buffer[kBufferBytes];
  int32_t qdx_fill;
  int32_t qdx_position;
  uint32_t qdx_codes[kMaxCodes];
  int32_t qdx_code_count;
  int32_t qdx_kind;
  char qdx_payload[kPayloadBytes];
  uint16_t qdx_key_words[kQdxKeyWords];
  EmbedKey qdx_key;
  NotifyFn notify_ = nullptr;
  void* notify_context_ = nullptr;
};

}  // namespace bramble
