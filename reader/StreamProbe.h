// Looks at the first bytes of a network stream for two consecutive
// matching frame headers and reports the stream's bit rate and sample rate,
// and what of its layout those bytes show: ID3v2 tags before the audio and
// a Xing/Info/VBRI header in its first frame.
#pragma once

#include <cstdint>

#include "decoder/FrameHeader.h"
#include "reader/SourceLayout.h"

namespace bramble {

class StreamProbe {
 public:
  // 1 when two consecutive matching headers are found, else 0.
  int Parse(const uint8_t* buffer, int length);

  int bitrate = 0;     // kbit/s, of the second header
  int sample_rate = 0; // Hz
  // The stream's size is not known here: source_bytes stays 0.
  SourceLayout layout;

 private:
  bool TestHeader(const uint8_t* h, int state);

  FrameHeader first_;
  int frame_bytes_ = 0;
};

}  // namespace bramble
