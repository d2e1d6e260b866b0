// Layer III side information (ISO/IEC 11172-3 2.4.1.7, ISO/IEC 13818-3
// 2.4.1.7), read from the frame body after the header and CRC word.
#include "decoder/Layer3.h"

namespace bramble {

namespace {

// Reads one granule's fields; false for window switching with block_type 0,
// which leaves the rest of the granule as it was.
bool ReadGranule(FrameBody& d, GranuleInfo& gi, int scalefac_compress_bits, bool has_preflag) {
  gi.part2_3_length = d.GetBits(12);
  gi.big_values = d.GetBits(9);
  gi.global_gain = d.GetBits(8);
  gi.scalefac_compress = d.GetBits(scalefac_compress_bits);
  gi.window_switching_flag = d.Get1Bit();
  if (gi.window_switching_flag) {
    gi.block_type = d.GetBits(2);
    gi.mixed_block_flag = d.Get1Bit();
    gi.table_select[0] = d.GetBits(5);
    gi.table_select[1] = d.GetBits(5);
    for (int w = 0; w < 3; ++w) gi.subblock_gain[w] = d.GetBits(3);
    if (gi.block_type == 0) return false;
    // The third region starts at sample 576 and stays empty.
    gi.region0_count = (gi.block_type == 2 && !gi.mixed_block_flag) ? 8 : 7;
    gi.region1_count = 20 - gi.region0_count;
  } else {
    for (int r = 0; r < 3; ++r) gi.table_select[r] = d.GetBits(5);
    gi.region0_count = d.GetBits(4);
    gi.region1_count = d.GetBits(3);
    gi.block_type = 0;
  }
  if (has_preflag) gi.preflag = d.Get1Bit();
  gi.scalefac_scale = d.Get1Bit();
  gi.count1table_select = d.Get1Bit();
  gi.short_block = (gi.window_switching_flag && gi.block_type == 2) ? 1 : 0;
  return true;
}

}  // namespace

bool ReadSideInfoMpeg1(FrameBody& body, int channels, SideInfo& si) {
  si.main_data_begin = body.GetBits(9);
  si.private_bits = body.GetBits(channels == 2 ? 3 : 5);
  for (int ch = 0; ch < channels; ++ch)
    for (int band = 0; band < 4; ++band) si.ch[ch].scfsi[band] = body.Get1Bit();
  for (int gr = 0; gr < 2; ++gr)
    for (int ch = 0; ch < channels; ++ch)
      if (!ReadGranule(body, si.ch[ch].gr[gr], 4, true)) return false;
  return true;
}

bool ReadSideInfoLsf(FrameBody& body, int channels, SideInfo& si) {
  si.main_data_begin = body.GetBits(8);
  si.private_bits = body.GetBits(channels == 2 ? 2 : 1);
  for (int ch = 0; ch < channels; ++ch)
    if (!ReadGranule(body, si.ch[ch].gr[0], 9, false)) return false;
  return true;
}

int SideInfoEndBit(const FrameHeader& h) { return h.BodyStartBit() + 8 * h.side_info_bytes; }

}  // namespace bramble
