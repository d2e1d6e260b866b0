#include "tags/TagReaders.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

#include "reader/TagSpans.h"
#include "tags/TagText.h"

namespace bramble {

namespace {

constexpr uint8_t kId3Unsynchronised = 0x80;  // tag header flags
constexpr uint8_t kId3Extended = 0x40;        // (2.2: compressed)
constexpr uint8_t kId3Footer = 0x10;
constexpr uint32_t kApeFooterBytes = 32;

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint32_t Syncsafe(const uint8_t* p) { return uint32_t(p[0] & 0x7F) << 21 | (p[1] & 0x7F) << 14 | (p[2] & 0x7F) << 7 | (p[3] & 0x7F); }

// The bytes of a tag's body in order. In a tag unsynchronised as a whole
// (2.2, 2.3) they are resynchronised as they are read, so nothing can be
// stepped over without reading it.
class Body {
 public:
  Body(TagSource& source, uint64_t at, uint64_t end, bool unsync)
      : source_(source), at_(std::min(at, end)), end_(end), unsync_(unsync) {}
  uint64_t at() const { return at_; }
  uint64_t end() const { return end_; }
  // False when fewer than `n` bytes are left.
  bool Take(uint8_t* out, size_t n) {
    if (!unsync_) {
      if (n > end_ - at_ || !source_.ReadAt(at_, out, n)) return false;
      at_ += n;
      return true;
    }
    for (size_t i = 0; i < n; ++i)
      if (!Next(out + i)) return false;
    return true;
  }
  bool Skip(uint64_t n) {
    if (!unsync_) {
      if (n > end_ - at_) return false;
      at_ += n;
      return true;
    }
    uint8_t b;
    for (uint64_t i = 0; i < n; ++i)
      if (!Next(&b)) return false;
    return true;
  }
  // Up to 4 bytes at `offset` (direct bodies only); how many there are.
  size_t Peek(uint64_t offset, uint8_t out[4]) {
    if (offset >= end_) return 0;
    const size_t n = size_t(std::min<uint64_t>(4, end_ - offset));
    return source_.ReadAt(offset, out, n) ? n : 0;
  }

 private:
  bool Next(uint8_t* b) {
    for (;;) {
      if (pos_ == len_) {
        if (at_ >= end_) return false;
        len_ = size_t(std::min<uint64_t>(sizeof chunk_, end_ - at_));
        pos_ = 0;
        if (!source_.ReadAt(at_, chunk_, len_)) {
          len_ = 0;
          at_ = end_;
          return false;
        }
        at_ += len_;
      }
      const uint8_t c = chunk_[pos_++];
      if (after_ff_ && c == 0) {
        after_ff_ = false;
        continue;
      }
      after_ff_ = c == 0xFF;
      *b = c;
      return true;
    }
  }

