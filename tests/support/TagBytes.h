// ID3v2 and APEv2 tags laid out byte by byte as writers lay them out.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/TestFiles.h"

namespace bramble {
namespace test {

using Bytes = std::vector<uint8_t>;

inline Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

// `n` bytes big-endian, seven bits a byte when syncsafe.
inline Bytes Be(size_t v, int n, bool syncsafe = false) {
  Bytes b(static_cast<size_t>(n));
  for (int i = n - 1; i >= 0; --i, v >>= syncsafe ? 7 : 8) b[size_t(i)] = uint8_t(v & (syncsafe ? 0x7F : 0xFF));
  return b;
}
inline Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

// UTF-16 with a byte-order mark.
inline Bytes Utf16(const std::u16string& s, bool big_endian) {
  Bytes b = big_endian ? Bytes{0xFE, 0xFF} : Bytes{0xFF, 0xFE};
  for (char16_t c : s) b = b + (big_endian ? Bytes{uint8_t(c >> 8), uint8_t(c)} : Bytes{uint8_t(c), uint8_t(c >> 8)});
  return b;
}

// $FF followed by %111xxxxx or $00 gets a $00 between them.
inline Bytes Unsync(const Bytes& in) {
  Bytes out;
  for (size_t i = 0; i < in.size(); ++i) {
    out.push_back(in[i]);
    if (in[i] == 0xFF && (i + 1 == in.size() || in[i + 1] >= 0xE0 || in[i + 1] == 0)) out.push_back(0);
  }
  return out;
}

// A frame of ID3v2.`version`; 2.4 sizes syncsafe unless `plain_size`.
inline Bytes Id3Frame(int version, const std::string& id, const Bytes& data, uint8_t format = 0, bool plain_size = false) {
  const Bytes size = version == 2 ? Be(data.size(), 3) : Be(data.size(), 4, version == 4 && !plain_size);
  return Str(id) + size + (version == 2 ? Bytes{} : Bytes{0, format}) + data;
}
// An ID3v2 header with its four size bytes as given, and a whole tag.
inline Bytes Id3Header(int version, uint8_t flags, const Bytes& size) {
  return Str("ID3") + Bytes{uint8_t(version), 0, flags} + size;
}
inline Bytes Id3Tag(int version, uint8_t flags, const Bytes& body) {
  return Id3Header(version, flags, Be(body.size(), 4, true)) + body;
}

// The 128 bytes of an ID3v1 tag; `pad` fills what the texts leave.
inline Bytes Id3v1Bytes(const std::string& title, const std::string& artist, const std::string& album,
                        const std::string& year, const std::string& comment, uint8_t genre, char pad = 0) {
  const std::pair<std::string, size_t> fields[] = {{title, 30}, {artist, 30}, {album, 30}, {year, 4}, {comment, 30}};
  Bytes t = Str("TAG");
  for (const auto& f : fields) t = t + Str((f.first + std::string(30, pad)).substr(0, f.second));
  t.push_back(genre);
  return t;
}

inline Bytes ApeItem(const std::string& key, const Bytes& value, uint32_t flags = 0) {
  return Le32(uint32_t(value.size())) + Le32(flags) + Str(key) + Bytes{0} + value;
}
// Footer, and header first when `header`.
inline Bytes ApeTag(const std::vector<Bytes>& items, bool header) {
  Bytes body;
  for (const Bytes& i : items) body = body + i;
  auto frame = [&](uint32_t flags) {
    return Str("APETAGEX") + Le32(2000) + Le32(uint32_t(body.size() + 32)) + Le32(uint32_t(items.size())) + Le32(flags) +
           Bytes(8, 0);
  };
  return (header ? frame(0xA0000000u) : Bytes{}) + body + frame(header ? 0x80000000u : 0);
}

}  // namespace test
}  // namespace bramble
