// File access for the tag code, one short-lived handle per operation, and
// the platform service the title code needs (the display name of a path). The Win32 build uses the system calls;
// the native build uses POSIX equivalents so the command-line tool can edit
// tags.
#pragma once

#include <cstdint>
#include <string>

namespace bramble {

class TagFile {
 public:
  TagFile() = default;
  ~TagFile() { Close(); }
  TagFile(const TagFile&) = delete;
  TagFile& operator=(const TagFile&) = delete;

  // Opens an existing file, shared for reading, for reading or for writing
  // (never creates one). On failure LastError() holds the system's code.
  bool OpenForRead(const char* path);
  bool OpenForWrite(const char* path);
  void Close();

  // Moves to `back` bytes before the end; false (and no move) when the file
  // is shorter than that.
  bool SeekFromEnd(uint32_t back);
  bool SeekToEnd();
  // Moves to `offset` from the start; the file's size in bytes (0 when it
  // cannot be had).
  bool SeekTo(uint64_t offset);
  uint64_t Size();
  // Bytes actually transferred; 0 on failure.
  int Read(void* buffer, int bytes);
  int Write(const void* buffer, int bytes);
  // Cuts the file at the current position.
  bool Truncate();

  long LastError() const { return last_error_; }

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
  long last_error_ = 0;
};

// The display name of `path` as the system shows it, into `out` of
// `capacity` characters including the NUL. Returns 0 on success. Win32 asks
// the common dialog library (extension kept under Wine, dropped on a desktop
// set to hide known extensions, nothing written when `out` is too small);
// natively it is PortableFileTitle.
int PlatformFileTitle(const char* path, char* out, int capacity);

// The last component of `path` after '/', '\\' or ':', extension kept, cut
// to capacity - 1 characters (the Win32 call writes nothing instead).
// Returns 0, or -1 when there is no name to give.
int PortableFileTitle(const char* path, char* out, int capacity);

// UTF-8 tag text as the host's 8-bit strings hold it: the ANSI code page
// on Win32 (a character it lacks becomes '?'); natively UTF-8 unchanged.
std::string HostText(const std::string& utf8);

}  // namespace bramble
