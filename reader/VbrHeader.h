// The header an encoder writes into the first frame of a file in place of
// audio: Xing (variable rate) or Info (constant rate) after the side
// information, or VBRI 32 bytes after the frame header, and the LAME tag
// that follows a Xing/Info header with the encoder's delay and padding.
// Every field is checked against the frame's own length.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bramble {

struct VbrHeader {
  enum Kind { kNone = 0, kXing, kInfo, kVbri };
  static constexpr int kTocEntries = 100;
  static constexpr int kMaxVbriEntries = 512;

  Kind kind = kNone;
  uint32_t frames = 0;  // audio frames after the header frame; 0 when not given
  uint32_t bytes = 0;   // from the header frame's start to the audio's end; 0 when not given
  // Xing: toc[i] / 256 of `bytes` is where i percent of the time lies.
  bool has_toc = false;
  uint8_t toc[kTocEntries] = {};
  // VBRI: bytes of each stretch of `vbri_frames_per_entry` frames.
  int vbri_entries = 0;
  int vbri_frames_per_entry = 0;
  uint32_t vbri_sizes[kMaxVbriEntries] = {};
  // Samples the encoder added before and after the input (LAME tag); -1
  // when the frame carries no LAME tag.
  int encoder_delay = -1;
  int encoder_padding = -1;
};

// Reads the header of `frame`, a whole Layer III frame of `size` bytes
// beginning with its 4 header bytes. False (and `out` cleared) when the
// frame holds none, so it is audio.
bool ParseVbrHeader(const uint8_t* frame, size_t size, VbrHeader* out);

// Bytes from the header frame's start to the place `fraction` (0 to 1) of
// the playing time in: from the Xing table (interpolated between its
// percent entries), the VBRI table, else in proportion to the bytes.
// `audio_bytes` (0 when unknown) is the audio's length from the header
// frame on; it bounds the header's own byte count.
uint32_t VbrSeekOffset(const VbrHeader& header, double fraction, uint32_t audio_bytes);

}  // namespace bramble
