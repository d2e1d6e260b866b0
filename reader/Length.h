// Length of a source in ms from its size and bit rate, with a one-entry
// process-wide cache keyed by name.
#pragma once

namespace bramble {

class FrameReader;

// Scans `name` with `scanner` unless the cache or the stream state answers.
int GetLength(FrameReader& scanner, const char* name);
// Forgets the cached entry (a network stream was opened).
void InvalidateLengthCache();

}  // namespace bramble
