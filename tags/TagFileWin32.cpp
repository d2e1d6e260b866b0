// Win32 file access: the handle calls the tag code has always used.
#include "tags/TagFile.h"

#include <windows.h>
#include <commdlg.h>

#include <climits>

namespace bramble {

namespace {
HANDLE AsHandle(void* h) { return static_cast<HANDLE>(h); }

// An existing file, shared for reading; the error code on failure.
HANDLE OpenExisting(const char* path, DWORD access, long* error) {
  HANDLE h = path ? CreateFileA(path, access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr)
                  : INVALID_HANDLE_VALUE;
  if (h == INVALID_HANDLE_VALUE) *error = path ? static_cast<long>(GetLastError()) : ERROR_FILE_NOT_FOUND;
  return h;
}

}  // namespace

bool TagFile::OpenForRead(const char* path) {
  Close();
  HANDLE h = OpenExisting(path, GENERIC_READ, &last_error_);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = h;
  return true;
}

bool TagFile::OpenForWrite(const char* path) {
  Close();
  HANDLE h = OpenExisting(path, GENERIC_WRITE, &last_error_);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = h;
  return true;
}

void TagFile::Close() {
  if (handle_ != nullptr) CloseHandle(AsHandle(handle_));
  handle_ = nullptr;
}

bool TagFile::SeekFromEnd(uint32_t back) {
  if (handle_ == nullptr) return false;
  DWORD high = 0;
  DWORD low = GetFileSize(AsHandle(handle_), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  if (high == 0 && low < back) return false;
  LONG move_high = -1;
  DWORD at = SetFilePointer(AsHandle(handle_), -static_cast<LONG>(back), &move_high, FILE_END);
  return !(at == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

bool TagFile::SeekToEnd() {
  if (handle_ == nullptr) return false;
  LONG move_high = 0;
  DWORD at = SetFilePointer(AsHandle(handle_), 0, &move_high, FILE_END);
  return !(at == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

bool TagFile::SeekTo(uint64_t offset) {
  if (handle_ == nullptr) return false;
  LONG high = LONG(offset >> 32);
  DWORD at = SetFilePointer(AsHandle(handle_), LONG(uint32_t(offset)), &high, FILE_BEGIN);
  return !(at == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

uint64_t TagFile::Size() {
  if (handle_ == nullptr) return 0;
  DWORD high = 0;
  DWORD low = GetFileSize(AsHandle(handle_), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
  return uint64_t(high) << 32 | low;
}

int TagFile::Read(void* buffer, int bytes) {
  if (handle_ == nullptr || bytes <= 0) return 0;
  DWORD got = 0;
  if (!ReadFile(AsHandle(handle_), buffer, static_cast<DWORD>(bytes), &got, nullptr)) return 0;
  return static_cast<int>(got);
}

int TagFile::Write(const void* buffer, int bytes) {
  if (handle_ == nullptr || bytes <= 0) return 0;
  DWORD put = 0;
  if (!WriteFile(AsHandle(handle_), buffer, static_cast<DWORD>(bytes), &put, nullptr)) return 0;
  return static_cast<int>(put);
}

bool TagFile::Truncate() {
  return handle_ != nullptr && SetEndOfFile(AsHandle(handle_)) != 0;
}

int PlatformFileTitle(const char* path, char* out, int capacity) {
  if (path == nullptr || out == nullptr || capacity <= 0) return -1;
  // The call takes a 16-bit size; larger buffers are offered as 32767.
  WORD size = static_cast<WORD>(capacity > 32767 ? 32767 : capacity);
  return GetFileTitleA(path, out, size) == 0 ? 0 : -1;
}

std::string HostText(const std::string& utf8) {
  if (utf8.empty() || utf8.size() > size_t(INT_MAX)) return std::string();
  const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  if (units <= 0) return std::string();
  std::wstring wide(size_t(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0], units);
  // No best fit: a character the code page lacks shows as '?', not as a look-alike.
  const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, nullptr, 0, "?", nullptr);
  if (bytes <= 0) return std::string();
  std::string out(size_t(bytes), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, &out[0], bytes, "?", nullptr);
  return out;
}

}  // namespace bramble
