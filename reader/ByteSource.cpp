#include "reader/ByteSource.h"

#include <cctype>
#include <cstring>

namespace bramble {

bool IsNetworkName(const char* name) {
  static const char kScheme[] = "http://";
  if (!name) return false;
  for (int i = 0; kScheme[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(name[i])) != kScheme[i]) return false;
  return true;
}

bool FileSource::Open(const char* name) {
  Close();
  file_ = std::fopen(name, "rb");
  if (!file_) return false;
  std::setvbuf(file_, buffer_, _IOFBF, kBufferBytes);
  size_ = 0;
  if (std::fseek(file_, 0, SEEK_END) == 0) {
    long end = std::ftell(file_);
    if (end > 0) size_ = end;
  }
  std::fseek(file_, 0, SEEK_SET);
  pos_ = 0;
  return true;
}

void FileSource::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  size_ = 0;
  pos_ = 0;
}

int FileSource::Read(void* dst, int n) {
  if (!file_ || n <= 0) return 0;
  if (n == 1) {
    int c = std::getc(file_);
    if (c == EOF) return 0;
    *static_cast<uint8_t*>(dst) = uint8_t(c);
    ++pos_;
    return 1;
  }
  const int got = int(std::fread(dst, 1, size_t(n), file_));
  pos_ += got;
  return got;
}

long FileSource::Tell() { return file_ ? pos_ : 0; }

bool FileSource::Seek(long offset) {
  if (!file_ || offset < 0 || std::fseek(file_, offset, SEEK_SET) != 0) return false;
  pos_ = offset;
  return true;
}

int MemorySource::Read(void* dst, int n) {
  if (n <= 0 || pos_ >= size_) return 0;
  size_t count = size_ - pos_;
  if (count > size_t(n)) count = size_t(n);
  std::memcpy(dst, data_ + pos_, count);
  pos_ += count;
  return int(count);
}

bool MemorySource::Seek(long offset) {
  if (offset < 0 || size_t(offset) > size_) return false;
  pos_ = size_t(offset);
  return true;
}

}  // namespace bramble
