// Process-wide source state shared by the scanner, the length function and
// the playback side: whether a network stream is the open source, its bit
// rate, its name, and how its size is found. One playback at a time.
#pragma once

#include <cstdint>

#include "reader/SourceLayout.h"

namespace bramble {

constexpr int kSourceNameBytes = 260;

void SetStreamMode(bool on);
bool StreamMode();

// True when `name` starts with "http://" in any letter case.
bool IsNetworkName(const char* name);

// Bit rate of the open network stream in bit/s (used for its length).
void SetStreamBitrate(int bits_per_second);
int StreamBitrate();

// What the stream's first bytes showed of its layout (for its length).
void SetStreamLayout(const SourceLayout& layout);
const SourceLayout& StreamLayout();

// Name of the open source; kept to 259 characters.
void SetCurrentSourceName(const char* name);
const char* CurrentSourceName();

// Answers the size of a network stream; returns false when `name` is not
// the open stream, so that the local file is measured instead.
using StreamSizeHook = bool (*)(const char* name, uint32_t* size);
void SetStreamSizeHook(StreamSizeHook hook);

// Size in bytes of `name`: the stream's content length when the hook claims
// the name, else the local file's size, 1 for a file that cannot be opened.
uint32_t QuerySourceSize(const char* name);

}  // namespace bramble
