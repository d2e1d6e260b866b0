// The 4 header bytes of an MPEG audio frame and everything derived from
// them: version, layer, rates, mode, lengths and the Layer I/II limits.
// One parser for every reader of headers.
#pragma once

#include <cstdint>

namespace bramble {

// Frame lengths in bytes, header included, without padding. A table rate
// gives at most 1729 (MPEG-1 Layer II, 384 kbit/s, 32 kHz); a free-format
// length is bounded by the frame body buffer the reader and decoder keep.
constexpr int kMinFrameLength = 10;
constexpr int kMaxFrameLength = 1800;
constexpr int kMaxFreeFrameLength = 4096;

struct FrameHeader {
  int32_t layer = 0;           // 1..3: 4 minus the layer bits
  int32_t protection_bit = 0;  // 0: a 16-bit CRC word follows the header
  int32_t bitrate_index = 0;   // 0..14; 0 (free format) reads as the row's highest rate
  int32_t padding_bit = 0;
  int32_t private_bit = 0;
  int32_t mode_extension = 0;
  int32_t emphasis = 0;  // 2 is reserved
  int32_t id = 0;      // the ID bit: 1 for MPEG-1
  int32_t lsf = 0;     // 1 for MPEG-2 and MPEG-2.5
  int32_t mpeg25 = 0;  // the twelfth sync bit is 0, whatever the ID bit
  int32_t mode = 0;    // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
  int32_t sampling_frequency = 0;  // 0..2 within the version
  int32_t stereo = 0;              // mode is not 3

  int32_t bitrate_kbps = 0;
  int32_t sample_rate = 0;  // Hz
  // Layers I and II: allocation family (1: the 27/30-sub-band tables), the
  // per-channel bit-rate index it is chosen by, coded sub-bands, first
  // jointly coded sub-band, and the allocation table (Layer12Tables.h).
  int32_t l2_channel_bitrate_index = 0;
  int32_t l2_high_rate = 0;
  int32_t sblimit = 0;
  int32_t jsbound = 0;
  int32_t layer2_table = 0;

  int32_t frame_length = 0;  // bytes, header included, without padding
  int32_t frame_bytes = 0;   // bytes, header included, with padding
  int32_t samples_per_frame = 0;  // per channel
  int32_t pcm_bytes = 0;          // 16-bit stereo PCM one frame yields
  // Layer III: side information and main data bytes of the frame.
  int32_t side_info_bytes = 0;
  int32_t main_data_bytes = 0;

  // Row of the scalefactor band tables.
  int SfbRow() const { return mpeg25 ? 6 + sampling_frequency : 3 * lsf + sampling_frequency; }
  // Bit position of the side information (after the CRC word, if any).
  int BodyStartBit() const { return protection_bit ? 0 : 16; }
};

// Parses 4 header bytes; false without sync, with layer bits 00,
// sampling-rate index 3 or bit-rate index 15 (`out` is then unchanged).
// Bit-rate index 0 (free format) takes `free_length` (the stream's frame
// length without padding) when it is above 0, else the row's highest rate.
bool ParseFrameHeader(const uint8_t* h, FrameHeader* out, int free_length = 0);

// Bytes the padding bit adds to a frame of `layer`.
inline int PaddingBytes(int layer) { return layer == 1 ? 4 : 1; }

// The fields a stream keeps from frame to frame once a reader has locked
// on: version bits, layer and sample rate.
inline bool SameStream(const FrameHeader& a, const FrameHeader& b) {
  return a.mpeg25 == b.mpeg25 && a.id == b.id && a.layer == b.layer &&
         a.sampling_frequency == b.sampling_frequency;
}

}  // namespace bramble
