// One event per output line, from any thread.
#pragma once

#include <cstdarg>

namespace jukebox {

void PrintEvent(const char* format, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// `text` with tab, newline, backslash and non-printing bytes escaped.
const char* EscapeText(const char* text, char* out, int capacity);

}  // namespace jukebox
