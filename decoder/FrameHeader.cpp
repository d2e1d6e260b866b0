#include "decoder/FrameHeader.h"

#include "decoder/tables/HeaderTables.h"
#include "decoder/tables/Layer12Tables.h"

namespace bramble {

bool ParseFrameHeader(const uint8_t* h, FrameHeader* out, int free_length) {
  const int b0 = h[0], b1 = h[1], b2 = h[2], b3 = h[3];
  if (b0 != 0xFF || (b1 & 0xE0) != 0xE0) return false;
  const int layer = 4 - ((b1 >> 1) & 3);
  const int sampling_frequency = (b2 >> 2) & 3;
  const int bitrate_index = b2 >> 4;
  if (layer == 4 || sampling_frequency == 3 || bitrate_index == 15) return false;

  FrameHeader f;
  f.layer = layer;
  f.protection_bit = b1 & 1;
  f.bitrate_index = bitrate_index;
  f.padding_bit = (b2 >> 1) & 1;
  f.private_bit = b2 & 1;
  f.mode_extension = (b3 >> 4) & 3;
  f.emphasis = b3 & 3;
  f.id = (b1 >> 3) & 1;
  f.mpeg25 = (b1 & 0xF0) == 0xE0;
  f.lsf = f.mpeg25 ? 1 : 1 - f.id;
  f.mode = b3 >> 6;
  f.sampling_frequency = sampling_frequency;
  f.stereo = f.mode != 3;
  f.bitrate_kbps = kBitrateKbps[f.lsf][layer - 1][bitrate_index];
  f.sample_rate = kSampleRateHz[3 * (f.lsf + f.mpeg25) + sampling_frequency];

  if (f.stereo)
    f.l2_channel_bitrate_index = bitrate_index == 4 ? 1 : bitrate_index - 4;
  else
    f.l2_channel_bitrate_index = bitrate_index;
  f.l2_high_rate = (f.l2_channel_bitrate_index == 1 || f.l2_channel_bitrate_index == 2) ? 0 : 1;
  if (layer == 1) {
    f.sblimit = 32;
  } else if (layer == 2 && f.lsf) {
    f.sblimit = 30;  // ISO/IEC 13818-3 Table B.1, one table for every rate
  } else if (!f.l2_high_rate) {
    f.sblimit = sampling_frequency == 2 ? 12 : 8;
  } else {
    const int c = f.l2_channel_bitrate_index;
    f.sblimit = (sampling_frequency == 1 || c == 3 || c == 4 || c == 5) ? 27 : 30;
  }
  if (f.mode == 3)
    f.jsbound = 0;
  else if (f.mode == 1)
    f.jsbound = 4 * f.mode_extension + 4;
  else
    f.jsbound = f.sblimit;
  if (f.jsbound > f.sblimit) f.jsbound = f.sblimit;
  f.layer2_table = SelectLayer2Table(f.lsf, f.l2_high_rate, f.sblimit);

  f.samples_per_frame = SamplesPerFrame(layer, f.lsf);
  f.pcm_bytes = 4 * f.samples_per_frame;
  if (layer == 1) {
    f.frame_length = 4 * (12000 * f.bitrate_kbps / f.sample_rate);
    f.frame_bytes = f.frame_length + 4 * f.padding_bit;
  } else {
    // Layer II keeps 1152 samples per frame at the low rates; only Layer III
    // halves it.
    const int half = layer == 3 ? f.lsf : 0;
    f.frame_length = 144000 * f.bitrate_kbps / (f.sample_rate << half);
    f.frame_bytes = f.frame_length + f.padding_bit;
  }
  if (bitrate_index == 0 && free_length > 0) {
    // The stream's own length; its rate follows, rounded to whole kbit/s.
    const int64_t bits = int64_t(free_length) * 8 * f.sample_rate;
    f.frame_length = free_length;
    f.frame_bytes = free_length + f.padding_bit * PaddingBytes(layer);
    f.bitrate_kbps = int32_t((bits + 500 * f.samples_per_frame) / (1000 * int64_t(f.samples_per_frame)));
  }
  if (layer == 3) {
    f.side_info_bytes = f.lsf ? (f.stereo ? 17 : 9) : (f.stereo ? 32 : 17);
    f.main_data_bytes = f.frame_bytes - 4 - (f.protection_bit ? 0 : 2) - f.side_info_bytes;
    if (f.main_data_bytes < 0) f.main_data_bytes = 0;
  }
  *out = f;
  return true;
}

}  // namespace bramble
