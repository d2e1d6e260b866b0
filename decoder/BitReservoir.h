// Layer III main-data reservoir: a ring of the frames' main data, followed
// by a mirror of its start so that reads running past the ring's end are
// plain array accesses.
#pragma once

#include <cstdint>

#include "decoder/BitStream.h"

namespace bramble {

struct BitReservoir {
  static constexpr int kRingBytes = 4096;
  // Bytes [0, 4096) are the ring, [4096, 8192) its mirror; the last 8 are
  // slack for the multi-byte readers.
  static constexpr int kBytes = 2 * kRingBytes + 8;
  // Highest bit position a granule may start or end at: leaves room for the
  // longest scalefactor read and one 8-byte peek inside the buffer.
  static constexpr int32_t kMaxReadBit = (kBytes - 8 - 64) * 8;

  int32_t write_index;
  int32_t read_pos;  // bit position
  // Main-data bytes appended before the current frame, in the coordinates
  // of the read position.
  int32_t total;
  uint8_t bytes[kBytes];

  uint8_t* ring() { return bytes; }
  uint8_t* mirror() { return bytes + kRingBytes; }

  int GetBits(int n) { return bits::Get(bytes, read_pos, n); }
  // Two bytes at the position: exact for n <= 9.
  int GetBitsFast(int n) {
    const uint8_t* p = bytes + (read_pos >> 3);
    const uint32_t w = ((uint32_t(p[0]) << 8) | p[1]) << (read_pos & 7);
    read_pos += n;
    return int((w & 0xFFFF) >> (16 - n));
  }
  int Get1Bit() { return bits::Get1(bytes, read_pos); }
};

// Appends the frame's `main_data_bytes` bytes at the body's position and
// points the read position at the frame's first main-data bit,
// `main_data_begin` bytes back; false on a reservoir shortfall.
bool FeedReservoir(BitReservoir& r, FrameBody& body, int32_t main_data_bytes, int32_t main_data_begin);

}  // namespace bramble
