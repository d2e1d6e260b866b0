#include "tools/streams/Layer3Writer.h"

#include <algorithm>
#include <cstdlib>

#include "tools/streams/Layer3Codes.h"

namespace bramble {
namespace test {

namespace {

// Layer III bit rates in kbit/s (ISO/IEC 11172-3, ISO/IEC 13818-3).
constexpr int kKbps[2][15] = {
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
constexpr int kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

// CRC-16 of the check word: polynomial 0x8005, initial value 0xFFFF, MSB first.
uint16_t FrameCrc16(const uint8_t* bytes, size_t n) {
  uint32_t crc = 0xFFFF;
  for (size_t i = 0; i < n; ++i)
    for (int k = 7; k >= 0; --k) {
      const uint32_t bit = (bytes[i] >> k) & 1;
      const uint32_t top = (crc >> 15) & 1;
      crc = (crc << 1) & 0xFFFF;
      if (top ^ bit) crc ^= 0x8005;
    }
  return uint16_t(crc);
}

void PutGranuleSideInfo(Layer3BitSink& s, const Layer3Header& h, const GranuleInfo& gi) {
  s.Put(uint32_t(gi.part2_3_length), 12);
  s.Put(uint32_t(gi.big_values), 9);
  s.Put(uint32_t(gi.global_gain), 8);
  s.Put(uint32_t(gi.scalefac_compress), h.lsf() ? 9 : 4);
  s.Put(uint32_t(gi.window_switching_flag), 1);
  if (gi.window_switching_flag) {
    s.Put(uint32_t(gi.block_type), 2);
    s.Put(uint32_t(gi.mixed_block_flag), 1);
    s.Put(uint32_t(gi.table_select[0]), 5);
    s.Put(uint32_t(gi.table_select[1]), 5);
    for (int w = 0; w < 3; ++w) s.Put(uint32_t(gi.subblock_gain[w]), 3);
  } else {
    for (int r = 0; r < 3; ++r) s.Put(uint32_t(gi.table_select[r]), 5);
    s.Put(uint32_t(gi.region0_count), 4);
    s.Put(uint32_t(gi.region1_count), 3);
  }
  if (!h.lsf()) s.Put(uint32_t(gi.preflag), 1);
  s.Put(uint32_t(gi.scalefac_scale), 1);
  s.Put(uint32_t(gi.count1table_select), 1);
}

}  // namespace

int Layer3Header::SampleRate() const {
  const int row = version == 1 ? 0 : (version == 2 ? 1 : 2);
  return kRates[row][std::clamp(sampling_frequency, 0, 2)];
}

int Layer3Header::MainDataBytes() const {
  const int kbps = kKbps[lsf() ? 1 : 0][std::clamp(bitrate_index, 0, 14)];
  const int frame_bytes = (lsf() ? 72000 : 144000) * kbps / SampleRate() + (padding ? 1 : 0);
  const int side_info_bytes = lsf() ? (channels() == 2 ? 17 : 9) : (channels() == 2 ? 32 : 17);
  return frame_bytes - 4 - (crc ? 2 : 0) - side_info_bytes;
}

bool Layer3Writer::Fail(const std::string& why) {
  error_ = "frame " + std::to_string(frames_.size()) + ": " + why;
  return false;
}

bool Layer3Writer::Add(Layer3Frame& f) {
  const Layer3Header& h = f.header;
  // Part 2 and 3 of every granule and channel, back to back.
  Layer3BitSink main_bits;
  for (int gr = 0; gr < h.granules(); ++gr)
    for (int ch = 0; ch < h.channels(); ++ch) {
      Layer3Channel& c = f.gr[gr][ch];
      if (!h.lsf() && gr == 1 && !c.info.window_switching_flag)
        for (int g = 0; g < 4; ++g) {
          static const int kStart[5] = {0, 6, 11, 16, 21};
          if (f.scfsi[ch][g])
            std::copy(f.gr[0][ch].sf.l + kStart[g], f.gr[0][ch].sf.l + kStart[g + 1], c.sf.l + kStart[g]);
        }
      const int64_t begin = main_bits.bit_count();
      std::string why;
      if (!CodeChannel(h, gr, ch, f.scfsi[ch], c, main_bits, &why))
        return Fail("granule " + std::to_string(gr) + " channel " + std::to_string(ch) + ": " + why);
      c.info.part2_3_length = int32_t(main_bits.bit_count() - begin);
      if (c.info.part2_3_length > 4095) return Fail("part2_3_length above 4095");
    }
  const std::vector<uint8_t> data = main_bits.Bytes();
  const int64_t len = int64_t(data.size());

  // Place the main data: it ends inside this frame's slot and starts at most
  // MaxMainDataBegin bytes before it.
  const int64_t slot_start = slot_end_;
  const int slot = h.MainDataBytes();
  if (f.main_data_begin < 0)
    f.main_data_begin = int(slot_start - std::max(data_end_, slot_start - h.MaxMainDataBegin()));
  if (f.main_data_begin > h.MaxMainDataBegin()) return Fail("main_data_begin too large");
  const int64_t start = slot_start - f.main_data_begin;
  if (std::max<int64_t>(start, 0) < data_end_) return Fail("main data overlaps the previous frame's");
  if (start + len > slot_start + slot)
    return Fail("main data needs " + std::to_string(len) + " bytes, " +
                std::to_string(slot_start + slot - start) + " available");
  main_.resize(size_t(slot_start + slot), 0);
  for (int64_t k = 0; k < len; ++k)
    if (start + k >= 0) main_[size_t(start + k)] = data[size_t(k)];
  data_end_ = std::max<int64_t>(start + len, 0);
  slot_end_ = slot_start + slot;

  // Header, check word, side information. Version bits: 11 MPEG-1, 10
  // MPEG-2, 00 MPEG-2.5 (the sync's twelfth bit 0).
  const int version_bits = h.version == 1 ? 3 : (h.version == 2 ? 2 : 0);
  Written w;
  w.head = {0xFF, uint8_t(0xE0 | version_bits << 3 | 1 << 1 | (h.crc ? 0 : 1)),
            uint8_t(h.bitrate_index << 4 | h.sampling_frequency << 2 | (h.padding ? 2 : 0)),
            uint8_t(h.mode << 6 | h.mode_extension << 4)};
  if (h.crc) w.head.insert(w.head.end(), {0, 0});
  Layer3BitSink side;
  side.Put(uint32_t(f.main_data_begin), h.lsf() ? 8 : 9);
  side.Put(0, h.lsf() ? (h.channels() == 2 ? 2 : 1) : (h.channels() == 2 ? 3 : 5));
  if (!h.lsf())
    for (int ch = 0; ch < h.channels(); ++ch)
      for (int g = 0; g < 4; ++g) side.Put(uint32_t(f.scfsi[ch][g]), 1);
  for (int gr = 0; gr < h.granules(); ++gr)
    for (int ch = 0; ch < h.channels(); ++ch) PutGranuleSideInfo(side, h, f.gr[gr][ch].info);

  const std::vector<uint8_t> side_bytes = side.Bytes();
  w.head.insert(w.head.end(), side_bytes.begin(), side_bytes.end());
  if (h.crc) {
    std::vector<uint8_t> covered = {w.head[2], w.head[3]};
    covered.insert(covered.end(), side_bytes.begin(), side_bytes.end());
    const uint16_t crc = FrameCrc16(covered.data(), covered.size());
    w.head[4] = uint8_t(crc >> 8);
    w.head[5] = uint8_t(crc);
  }
  w.slot_start = slot_start;
  w.slot_bytes = slot;
  offsets_.push_back(stream_bytes_);
  stream_bytes_ += w.head.size() + size_t(slot);
  frames_.push_back(std::move(w));
  return true;
}

std::vector<uint8_t> Layer3Writer::Stream() const {
  std::vector<uint8_t> out;
  out.reserve(stream_bytes_);
  for (const Written& w : frames_) {
    out.insert(out.end(), w.head.begin(), w.head.end());
    out.insert(out.end(), main_.begin() + w.slot_start, main_.begin() + w.slot_start + w.slot_bytes);
  }
  return out;
}

Layer3Channel LongGranule() {
  Layer3Channel c;
  c.info.global_gain = kUnitGlobalGain;
  c.info.region0_count = 7;
  c.info.region1_count = 7;
  return c;
}

}  // namespace test
}  // namespace bramble
