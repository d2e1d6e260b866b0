// Where a source's audio lies and what its frames say about it: the tags
// around the audio, the Xing/Info/VBRI header of the first frame, and the
// walk over every frame of a file whose rate varies without a header.
// Lengths, seek offsets and the average bit rate follow from it; a source
// without tags, header or walk gives the byte-rate results of a plain stream.
#pragma once

#include <cstdint>

#include "reader/VbrHeader.h"

namespace bramble {

// What a walk over every frame found: the count and the source offset of
// every stride-th frame (at least 1/256 of the frames apart).
struct FrameIndex {
  static constexpr int kMaxEntries = 512;
  uint32_t frames = 0;  // 0: not walked
  uint32_t stride = 1;
  int entries = 0;
  uint32_t offsets[kMaxEntries] = {};
  uint32_t end = 0;  // where the last frame ends

  // Adds the next frame, which begins at `offset`.
  void Add(uint32_t offset);
};

struct SourceLayout {
  uint32_t source_bytes = 0;  // the whole source; 0 when unknown
  uint32_t audio_start = 0;   // bytes of ID3v2 tags before the audio
  uint32_t tail_bytes = 0;    // bytes of ID3v1 and APEv2 tags after it
  int sample_rate = 0;        // of the first frame; 0 when none was found
  int samples_per_frame = 0;
  VbrHeader vbr;              // kind kNone when the first frame is audio
  FrameIndex index;           // frames 0 unless walked
};

// Bytes of audio in a source of `size` bytes: without the tags.
uint32_t AudioBytes(const SourceLayout& layout, uint32_t size);

// True when the first frame's header or a walk gives the number of frames.
bool HasFrameCount(const SourceLayout& layout);

// Length in ms: from the frame count when the header gives it (less the
// trimmed samples when `gapless`), else the audio bytes of a source of
// `size` bytes at `bitrate` bit/s (at 128 kbit/s when that is 0).
double AudioLengthMs(const SourceLayout& layout, uint32_t size, int bitrate, bool gapless);

// Average bit/s of a Xing, VBRI or walked file; 0 for any other, whose
// frames' own rate is the one to show.
int AverageBitrate(const SourceLayout& layout);

// Byte offset from the source's start for `ms` into the playing time (of
// the trimmed audio when `gapless`): through the walk's index or the
// header's table when there is one, else at `byte_rate` bytes per second
// from the audio's start.
long SeekOffset(const SourceLayout& layout, int byte_rate, int ms, bool gapless);

}  // namespace bramble
