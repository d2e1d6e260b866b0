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

  int length = 0;
  int private_bit = 0;
  int padding = 0;
  int protection = 0;  // 1 when a CRC word follows the header
  int layer = 0;
  int version = 0;     // 1 = MPEG-1, 2 = MPEG-2 or MPEG-2.5
  int bitrate = 0;     // kbit/s
  int sample_rate = 0; // Hz
  int frame_length = 0;
  int mode = 0;
  int mode_extension_bound = 0;
  // The stream's size is not known here: source_bytes stays 0.
  SourceLayout layout;
};

}  // namespace bramble
