// Placeholder until Layer III reconstruction lands; delete with it.
#include "decoder/MpegDecoder.h"
namespace bramble {
void BuildLayer3Tables() {}
int MpegDecoder::DecodeLayer3() { return 0; }
int MpegDecoder::DecodeLayer3Lsf() { return 0; }
void MpegDecoder::Requantise(int, int, const int32_t*, float*) {}
void MpegDecoder::StereoMpeg1(int, float (*)[576]) {}
void MpegDecoder::StereoLsf(float (*)[576]) {}
void MpegDecoder::Antialias(int, int, const float*, float*) {}
void MpegDecoder::HybridFilterbank(int, int, float*, float*) {}
}  // namespace bramble
