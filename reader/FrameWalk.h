// Tells a file of constant rate from one whose rate varies without a
// Xing/VBRI header, and walks the latter frame by frame for its count and
// seek index. A constant-rate file costs a few small reads at any size.
#pragma once

#include "decoder/FrameHeader.h"
#include "reader/ByteSource.h"
#include "reader/SourceLayout.h"

namespace bramble {

// Frames found at about 16 places spread over the audio, each by the
// search a seek makes, all at `first`'s rate: the file keeps its byte-rate
// layout. Otherwise (and always for free format) every frame from the
// audio's start to its end is walked into `layout->index`. `layout` gives
// the file's tags; `source` is left anywhere.
void WalkIfVariable(ByteSource& source, const FrameHeader& first, SourceLayout* layout);

}  // namespace bramble
