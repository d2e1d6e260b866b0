// The readers of what lies around and before the audio: ID3v2 tags at the
// start (and the frame reader skipping them), ID3v1/APEv2 at the end, and
// the Xing/Info/VBRI header of the first frame with its seek table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "reader/ByteSource.h"
#include "reader/FrameReader.h"
#include "reader/TagSpans.h"
#include "reader/VbrHeader.h"
#include "tests/support/ReaderStreams.h"

namespace bramble {
namespace {

using test::AppendFrames;
using test::FrameBytes;
using test::FrameSpec;
using test::MakeFrame;

const FrameSpec kMp3_128{1, 3, 9, 0};  // MPEG-1 Layer III 128 kbit/s 44.1 kHz, 417 bytes

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// Ten header bytes: "ID3", version, revision, flags, four size bytes.
std::vector<uint8_t> Id3Header(int major, int revision, int flags, std::vector<uint8_t> size) {
  std::vector<uint8_t> h = Bytes("ID3");
  h.insert(h.end(), {uint8_t(major), uint8_t(revision), uint8_t(flags)});
  h.insert(h.end(), size.begin(), size.end());
  return h;
}

TEST(TagSpans, Id3v2SizeFromItsHeader) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    uint32_t size;
  } cases[] = {
      {"2.2", Id3Header(2, 0, 0x00, {0, 0, 2, 1}), 10 + 257},
      {"2.3", Id3Header(3, 0, 0x00, {0, 1, 0, 0}), 10 + 16384},
      {"2.3 extended header: inside the size", Id3Header(3, 0, 0x40, {0, 0, 0, 100}), 110},
      {"2.3 unsynchronised: the stored size", Id3Header(3, 0, 0x80, {0, 0, 0, 100}), 110},
      {"2.4 with footer", Id3Header(4, 0, 0x10, {0, 0, 0, 100}), 120},
      {"2.3 has no footer bit", Id3Header(3, 0, 0x10, {0, 0, 0, 100}), 110},
      {"largest", Id3Header(4, 0, 0x00, {0x7F, 0x7F, 0x7F, 0x7F}), 10 + 0x0FFFFFFF},
      {"size byte not syncsafe", Id3Header(3, 0, 0x00, {0, 0, 0x80, 0}), 0},
      {"version 2.5", Id3Header(5, 0, 0x00, {0, 0, 0, 100}), 0},
      {"version 2.1", Id3Header(1, 0, 0x00, {0, 0, 0, 100}), 0},
      {"revision 0xFF", Id3Header(3, 0xFF, 0x00, {0, 0, 0, 100}), 0},
      {"nine bytes", Id3Header(3, 0, 0x00, {0, 0, 0}), 0},
      {"no ID3", {'I', 'D', '4', 3, 0, 0, 0, 0, 0, 100}, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Id3v2TagSize(c.bytes.data(), c.bytes.size()), c.size) << c.what;
  EXPECT_EQ(Id3v2TagSize(nullptr, 10), 0u);
}

TEST(TagSpans, TrailingId3v1AndApe) {
  std::vector<uint8_t> id3v1 = Bytes("TAG");
  id3v1.resize(128, 'x');
  // APEv2 footer: "APETAGEX", version, size (items + footer), items, flags.
  auto ape = [](uint32_t size, bool header) {
    std::vector<uint8_t> f = Bytes("APETAGEX");
    for (uint32_t v : {2000u, size, 1u, header ? 0x80000000u : 0u})
      for (int i = 0; i < 4; ++i) f.push_back(uint8_t(v >> (8 * i)));
    f.resize(32, 0);
    return f;
  };
  auto tail = [](std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> t(200, 0x55);
    for (const auto& p : parts) t.insert(t.end(), p.begin(), p.end());
    return t;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> tail;
    uint32_t limit, size;
  } cases[] = {
      {"nothing", tail({}), 100000, 0},
      {"ID3v1", tail({id3v1}), 100000, 128},
      {"APE with header before ID3v1", tail({ape(500, true), id3v1}), 100000, 128 + 532},
      {"APE at the end", tail({ape(64, false)}), 100000, 64},
      {"APE larger than the file: only ID3v1", tail({ape(500, true), id3v1}), 600, 128},
      {"APE size below its footer", tail({ape(8, false)}), 100000, 0},
      {"ID3v1 larger than the file", tail({id3v1}), 100, 0},
  };
  for (const Case& c : cases) {
    // Only the last 160 bytes are handed over, as the reader does.
    const size_t n = std::min<size_t>(160, c.tail.size());
    EXPECT_EQ(TrailingTagSize(c.tail.data() + c.tail.size() - n, n, c.limit), c.size) << c.what;
  }
}

TEST(FrameReader, SkipsId3v2TagsUnsearchedAndSearchesWhatIsNoTag) {
  // A tag whose body holds two frames a frame length apart: searched, it
  // would be played.
  std::vector<uint8_t> body;
  AppendFrames(&body, kMp3_128, 2);
  body.resize(1000, 0);
  const int n = FrameBytes(kMp3_128);
  // Where the source stands after the first frame; -1: no frame at all.
  struct Case {
    const char* what;
    std::vector<uint8_t> header;
    long file_at, stream_at;
  } cases[] = {
      {"2.3", Id3Header(3, 0, 0, {0, 0, 7, 0x68}), 1010L + n, 1010L + n},
      {"2.4 footer, then an empty tag", Id3Header(4, 0, 0x10, {0, 0, 7, 0x5E}), 1020L + n, 1020L + n},
      // A stream is read through the claimed size and ends.
      {"size beyond the source", Id3Header(3, 0, 0, {0, 0x7F, 0, 0}), 10L + n, -1},
      {"not syncsafe: no tag", Id3Header(3, 0, 0, {0x80, 0, 7, 0x68}), 10L + n, 10L + n},
  };
  for (bool stream : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (stream ? " (stream)" : " (file)"));
      std::vector<uint8_t> data = c.header;
      data.insert(data.end(), body.begin(), body.end());
      if (c.header[3] == 4) {  // footer, then a second, empty tag
        const std::vector<uint8_t> footer = {'3', 'D', 'I', 4, 0, 0x10, 0, 0, 7, 0x5E};
        data.resize(data.size() - 10);
        data.insert(data.end(), footer.begin(), footer.end());
        const std::vector<uint8_t> empty = Id3Header(3, 0, 0, {0, 0, 0, 0});
        data.insert(data.end(), empty.begin(), empty.end());
      }
      AppendFrames(&data, kMp3_128, 3);
      struct Source : MemorySource {
        using MemorySource::MemorySource;
        bool stream = false;
        bool IsStream() const override { return stream; }
      } src(data.data(), data.size());
      src.stream = stream;
      FrameReader r;
      r.Attach(&src, nullptr);
      const long at = stream ? c.stream_at : c.file_at;
      EXPECT_EQ(r.SynHeader(nullptr), at < 0 ? -1 : 0);
      if (at >= 0) {
        EXPECT_EQ(src.Tell(), at);
      }
    }
  }
}