  TagSource& source_;
  uint64_t at_, end_;
  bool unsync_;
  bool after_ff_ = false;
  uint8_t chunk_[4096];
  size_t pos_ = 0, len_ = 0;
};

bool IsFrameId(const uint8_t* id, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (!((id[i] >= 'A' && id[i] <= 'Z') || (id[i] >= '0' && id[i] <= '9'))) return false;
  return true;
}

// The field a text frame carries; false for every other frame.
bool FrameField(int version, const uint8_t* id, TagField* field) {
  static const struct { const char* id; TagField field; } kFrames[] = {
      {"TT2", TagField::kTitle},   {"TP1", TagField::kArtist},  {"TAL", TagField::kAlbum},
      {"TYE", TagField::kYear},    {"COM", TagField::kComment}, {"TCO", TagField::kGenre},
      {"TIT2", TagField::kTitle},  {"TPE1", TagField::kArtist}, {"TALB", TagField::kAlbum},
      {"TYER", TagField::kYear},   {"TDRC", TagField::kYear},   {"COMM", TagField::kComment},
      {"TCON", TagField::kGenre}};
  const size_t n = version == 2 ? 3 : 4;
  for (const auto& f : kFrames) {
    if (std::strlen(f.id) == n && std::memcmp(f.id, id, n) == 0) {
      *field = f.field;
      return true;
    }
  }
  return false;
}

// APE keys compare in any letter case; `lower` is lower case.
bool SameKey(const char* key, const char* lower) {
  for (; *key && *lower; ++key, ++lower)
    if (std::tolower(static_cast<unsigned char>(*key)) != *lower) return false;
  return *key == *lower;
}

// A year as the first four characters of a date ("2004-05-01").
void CutYear(std::string* year) {
  if (year->size() > 4 && std::all_of(year->begin(), year->begin() + 4, [](char c) { return c > 0 && c < 0x7F; }))
    year->resize(4);
}

// The text of a frame's data (encoding byte first); false for a comment
// with a description, which is not the file's comment.
bool FrameText(TagField field, const uint8_t* p, size_t n, std::string* out) {
  if (n == 0) return false;
  const uint8_t encoding = p[0];
  ++p, --n;
  if (field == TagField::kComment) {
    if (n < 3) return false;
    p += 3, n -= 3;  // language
    std::string description;
    const size_t used = DecodeTagString(encoding, p, n, &description);
    if (!description.empty()) return false;
    p += used, n -= used;
  }
  DecodeTagString(encoding, p, n, out);
  if (field == TagField::kYear) CutYear(out);
  return true;
}

// Where a frame may end: the end of the frames, padding, or another frame.
bool IsFrameBoundary(Body& body, uint64_t offset) {
  if (offset == body.end()) return true;
  uint8_t next[4];
  const size_t n = body.Peek(offset, next);
  if (n == 0) return false;
  return next[0] == 0 || (n == 4 && IsFrameId(next, 4));
}

// A 2.4 frame size is syncsafe, but some writers store a plain number:
// the reading that lands on a frame boundary wins.
uint32_t Id3v24FrameSize(Body& body, const uint8_t* s) {
  const uint32_t plain = Be32(s);
  if ((s[0] | s[1] | s[2] | s[3]) & 0x80) return plain;
  const uint32_t safe = Syncsafe(s);
  if (safe == plain || IsFrameBoundary(body, body.at() + safe)) return safe;
  return IsFrameBoundary(body, body.at() + plain) ? plain : safe;
}

}  // namespace

bool MemoryTagSource::ReadAt(uint64_t offset, void* out, size_t n) {
  if (offset > size_ || n > size_ - offset) return false;
  if (n > 0) std::memcpy(out, data_ + size_t(offset), n);
  return true;
}

bool FileTagSource::Open(const char* path) {
  window_size_ = 0;
  if (!file_.OpenForRead(path)) return false;
  size_ = file_.Size();
  return true;
}

bool FileTagSource::ReadAt(uint64_t offset, void* out, size_t n) {
  if (offset > size_ || n > size_ - offset || n > size_t(INT_MAX)) return false;
  if (n > sizeof window_) return file_.SeekTo(offset) && file_.Read(out, int(n)) == int(n);
  if (offset < window_at_ || offset + n > window_at_ + window_size_) {
    // Near the end the window ends at the end: ID3v1, APE footer and items at once.
    const uint64_t at = std::min<uint64_t>(offset, size_ > sizeof window_ ? size_ - sizeof window_ : 0);
    const size_t want = size_t(std::min<uint64_t>(sizeof window_, size_ - at));
    window_size_ = 0;
    if (!file_.SeekTo(at) || file_.Read(window_, int(want)) != int(want)) return false;
    window_at_ = at;
    window_size_ = want;
  }
  if (n > 0) std::memcpy(out, window_ + (offset - window_at_), n);
  return true;
}

int ReadId3v2Tag(TagSource& source, TagTexts* texts) {
  uint8_t h[kId3v2HeaderBytes];
  if (!source.ReadAt(0, h, sizeof h)) return 0;
  const uint32_t total = Id3v2TagSize(h, sizeof h);
  if (total == 0) return 0;
  const int version = h[3];
  const uint8_t flags = h[5];
  if (version == 2 && (flags & kId3Extended)) return version;  // compressed as a whole
  const uint32_t footer = version == 4 && (flags & kId3Footer) ? kId3v2HeaderBytes : 0;
  Body body(source, kId3v2HeaderBytes, std::min<uint64_t>(source.Size(), total - footer),
            version < 4 && (flags & kId3Unsynchronised));
  if (version > 2 && (flags & kId3Extended)) {
    uint8_t e[4];
    if (!body.Take(e, 4)) return version;
    // 2.3 counts the bytes after the size, 2.4 the whole extended header.
    const uint32_t size = version == 3 ? Be32(e) : Syncsafe(e);
    if ((version == 4 && size < 6) || !body.Skip(version == 3 ? size : size - 4)) return version;
  }
  const size_t header = version == 2 ? 6 : 10;
  const bool frames_unsync = version == 4 && (flags & kId3Unsynchronised);
  uint8_t f[10];
  while (body.Take(f, header) && IsFrameId(f, header == 6 ? 3 : 4)) {
    const uint32_t size = version == 2   ? uint32_t(f[3]) << 16 | f[4] << 8 | f[5]
                          : version == 3 ? Be32(f + 4)
                                         : Id3v24FrameSize(body, f + 4);
    const uint8_t format = version == 2 ? 0 : f[9];
    // Compressed or encrypted frames are not read.
    const bool unreadable = version == 3 ? (format & 0xC0) != 0 : (format & 0x0C) != 0;
    TagField field;
    if (!FrameField(version, f, &field) || unreadable || !(*texts)[field].empty()) {
      if (!body.Skip(size)) break;
      continue;
    }
    // Exactly the bytes read, so that a sanitizer sees any read past them.
    std::vector<uint8_t> data(std::min<size_t>(size, kMaxTextBytes));
    const size_t n = data.size();
    if (!body.Take(data.data(), n) || !body.Skip(size - n)) break;
    // Group byte (2.3, 2.4), then 2.4's data length.
    size_t skip = version == 3 ? ((format & 0x20) ? 1 : 0) : ((format & 0x40) ? 1 : 0) + ((format & 0x01) ? 4 : 0);
    if (skip > n) continue;
    size_t length = n - skip;
    if (version == 4 && ((format & 0x02) || frames_unsync)) length = RemoveUnsynchronisation(data.data() + skip, length);
    std::string text;
    if (FrameText(field, data.data() + skip, length, &text)) (*texts)[field] = text;
  }
  return version;
}

bool ReadApeTag(TagSource& source, uint64_t end, TagTexts* texts) {
  static const struct { const char* key; TagField field; } kItems[] = {
      {"title", TagField::kTitle}, {"artist", TagField::kArtist},   {"album", TagField::kAlbum},
      {"year", TagField::kYear},   {"comment", TagField::kComment}, {"genre", TagField::kGenre}};
  uint8_t footer[kApeFooterBytes];
  if (end < kApeFooterBytes || end > source.Size() || !source.ReadAt(end - kApeFooterBytes, footer, sizeof footer) ||
      std::memcmp(footer, "APETAGEX", 8) != 0)
    return false;
  // The size counts the items and the footer, not the optional header.
  const uint32_t size = Le32(footer + 12), count = Le32(footer + 16);
  if (size < kApeFooterBytes || size > end) return false;
  const uint64_t items_end = end - kApeFooterBytes;
  uint64_t at = end - size;
  for (uint32_t i = 0; i < count && items_end - at > 8; ++i) {
    uint8_t head[8];
    char key[256];
    const size_t key_room = size_t(std::min<uint64_t>(sizeof key, items_end - at - 8));
    if (!source.ReadAt(at, head, sizeof head) || !source.ReadAt(at + 8, key, key_room)) break;
    const char* nul = static_cast<const char*>(std::memchr(key, 0, key_room));
    if (nul == nullptr) break;
    const uint64_t value_at = at + 8 + uint64_t(nul - key) + 1;
    const uint32_t value_size = Le32(head), item_flags = Le32(head + 4);
    if (value_size > items_end - value_at) break;
    const bool is_text = ((item_flags >> 1) & 3) == 0;
    for (const auto& item : kItems) {
      std::string& text = (*texts)[item.field];
      if (!is_text || !text.empty() || !SameKey(key, item.key)) continue;
      std::vector<uint8_t> value(std::min<size_t>(value_size, kMaxTextBytes));
      if (source.ReadAt(value_at, value.data(), value.size()))
        DecodeTagString(uint8_t(TextEncoding::kUtf8), value.data(), value.size(), &text);
      if (item.field == TagField::kYear) CutYear(&text);
    }
    at = value_at + value_size;
  }
  return true;
}

}  // namespace bramble
