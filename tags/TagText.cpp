#include "tags/TagText.h"

#include <cstring>

namespace bramble {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

void AppendUtf8(uint32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(char(c));
  } else if (c < 0x800) {
    out->push_back(char(0xC0 | c >> 6));
    out->push_back(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(char(0xE0 | c >> 12));
    out->push_back(char(0x80 | (c >> 6 & 0x3F)));
    out->push_back(char(0x80 | (c & 0x3F)));
  } else {
    out->push_back(char(0xF0 | c >> 18));
    out->push_back(char(0x80 | (c >> 12 & 0x3F)));
    out->push_back(char(0x80 | (c >> 6 & 0x3F)));
    out->push_back(char(0x80 | (c & 0x3F)));
  }
}

size_t DecodeUtf16(bool big_endian, const uint8_t* p, size_t n, std::string* out) {
  size_t at = 0;
  if (n >= 2 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF))) {
    big_endian = p[0] == 0xFE;
    at = 2;
  }
  auto unit = [&](size_t i) -> uint32_t { return big_endian ? p[i] << 8 | p[i + 1] : p[i + 1] << 8 | p[i]; };
  while (at + 2 <= n) {
    uint32_t c = unit(at);
    at += 2;
    if (c == 0) return at;
    if (c >= 0xD800 && c < 0xDC00 && at + 2 <= n && unit(at) >= 0xDC00 && unit(at) < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(at) - 0xDC00);
      at += 2;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = kReplacement;
    }
    AppendUtf8(c, out);
  }
  if (at < n) AppendUtf8(kReplacement, out);  // half a code unit
  return n;
}

}  // namespace

uint32_t NextCodePoint(const char** text, const char* end) {
  const auto* p = reinterpret_cast<const uint8_t*>(*text);
  const auto* e = reinterpret_cast<const uint8_t*>(end);
  const uint8_t b = p[0];
  int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
  uint32_t c = extra == 0 ? b : extra == 1 ? b & 0x1F : extra == 2 ? b & 0x0F : b & 0x07;
  bool ok = extra >= 0 && e - p > extra;
  for (int i = 1; ok && i <= extra; ++i) {
    ok = (p[i] & 0xC0) == 0x80;
    c = c << 6 | (p[i] & 0x3F);
  }
  static const uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (!ok || c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
    *text += 1;
    return kReplacement;
  }
  *text += 1 + extra;
  return c;
}

size_t DecodeTagString(uint8_t encoding, const uint8_t* p, size_t n, std::string* out) {
  if (p == nullptr || n == 0) return 0;
  if (encoding == uint8_t(TextEncoding::kUtf16) || encoding == uint8_t(TextEncoding::kUtf16Be))
    return DecodeUtf16(encoding == uint8_t(TextEncoding::kUtf16Be), p, n, out);
  const void* nul = std::memchr(p, 0, n);
  const size_t length = nul ? size_t(static_cast<const uint8_t*>(nul) - p) : n;
  if (encoding == uint8_t(TextEncoding::kUtf8)) {
    const char* at = reinterpret_cast<const char*>(p);
    const char* end = at + length;
    while (at < end) AppendUtf8(NextCodePoint(&at, end), out);
  } else {
    for (size_t i = 0; i < length; ++i) AppendUtf8(p[i], out);
  }
  return nul ? length + 1 : n;
}

std::string Latin1ToUtf8(const char* text) {
  std::string out;
  for (const char* c = text; c && *c; ++c) AppendUtf8(uint8_t(*c), &out);
  return out;
}

size_t RemoveUnsynchronisation(uint8_t* p, size_t n) {
  size_t w = 0;
  bool after_ff = false;
  for (size_t r = 0; r < n; ++r) {
    const uint8_t b = p[r];
    if (after_ff && b == 0) {
      after_ff = false;
      continue;
    }
    after_ff = b == 0xFF;
    p[w++] = b;
  }
  return w;
}

}  // namespace bramble
