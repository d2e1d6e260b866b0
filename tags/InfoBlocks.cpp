#include "tags/InfoBlocks.h"

#include <cstring>

namespace bramble {

namespace {

constexpr uint8_t kSync0 = 0x15, kSync1 = 0x11, kSync2 = 0x51;
constexpr uint8_t kPayloadEnd = 0xFF;

// Parameter bytes per code; codes 12 to 127 have none.
int ParameterBytes(uint32_t code) {
  switch (code) {
    case 1: case 6: case 9: case 10: case 11: case 13: return 1;
    case 7: case 8: return 2;
    default: return 0;
  }
}

}  // namespace

void BuildQdxKeyWords(uint16_t out[kQdxKeyWords]) {
  uint32_t word = kQdxKeySeed;
  out[0] = static_cast<uint16_t>(word);
  for (uint32_t i = 1; i < static_cast<uint32_t>(kQdxKeyWords); ++i) {
    word = (word * kQdxKeyFactor + kQdxKeyIndexMultiple * i) & 0xFFFFu;
    out[i] = static_cast<uint16_t>(word);
  }
}

InfoBlockReader::InfoBlockReader() {
  BuildQdxKeyWords(qdx_key_words);
  qdx_key = EmbedKey{2, kQdxKeyWords, qdx_key_words};
  qdx_state = kFindSync;
  std::memset(qdx_buffer, 0, sizeof qdx_buffer);
  std::memset(qdx_codes, 0, sizeof qdx_codes);
  std::memset(qdx_payload, 0, sizeof qdx_payload);
  qdx_fill = qdx_position = qdx_code_count = 0;
  qdx_kind = kNoKind;
}

void InfoBlockReader::SetNotify(NotifyFn notify, void* context) {
  notify_ = notify;
  notify_context_ = context;
}

void InfoBlockReader::ResetInfoBlocks(EmbeddedChannel& channel) {
  qdx_state = kFindSync;
  std::memset(qdx_buffer, 0, sizeof qdx_buffer);
  std::memset(qdx_payload, 0, sizeof qdx_payload);
  qdx_fill = qdx_position = qdx_code_count = 0;
  qdx_kind = kNoKind;
  BuildQdxKeyWords(qdx_key_words);
  qdx_key = EmbedKey{2, kQdxKeyWords, qdx_key_words};
  channel.key = &qdx_key;
  channel.enable = 1;
}

bool InfoBlockReader::SyncAt(int at) const {
  return at + 2 < qdx_fill && qdx_buffer[at] == kSync0 && qdx_buffer[at + 1] == kSync1 &&
         qdx_buffer[at + 2] == kSync2;
}

void InfoBlockReader::EndBlock() {
  qdx_code_count = 0;
  qdx_kind = kNoKind;
  qdx_state = kFindSync;
}

bool InfoBlockReader::StepFindSync() {
  // One byte beyond the pattern must be present, so a pattern is only taken
  // with something after it.
  while (qdx_fill - qdx_position >= 4) {
    if (SyncAt(qdx_position)) {
      qdx_position += 3;
      qdx_state = kReadCodes;
      return true;
    }
    ++qdx_position;
  }
  return false;
}

bool InfoBlockReader::StepReadCodes() {
  int at = qdx_position;
  int count = 0;
  for (;;) {
    if (qdx_fill - at < 2) return false;  // the list is read again later
    uint8_t byte = qdx_buffer[at++];
    if (count == kMaxCodes) {
      // A 21st code: no block has that many; drop the block and look for
      // the next synchronisation from the byte that would not fit.
      qdx_position = at - 1;
      EndBlock();
      return true;
    }
    qdx_codes[count++] = byte & 0x7Fu;
    if ((byte & 0x80u) == 0) break;
  }
  qdx_position = at;
  qdx_code_count = count;
  qdx_state = kReadParameters;
  return true;
}

bool InfoBlockReader::StepReadParameters() {
  int at = qdx_position;
  int32_t kind = kNoKind;
  for (int i = 0; i < qdx_code_count && i < kMaxCodes; ++i) {
    uint32_t code = qdx_codes[i];
    int n = ParameterBytes(code);
    if (n > 0) {
      if (qdx_fill - at < n + 1) return false;  // the walk repeats later
      at += n;
    }
    if (code >= 1 && code <= 6) kind = static_cast<int32_t>(code);
  }
  qdx_kind = kind;
  qdx_position = at;
  qdx_state = kReadPayload;
  return true;
}

bool InfoBlockReader::StepReadPayload(int32_t decode_time_ms) {
  if (qdx_kind <= 0) {
    EndBlock();
    return true;
  }
  std::memset(qdx_payload, 0, sizeof qdx_payload);
  int copied = 0;
  for (int at = qdx_position;; ++at) {
    if (at >= qdx_fill) return false;  // collection restarts here later
    uint8_t byte = qdx_buffer[at];
    bool end = byte == kPayloadEnd;
    if (!end && byte == kSync0) {
      // A pattern cut by the end of the data waits for its remaining bytes,
      // so the outcome does not depend on where the stream was split.
      if (at + 1 >= qdx_fill || (qdx_buffer[at + 1] == kSync1 && at + 2 >= qdx_fill)) return false;
      end = SyncAt(at);
    }
    if (end) {
      qdx_position = at;
      if (notify_ != nullptr && (qdx_kind == kUrl || qdx_kind == kText))
        notify_(notify_context_, qdx_payload, qdx_kind == kUrl ? 1 : 0, decode_time_ms);
      EndBlock();
      return true;
    }
    if (copied == kPayloadBytes - 1) {
      // Overlong: drop everything held and keep collecting the same kind.
      qdx_fill = qdx_position = 0;
      return false;
    }
    qdx_payload[copied++] = static_cast<char>(byte);
  }
}

void InfoBlockReader::ParseAndCompact(int32_t decode_time_ms) {
  for (;;) {
    bool progressed = false;
    switch (qdx_state) {
      case kFindSync: progressed = StepFindSync(); break;
      case kReadCodes: progressed = StepReadCodes(); break;
      case kReadParameters: progressed = StepReadParameters(); break;
      case kReadPayload: progressed = StepReadPayload(decode_time_ms); break;
      default: EndBlock(); progressed = true; break;
    }
    if (!progressed) break;
  }
  if (qdx_fill > kCompactAbove) {
    int keep = qdx_fill - qdx_position;
    std::memmove(qdx_buffer, qdx_buffer + qdx_position, static_cast<size_t>(keep));
    qdx_fill = keep;
    qdx_position = 0;
  }
}

int InfoBlockReader::FeedInfoBlocks(const uint8_t* data, int count, int32_t decode_time_ms) {
  if (data == nullptr || count <= 0) return 0;
  while (count > 0) {
    int room = kBufferBytes - qdx_fill;
    if (room <= 0) {
      // Cannot happen after a parse (a wait leaves at most 2048 bytes or
      // compacts); kept so a broken invariant can never write past the end.
      qdx_fill = qdx_position = 0;
      room = kBufferBytes;
    }
    int take = count < room ? count : room;
    std::memcpy(qdx_buffer + qdx_fill, data, static_cast<size_t>(take));
    qdx_fill += take;
    data += take;
    count -= take;
    ParseAndCompact(decode_time_ms);
  }
  return 0;
}

void InfoBlockReader::FeedFromDecoder(const EmbeddedChannel& channel, int32_t decode_time_ms) {
  constexpr int kMaxBytes = static_cast<int>(sizeof channel.out);
  int bytes = channel.bytes;
  if (bytes <= 0) return;
  if (bytes > kMaxBytes) bytes = kMaxBytes;
  uint8_t raw[kMaxBytes];
  for (int i = 0; i < bytes; ++i) {
    uint16_t word = channel.out[i / 2];
    raw[i] = static_cast<uint8_t>((i & 1) ? (word >> 8) : word);
  }
  FeedInfoBlocks(raw, bytes, decode_time_ms);
}

}  // namespace bramble
