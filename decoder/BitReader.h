// Bit readers of MpegDecoder: most significant bit first, positions in bits
// from the start of their buffer. Included by MpegDecoder.h.
#pragma once

namespace bramble {

namespace bits {
// Big-endian 32-bit window at byte `p`; the buffers carry 8 bytes of slack.
inline uint32_t Load32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
// n in 1..25 bits at bit position `pos`.
inline int Peek(const uint8_t* buf, int32_t pos, int n) {
  return int((Load32(buf + (pos >> 3)) << (pos & 7)) >> (32 - n));
}
}  // namespace bits

inline int MpegDecoder::GetBits(int n) {
  if (n == 0) return 0;
  int v = bits::Peek(frame_body, frame_bit_pos, n);
  frame_bit_pos += n;
  return v;
}

inline int MpegDecoder::Get1Bit() {
  int v = (frame_body[frame_bit_pos >> 3] >> (7 - (frame_bit_pos & 7))) & 1;
  frame_bit_pos += 1;
  return v;
}

inline int MpegDecoder::ResGetBits(int n) {
  if (n == 0) return 0;
  int v = bits::Peek(reservoir.bytes, reservoir.read_pos, n);
  reservoir.read_pos += n;
  return v;
}

inline int MpegDecoder::ResGetBitsFast(int n) {
  const uint8_t* p = reservoir.bytes + (reservoir.read_pos >> 3);
  uint32_t w = ((uint32_t(p[0]) << 8) | p[1]) << (reservoir.read_pos & 7);
  reservoir.read_pos += n;
  return int((w & 0xFFFF) >> (16 - n));
}

inline int MpegDecoder::ResGet1Bit() {
  int v = (reservoir.bytes[reservoir.read_pos >> 3] >> (7 - (reservoir.read_pos & 7))) & 1;
  reservoir.read_pos += 1;
  return v;
}

}  // namespace bramble
