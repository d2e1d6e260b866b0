#include "reader/TagSpans.h"

#include <cstring>

namespace bramble {

namespace {
constexpr uint32_t kId3v1Bytes = 128;
constexpr uint32_t kApeFooterBytes = 32;
constexpr uint32_t kApeHasHeader = 0x80000000u;

uint32_t Le32(const uint8_t* p) { return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
}  // namespace

uint32_t Id3v2TagSize(const uint8_t* d, size_t size) {
  if (!d || size < size_t(kId3v2HeaderBytes) || std::memcmp(d, "ID3", 3) != 0) return 0;
  const int major = d[3], revision = d[4], flags = d[5];
  if (major < 2 || major > 4 || revision == 0xFF) return 0;
  // The body size is syncsafe: seven bits per byte.
  if ((d[6] | d[7] | d[8] | d[9]) & 0x80) return 0;
  const uint32_t body = uint32_t(d[6]) << 21 | uint32_t(d[7]) << 14 | uint32_t(d[8]) << 7 | d[9];
  const bool footer = major == 4 && (flags & 0x10);
  return kId3v2HeaderBytes + body + (footer ? kId3v2HeaderBytes : 0);
}

uint32_t TrailingTagSize(const uint8_t* tail, size_t size, uint32_t limit) {
  if (!tail) return 0;
  uint32_t n = 0;
  if (size >= kId3v1Bytes && limit >= kId3v1Bytes && std::memcmp(tail + size - kId3v1Bytes, "TAG", 3) == 0)
    n = kId3v1Bytes;
  if (size >= n + kApeFooterBytes) {
    const uint8_t* footer = tail + size - n - kApeFooterBytes;
    if (std::memcmp(footer, "APETAGEX", 8) == 0) {
      // The stored size counts items and footer; an optional header precedes them.
      const uint32_t body = Le32(footer + 12);
      const uint64_t total = uint64_t(body) + ((Le32(footer + 20) & kApeHasHeader) ? kApeFooterBytes : 0);
      if (body >= kApeFooterBytes && uint64_t(n) + total <= limit) n += uint32_t(total);
    }
  }
  return n;
}

}  // namespace bramble
