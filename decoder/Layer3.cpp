// Layer III granule drivers: side information, reservoir, then per granule
// scalefactors, Huffman decoding, requantisation, stereo, antialias, hybrid
// filterbank, frequency inversion and synthesis.
#include "decoder/Layer3.h"

#include <algorithm>

#include "decoder/tables/BuiltTables.h"

namespace bramble {

namespace {

// A side-information reader that stops at an invalid granule leaves the
// position inside the side information; the main data still has to be
// appended from its real start so that later frames find their bytes.
bool ReadSideInfo(const FrameHeader& h, FrameBody& body, SideInfo& si) {
  const int channels = h.stereo ? 2 : 1;
  const bool ok = h.lsf ? ReadSideInfoLsf(body, channels, si) : ReadSideInfoMpeg1(body, channels, si);
  if (!ok) body.bit_pos = SideInfoEndBit(h);
  return ok;
}

void DecodeChannel(const FrameHeader& h, Layer3State& s, EmbeddedChannel& e, int ch, int gr, Layer3Work& w) {
  GranuleInfo& gi = s.side_info.ch[ch].gr[gr];
  const SfbBounds& bands = sfb_bounds[h.SfbRow()];
  const int32_t part2_start = s.reservoir.read_pos;
  if (h.lsf) {
    const bool intensity_right = (h.mode_extension == 1 || h.mode_extension == 3) && ch == 1;
    const bool limits = StereoModesOf(h).is && ch == 1;
    ReadScaleFactorsLsf(s.reservoir, gi, intensity_right, s.scale_factors[ch], limits ? &s.limits : nullptr);
  } else {
    ReadScaleFactorsMpeg1(s.reservoir, gi, s.side_info.ch[ch].scfsi, gr, s.scale_factors[ch]);
  }
  const int count = DecodeHuffman(s.reservoir, gi, bands, part2_start, w.quantised);
  // A channel that builds no blocks needs no words.
  uint32_t word = 0;
  if (AcceptsWords(e) && ExtractEmbeddedWord(w.quantised, gi, bands, &word))
    e.bytes += AssembleEmbeddedBlock(e, uint16_t(word));
  Requantise(gi, s.scale_factors[ch], bands, w.quantised, w.xr[ch], count);
  w.xr_end[ch] = count;
}

}  // namespace

void InvertFrequencies(float* xr) {
  static const float kSign[32] = {1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1,
                                  1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1};
  for (int t = 1; t < 18; t += 2)
    for (int sb = 0; sb < 32; ++sb) xr[32 * t + sb] *= kSign[sb];
}

void ReconstructGranule(const FrameHeader& h, int gr, Layer3State& s, Layer3Work& w, SynthesisSink& out) {
  OverlapStore& ov = s.overlap;
  ov.select ^= 1;
  const bool stereo = h.stereo != 0;
  const int sfb_row = h.SfbRow();
  const ImdctTables& imdct = out.state.full_accuracy ? Built().imdct_exact : Built().imdct;
  for (int ch = 0; ch < (stereo ? 2 : 1); ++ch) {
    const GranuleInfo& gi = s.side_info.ch[ch].gr[gr];
    const int aa_end = Antialias(gi, sfb_row, out.kernels, w.xr[ch], w.aa[ch], w.xr_end[ch]);
    HybridFilterbank(gi, ov.overlap[ch][ov.select & 1], ov.overlap[ch][(ov.select & 1) ^ 1], out.kernels,
                     imdct, w.aa[ch], w.xr[ch], aa_end);
    InvertFrequencies(w.xr[ch]);
  }
  // A mono stream's second synthesis channel is never heard, but its
  // history is when the stream turns to two channels: it hears silence, as
  // a channel that was not coded.
  static const float kSilence[32] = {};
  for (int t = 0; t < 18; ++t) out(w.xr[0] + 32 * t, stereo ? w.xr[1] + 32 * t : kSilence);
}

int DecodeLayer3(const FrameHeader& h, FrameBody& body, Layer3State& s, EmbeddedChannel& e, SynthesisSink& out) {
  const bool side_ok = ReadSideInfo(h, body, s.side_info);
  // Main data is appended even when the frame is not decoded. An MPEG-1
  // frame without its main data yields 0; an LSF frame counts as handled.
  if (!FeedReservoir(s.reservoir, body, h.main_data_bytes, s.side_info.main_data_begin) || !side_ok)
    return h.lsf ? 1 : 0;

  Layer3Work w;
  const int channels = h.stereo ? 2 : 1;
  const StereoModes modes = StereoModesOf(h);
  const SfbBounds& bands = sfb_bounds[h.SfbRow()];
  for (int gr = 0; gr < (h.lsf ? 1 : 2); ++gr) {
    for (int ch = 0; ch < channels; ++ch) DecodeChannel(h, s, e, ch, gr, w);
    if (h.stereo) {
      // Stereo processing mixes the channels line by line.
      w.xr_end[0] = w.xr_end[1] = std::max(w.xr_end[0], w.xr_end[1]);
      const GranuleInfo& gi0 = s.side_info.ch[0].gr[gr];
      if (h.lsf)
        StereoLsf(modes, gi0, s.side_info.ch[1].gr[0].scalefac_compress, bands, s.scale_factors[1], s.limits,
                  w.xr);
      else
        StereoMpeg1(modes, gi0, bands, s.scale_factors[1], w.xr);
    }
    ReconstructGranule(h, gr, s, w, out);
  }
  return 1;
}

}  // namespace bramble
