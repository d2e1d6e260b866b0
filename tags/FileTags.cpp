#include "tags/FileTags.h"

#include <cctype>
#include <cstring>

#include "tags/TagFile.h"
#include "tags/TagText.h"
#include "tags/Title.h"

namespace bramble {

namespace {

constexpr int kTextWidth = 30, kYearWidth = 4;
constexpr int kTrackCommentWidth = 28;  // the comment beside a track number

char* Id3v1Field(Id3v1Tag& tag, TagField field) {
  switch (field) {
    case TagField::kTitle: return tag.Title();
    case TagField::kArtist: return tag.Artist();
    case TagField::kAlbum: return tag.Album();
    case TagField::kYear: return tag.Year();
    default: return tag.Comment();
  }
}

const std::string& OtherValue(const FileTags& tags, TagField field) {
  return tags.id3v2[field].empty() ? tags.ape[field] : tags.id3v2[field];
}

// True when `v1` is what a tagger writes for `full` in `width` characters:
// the same characters where they are ASCII, any 8-bit byte or '?' where
// `full` has a character beyond ASCII.
bool IsCutOf(const char* v1, const std::string& full, int width) {
  uint32_t cut[kTextWidth];
  int n = 0;
  for (const char *p = full.data(), *end = p + full.size(); p < end && n < width;) cut[n++] = NextCodePoint(&p, end);
  while (n > 0 && cut[n - 1] == ' ') --n;
  if (std::strlen(v1) != size_t(n)) return false;
  for (int i = 0; i < n; ++i) {
    const uint8_t b = uint8_t(v1[i]);
    if (cut[i] < 0x80 ? b != cut[i] : (b < 0x80 && b != '?')) return false;
  }
  return true;
}

bool IsCutOfEither(const FileTags& tags, TagField field, const char* v1) {
  const int width = field == TagField::kYear ? kYearWidth : kTextWidth;
  for (const std::string* full : {&tags.id3v2[field], &tags.ape[field]}) {
    if (full->empty()) continue;
    if (IsCutOf(v1, *full, width)) return true;
    if (field == TagField::kComment && IsCutOf(v1, *full, kTrackCommentWidth)) return true;
  }
  return false;
}

std::string TrimmedCopy(const std::string& text) {
  const size_t keep = text.find_last_not_of(' ');
  return keep == std::string::npos ? std::string() : text.substr(0, keep + 1);
}

bool SameNameIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  return *a == *b;
}

// 0..254 from 1 to 3 decimal digits; -1 otherwise (255 is ID3v1's "none").
int GenreNumber(const std::string& digits) {
  if (digits.empty() || digits.size() > 3) return -1;
  int v = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v < 255 ? v : -1;
}

}  // namespace

void ReadTags(TagSource& source, FileTags* tags) {
  *tags = FileTags();
  tags->id3v2_version = ReadId3v2Tag(source, &tags->id3v2);
  const uint64_t size = source.Size();
  uint8_t tail[Id3v1Tag::kFileBytes];
  if (size >= sizeof tail && source.ReadAt(size - sizeof tail, tail, sizeof tail))
    tags->has_id3v1 = tags->id3v1.FromFileBytes(tail);
  tags->has_ape = ReadApeTag(source, size - (tags->has_id3v1 ? sizeof tail : 0), &tags->ape);
}

bool ReadFileTags(const char* path, FileTags* tags) {
  FileTagSource file;
  if (!file.Open(path)) {
    *tags = FileTags();
    return false;
  }
  ReadTags(file, tags);
  return true;
}

ShownText ShownField(const FileTags& tags, TagField field) {
  Id3v1Tag v1;
  v1.CopyFrom(tags.id3v1);
  const char* mine = TrimTrailingSpaces(Id3v1Field(v1, field));
  if (*mine != '\0' && !IsCutOfEither(tags, field, mine)) return {mine, false};
  const std::string& other = OtherValue(tags, field);
  if (other.empty()) return {mine, false};
  return {TrimmedCopy(other), true};
}

ShownGenre ParseGenreText(const std::string& text) {
  ShownGenre g;
  std::string rest = text;
  // 2.3's "(17)" reference, perhaps followed by a refinement.
  const size_t close = text.find(')');
  if (text.size() > 2 && text[0] == '(' && text[1] != '(' && close != std::string::npos) {
    g.number = GenreNumber(text.substr(1, close - 1));
    if (g.number >= 0) rest = text.substr(close + 1);
  }
  if (rest.compare(0, 2, "((") == 0) rest.erase(0, 1);
  if (g.number < 0) {
    g.number = GenreNumber(rest);
    if (g.number >= 0) rest.clear();
  }
  for (unsigned i = 0; g.number < 0 && GenreName(i) != nullptr; ++i)
    if (SameNameIgnoringCase(rest.c_str(), GenreName(i))) g.number = int(i);
  g.name = rest;
  if (g.name.empty() && g.number >= 0 && GenreName(unsigned(g.number))) g.name = GenreName(unsigned(g.number));
  return g;
}

ShownGenre ShownGenreOf(const FileTags& tags) {
  if (tags.has_id3v1 && tags.id3v1.GenreByte() != Id3v1Tag::kNoGenre) {
    const char* name = GenreName(tags.id3v1.GenreByte());
    return {tags.id3v1.Genre(), name ? name : ""};
  }
  ShownGenre g = ParseGenreText(TrimmedCopy(tags.id3v2[TagField::kGenre]));
  if (g.number < 0 && g.name.empty()) g = ParseGenreText(TrimmedCopy(tags.ape[TagField::kGenre]));
  return g;
}

std::string TagNames(const FileTags& tags) {
  std::string names;
  if (tags.id3v2_version) names += "id3v2." + std::to_string(tags.id3v2_version) + " ";
  if (tags.has_ape) names += "apev2 ";
  if (tags.has_id3v1) names += "id3v1 ";
  if (!names.empty()) names.pop_back();
  return names;
}

bool FillFromOtherTags(const FileTags& tags, Id3v1Tag* record) {
  static const struct { TagField field; int (Id3v1Tag::*set)(const char*); } kSetters[] = {
      {TagField::kTitle, &Id3v1Tag::SetTitle},     {TagField::kArtist, &Id3v1Tag::SetArtist},
      {TagField::kAlbum, &Id3v1Tag::SetAlbum},     {TagField::kYear, &Id3v1Tag::SetYear},
      {TagField::kComment, &Id3v1Tag::SetComment}};
  bool any = false;
  for (const auto& s : kSetters) {
    const std::string& value = OtherValue(tags, s.field);
    if (value.empty()) continue;
    (record->*s.set)(HostText(value).c_str());
    any = true;
  }
  FileTags others = tags;
  others.has_id3v1 = false;
  const ShownGenre genre = ShownGenreOf(others);
  if (genre.number >= 0) {
    record->SetGenre(uint8_t(genre.number));
    any = true;
  }
  return any;
}

}  // namespace bramble
