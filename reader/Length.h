// Length of a source in ms from its size and bit rate: tags left out, and
// from the frame count when its first frame is a Xing/VBRI header.
#pragma once

#include <cstdint>

#include "reader/SourceLayout.h"

namespace bramble {

// Size in bytes of the local file `name`; 1 when it cannot be opened.
uint32_t FileSize(const char* name);

// AudioLengthMs in whole ms, within the range of an int.
int LengthMs(const SourceLayout& layout, uint32_t bytes, int bitrate, bool gapless);

}  // namespace bramble
