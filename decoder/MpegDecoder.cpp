#include "decoder/MpegDecoder.h"

#include <cstring>

#include "decoder/SynthesisWindow.h"
#include "decoder/FrameHeader.h"

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
  FrameHeader f;
  if (!ParseFrameHeader(h, &f) || f.frame_bytes > available) return false;
  layer = f.layer;
  protection_bit = f.protection_bit;
  bitrate_index = f.bitrate_index;
  padding_bit = f.padding_bit;
  mode_extension = f.mode_extension;
  lsf = f.lsf;
  mpeg25 = f.mpeg25;
  mode = f.mode;
  sampling_frequency = f.sampling_frequency;
  stereo = output_stereo = f.stereo;
  l2_high_rate = f.l2_high_rate;
  l2_channel_bitrate_index = f.l2_channel_bitrate_index;
  jsbound = f.jsbound;
  sblimit = f.sblimit;
  frame_bytes = f.frame_bytes;
  if (layer == 3) main_data_bytes = f.main_data_bytes;
  std::memcpy(frame_body, h + 4, size_t(frame_bytes - 4));
  frame_bit_pos = f.BodyStartBit();
  return true;
}

}  // namespace bramble