// A Layer III frame of `spec` with a Xing/Info header at `at`.
std::vector<uint8_t> XingFrame(const FrameSpec& spec, size_t at, const char* tag, uint32_t flags, bool lame) {
  std::vector<uint8_t> f = MakeFrame(spec);
  std::vector<uint8_t> h = Bytes(tag);
  auto be32 = [&](uint32_t v) {
    for (int i = 3; i >= 0; --i) h.push_back(uint8_t(v >> (8 * i)));
  };
  be32(flags);
  if (flags & 1) be32(1150);
  if (flags & 2) be32(398693);
  if (flags & 4)
    for (int i = 0; i < 100; ++i) h.push_back(uint8_t(i * 2));
  if (flags & 8) be32(80);
  if (lame) {
    const std::vector<uint8_t> name = Bytes("LAME3.100");
    h.insert(h.end(), name.begin(), name.end());
    h.resize(h.size() + 12, 0);
    h.insert(h.end(), {0x24, 0x04, 0xC8});  // delay 576, padding 1224
  }
  for (size_t i = 0; i < h.size() && at + i < f.size(); ++i) f[at + i] = h[i];
  return f;
}

TEST(VbrHeader, XingInfoAndVbriFields) {
  const FrameSpec mono{1, 3, 9, 0, 0, 3}, lsf{2, 3, 8, 0}, lsf_mono{2, 3, 8, 0, 0, 3}, layer2{1, 2, 9, 0};
  const FrameSpec m25_mono{25, 3, 1, 2, 0, 3};  // 72 bytes
  std::vector<uint8_t> crc = XingFrame(kMp3_128, 38, "Xing", 7, false);
  crc[1] &= 0xFE;  // protection bit 0: a CRC word follows the header
  std::vector<uint8_t> vbri = MakeFrame(kMp3_128);
  const uint8_t vbri_fields[] = {'V', 'B', 'R', 'I', 0, 1, 0x04, 0x40, 0, 75, 0, 0, 0x30, 0x39,  // bytes 12345
                                 0, 0, 0, 30, 0, 3, 0, 2, 0, 2, 0, 10,  // 3 entries, scale 2, 2 bytes, 10 frames
                                 0x01, 0xF4, 0x03, 0xE8, 0x05, 0xDC};   // 500, 1000, 1500
  std::memcpy(&vbri[36], vbri_fields, sizeof vbri_fields);
  std::vector<uint8_t> vbri_cut(vbri.begin(), vbri.begin() + 36 + 26 + 4);  // table runs past the frame

  struct Case {
    const char* what;
    std::vector<uint8_t> frame;
    VbrHeader::Kind kind;
    uint32_t frames, bytes;
    bool toc;
    int delay, padding;
  } cases[] = {
      {"Xing, LAME tag", XingFrame(kMp3_128, 36, "Xing", 15, true), VbrHeader::kXing, 1150, 398693, true, 576, 1224},
      {"Info, mono", XingFrame(mono, 21, "Info", 15, true), VbrHeader::kInfo, 1150, 398693, true, 576, 1224},
      {"MPEG-2 stereo", XingFrame(lsf, 21, "Xing", 1, false), VbrHeader::kXing, 1150, 0, false, -1, -1},
      {"MPEG-2 mono", XingFrame(lsf_mono, 13, "Xing", 3, false), VbrHeader::kXing, 1150, 398693, false, -1, -1},
      {"after a CRC word", crc, VbrHeader::kXing, 1150, 398693, true, -1, -1},
      {"fields past the frame", XingFrame(m25_mono, 13, "Xing", 0xF, true), VbrHeader::kXing, 1150, 398693,
       false, -1, -1},
      {"flags only", XingFrame(kMp3_128, 36, "Xing", 0, false), VbrHeader::kXing, 0, 0, false, -1, -1},
      {"VBRI", vbri, VbrHeader::kVbri, 30, 12345, false, -1, -1},
      {"VBRI, table cut off", vbri_cut, VbrHeader::kVbri, 30, 12345, false, -1, -1},
      {"at the wrong place", XingFrame(kMp3_128, 21, "Xing", 15, true), VbrHeader::kNone, 0, 0, false, -1, -1},
      {"Layer II", XingFrame(layer2, 36, "Xing", 15, true), VbrHeader::kNone, 0, 0, false, -1, -1},
      {"audio", MakeFrame(kMp3_128), VbrHeader::kNone, 0, 0, false, -1, -1},
  };
  VbrHeader h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ParseVbrHeader(c.frame.data(), c.frame.size(), &h), c.kind != VbrHeader::kNone);
    EXPECT_EQ(h.kind, c.kind);
    EXPECT_EQ(h.frames, c.frames);
    EXPECT_EQ(h.bytes, c.bytes);
    EXPECT_EQ(h.has_toc, c.toc);
    EXPECT_EQ(h.encoder_delay, c.delay);
    EXPECT_EQ(h.encoder_padding, c.padding);
  }
  ASSERT_TRUE(ParseVbrHeader(vbri.data(), vbri.size(), &h));
  EXPECT_EQ(h.vbri_entries, 3);
  EXPECT_EQ(h.vbri_frames_per_entry, 10);
  EXPECT_EQ(h.vbri_sizes[2], 3000u);  // scaled
  ASSERT_TRUE(ParseVbrHeader(vbri_cut.data(), vbri_cut.size(), &h));
  EXPECT_EQ(h.vbri_entries, 0);
  // An encoder that is not known to write the LAME tag is not believed.
  std::vector<uint8_t> other = XingFrame(kMp3_128, 36, "Xing", 15, true);
  other[36 + 120] = 'X';
  ASSERT_TRUE(ParseVbrHeader(other.data(), other.size(), &h));
  EXPECT_EQ(h.encoder_delay, -1);
}

