// Layer I decoding (ISO/IEC 11172-3 2.4.1.5, 2.4.3.2).
#include "decoder/Layer12.h"
#include "decoder/tables/BuiltTables.h"

namespace bramble {

namespace {

// Worst case of a corrupt frame: every allocation 14, every scalefactor
// read. The body store must hold it, since the readers do not check.
constexpr int kLayer1MaxBits = 16 + 2 * 32 * 4 + 2 * 32 * 6 + 12 * 2 * 32 * 15;
static_assert(kLayer1MaxBits / 8 + 4 <= FrameBody::kStoreBytes,
              "frame body store too small for a corrupt Layer I frame");

}  // namespace

bool Layer1Frame::ReadHeader(const FrameHeader& h, FrameBody& body) {
  const Layer12Tables& t = L12Tables();
  channels = h.stereo ? 2 : 1;
  jsbound = channels == 1 ? 0 : h.jsbound < 0 ? 0 : h.jsbound > 32 ? 32 : h.jsbound;

  for (int sb = 0; sb < jsbound; ++sb)
    for (int ch = 0; ch < 2; ++ch) allocation[ch][sb] = body.GetBits(4);
  for (int sb = jsbound; sb < 32; ++sb) allocation[0][sb] = allocation[1][sb] = body.GetBits(4);
  for (int sb = 0; sb < 32; ++sb)
    if (allocation[0][sb] == 15 || allocation[1][sb] == 15) return false;

  for (int sb = 0; sb < 32; ++sb) {
    for (int ch = 0; ch < 2; ++ch) {
      const int a = allocation[ch][sb];
      bits_[ch][sb] = a ? a + 1 : 0;
      mul_[ch][sb] = t.l1_mul[a];
      add_[ch][sb] = t.l1_add[a];
      scale_[ch][sb] = (a && ch < channels) ? t.l12_scalefactor[body.GetBits(6)] : 0.0f;
    }
  }
  return true;
}

void Layer1Frame::ReadSlot(FrameBody& body, float rows[2][32]) {
  for (int sb = 0; sb < jsbound; ++sb) {
    for (int ch = 0; ch < 2; ++ch) {
      const float code = float(body.GetBits(bits_[ch][sb]));
      rows[ch][sb] = (code * mul_[ch][sb] + add_[ch][sb]) * scale_[ch][sb];
    }
  }
  for (int sb = jsbound; sb < 32; ++sb) {
    const float code = float(body.GetBits(bits_[0][sb]));
    for (int ch = 0; ch < channels; ++ch)
      rows[ch][sb] = (code * mul_[ch][sb] + add_[ch][sb]) * scale_[ch][sb];
  }
}

int DecodeLayer1(const FrameHeader& h, FrameBody& body, SynthesisSink& out) {
  Layer1Frame frame;
  if (!frame.ReadHeader(h, body)) return 0;
  float rows[2][32] = {};
  for (int slot = 0; slot < 12; ++slot) {
    frame.ReadSlot(body, rows);
    out(rows[0], rows[1]);
  }
  return 1;
}

}  // namespace bramble
