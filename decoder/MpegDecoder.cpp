#include "decoder/MpegDecoder.h"

#include <cstring>

#include "decoder/SynthesisWindow.h"
#include "decoder/tables/HeaderTables.h"

namespace bramble {

namespace {
// Process-wide history, one block per channel, each on a 128-byte boundary.
// Static storage rather than per-decoder blocks: a second decoder can then
// never free the history the first is still using.
alignas(128) int16_t g_synthesis_buffer[2][1024];
}  // namespace

int16_t* SynthesisBuffer(int ch) { return g_synthesis_buffer[ch]; }

MpegDecoder::MpegDecoder() {
  std::memset(scale_factors, 0, sizeof scale_factors);
  reservoir.write_index = 0;
  reservoir.read_pos = 0;
  frame_bit_pos = 0;
  ms_stereo = 0;
  i_stereo = 0;
}

MpegDecoder::~MpegDecoder() = default;

void MpegDecoder::Init() {
  pcm_scale = 32767.0f;
  synth_slot = 15;
  synth_half = 0;
  std::memset(g_synthesis_buffer, 0, sizeof g_synthesis_buffer);
  std::memset(&synthesis_range, 0, sizeof synthesis_range);
  BuildSynthesisTables();

  reservoir_total = 0;
  std::memset(overlap, 0, sizeof overlap);
  overlap_select = 0;
  reservoir.write_index = 0;
  reservoir.read_pos = 0;
  embed_ring_index = 0;
}

int MpegDecoder::DecodeFrame(const uint8_t* frame, int length, void* pcm) {
  pcm_out_count = 0;
  pcm_out = static_cast<int16_t*>(pcm);
  // A rejected frame must not hand the previous frame's embedded bytes on.
  embed_bytes = 0;
  if (length < 4 || !ParseHeader(frame, length)) return 0;
  int ok = 0;
  switch (layer) {
    case 3: ok = DecodeLayer3(); break;
    case 2: ok = DecodeLayer2(); break;
    default: ok = DecodeLayer1(); break;
  }
  return ok ? frame_bytes : 0;
}

bool MpegDecoder::ParseHeader(const uint8_t* h, int available) {
  const uint8_t b0 = h[0], b1 = h[1], b2 = h[2], b3 = h[3];
  if (b0 != 0xFF || (b1 & 0xE0) != 0xE0) return false;
  const int is25 = (b1 & 0xF0) == 0xE0;
  const int new_layer = 4 - ((b1 >> 1) & 3);
  if (new_layer == 4) return false;
  const int sf = (b2 >> 2) & 3;
  const int bri = b2 >> 4;
  if (sf == 3 || bri == 15) return false;

  mpeg25 = is25;
  protection_bit = b1 & 1;
  layer = new_layer;
  lsf = is25 ? 1 : 1 - ((b1 >> 3) & 1);
  padding_bit = (b2 >> 1) & 1;
  sampling_frequency = sf;
  bitrate_index = bri;
  mode_extension = (b3 >> 4) & 3;
  mode = b3 >> 6;
  stereo = output_stereo = (mode != 3);

  if (stereo)
    l2_channel_bitrate_index = bitrate_index == 4 ? 1 : bitrate_index - 4;
  else
    l2_channel_bitrate_index = bitrate_index;
  l2_high_rate = (l2_channel_bitrate_index == 1 || l2_channel_bitrate_index == 2) ? 0 : 1;

  if (layer == 1) {
    sblimit = 32;
  } else if (layer == 2 && lsf) {
    sblimit = 30;  // ISO/IEC 13818-3 Table B.1, one table for every rate
  } else if (!l2_high_rate) {
    sblimit = sampling_frequency == 2 ? 12 : 8;
  } else {
    const int c = l2_channel_bitrate_index;
    sblimit = (sampling_frequency == 1 || c == 3 || c == 4 || c == 5) ? 27 : 30;
  }
  if (mode == 3)
    jsbound = 0;
  else if (mode == 1)
    jsbound = 4 * mode_extension + 4;
  else
    jsbound = sblimit;
  if (jsbound > sblimit) jsbound = sblimit;

  const int kbps = kBitrateKbps[lsf][layer - 1][bitrate_index];
  if (layer == 1) {
    const int rate = kSampleRateHz[3 * lsf + sampling_frequency];
    frame_bytes = 4 * (12000 * kbps / rate + padding_bit);
  } else {
    const int rate = kSampleRateHz[3 * (lsf + mpeg25) + sampling_frequency];
    // Layer II keeps 1152 samples per frame at the low rates; only Layer III halves it.
    const int half = layer == 3 ? lsf : 0;
    frame_bytes = 144000 * kbps / (rate << half) + padding_bit;
  }

  if (frame_bytes > available) return false;

  if (layer == 3) {
    const int side = lsf ? (stereo ? 17 : 9) : (stereo ? 32 : 17);
    main_data_bytes = frame_bytes - 4 - (protection_bit ? 0 : 2) - side;
    if (main_data_bytes < 0) main_data_bytes = 0;
  }

  std::memcpy(frame_body, h + 4, size_t(frame_bytes - 4));
  frame_bit_pos = protection_bit ? 0 : 16;
  return true;
}

}  // namespace bramble
