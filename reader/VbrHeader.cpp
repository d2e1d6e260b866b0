#include "reader/VbrHeader.h"

#include <cstring>

#include "decoder/FrameHeader.h"

namespace bramble {

namespace {
constexpr uint32_t kXingFrames = 1, kXingBytes = 2, kXingToc = 4, kXingQuality = 8;
constexpr size_t kVbriOffset = 4 + 32;
constexpr size_t kVbriFixedBytes = 26;
constexpr size_t kLameTagBytes = 24;  // encoder name up to the delay and padding

uint32_t Be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// Delay and padding, 12 bits each, 21 bytes into the tag; only encoders
// known to write this tag are believed.
void ParseLameTag(const uint8_t* f, size_t size, size_t at, VbrHeader* out) {
  if (at > size || size - at < kLameTagBytes) return;
  const uint8_t* tag = f + at;
  if (std::memcmp(tag, "LAME", 4) != 0 && std::memcmp(tag, "Lavc", 4) != 0 && std::memcmp(tag, "Lavf", 4) != 0)
    return;
  const uint32_t v = uint32_t(tag[21]) << 16 | uint32_t(tag[22]) << 8 | tag[23];
  out->encoder_delay = int(v >> 12);
  out->encoder_padding = int(v & 0xFFF);
}

bool ParseXing(const uint8_t* f, size_t size, size_t at, VbrHeader* out) {
  if (at > size || size - at < 8) return false;
  if (std::memcmp(f + at, "Xing", 4) == 0) {
    out->kind = VbrHeader::kXing;
  } else if (std::memcmp(f + at, "Info", 4) == 0) {
    out->kind = VbrHeader::kInfo;
  } else {
    return false;
  }
  const uint32_t flags = Be32(f + at + 4);
  size_t p = at + 8;
  // A field that the frame cannot hold ends the reading; the frame is a
  // header frame all the same.
  auto take = [&](size_t n) { return size - p >= n; };
  if (flags & kXingFrames) {
    if (!take(4)) return true;
    out->frames = Be32(f + p);
    p += 4;
  }
  if (flags & kXingBytes) {
    if (!take(4)) return true;
    out->bytes = Be32(f + p);
    p += 4;
  }
  if (flags & kXingToc) {
    if (!take(VbrHeader::kTocEntries)) return true;
    std::memcpy(out->toc, f + p, VbrHeader::kTocEntries);
    out->has_toc = true;
    p += VbrHeader::kTocEntries;
  }
  if (flags & kXingQuality) {
    if (!take(4)) return true;
    p += 4;
  }
  ParseLameTag(f, size, p, out);
  return true;
}

bool ParseVbri(const uint8_t* f, size_t size, VbrHeader* out) {
  if (size < kVbriOffset + kVbriFixedBytes || std::memcmp(f + kVbriOffset, "VBRI", 4) != 0) return false;
  const uint8_t* v = f + kVbriOffset;
  out->kind = VbrHeader::kVbri;
  out->bytes = Be32(v + 10);
  out->frames = Be32(v + 14);
  const uint32_t entries = Be16(v + 18), scale = Be16(v + 20), entry_bytes = Be16(v + 22);
  const uint32_t frames_per_entry = Be16(v + 24);
  const size_t table_at = kVbriOffset + kVbriFixedBytes;
  // A table that does not fit the frame, or ours, is not used.
  if (entries == 0 || entries > uint32_t(VbrHeader::kMaxVbriEntries) || entry_bytes < 1 || entry_bytes > 4 ||
      frames_per_entry == 0 || (size - table_at) / entry_bytes < entries)
    return true;
  for (uint32_t i = 0; i < entries; ++i) {
    uint64_t value = 0;
    for (uint32_t b = 0; b < entry_bytes; ++b) value = value << 8 | f[table_at + i * entry_bytes + b];
    value *= scale;
    out->vbri_sizes[i] = value > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(value);
  }
  out->vbri_entries = int(entries);
  out->vbri_frames_per_entry = int(frames_per_entry);
  return true;
}
}  // namespace

bool ParseVbrHeader(const uint8_t* f, size_t size, VbrHeader* out) {
  *out = VbrHeader();
  FrameHeader h;
  if (!f || size < 4 || !ParseFrameHeader(f, &h) || h.layer != 3) return false;
  const size_t at = 4 + size_t(h.side_info_bytes);
  if (ParseXing(f, size, at, out)) return true;
  // Some encoders count a CRC word before the side information.
  if (!h.protection_bit && ParseXing(f, size, at + 2, out)) return true;
  if (ParseVbri(f, size, out)) return true;
  *out = VbrHeader();
  return false;
}

uint32_t VbrSeekOffset(const VbrHeader& h, double fraction, uint32_t audio_bytes) {
  if (!(fraction > 0.0)) fraction = 0.0;
  if (fraction > 1.0) fraction = 1.0;
  const double total = (h.bytes > 0 && (audio_bytes == 0 || h.bytes <= audio_bytes)) ? h.bytes : audio_bytes;
  double at = fraction * total;
  if (h.kind != VbrHeader::kVbri && h.has_toc) {
    const double percent = fraction * 100.0;
    const int i = percent >= 99.0 ? 99 : int(percent);
    const double a = h.toc[i], b = i < 99 ? h.toc[i + 1] : 256.0;
    at = (a + (b - a) * (percent - i)) / 256.0 * total;
  } else if (h.kind == VbrHeader::kVbri && h.vbri_entries > 0 && h.frames > 0) {
    const double frame = fraction * h.frames;
    const double per = h.vbri_frames_per_entry;
    at = 0.0;
    for (int i = 0; i < h.vbri_entries; ++i) {
      const double first = i * per;
      if (frame < first + per) {
        at += (frame - first) / per * h.vbri_sizes[i];
        break;
      }
      at += h.vbri_sizes[i];
    }
    if (total > 0.0 && at > total) at = total;
  }
  if (!(at > 0.0)) return 0;
  return at >= 4294967295.0 ? 0xFFFFFFFFu : uint32_t(at);
}

}  // namespace bramble
