// Layer II decoding (ISO/IEC 11172-3 2.4.1.6, 2.4.3.3; ISO/IEC 13818-3 for
// the low sampling frequencies).
#include <cstdint>
#include <cstring>

#include "decoder/Layer12.h"
#include "decoder/tables/BuiltTables.h"

namespace bramble {

namespace {

// Worst case of a corrupt frame: 4-bit allocations everywhere, three
// scalefactors and three 16-bit codes per sub-band and channel.
constexpr int kLayer2MaxBits = 16 + 2 * 32 * (4 + 2 + 3 * 6) + 12 * 2 * 32 * 3 * 16;
static_assert(kLayer2MaxBits / 8 + 4 <= FrameBody::kStoreBytes,
              "frame body store too small for a corrupt Layer II frame");

// Sample-code reader for the granule loop: one 64-bit window per code, so
// three 16-bit codes need no byte-by-byte assembly. Reads stay within the
// body store (see kLayer2MaxBits; the store has 8 bytes of slack).
class CodeReader {
 public:
  explicit CodeReader(FrameBody& body) : body_(body), pos_(body.bit_pos) {}
  ~CodeReader() { body_.bit_pos = pos_; }
  // n in 1..16.
  uint32_t Get(int n) {
    const uint8_t* p = body_.bytes + (pos_ >> 3);
    uint64_t w;
    std::memcpy(&w, p, 8);
    w = __builtin_bswap64(w);  // little-endian hosts only (x86)
    const uint32_t v = uint32_t((w << (pos_ & 7)) >> (64 - n));
    pos_ += n;
    return v;
  }

 private:
  FrameBody& body_;
  int32_t pos_;
};

// The three values of one sub-band and granule before the scalefactor.
inline void ReadValues(CodeReader& r, const Layer2Band& b, float v[3]) {
  if (b.bits == 0) {
    v[0] = v[1] = v[2] = 0.0f;
  } else if (b.grouped) {
    const float* g = b.grouped[r.Get(b.bits)];
    v[0] = g[0];
    v[1] = g[1];
    v[2] = g[2];
  } else {
    for (int k = 0; k < 3; ++k) {
      const float s = float(int(r.Get(b.bits))) * b.step - 1.0f;
      v[k] = (s + b.d) * b.c;
    }
  }
}

}  // namespace

void Layer2Frame::ReadHeader(const FrameHeader& h, FrameBody& body) {
  const float* scalefactor = L12Tables().l12_scalefactor;
  table = h.layer2_table;
  const L2AllocTable& at = kL2AllocTables[table];
  sblimit = at.sblimit;
  channels = h.stereo ? 2 : 1;
  jsbound = channels == 1 ? 0 : h.jsbound < 0 ? 0 : h.jsbound > sblimit ? sblimit : h.jsbound;

  for (int sb = 0; sb < jsbound; ++sb)
    for (int ch = 0; ch < 2; ++ch) allocation[ch][sb] = body.GetBits(at.nbal[sb]);
  for (int sb = jsbound; sb < sblimit; ++sb)
    allocation[0][sb] = allocation[1][sb] = body.GetBits(at.nbal[sb]);

  for (int sb = 0; sb < sblimit; ++sb)
    for (int ch = 0; ch < channels; ++ch)
      scfsi[ch][sb] = allocation[ch][sb] ? body.GetBits(2) : 0;

  for (int sb = 0; sb < sblimit; ++sb) {
    for (int ch = 0; ch < 2; ++ch) {
      Layer2Band& b = band[ch][sb];
      const int a = allocation[ch][sb];
      if (a == 0 || ch >= channels) {
        b = Layer2Band();
        continue;
      }
      const L2Class& cls = kL2Classes[at.code[sb][a].cls];
      b.bits = cls.bits;
      b.grouped = cls.grouped ? GroupedTable(cls.levels) : nullptr;
      b.step = 2.0f / float(1 << cls.bits);
      b.c = cls.c;
      b.d = cls.d;
      float* s = b.scale;
      switch (scfsi[ch][sb]) {
        case 0:
          s[0] = scalefactor[body.GetBits(6)];
          s[1] = scalefactor[body.GetBits(6)];
          s[2] = scalefactor[body.GetBits(6)];
          break;
        case 1:
          s[0] = s[1] = scalefactor[body.GetBits(6)];
          s[2] = scalefactor[body.GetBits(6)];
          break;
        case 2:
          s[0] = s[1] = s[2] = scalefactor[body.GetBits(6)];
          break;
        default:
          s[0] = scalefactor[body.GetBits(6)];
          s[1] = s[2] = scalefactor[body.GetBits(6)];
          break;
      }
    }
  }
}

void Layer2Frame::ReadGranule(FrameBody& body, int gr, float rows[3][2][32]) {
  const int third = gr < 4 ? 0 : gr < 8 ? 1 : 2;
  CodeReader reader(body);
  float v[3];
  for (int sb = 0; sb < jsbound; ++sb) {
    for (int ch = 0; ch < 2; ++ch) {
      const Layer2Band& b = band[ch][sb];
      ReadValues(reader, b, v);
      const float sf = b.scale[third];
      rows[0][ch][sb] = v[0] * sf;
      rows[1][ch][sb] = v[1] * sf;
      rows[2][ch][sb] = v[2] * sf;
    }
  }
  for (int sb = jsbound; sb < sblimit; ++sb) {
    ReadValues(reader, band[0][sb], v);
    for (int ch = 0; ch < channels; ++ch) {
      const float sf = band[ch][sb].scale[third];
      rows[0][ch][sb] = v[0] * sf;
      rows[1][ch][sb] = v[1] * sf;
      rows[2][ch][sb] = v[2] * sf;
    }
  }
}

int DecodeLayer2(const FrameHeader& h, FrameBody& body, SynthesisSink& out) {
  Layer2Frame frame;
  frame.ReadHeader(h, body);
  // Sub-bands from sblimit on, and channel 1 of a mono frame, stay silent.
  float rows[3][2][32] = {};
  for (int gr = 0; gr < 12; ++gr) {
    frame.ReadGranule(body, gr, rows);
    for (int k = 0; k < 3; ++k) out(rows[k][0], rows[k][1]);
  }
  return 1;
}

}  // namespace bramble
