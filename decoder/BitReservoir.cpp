// Layer III main-data reservoir: appends each frame's main data to the ring
// and points the read position at the frame's first main-data bit,
// main_data_begin bytes back.
#include <algorithm>
#include <cstring>

#include "decoder/BitReservoir.h"

namespace bramble {

namespace {

constexpr int kRing = BitReservoir::kRingBytes;

// Copies n bytes starting at bit `bit` of `src` into the ring at `at`,
// wrapping at the ring's end.
void AppendToRing(uint8_t* ring, int at, const uint8_t* src, int32_t bit, int n) {
  const uint8_t* p = src + (bit >> 3);
  const int shift = bit & 7;
  if (shift == 0) {
    const int first = std::min(n, kRing - at);
    std::memcpy(ring + at, p, size_t(first));
    std::memcpy(ring, p + first, size_t(n - first));
    return;
  }
  for (int k = 0; k < n; ++k) {
    const uint32_t w = ((uint32_t(p[k]) << 8) | p[k + 1]) << shift;
    ring[(at + k) & (kRing - 1)] = uint8_t(w >> 8);
  }
}

}  // namespace

bool FeedReservoir(BitReservoir& r, FrameBody& body, int32_t main_data_bytes, int32_t main_data_begin) {
  // Every position this stage hands on stays where a granule can be read
  // inside the buffer, whatever the stream says.
  r.read_pos = std::clamp(r.read_pos, int32_t(0), BitReservoir::kMaxReadBit);

  const int32_t body_room = FrameBody::kStoreBytes - 2 - (body.bit_pos >> 3);
  const int n = std::clamp(main_data_bytes, int32_t(0), std::min(int32_t(kRing), body_room));
  AppendToRing(r.ring(), r.write_index & (kRing - 1), body.bytes, body.bit_pos, n);
  body.bit_pos += 8 * n;
  const int32_t written = r.write_index + n;

  r.read_pos = (r.read_pos + 7) & ~7;
  const int32_t rb = r.read_pos >> 3;
  const int32_t available = r.total - main_data_begin - rb;
  if (rb > kRing) {
    r.total -= kRing;
    r.read_pos -= 8 * kRing;
  }
  r.total += n;
  r.write_index = written & (kRing - 1);

  // Reads that run past the ring's end continue in the mirror with the
  // bytes that follow them in the stream.
  if ((r.read_pos >> 3) >= r.write_index && r.write_index > 4)
    std::memcpy(r.mirror() + 4, r.ring() + 4, size_t(r.write_index - 4));
  std::memcpy(r.mirror(), r.ring(), 4);

  if (available < 0) return false;
  const int64_t start = int64_t(r.read_pos) + 8 * int64_t(available);
  if (start > BitReservoir::kMaxReadBit) return false;
  r.read_pos = int32_t(start);
  return true;
}

}  // namespace bramble
