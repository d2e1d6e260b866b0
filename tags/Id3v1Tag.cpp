#include "tags/Id3v1Tag.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "tags/TagFile.h"

namespace bramble {

static_assert(sizeof(Id3v1Tag) == 134, "the record is shared byte for byte with the dialog code");

namespace {

// On-disk offsets and widths.
constexpr int kIdOffset = 0;
constexpr int kTitleOffset = 3;
constexpr int kArtistOffset = 33;
constexpr int kAlbumOffset = 63;
constexpr int kYearOffset = 93;
constexpr int kCommentOffset = 97;
constexpr int kGenreOffset = 127;
constexpr int kTextWidth = 30;
constexpr int kYearWidth = 4;

TagMessageHook g_message_hook = nullptr;
Id3v1Tag* g_pending_tag = nullptr;
std::string g_pending_path;

// Zeroes the field, then copies at most `width` characters of `text`.
void SetField(char* field, int width, const char* text) {
  std::memset(field, 0, static_cast<size_t>(width) + 1);
  if (text == nullptr) return;
  for (int i = 0; i < width && text[i] != '\0'; ++i) field[i] = text[i];
}

void CopyCString(char* field, int width, const char* text) {
  SetField(field, width, text);
}

void ReportWriteFailure(long error) {
  if (g_message_hook == nullptr) return;
  char text[128];
  std::snprintf(text, sizeof text, "Can't write ID3 into MP3.\n This may be the file is read only.\n%ld",
                error);
  g_message_hook(text);
}

// Shared by WriteToFile without content and RemoveFromFile.
int CutTag(const char* path) {
  Id3v1Tag current;
  if (!current.ReadFromFile(path)) return 0;
  TagFile file;
  if (!file.OpenForWrite(path)) return 0;
  if (!file.SeekFromEnd(Id3v1Tag::kFileBytes)) return 0;
  return file.Truncate() ? 1 : 0;
}

const char* const kGenreNames[kGenreCount] = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop",
    "Jazz", "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap",
    "Reggae", "Rock", "Techno", "Industrial", "Alternative", "Ska", "Death Metal", "Pranks",
    "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance",
    "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise",
    "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop",
    "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic",
    "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40",
    "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave",
    "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz",
    "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",
    // 80..114
    "Folk", "Folk/Rock", "National Folk", "Swing", "Bebob", "Latin", "Revival", "Celtic",
    "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock",
    "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour",
    "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus",
    "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore"};

}  // namespace

void Id3v1Tag::Clear() {
  std::memset(this, 0, sizeof *this);
  std::memcpy(identifier_, "TAG", 4);
  genre_ = kNoGenre;
}

void Id3v1Tag::CopyFrom(const Id3v1Tag& other) {
  if (&other == this) return;
  Clear();
  CopyCString(title_, kTextWidth, other.title_);
  CopyCString(artist_, kTextWidth, other.artist_);
  CopyCString(album_, kTextWidth, other.album_);
  CopyCString(year_, kYearWidth, other.year_);
  CopyCString(comment_, kTextWidth, other.comment_);
  genre_ = other.genre_;
}

int Id3v1Tag::SetTitle(const char* text) { SetField(title_, kTextWidth, text); return 1; }
int Id3v1Tag::SetArtist(const char* text) { SetField(artist_, kTextWidth, text); return 1; }
int Id3v1Tag::SetAlbum(const char* text) { SetField(album_, kTextWidth, text); return 1; }
int Id3v1Tag::SetYear(const char* text) { SetField(year_, kYearWidth, text); return 1; }
int Id3v1Tag::SetComment(const char* text) { SetField(comment_, kTextWidth, text); return 1; }
int Id3v1Tag::SetGenre(uint8_t genre) { genre_ = genre; return 1; }

bool Id3v1Tag::HasContent() const {
  return title_[0] != '\0' || artist_[0] != '\0' || album_[0] != '\0' || year_[0] != '\0' ||
         comment_[0] != '\0' || genre_ != kNoGenre;
}

void Id3v1Tag::ToFileBytes(uint8_t out[kFileBytes]) const {
  std::memcpy(out + kIdOffset, identifier_, 3);
  std::memcpy(out + kTitleOffset, title_, kTextWidth);
  std::memcpy(out + kArtistOffset, artist_, kTextWidth);
  std::memcpy(out + kAlbumOffset, album_, kTextWidth);
  std::memcpy(out + kYearOffset, year_, kYearWidth);
  std::memcpy(out + kCommentOffset, comment_, kTextWidth);
  out[kGenreOffset] = genre_;
}

bool Id3v1Tag::FromFileBytes(const uint8_t in[kFileBytes]) {
  if (std::memcmp(in + kIdOffset, "TAG", 3) != 0) return false;
  std::memset(this, 0, sizeof *this);
  std::memcpy(identifier_, in + kIdOffset, 3);
  // Fields are taken whole (no trimming); the zeroed last byte keeps each
  // one a C string.
  std::memcpy(title_, in + kTitleOffset, kTextWidth);
  std::memcpy(artist_, in + kArtistOffset, kTextWidth);
  std::memcpy(album_, in + kAlbumOffset, kTextWidth);
  std::memcpy(year_, in + kYearOffset, kYearWidth);
  std::memcpy(comment_, in + kCommentOffset, kTextWidth);
  genre_ = in[kGenreOffset];
  return true;
}

int Id3v1Tag::ReadFromFile(const char* path) {
  TagFile file;
  if (!file.OpenForRead(path)) return 0;
  uint8_t bytes[kFileBytes];
  int got = file.SeekFromEnd(kFileBytes) ? file.Read(bytes, kFileBytes) : 0;
  file.Close();
  if (got == kFileBytes && FromFileBytes(bytes)) return 1;
  Clear();
  return 0;
}

int Id3v1Tag::WriteToFile(const char* path) const {
  if (!HasContent()) return CutTag(path);
  Id3v1Tag current;
  bool had_tag = current.ReadFromFile(path) == 1;
  TagFile file;
  if (!file.OpenForWrite(path)) {
    ReportWriteFailure(file.LastError());
    return 0;
  }
  if (!(had_tag ? file.SeekFromEnd(kFileBytes) : file.SeekToEnd())) return 0;
  uint8_t bytes[kFileBytes];
  ToFileBytes(bytes);
  return file.Write(bytes, kFileBytes) == kFileBytes ? 1 : 0;
}

int RemoveFromFile(const char* path) { return CutTag(path); }

const char* GenreName(unsigned index) {
  return index < static_cast<unsigned>(kGenreCount) ? kGenreNames[index] : nullptr;
}

Id3v1Tag* PendingTag() { return g_pending_tag; }

const char* PendingTagPath() { return g_pending_path.c_str(); }

Id3v1Tag* CreatePendingTag(const char* path) {
  const std::string owner = path ? path : "";
  if (g_pending_tag && g_pending_path != owner) FlushPendingTag();
  if (g_pending_tag == nullptr) {
    g_pending_tag = new Id3v1Tag();
    g_pending_path = owner;
  }
  return g_pending_tag;
}

void FlushPendingTag() {
  Id3v1Tag* tag = g_pending_tag;
  if (tag == nullptr) return;
  g_pending_tag = nullptr;
  // Only ever into the file the edit was made for.
  const std::string path = std::move(g_pending_path);
  g_pending_path.clear();
  tag->WriteToFile(path.c_str());
  delete tag;
}

void SetTagMessageHook(TagMessageHook hook) { g_message_hook = hook; }

}  // namespace bramble
