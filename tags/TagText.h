// Text as tags store it, turned into UTF-8: the encodings of ID3v2 text
// frames, ID3v1's 8-bit bytes, and the unsynchronisation scheme that keeps
// a tag's bytes from looking like a frame sync. Every input is taken as
// hostile: lengths are the caller's buffer, terminators may be missing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace bramble {

// ID3v2 text encodings (the byte before a text frame's strings).
enum class TextEncoding : uint8_t { kLatin1 = 0, kUtf16 = 1, kUtf16Be = 2, kUtf8 = 3 };

// Decodes the string at the start of [p, p + n) up to its terminator (one
// NUL, two for UTF-16) or the end, appending UTF-8 to `out`. Returns the
// bytes used, terminator included. UTF-16 follows its byte-order mark
// (little-endian without one, big-endian for kUtf16Be); an odd last byte,
// unpaired surrogates and malformed UTF-8 give U+FFFD. An unknown encoding
// reads as Latin-1.
size_t DecodeTagString(uint8_t encoding, const uint8_t* p, size_t n, std::string* out);

// ID3v1 bytes (ISO-8859-1) as UTF-8.
std::string Latin1ToUtf8(const char* text);

// Undoes unsynchronisation in place ($FF $00 -> $FF); returns the new length.
size_t RemoveUnsynchronisation(uint8_t* p, size_t n);

// The next code point of valid UTF-8 at `*p` (before `end`), advancing `*p`;
// U+FFFD for a malformed sequence, which then takes one byte.
uint32_t NextCodePoint(const char** p, const char* end);

}  // namespace bramble
