// Layer III granule drivers: the working storage of one frame and the steps
// shared by the MPEG-1 and the LSF driver.
#pragma once

#include <cstdint>

#include "decoder/MpegDecoder.h"

namespace bramble {

// Working storage of one driver call, local to it.
struct Layer3Work {
  alignas(16) float xr[2][576];  // spectrum, then time-major sub-band samples
  alignas(16) float aa[2][576];  // antialias/reorder output
  alignas(16) int32_t quantised[576];
};

// Negates the odd time slots of the odd sub-bands of time-major xr, which
// undoes the frequency inversion of the analysis filterbank.
void InvertFrequencies(float* xr);

// Everything after stereo processing for granule gr: flips the overlap
// store, runs antialias and the hybrid filterbank for the channels that are
// produced, inverts frequencies and feeds the 18 time slots to synthesis.
void ReconstructGranule(MpegDecoder& d, int gr, Layer3Work& w);

// Bit position in frame_body just after the side information.
int SideInfoEndBit(const MpegDecoder& d);

}  // namespace bramble
