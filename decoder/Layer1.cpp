// Layer I decoding (ISO/IEC 11172-3 2.4.1.5, 2.4.3.2).
#include "decoder/Layer12.h"
#include "decoder/tables/BuiltTables.h"

namespace bramble {

namespace {

// Worst case of a corrupt frame: every allocation 14, every scalefactor
// read. The body store must hold it, since the readers do not check.
constexpr int kLayer1MaxBits = 16 + 2 * 32 * 4 + 2 * 32 * 6 + 12 * 2 * 32 * 15;
static_assert(kLayer1MaxBits / 8 + 4 <= MpegDecoder::kFrameBodyStore,
              "frame body store too small for a corrupt Layer I frame");

}  // namespace

bool Layer1Frame::ReadHeader(MpegDecoder& d) {
  const Layer12Tables& t = L12Tables();
  channels = d.stereo ? 2 : 1;
  jsbound = channels == 1 ? 0 : d.jsbound < 0 ? 0 : d.jsbound > 32 ? 32 : d.jsbound;

  for (int sb = 0; sb < jsbound; ++sb)
    for (int ch = 0; ch < 2; ++ch) allocation[ch][sb] = d.GetBits(4);
  for (int sb = jsbound; sb < 32; ++sb) allocation[0][sb] = allocation[1][sb] = d.GetBits(4);
  for (int sb = 0; sb < 32; ++sb)
    if (allocation[0][sb] == 15 || allocation[1][sb] == 15) return false;

  for (int sb = 0; sb < 32; ++sb) {
    for (int ch = 0; ch < 2; ++ch) {
      const int a = allocation[ch][sb];
      bits_[ch][sb] = a ? a + 1 : 0;
      mul_[ch][sb] = t.l1_mul[a];
      add_[ch][sb] = t.l1_add[a];
      scale_[ch][sb] = (a && ch < channels) ? t.l12_scalefactor[d.GetBits(6)] : 0.0f;
    }
  }
  return true;
}

void Layer1Frame::ReadSlot(MpegDecoder& d, float rows[2][32]) {
  for (int sb = 0; sb < jsbound; ++sb) {
    for (int ch = 0; ch < 2; ++ch) {
      const float code = float(d.GetBits(bits_[ch][sb]));
      rows[ch][sb] = (code * mul_[ch][sb] + add_[ch][sb]) * scale_[ch][sb];
    }
  }
  for (int sb = jsbound; sb < 32; ++sb) {
    const float code = float(d.GetBits(bits_[0][sb]));
    for (int ch = 0; ch < channels; ++ch)
      rows[ch][sb] = (code * mul_[ch][sb] + add_[ch][sb]) * scale_[ch][sb];
  }
}

int MpegDecoder::DecodeLayer1() {
  embed_bytes = 0;
  Layer1Frame frame;
  if (!frame.ReadHeader(*this)) return 0;
  float rows[2][32] = {};
  for (int slot = 0; slot < 12; ++slot) {
    frame.ReadSlot(*this, rows);
    Synthesize(rows[0], rows[1]);
  }
  return 1;
}

}  // namespace bramble