TEST(VbrHeader, SeekOffsetsFromTheTables) {
  VbrHeader xing;
  xing.kind = VbrHeader::kXing;
  xing.frames = 1000;
  xing.bytes = 256000;
  xing.has_toc = true;
  for (int i = 0; i < 100; ++i) xing.toc[i] = uint8_t(i < 50 ? i : 50 + 2 * (i - 50));  // 0..49, 50..148
  VbrHeader vbri;
  vbri.kind = VbrHeader::kVbri;
  vbri.frames = 30;
  vbri.vbri_entries = 3;
  vbri.vbri_frames_per_entry = 10;
  vbri.vbri_sizes[0] = 1000;
  vbri.vbri_sizes[1] = 2000;
  vbri.vbri_sizes[2] = 3000;
  VbrHeader plain;
  plain.kind = VbrHeader::kXing;
  plain.frames = 1000;
  struct Case {
    const char* what;
    const VbrHeader* header;
    double fraction;
    uint32_t audio_bytes, offset;
  } cases[] = {
      {"start", &xing, 0.0, 300000, 0},
      {"an entry", &xing, 0.25, 300000, 25000},
      {"between entries", &xing, 0.625, 300000, 75000},             // toc 74 and 76: 75 / 256
      {"last entry to the end", &xing, 0.99609375, 300000, 213812},  // 148 + 108 x 0.609375
      {"past the end", &xing, 1.5, 300000, 256000},
      {"header's bytes beyond the file", &xing, 0.25, 128000, 12500},
      {"VBRI inside an entry", &vbri, 0.5, 0, 2000},
      {"VBRI last entry", &vbri, 0.75, 0, 3750},
      {"no table", &plain, 0.25, 80000, 20000},
  };
  for (const Case& c : cases)
    EXPECT_EQ(VbrSeekOffset(*c.header, c.fraction, c.audio_bytes), c.offset) << c.what;
}

}  // namespace
}  // namespace bramble
