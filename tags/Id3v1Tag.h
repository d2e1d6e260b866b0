// ID3v1 tag: the last 128 bytes of an MP3 file, and the in-memory record
// with NUL-terminated fields that the title builder and the information
// dialog share.
#pragma once

#include <cstdint>

namespace bramble {

class Id3v1Tag {
 public:
  static constexpr int kFileBytes = 128;
  static constexpr uint8_t kNoGenre = 255;

  Id3v1Tag() { Clear(); }

  // Empty state: identifier "TAG", all text empty, no genre.
  void Clear();
  void CopyFrom(const Id3v1Tag& other);

  char* Title() { return title_; }
  char* Artist() { return artist_; }
  char* Album() { return album_; }
  char* Year() { return year_; }
  char* Comment() { return comment_; }
  // Sign-extended: no genre reads as -1.
  int Genre() const { return static_cast<int8_t>(genre_); }
  uint8_t GenreByte() const { return genre_; }

  // Each returns 1; longer text is cut to the field (30 or 4 characters).
  int SetTitle(const char* text);
  int SetArtist(const char* text);
  int SetAlbum(const char* text);
  int SetYear(const char* text);
  int SetComment(const char* text);
  int SetGenre(uint8_t genre);

  // True when any text field is non-empty or a genre is set; a record
  // without content removes the file's tag when written.
  bool HasContent() const;

  // 1 when the file ends with a tag (now held here), else 0. A file that
  // cannot be opened leaves the record unchanged; any other miss empties it.
  int ReadFromFile(const char* path);
  // Writes (appends or overwrites in place) or, without content, removes
  // the file's tag. 1 on success, 0 on failure.
  int WriteToFile(const char* path) const;

  // The 128 bytes of the file layout (fields padded by the record's NULs).
  void ToFileBytes(uint8_t out[kFileBytes]) const;
  // Takes the fields from a 128-byte file image; false (record untouched)
  // unless it starts with "TAG".
  bool FromFileBytes(const uint8_t in[kFileBytes]);

 private:
  char identifier_[4];
  char title_[31];
  char artist_[31];
  char album_[31];
  char year_[5];
  char comment_[31];
  uint8_t genre_;
};

// Cuts an existing tag off the file: 1 if one was removed, else 0.
int RemoveFromFile(const char* path);

// Name of genre 0..114; null for any larger index.
const char* GenreName(unsigned index);
constexpr int kGenreCount = 115;

// The tag waiting for its file to stop playing, or null.
Id3v1Tag* PendingTag();
// The file the pending tag belongs to ("" when there is none).
const char* PendingTagPath();
// The pending tag for `path`, created empty when there is none. A tag still
// pending for another file is written to that file first.
Id3v1Tag* CreatePendingTag(const char* path);
// Writes the pending tag (if any) into the file it was made for, ignoring
// the result, and frees it.
void FlushPendingTag();

// Receives the text of the tag-write failure message; null shows nothing.
// The tag code shows nothing itself: the plug-in installs a message box.
using TagMessageHook = void (*)(const char* text);
void SetTagMessageHook(TagMessageHook hook);

}  // namespace bramble
