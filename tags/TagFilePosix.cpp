// POSIX file access for the native build.
#include "tags/TagFile.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bramble {

namespace {
int OpenExisting(const char* path, int flags, long* error) {
  if (path == nullptr) {
    *error = ENOENT;
    return -1;
  }
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) *error = errno;
  return fd;
}
}  // namespace

bool TagFile::OpenForRead(const char* path) {
  Close();
  fd_ = OpenExisting(path, O_RDONLY, &last_error_);
  return fd_ >= 0;
}

bool TagFile::OpenForWrite(const char* path) {
  Close();
  fd_ = OpenExisting(path, O_WRONLY, &last_error_);
  return fd_ >= 0;
}

void TagFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool TagFile::SeekFromEnd(uint32_t back) {
  if (fd_ < 0) return false;
  struct stat st;
  if (::fstat(fd_, &st) != 0 || st.st_size < static_cast<off_t>(back)) return false;
  return ::lseek(fd_, st.st_size - static_cast<off_t>(back), SEEK_SET) >= 0;
}

bool TagFile::SeekToEnd() {
  return fd_ >= 0 && ::lseek(fd_, 0, SEEK_END) >= 0;
}

bool TagFile::SeekTo(uint64_t offset) {
  return fd_ >= 0 && offset <= uint64_t(INT64_MAX) && ::lseek(fd_, off_t(offset), SEEK_SET) >= 0;
}

uint64_t TagFile::Size() {
  struct stat st;
  return fd_ >= 0 && ::fstat(fd_, &st) == 0 && st.st_size > 0 ? uint64_t(st.st_size) : 0;
}

int TagFile::Read(void* buffer, int bytes) {
  if (fd_ < 0 || bytes <= 0) return 0;
  int done = 0;
  while (done < bytes) {
    ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, bytes - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<int>(n);
  }
  return done;
}

int TagFile::Write(const void* buffer, int bytes) {
  if (fd_ < 0 || bytes <= 0) return 0;
  int done = 0;
  while (done < bytes) {
    ssize_t n = ::write(fd_, static_cast<const char*>(buffer) + done, bytes - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<int>(n);
  }
  return done;
}

bool TagFile::Truncate() {
  if (fd_ < 0) return false;
  off_t at = ::lseek(fd_, 0, SEEK_CUR);
  return at >= 0 && ::ftruncate(fd_, at) == 0;
}

int PlatformFileTitle(const char* path, char* out, int capacity) {
  return PortableFileTitle(path, out, capacity);
}

std::string HostText(const std::string& utf8) { return utf8; }

}  // namespace bramble
