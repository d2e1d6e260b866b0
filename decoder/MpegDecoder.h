// MPEG-1, MPEG-2 (low sampling frequencies) and MPEG-2.5 audio decoder,
// Layers I, II and III, producing interleaved 16-bit stereo PCM.
//
// One record holds everything a stream needs between frames. The synthesis
// history and the built tables are process-wide, so one decoder decodes at
// a time.
#pragma once

#include <cstdint>

namespace bramble {

// Layer III side information of one granule and channel (ISO/IEC 11172-3
// 2.4.1.7, ISO/IEC 13818-3 2.4.1.7).
struct GranuleInfo {
  uint8_t short_block;  // window_switching_flag && block_type == 2
  int32_t part2_3_length;
  int32_t big_values;
  int32_t global_gain;
  int32_t scalefac_compress;
  int32_t window_switching_flag;
  int32_t block_type;
  int32_t mixed_block_flag;
  int32_t table_select[3];
  int32_t subblock_gain[3];
  int32_t region0_count;
  int32_t region1_count;
  int32_t preflag;
  int32_t scalefac_scale;
  int32_t count1table_select;
};

struct ChannelSideInfo {
  int32_t scfsi[4];
  GranuleInfo gr[2];
};

struct SideInfo {
  int32_t main_data_begin;
  int32_t private_bits;
  ChannelSideInfo ch[2];
};

struct ScaleFactors {
  int32_t l[23];     // long-block bands
  int32_t s[3][13];  // window-major short-block bands
};

// Main-data ring: reads that run past the ring's end continue in the mirror,
// so every read is a plain array access.
struct BitReservoir {
  static constexpr int kRingBytes = 4096;
  // Bytes [0, 4096) are the ring, [4096, 8192) its mirror; the last 8 are
  // slack for the multi-byte readers.
  static constexpr int kBytes = 2 * kRingBytes + 8;
  // Highest bit position a granule may start or end at: leaves room for the
  // longest scalefactor read and one 8-byte peek inside the buffer.
  static constexpr int32_t kMaxReadBit = (kBytes - 8 - 64) * 8;
  int32_t write_index;
  int32_t read_pos;  // bit position
  uint8_t bytes[kBytes];
  uint8_t* ring() { return bytes; }
  uint8_t* mirror() { return bytes + kRingBytes; }
};

// Key descriptor for the embedded data channel, owned by the caller.
struct EmbedKey {
  int32_t kind;            // must be 2
  int32_t n;               // words per block, at most 16
  const uint16_t* words;   // n key words
};

class MpegDecoder {
 public:
  static constexpr int kFrameBodyBytes = 4096;
  // The body store is larger than any frame: a corrupt Layer I/II frame can
  // ask for up to about 5000 bytes of codes, and the readers do not check.
  static constexpr int kFrameBodyStore = 8192 + 8;
  static constexpr int kMaxPcmBytesPerFrame = 4608;

  MpegDecoder();
  ~MpegDecoder();
  MpegDecoder(const MpegDecoder&) = delete;
  MpegDecoder& operator=(const MpegDecoder&) = delete;

  // Resets the per-stream state; builds the process-wide tables once.
  void Init();

  // Decodes one frame (4 header bytes then the body). Returns frame_bytes,
  // or 0 when the frame yielded nothing. `length` is the number of bytes
  // available at `frame`; a frame longer than that is rejected.
  int DecodeFrame(const uint8_t* frame, int length, void* pcm);

  // Parses the header and copies the body; rejects a frame whose length
  // exceeds `available` bytes.
  bool ParseHeader(const uint8_t* frame, int available = kFrameBodyBytes);

  // ---- bit readers (decoder/BitReader.h has the inline bodies) ----
  inline int GetBits(int n);
  inline int Get1Bit();
  inline int ResGetBits(int n);
  inline int ResGetBitsFast(int n);
  inline int ResGet1Bit();

