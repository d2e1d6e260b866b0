// Layer I decoding (ISO/IEC 11172-3 2.4.1.5, 2.4.3.2) and the Layer I/II
// tables computed at first use.
#include <cmath>

#include "decoder/Layer12.h"
#include "decoder/Layer12Tables.h"

namespace bramble {

namespace {

// Worst case of a corrupt frame: every allocation 14, every scalefactor
// read. The body store must hold it, since the readers do not check.
constexpr int kLayer1MaxBits = 16 + 2 * 32 * 4 + 2 * 32 * 6 + 12 * 2 * 32 * 15;
static_assert(kLayer1MaxBits / 8 + 4 <= MpegDecoder::kFrameBodyStore,
              "frame body store too small for a corrupt Layer I frame");

void BuildGrouped(int levels, float (*out)[3], int entries) {
  const int nb = levels == 3 ? 2 : levels == 5 ? 3 : 4;
  const double full = double(1 << nb);
  const double c = full / levels;
  const double d = (full - levels + 1) / full;
  const double step = 2.0 / full;
  const int valid = levels * levels * levels;
  for (int code = 0; code < entries; ++code) {
    int v = code;
    for (int k = 0; k < 3; ++k) {
      const int s = v % levels;
      v /= levels;
      out[code][k] = code < valid ? float(c * (s * step - 1.0 + d)) : 0.0f;
    }
  }
}

Layer12Tables BuildTables() {
  Layer12Tables t;
  const double third[3] = {1.0, std::pow(2.0, -1.0 / 3.0), std::pow(2.0, -2.0 / 3.0)};
  for (int i = 0; i < 63; ++i) t.l12_scalefactor[i] = float(std::ldexp(third[i % 3], 1 - i / 3));
  t.l12_scalefactor[63] = 0.0f;
  t.l1_mul[0] = t.l1_add[0] = 0.0f;
  for (int a = 1; a < 15; ++a) {
    const double n = double((1 << (a + 1)) - 1);
    t.l1_mul[a] = float(2.0 / n);
    t.l1_add[a] = float(-(n - 1.0) / n);
  }
  BuildGrouped(3, t.grouped3, 32);
  BuildGrouped(5, t.grouped5, 128);
  BuildGrouped(9, t.grouped9, 1024);
  return t;
}

}  // namespace

const Layer12Tables& L12Tables() {
  static const Layer12Tables tables = BuildTables();
  return tables;
}

const float (*GroupedTable(int levels))[3] {
  const Layer12Tables& t = L12Tables();
  switch (levels) {
    case 3: return t.grouped3;
    case 5: return t.grouped5;
    case 9: return t.grouped9;
    default: return nullptr;
  }
}

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
