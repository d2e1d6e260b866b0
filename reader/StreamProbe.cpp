#include "reader/StreamProbe.h"

#include "reader/FrameReader.h"
#include "reader/TagSpans.h"

namespace bramble {

bool StreamProbe::TestHeader(const uint8_t* h, int state) {
  FrameHeader f;
  if (!ParseFrameHeader(h, &f) || !FrameReader::Lockable(f, state == 0)) return false;
  if (state == 0) {
    if (f.emphasis == 2) return false;  // reserved
    first_ = f;
    sample_rate = f.sample_rate;
  } else if (!SameStream(f, first_)) {
    return false;
  }
  bitrate = f.bitrate_kbps;
  frame_bytes_ = f.frame_bytes;
  return true;
}

int StreamProbe::Parse(const uint8_t* buffer, int len) {
  layout = SourceLayout();
  if (len < 4) return 0;
  int offset = 0;
  for (int tags = 0; tags < kMaxLeadingTags; ++tags) {
    const uint32_t tag = Id3v2TagSize(buffer + offset, size_t(len - offset));
    if (tag == 0) break;
    layout.audio_start += tag;
    // The audio begins beyond these bytes: nothing here is a frame.
    if (tag >= uint32_t(len - offset)) return 0;
    offset += int(tag);
  }
  int state = 0;
  int first = 0, first_length = 0;
  while (offset <= len - 4) {
    if (!TestHeader(buffer + offset, state)) {
      state = 0;
      ++offset;
      continue;
    }
    if (state == 1) {
      layout.sample_rate = sample_rate;
      layout.samples_per_frame = first_.samples_per_frame;
      if (first_length <= len - first) ParseVbrHeader(buffer + first, size_t(first_length), &layout.vbr);
      return 1;
    }
    first = offset;
    first_length = frame_bytes_;
    offset += first_length;
    state = 1;
  }
  return 0;
}

}  // namespace bramble
