// Readers of the text of an ID3v2 tag (2.2 to 2.4) at the start of a file
// and of an APEv2 tag at its end. Reads are bounded: a frame or item that
// is not wanted (a picture of megabytes) is stepped over by its size and
// never read, and a wanted text is read only up to kMaxTextBytes; only a
// tag-level unsynchronised tag is read through, since its frame sizes count
// the bytes after resynchronisation. Every size in a tag is hostile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tags/TagFile.h"

namespace bramble {

enum class TagField { kTitle, kArtist, kAlbum, kYear, kComment, kGenre };
constexpr int kTagFieldCount = 6;

// Field values as UTF-8; empty when the tag has none.
struct TagTexts {
  std::string field[kTagFieldCount];
  std::string& operator[](TagField f) { return field[int(f)]; }
  const std::string& operator[](TagField f) const { return field[int(f)]; }
};

// Longest text read from one frame or item; the rest is stepped over.
constexpr size_t kMaxTextBytes = 4096;

// Random access to a file's bytes.
class TagSource {
 public:
  virtual ~TagSource() = default;
  virtual uint64_t Size() = 0;
  // Copies `n` bytes at `offset`; false when the source does not hold them.
  virtual bool ReadAt(uint64_t offset, void* out, size_t n) = 0;
};

class MemoryTagSource : public TagSource {
 public:
  MemoryTagSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() override { return size_; }
  bool ReadAt(uint64_t offset, void* out, size_t n) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// A file read through one 4 KB window, so that the many small reads of a
// tag's headers cost a few system calls.
class FileTagSource : public TagSource {
 public:
  bool Open(const char* path);
  uint64_t Size() override { return size_; }
  bool ReadAt(uint64_t offset, void* out, size_t n) override;

 private:
  TagFile file_;
  uint64_t size_ = 0;
  uint64_t window_at_ = 0;
  size_t window_size_ = 0;
  uint8_t window_[4096];
};

// The ID3v2 tag at the start of `source`: its major version (2, 3 or 4)
// and the texts of its title, artist, album, year, comment and genre
// frames; 0 when there is no tag. A tag whose frames are compressed or
// encrypted as a whole counts, without texts.
int ReadId3v2Tag(TagSource& source, TagTexts* texts);

// The APEv2 (or v1) tag whose footer ends at `end`: true, with its Title,
// Artist, Album, Year, Comment and Genre items, when there is one.
bool ReadApeTag(TagSource& source, uint64_t end, TagTexts* texts);

}  // namespace bramble
