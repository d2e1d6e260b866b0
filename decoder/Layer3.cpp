// Layer III granule drivers: side information, reservoir, then per granule
// scalefactors, Huffman decoding, requantisation, stereo, antialias, hybrid
// filterbank, frequency inversion and synthesis.
#include "decoder/Layer3.h"

#include "decoder/Float4.h"

namespace bramble {

namespace {

void SetStereoModes(MpegDecoder& d) {
  const bool joint = d.mode == 1;
  d.ms_stereo = joint && (d.mode_extension & 2) ? 1 : 0;
  d.i_stereo = joint && (d.mode_extension & 1) ? 1 : 0;
}

// A side-information reader that stops at an invalid granule leaves the
// position inside the side information; the main data still has to be
// appended from its real start so that later frames find their bytes.
bool ReadSideInfo(MpegDecoder& d) {
  const bool ok = d.lsf ? d.ReadSideInfoLsf() : d.ReadSideInfoMpeg1();
  if (!ok) d.frame_bit_pos = SideInfoEndBit(d);
  return ok;
}

void DecodeChannel(MpegDecoder& d, int ch, int gr, Layer3Work& w) {
  d.part2_start = d.reservoir.read_pos;
  if (d.lsf)
    d.ReadScaleFactorsLsf(ch);
  else
    d.ReadScaleFactorsMpeg1(ch, gr);
  d.DecodeHuffman(ch, gr, w.quantised);
  d.Requantise(ch, gr, w.quantised, w.xr[ch]);
}

}  // namespace

int SideInfoEndBit(const MpegDecoder& d) {
  const int bytes = d.lsf ? (d.stereo ? 17 : 9) : (d.stereo ? 32 : 17);
  return (d.protection_bit ? 0 : 16) + 8 * bytes;
}

void InvertFrequencies(float* xr) {
  const Float4 sign(_mm_setr_ps(1.0f, -1.0f, 1.0f, -1.0f));
  for (int t = 1; t < 18; t += 2)
    for (int sb = 0; sb < 32; sb += 4) {
      float* p = xr + 32 * t + sb;
      (Float4::Load(p) * sign).Store(p);
    }
}

void ReconstructGranule(MpegDecoder& d, int gr, Layer3Work& w) {
  d.overlap_select ^= 1;
  const int channels = d.output_stereo ? 2 : 1;
  for (int ch = 0; ch < channels; ++ch) {
    d.Antialias(ch, gr, w.xr[ch], w.aa[ch]);
    d.HybridFilterbank(ch, gr, w.aa[ch], w.xr[ch]);
    InvertFrequencies(w.xr[ch]);
  }
  // A mono stream's second synthesis channel is never heard, but its
  // history is when the stream turns to two channels: it hears silence, as
  // a channel that was not coded.
  static const float kSilence[32] = {};
  for (int t = 0; t < 18; ++t)
    d.Synthesize(w.xr[0] + 32 * t, d.output_stereo ? w.xr[1] + 32 * t : kSilence);
}

int MpegDecoder::DecodeLayer3() {
  embed_bytes = 0;
  if (lsf) {
    DecodeLayer3Lsf();
    return 1;
  }
  const bool side_ok = ReadSideInfo(*this);
  // Main data is appended even when the frame is not decoded.
  if (!FeedReservoir() || !side_ok) return 0;

  Layer3Work w;
  const int channels = stereo ? 2 : 1;
  for (int gr = 0; gr < 2; ++gr) {
    SetStereoModes(*this);
    for (int ch = 0; ch < channels; ++ch) DecodeChannel(*this, ch, gr, w);
    if (stereo) StereoMpeg1(gr, w.xr);
    ReconstructGranule(*this, gr, w);
  }
  return 1;
}

int MpegDecoder::DecodeLayer3Lsf() {
  const bool side_ok = ReadSideInfo(*this);
  if (!FeedReservoir() || !side_ok) return 1;

  Layer3Work w;
  const int channels = stereo ? 2 : 1;
  SetStereoModes(*this);
  for (int ch = 0; ch < channels; ++ch) DecodeChannel(*this, ch, 0, w);
  StereoLsf(w.xr);
  ReconstructGranule(*this, 0, w);
  return 1;
}

}  // namespace bramble
