// Layer III: the records kept between frames (side information,
// scalefactors, intensity limits, reservoir, overlap), the working storage
// of one frame, and the stages the granule drivers run. Each stage takes
// what it reads and writes.
#pragma once

#include <cstdint>

#include "decoder/BitReservoir.h"
#include "decoder/BitStream.h"
#include "decoder/EmbeddedData.h"
#include "decoder/FrameHeader.h"
#include "decoder/Synthesis.h"
#include "decoder/tables/Layer3Tables.h"

namespace bramble {

struct ImdctTables;
namespace dsp {
struct Kernels;
}

// Side information of one granule and channel (ISO/IEC 11172-3 2.4.1.7,
// ISO/IEC 13818-3 2.4.1.7).
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

// LSF intensity stereo: the illegal (maximum) position of the right
// channel per long band, and per window and short band.
struct IntensityLimits {
  int32_t is_max_long[21];
  int32_t is_max_short[3][12];
};

// Double-buffered overlap of the hybrid filterbank, time-major (32 t + sb):
// a granule reads half `select` of its channel and writes the other.
struct OverlapStore {
  float overlap[2][2][576];
  int32_t select;
};

// What one Layer III stream keeps between frames.
struct Layer3State {
  SideInfo side_info;
  ScaleFactors scale_factors[2];
  IntensityLimits limits;
  BitReservoir reservoir;
  OverlapStore overlap;
};

// Working storage of one driver call, local to it.
struct Layer3Work {
  alignas(16) float xr[2][576];  // spectrum, then time-major sub-band samples
  alignas(16) float aa[2][576];  // antialias/reorder output
  alignas(16) int32_t quantised[576];
  int32_t xr_end[2] = {576, 576};  // the spectrum is zero from here on
};

// Mid/side and intensity stereo in force for a frame.
struct StereoModes {
  bool ms;
  bool is;
};
inline StereoModes StereoModesOf(const FrameHeader& h) {
  const bool joint = h.mode == 1;
  return {joint && (h.mode_extension & 2) != 0, joint && (h.mode_extension & 1) != 0};
}

// ---- front end ----

// decoder/SideInfo.cpp: false for a granule with window switching and
// block_type 0, where reading stops.
bool ReadSideInfoMpeg1(FrameBody& body, int channels, SideInfo& si);
bool ReadSideInfoLsf(FrameBody& body, int channels, SideInfo& si);
// Bit position in the body just after the side information.
int SideInfoEndBit(const FrameHeader& h);

// decoder/ScaleFactors.cpp. The LSF reader uses the intensity layout for
// the right channel of an intensity-coded frame (`intensity_right`), sets
// gi.preflag, and writes the intensity limits when `limits` is given.
void ReadScaleFactorsMpeg1(BitReservoir& r, const GranuleInfo& gi, const int32_t* scfsi, int gr,
                           ScaleFactors& sf);
void ReadScaleFactorsLsf(BitReservoir& r, GranuleInfo& gi, bool intensity_right, ScaleFactors& sf,
                         IntensityLimits* limits);

// decoder/Huffman.cpp: 576 quantised values of the granule whose part 2
// began at `part2_start`; the read position ends at part2_start +
// part2_3_length. Returns how many were decoded: the rest are zero.
int DecodeHuffman(BitReservoir& r, const GranuleInfo& gi, const SfbBounds& bands, int32_t part2_start,
                  int32_t* out);
// Where the second and third big-values regions start. Boundaries past the
// band table's last band clamp to 576.
struct HuffmanRegions {
  int32_t region1;
  int32_t region2;
};
HuffmanRegions ComputeHuffmanRegions(const GranuleInfo& gi, const SfbBounds& bands);

// ---- reconstruction ----

// decoder/Requantise.cpp: xr = gain * scalefactor factor * sign(q) |q|^(4/3);
// the quantised values from `count` on are zero.
void Requantise(const GranuleInfo& gi, const ScaleFactors& sf, const SfbBounds& bands,
                const int32_t* quantised, float* xr, int count = 576);

// decoder/Stereo.cpp, for two-channel frames. gi0 is channel 0's granule,
// which decides by block type; `right` the right channel's scalefactors.
void StereoMpeg1(StereoModes modes, const GranuleInfo& gi0, const SfbBounds& bands,
                 const ScaleFactors& right, float xr[2][576]);
void StereoLsf(StereoModes modes, const GranuleInfo& gi0, int intensity_scale, const SfbBounds& bands,
               const ScaleFactors& right, const IntensityLimits& limits, float xr[2][576]);

// decoder/Imdct.cpp: alias reduction (long blocks) or short-block
// reordering into aa, then the hybrid filterbank from aa into time-major
// xr, overlapping with `prev` and leaving the next overlap in `next`, with
// the transform constants c. The lines from xr_end (aa_end) on are zero;
// Antialias returns where aa's zeros begin at the latest.
int Antialias(const GranuleInfo& gi, int sfb_row, const dsp::Kernels& k, const float* xr, float* aa,
              int xr_end = 576);
void HybridFilterbank(const GranuleInfo& gi, const float* prev, float* next, const dsp::Kernels& k,
                      const ImdctTables& c, float* aa, float* xr, int aa_end = 576);

// Negates the odd time slots of the odd sub-bands of time-major xr, which
// undoes the frequency inversion of the analysis filterbank.
void InvertFrequencies(float* xr);

// ---- granule drivers (decoder/Layer3.cpp) ----

// Decodes a Layer III frame body: 1 when handled (PCM appended, or an LSF
// frame), 0 when an MPEG-1 frame's main data was not available. Embedded
// words found go to `e`.
int DecodeLayer3(const FrameHeader& h, FrameBody& body, Layer3State& s, EmbeddedChannel& e, SynthesisSink& out);

// Everything after stereo processing for granule gr: flips the overlap
// store, runs antialias and the hybrid filterbank for the channels that are
// produced, inverts frequencies and feeds the 18 time slots to synthesis.
void ReconstructGranule(const FrameHeader& h, int gr, Layer3State& s, Layer3Work& w, SynthesisSink& out);

}  // namespace bramble
