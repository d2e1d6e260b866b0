#include "host/Events.h"

#include <windows.h>

#include <cstdio>

namespace jukebox {

namespace {
struct PrintLock {
  CRITICAL_SECTION section;
  PrintLock() { InitializeCriticalSection(&section); }
  ~PrintLock() { DeleteCriticalSection(&section); }
};
PrintLock& Lock() {
  static PrintLock lock;
  return lock;
}
}  // namespace

void PrintEvent(const char* format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  EnterCriticalSection(&Lock().section);
  std::fputs(line, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  LeaveCriticalSection(&Lock().section);
}

const char* EscapeText(const char* text, char* out, int capacity) {
  int n = 0;
  if (!text) text = "(null)";
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p && n < capacity - 5; ++p) {
    if (*p == '\t') {
      n += std::snprintf(out + n, size_t(capacity - n), "\\t");
    } else if (*p == '\n') {
      n += std::snprintf(out + n, size_t(capacity - n), "\\n");
    } else if (*p == '\\') {
      n += std::snprintf(out + n, size_t(capacity - n), "\\\\");
    } else if (*p < 0x20 || *p >= 0x7F) {
      n += std::snprintf(out + n, size_t(capacity - n), "\\x%02X", *p);
    } else {
      out[n++] = char(*p);
    }
  }
  out[n] = '\0';
  return out;
}

}  // namespace jukebox
