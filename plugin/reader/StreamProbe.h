// Looks at the first bytes of a network stream for two consecutive
// matching frame headers and reports the stream's bit rate and sample rate.
#pragma once

#include <cstdint>

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

 private:
  bool TestHeader(const uint8_t* h, int state);
  int PaddedLength() const { return frame_length + padding * (layer == 1 ? 4 : 1); }

  int mpeg25_ = 0;
};

}  // namespace bramble
