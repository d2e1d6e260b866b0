// Layer III bitstream writer for test streams: frames from header fields,
// side information, scalefactors and 576 quantised values per granule and
// channel, with a real bit reservoir (main data may start in earlier frames,
// or before the stream's first byte). It computes part2_3_length,
// big_values, and unless the caller fixes them the tables, scalefac_compress
// and main_data_begin, and writes them back into the frame passed to Add.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoder/MpegDecoder.h"

namespace bramble {
namespace test {

struct Layer3Header {
  int version = 1;             // 1: MPEG-1, 2: MPEG-2, 25: MPEG-2.5
  int sampling_frequency = 0;  // rate index 0..2 within the version
  int bitrate_index = 9;
  int mode = 0;                // 0 stereo, 1 joint, 2 dual, 3 single channel
  int mode_extension = 0;
  bool crc = false;
  bool padding = false;

  bool lsf() const { return version != 1; }
  int channels() const { return mode == 3 ? 1 : 2; }
  int granules() const { return lsf() ? 1 : 2; }
  int SampleRate() const;
  int MainDataBytes() const;  // slot bytes for main data in this frame
  int MaxMainDataBegin() const { return lsf() ? 255 : 511; }
  int SfbRow() const { return (version == 25 ? 6 : version == 2 ? 3 : 0) + sampling_frequency; }
};

// One granule of one channel.
struct Layer3Channel {
  // Written as given except part2_3_length, big_values, and the fields the
  // auto_ flags below compute. For LSF frames `preflag` asks for a
  // scalefac_compress with pre-emphasis.
  GranuleInfo info{};
  // Scalefactors to code: l[0..20] for long blocks, s[w][0..11] for short
  // blocks, l[0..7] (MPEG-1) or l[0..5] (LSF) then s[w][3..11] for mixed.
  ScaleFactors sf{};
  int32_t values[576] = {};
  bool auto_tables = true;          // table_select and count1table_select
  bool auto_scalefac_compress = true;
};

struct Layer3Frame {
  Layer3Header header;
  int main_data_begin = -1;  // -1: start as far back as the reservoir allows
  int32_t scfsi[2][4] = {};  // MPEG-1: groups of granule 1 not coded
  Layer3Channel gr[2][2];    // [granule][channel]
};

class Layer3Writer {
 public:
  // Codes one frame and appends it. False, with error(), when the frame
  // cannot be coded as asked (a chosen table, main data too long, ...).
  bool Add(Layer3Frame& frame);

  // The stream so far. Slot bytes that no main data used are zero.
  std::vector<uint8_t> Stream() const;
  // Byte offset of each frame in Stream().
  const std::vector<size_t>& frame_offsets() const { return offsets_; }
  const std::string& error() const { return error_; }

 private:
  struct Written {
    std::vector<uint8_t> head;  // header, CRC word, side information
    int64_t slot_start;         // main-data coordinates of the frame's slot
    int slot_bytes;
  };
  bool Fail(const std::string& why);

  std::vector<Written> frames_;
  std::vector<size_t> offsets_;
  std::vector<uint8_t> main_;  // main data of all frames, slot coordinates
  int64_t slot_end_ = 0;       // end of the last frame's slot
  int64_t data_end_ = 0;       // end of the last frame's main data
  size_t stream_bytes_ = 0;
  std::string error_;
};

// A granule with every field at a neutral default: long blocks, global gain
// 210 (unit step), region counts 7 and 7, no scalefactors.
Layer3Channel LongGranule();

}  // namespace test
}  // namespace bramble
