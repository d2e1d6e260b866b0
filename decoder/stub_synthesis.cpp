// Placeholder until the synthesis lands; delete with it.
#include "decoder/MpegDecoder.h"
namespace bramble {
void BuildSynthesisTables() {}
void MpegDecoder::Synthesize(const float*, const float*) {}
void MpegDecoder::Matrix(const float*, int) {}
}  // namespace bramble
