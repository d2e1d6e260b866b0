// Layer I and II frame readers: allocation, scalefactors and sub-band
// samples of one frame, read from the frame body. DecodeLayer1/2 feed their
// rows to the synthesis; tests read them directly.
#pragma once

#include <cstdint>

#include "decoder/BitStream.h"
#include "decoder/FrameHeader.h"
#include "decoder/Synthesis.h"

namespace bramble {

class Layer1Frame {
 public:
  // Reads allocation and scalefactors; false on the forbidden allocation 15.
  bool ReadHeader(const FrameHeader& h, FrameBody& body);
  // Reads one slot of 32 samples per channel into rows[ch][sb]; channel 1
  // of a mono frame is left untouched.
  void ReadSlot(FrameBody& body, float rows[2][32]);

  int32_t channels = 0;
  int32_t jsbound = 0;
  int32_t allocation[2][32] = {};

 private:
  int32_t bits_[2][32] = {};  // code width; 0 when not coded
  float mul_[2][32] = {};
  float add_[2][32] = {};
  float scale_[2][32] = {};
};

// How one channel's sub-band is coded in a Layer II frame.
struct Layer2Band {
  const float (*grouped)[3] = nullptr;  // grouped-code table, or null
  int32_t bits = 0;                     // code width; 0 = not coded
  float step = 0, d = 0, c = 0;         // ungrouped: ((code * step - 1) + d) * c
  float scale[3] = {};                  // scalefactor per third of the frame
};

class Layer2Frame {
 public:
  // Reads allocation, scalefactor selection and scalefactors.
  void ReadHeader(const FrameHeader& h, FrameBody& body);
  // Reads granule gr (0..11) into rows[sample][ch][sb] for sb < sblimit;
  // other entries are left untouched.
  void ReadGranule(FrameBody& body, int gr, float rows[3][2][32]);

  int32_t table = 0;
  int32_t sblimit = 0;
  int32_t jsbound = 0;
  int32_t channels = 0;
  int32_t allocation[2][32] = {};
  int32_t scfsi[2][32] = {};
  Layer2Band band[2][32];
};

// Decode a Layer I or II frame body into the synthesis: 1 when decoded, 0
// for a Layer I frame with the forbidden allocation 15.
int DecodeLayer1(const FrameHeader& h, FrameBody& body, SynthesisSink& out);
int DecodeLayer2(const FrameHeader& h, FrameBody& body, SynthesisSink& out);

}  // namespace bramble
