// Byte sources the frame reader pulls from: a buffered local file, a block
// of memory, and later a network stream behind the same interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace bramble {

// True when `name` starts with "http://" in any letter case: a network
// stream, not a file.
bool IsNetworkName(const char* name);

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to n bytes into dst; returns the count read (short at the end).
  virtual int Read(void* dst, int n) = 0;
  // Byte offset from the start of the source.
  virtual long Tell() = 0;
  // Moves to `offset` bytes from the start; false when that is impossible.
  virtual bool Seek(long offset) = 0;
  // Total size in bytes, 0 when unknown.
  virtual long Size() = 0;
  // A stream is accepted on its first valid header; a file needs two.
  virtual bool IsStream() const { return false; }
};

// Local file read through stdio with a 16384-byte full buffer, so that the
// byte-wise resynchronisation stays cheap.
class FileSource : public ByteSource {
 public:
  static constexpr int kBufferBytes = 16384;

  FileSource() = default;
  ~FileSource() override { Close(); }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  bool Open(const char* name);
  void Close();

  int Read(void* dst, int n) override;
  long Tell() override;
  bool Seek(long offset) override;
  long Size() override { return size_; }

 private:
  std::FILE* file_ = nullptr;
  long size_ = 0;
  long pos_ = 0;  // kept here: a position query per frame costs stdio a call
  char buffer_[kBufferBytes];
};

// A borrowed block of memory; the caller keeps it alive.
class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  int Read(void* dst, int n) override;
  long Tell() override { return long(pos_); }
  bool Seek(long offset) override;
  long Size() override { return long(size_); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// A borrowed piece of a longer source (a prefetch, a window of a file):
// its size is unknown, so its end is not taken for the end of the audio.
class PieceSource final : public MemorySource {
 public:
  using MemorySource::MemorySource;
  long Size() override { return 0; }
};

}  // namespace bramble