  // ---- header fields ----
  int32_t layer = 0;
  int32_t protection_bit = 0;
  int32_t bitrate_index = 0;
  int32_t padding_bit = 0;
  int32_t mode_extension = 0;
  int32_t lsf = 0;
  int32_t mpeg25 = 0;
  int32_t mode = 0;
  int32_t sampling_frequency = 0;
  int32_t is_max_long[21] = {};
  int32_t is_max_short[3][12] = {};
  int32_t ms_stereo = 0;
  int32_t i_stereo = 0;
  int32_t l2_high_rate = 0;
  int32_t l2_channel_bitrate_index = 0;
  int32_t jsbound = 0;
  int32_t sblimit = 0;
  int32_t stereo = 0;
  int32_t output_stereo = 0;
  float pcm_scale = 32767.0f;
  int32_t frame_bytes = 0;
  uint8_t frame_body[kFrameBodyStore] = {};
  int32_t frame_bit_pos = 0;
  int32_t main_data_bytes = 0;
  int32_t reservoir_total = 0;
  int32_t part2_start = 0;
  float overlap[2][2][576] = {};
  int32_t overlap_select = 0;
  SideInfo side_info = {};
  ScaleFactors scale_factors[2] = {};
  BitReservoir reservoir = {};
  int32_t synth_half = 0;
  int32_t synth_slot = 15;
  int32_t pcm_out_count = 0;
  int16_t* pcm_out = nullptr;
  int32_t embed_ring_index = 0;
  uint16_t embed_ring[16] = {};
  uint16_t embed_out[20] = {};
  int32_t embed_bytes = 0;
  int32_t embed_enable = 0;
  const EmbedKey* embed_key = nullptr;

  // Row of the scalefactor band tables for this frame's version and rate.
  int SfbRow() const { return mpeg25 ? 6 + sampling_frequency : 3 * lsf + sampling_frequency; }

  // ---- Layer I and II (decoder/Layer1.cpp, decoder/Layer2.cpp) ----
  int DecodeLayer1();
  int DecodeLayer2();

  // ---- Layer III front end ----
  // decoder/SideInfo.cpp
  bool ReadSideInfoMpeg1();
  bool ReadSideInfoLsf();
  // decoder/BitReservoir.cpp: appends this frame's main data and positions
  // the read pointer; false on a reservoir shortfall.
  bool FeedReservoir();
  // decoder/ScaleFactors.cpp
  void ReadScaleFactorsMpeg1(int ch, int gr);
  void ReadScaleFactorsLsf(int ch);
  // decoder/Huffman.cpp
  void DecodeHuffman(int ch, int gr, int32_t* out);
  // decoder/EmbeddedData.cpp
  bool ExtractEmbeddedWord(const int32_t* values, int ch, int gr, uint32_t* word);
  int AssembleEmbeddedBlock(uint16_t word, uint16_t* out);

  // ---- Layer III reconstruction ----
  // decoder/Layer3.cpp: granule drivers
  int DecodeLayer3();
  int DecodeLayer3Lsf();
  // decoder/Requantise.cpp
  void Requantise(int ch, int gr, const int32_t* quantised, float* xr);
  // decoder/Stereo.cpp
  void StereoMpeg1(int gr, float xr[2][576]);
  void StereoLsf(float xr[2][576]);
  // decoder/Imdct.cpp
  void Antialias(int ch, int gr, const float* xr, float* aa);
  void HybridFilterbank(int ch, int gr, float* aa, float* xr);

  // ---- synthesis (decoder/Synthesis.cpp) ----
  void Synthesize(const float* s0, const float* s1);
  void Matrix(const float* s, int ch);
};

// Process-wide synthesis history: two channels of 1024 16-bit values,
// 2 halves x 8 rows x 16 slots x 4 values, each on a 128-byte boundary.
int16_t* SynthesisBuffer(int ch);

// Builds the tables and chooses the synthesis windowing (decoder/Synthesis.cpp).
void BuildSynthesisTables();

}  // namespace bramble

#include "decoder/BitReader.h"
