// Bit reading, most significant bit first; positions are bit counts from
// the start of the buffer. Every buffer read here carries 8 bytes of slack
// past its last byte, so the multi-byte reads need no bounds tests.
#pragma once

#include <cstdint>

namespace bramble {

namespace bits {
// Big-endian 32-bit window at byte `p`.
inline uint32_t Load32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
// n in 1..25 bits at bit position `pos`.
inline int Peek(const uint8_t* buf, int32_t pos, int n) {
  return int((Load32(buf + (pos >> 3)) << (pos & 7)) >> (32 - n));
}
// n in 0..25 bits; advances `pos`.
inline int Get(const uint8_t* buf, int32_t& pos, int n) {
  if (n == 0) return 0;
  const int v = Peek(buf, pos, n);
  pos += n;
  return v;
}
inline int Get1(const uint8_t* buf, int32_t& pos) {
  const int v = (buf[pos >> 3] >> (7 - (pos & 7))) & 1;
  pos += 1;
  return v;
}
}  // namespace bits

// The current frame without its 4 header bytes, and the read position in it.
struct FrameBody {
  // Larger than any frame: a corrupt Layer I/II frame can ask for up to
  // about 5000 bytes of codes, and the readers do not check.
  static constexpr int kStoreBytes = 8192 + 8;
  uint8_t bytes[kStoreBytes];
  int32_t bit_pos;

  int GetBits(int n) { return bits::Get(bytes, bit_pos, n); }
  int Get1Bit() { return bits::Get1(bytes, bit_pos); }
};

}  // namespace bramble
