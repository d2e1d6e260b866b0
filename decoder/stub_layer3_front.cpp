// Placeholder until the Layer III front end lands; delete with it.
#include "decoder/MpegDecoder.h"
namespace bramble {
bool MpegDecoder::ReadSideInfoMpeg1() { return false; }
bool MpegDecoder::ReadSideInfoLsf() { return false; }
bool MpegDecoder::FeedReservoir() { return false; }
void MpegDecoder::ReadScaleFactorsMpeg1(int, int) {}
void MpegDecoder::ReadScaleFactorsLsf(int) {}
void MpegDecoder::DecodeHuffman(int, int, int32_t*) {}
bool MpegDecoder::ExtractEmbeddedWord(const int32_t*, int, int, uint32_t*) { return false; }
int MpegDecoder::AssembleEmbeddedBlock(uint16_t, uint16_t*) { return 0; }
}  // namespace bramble
