// Placeholder until Layer I and II decoding lands; delete with it.
#include "decoder/MpegDecoder.h"
namespace bramble {
int MpegDecoder::DecodeLayer1() { return 0; }
int MpegDecoder::DecodeLayer2() { return 0; }
}  // namespace bramble
