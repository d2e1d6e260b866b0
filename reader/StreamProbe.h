// Looks at the first bytes of a network stream for two consecutive
// matching frame headers (the frame reader's own search) and reports the
// stream's bit rate and sample rate, and what of its layout those bytes
// show: ID3v2 tags before the audio and a Xing/Info/VBRI header in its
// first frame.
#pragma once

#include <cstdint>

#include "reader/SourceLayout.h"

namespace bramble {

class StreamProbe {
 public:
  // 1 when two consecutive matching headers are found, else 0.
  int Parse(const uint8_t* buffer, int length);

  int bitrate = 0;     // kbit/s, of the header that confirmed the first
  int sample_rate = 0; // Hz
  // The stream's size is not known here: source_bytes stays 0.
  SourceLayout layout;
};

}  // namespace bramble
