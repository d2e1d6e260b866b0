// The frame reader (resynchronisation, locked fields, two-frame confirmation,
// tags skipped unsearched), lengths, encoder headers, seeks and the stream probe.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decoder/FrameHeader.h"
#include "decoder/MpegDecoder.h"
#include "plugin/Session.h"
#include "reader/DecodeSource.h"
#include "reader/ByteSource.h"
#include "reader/FrameReader.h"
#include "reader/StreamProbe.h"
#include "reader/VbrHeader.h"
#include "tests/support/PcmCompare.h"
#include "tests/support/TagBytes.h"

namespace bramble {
namespace {

using namespace test;

struct FrameSpec {
  int version = 1;  // 1, 2 or 25 (MPEG-2.5)
  int layer = 3, bitrate_index = 9, sf_index = 0, padding = 0, mode = 0;
};
const FrameSpec kMp3{1, 3, 9, 0};       // MPEG-1 Layer III 128 kbit/s 44.1 kHz
const FrameSpec kMp3_160{1, 3, 10, 0};  // the same at 160 kbit/s
const FrameSpec kMp3_48k{1, 3, 9, 1};   // the same at 48 kHz
const FrameSpec kLsf{2, 3, 8, 0};       // MPEG-2 Layer III 64 kbit/s 22.05 kHz
const FrameSpec kM25{25, 3, 8, 0};      // MPEG-2.5 Layer III 64 kbit/s 11.025 kHz

// `count` frames with a valid header and a zero body (silence for every
// layer), header byte `at` (if any) set to `value`.
Bytes Frames(const FrameSpec& s, int count, int at = 0, uint8_t value = 0) {
  const int b1 = 0xE1 | ((4 - s.layer) << 1) | (s.version == 1 ? 0x18 : s.version == 2 ? 0x10 : 0);
  Bytes f = {0xFF, uint8_t(b1), uint8_t(s.bitrate_index << 4 | s.sf_index << 2 | s.padding << 1), uint8_t(s.mode << 6)};
  FrameHeader h;
  if (ParseFrameHeader(f.data(), &h)) f.resize(size_t(h.frame_bytes), 0);
  if (at > 0) f[size_t(at)] = value;
  Bytes all;
  for (int i = 0; i < count; ++i) all = all + f;
  return all;
}
int FrameBytes(const FrameSpec& s) { return int(Frames(s, 1).size()); }

// A file or a stream in memory that counts the reader's lock-ons (output opens).
class Source : public MemorySource, public LockOnListener {
 public:
  Source(const Bytes& b, bool stream) : MemorySource(b.data(), b.size()), stream(stream) {}
  bool IsStream() const override { return stream; }
  bool LockedOn(const FrameReader&) override { return ++opens; }
  const bool stream;
  int opens = 0;
};


TEST(FrameReader, FindsConfirmsAndResynchronises) {
  const int a = FrameBytes(kMp3), b = FrameBytes(kMp3_160), c = FrameBytes(kMp3_48k), m = FrameBytes(kM25);
  Bytes junk(1000), cut = Frames(kMp3, 2);
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = i % 97 == 0 ? 0xFF : uint8_t(i % 0xF0);
  junk[998] = 0xFF, junk[999] = 0xFB;  // a false start right before the frame
  cut.pop_back();
  // A tag body holding two frames: searched, they would be played.
  const Bytes body = Frames(kMp3, 2) + Bytes(166, 0), audio = Frames(kMp3, 3), size = {0, 0, 7, 0x68};
  const Bytes footer = {'3', 'D', 'I', 4, 0, 0x10, 0, 0, 7, 0x5E}, huge = {0, 0x7F, 0, 0}, none = {0, 0, 0, 0};
  const std::vector<int> three = {a, a, a}, five = {a, a, a, a, a};
  struct Case {
    const char* what;
    Bytes bytes;
    bool stream;
    std::vector<int> sizes;
  } cases[] = {
      {"junk byte by byte, then bit rate changes", junk + Frames(kMp3, 1) + Frames(kMp3_160, 2), false, {a, b, b}},
      {"a new sample rate is confirmed anew", Frames(kMp3, 2) + Frames(kMp3_48k, 3), false, {a, a, c, c}},
      {"junk inside: the next frame has no partner", Frames(kMp3, 2) + Bytes(10, 0) + Frames(kMp3, 1) + Bytes(3, 0), 0,
       {a, a}},
      {"a file needs two headers or its end", Bytes(5, 0x20) + Frames(kMp3, 1) + Bytes(1, 0x20), false, {}},
      {"one frame ends the file", Bytes(5, 0x20) + Frames(kMp3, 1), false, {a}},
      {"one frame before an ID3v1 tag", Frames(kMp3, 1) + Str("TAG") + Bytes(125, 0), false, {a}},
      {"a stream needs one", Bytes(5, 0x20) + Frames(kMp3, 1), true, {a}},
      {"a cut last frame is the end", cut, false, {a}},
      {"MPEG-2.5", Frames(kM25, 3), false, {m, m, m}},
      {"MPEG-2.5 Layer II", Frames({25, 2, 8, 0}, 3), false, {}},
      {"MPEG-2.5 with the ID bit", Frames(kM25, 3, 1, 0xEB), false, {}},
      {"free format: the next header's distance", Frames(kMp3, 3, 2, 0x00), false, {a, a, a}},
      {"free format in a stream", Bytes(5, 0x20) + Frames(kMp3_160, 2, 2, 0x02), true, {b, b}},
      {"free format without a partner", Frames(kMp3, 1, 2, 0x00) + Bytes(5000, 0), false, {}},
      {"ID3v2.2 skipped", Id3Header(2, 0, size) + body + audio, false, three},
      {"ID3v2.3 skipped in a stream", Id3Header(3, 0x40, size) + body + audio, true, three},
      {"ID3v2.4 footer, then an empty tag",
       Id3Header(4, 0x10, {0, 0, 7, 0x5E}) + body + footer + Id3Header(3, 0, none) + audio, 0, three},
      {"version 2.5: no tag", Id3Header(5, 0, size) + body + audio, false, five},
      {"size not syncsafe: no tag", Id3Header(3, 0, {0x80, 0, 7, 0x68}) + body + audio, false, five},
      {"larger than the file: searched", Id3Header(3, 0, huge) + body + audio, false, five},
      {"larger than the stream: read through", Id3Header(3, 0, huge) + body + audio, true, {}},
  };
  for (const Case& k : cases) {
    Source src(k.bytes, k.stream);
    FrameReader r;
    r.SetListener(&src);
    r.Attach(&src, nullptr);
    std::vector<int> sizes;
    while (sizes.size() < 10 && r.SynHeader(nullptr) != -1) sizes.push_back(r.frame_size());
    EXPECT_EQ(sizes, k.sizes) << k.what;
    EXPECT_EQ(src.opens, k.sizes.empty() ? 0 : 1) << k.what;  // the output opens once
  }
}

TEST(FrameReader, SeekAndUndecodableFrames) {
  // Patterns in the audio are no frames to seek to: a free-format pair of
  // the same stream 1000 bytes apart, and in every frame a header whose
  // length runs past the next real one.
  const int a = FrameBytes(kMp3);
  Bytes data = Frames(kMp3, 6);
  for (int at : {a + 150, a + 1150}) std::memcpy(&data[size_t(at)], "\xFF\xFB\0\0", 4);
  for (int at = 300; at < 6 * a; at += a) std::memcpy(&data[size_t(at)], "\xFF\xFB\x50\0", 4);
  Source src(data, false);
  FrameReader r;
  r.Attach(&src, nullptr);
  ASSERT_EQ(r.SynHeader(nullptr), 0);
  ASSERT_TRUE(r.SeekSource(a + 100));  // into the second frame: the third is the next confirmed
  ASSERT_EQ(r.SynHeader(nullptr), 0);
  EXPECT_EQ(src.Tell(), 3 * a);
  // Layer I allocation code 15 is forbidden: a body of 0xFF cannot decode.
  Bytes l1 = Frames({1, 1, 12, 1}, 1);
  std::fill(l1.begin() + 4, l1.end(), 0xFF);
  const Bytes two = l1 + l1;
  Source bad(two, false);
  auto dec = std::make_unique<MpegDecoder>();
  r.Attach(&bad, dec.get());
  alignas(16) static int16_t pcm[FrameReader::kPcmBufferBytes / 2];
  EXPECT_EQ(std::vector<int>({r.SynHeader(pcm), r.SynHeader(pcm), r.SynHeader(pcm)}), std::vector<int>({-2, -2, -1}));
}

// A frame of `spec` with a Xing/Info header at `at`: 1150 frames, 398693
// bytes, a table, and a LAME tag (delay 576, padding 1224).
Bytes XingFrame(const FrameSpec& spec, size_t at, const char* tag, uint32_t flags, bool lame = true) {
  Bytes f = Frames(spec, 1), h = Str(tag) + Be(flags, 4);
  if (flags & 1) h = h + Be(1150, 4);
  if (flags & 2) h = h + Be(398693, 4);
  for (int i = 0; (flags & 4) && i < 100; ++i) h.push_back(uint8_t(i * 2));
  if (flags & 8) h = h + Be(80, 4);
  if (lame) h = h + Str("LAME3.100") + Bytes(12, 0) + Bytes{0x24, 0x04, 0xC8};
  for (size_t i = 0; i < h.size() && at + i < f.size(); ++i) f[at + i] = h[i];
  return f;
}

// VBRI: 30 frames, 12345 bytes, 3 entries of 10 frames (500, 1000, 1500 scaled by 2).
Bytes VbriFrame() {
  Bytes f = Frames(kMp3, 1);
  const uint8_t fields[] = {'V', 'B', 'R', 'I', 0, 1, 4, 0x40, 0, 75, 0, 0, 0x30, 0x39, 0, 0,
                            0,   30,  0,   3,   0, 2, 0, 2,    0, 10, 1, 0xF4, 3, 0xE8, 5, 0xDC};
  std::memcpy(&f[36], fields, sizeof fields);
  return f;
}

TEST(VbrHeader, SeekOffsetsFromTheTables) {
  VbrHeader xing, vbri;  // Xing table entries 2 x i of 256 for 398693 bytes
  ASSERT_TRUE(ParseVbrHeader(XingFrame(kMp3, 36, "Xing", 15).data(), size_t(FrameBytes(kMp3)), &xing));
  ASSERT_TRUE(ParseVbrHeader(VbriFrame().data(), size_t(FrameBytes(kMp3)), &vbri));
  // Between table entries, the last entry to the end, past the end, bytes the file lacks, within VBRI entries.
  EXPECT_EQ(std::vector<uint32_t>({VbrSeekOffset(xing, 0.255, 400000), VbrSeekOffset(xing, 0.995, 400000),
                                   VbrSeekOffset(xing, 1.5, 400000), VbrSeekOffset(xing, 0.5, 200000),
                                   VbrSeekOffset(vbri, 0.5, 0), VbrSeekOffset(vbri, 0.75, 0)}),
            std::vector<uint32_t>({79427, 353528, 398693, 78125, 2000, 3750}));  // 51, 227 and 100 of 256
}

TEST(Length, FromBitRateFrameCountAndTagsCachedByName) {
  const Bytes cbr = Frames(kMp3, 2) + Bytes(399166, 0), lsf = Frames(kLsf, 2) + Bytes(79584, 0);  // 25 s, 10 s
  const Bytes tags_before = Id3Header(3, 0, {0, 0, 0x4E, 0x16}) + Bytes(10006, 0);
  const Bytes tags_after = ApeTag({Bytes(500, 0)}, true) + Str("TAG") + Bytes(125, 0);
  Bytes crc = XingFrame(kMp3, 38, "Xing", 7, false), short_ape = ApeTag({}, false);
  short_ape[12] = 8;  // a size below the footer's own
  crc[1] &= 0xFE;  // a CRC word follows the header
  const int xing_ms = 1150 * 1152 * 1000 / 44100;  // also 1150 x 576 samples at 22.05 kHz
  struct Case {
    const char* what;
    Bytes bytes;
    int ms;
  } cases[] = {
      {"constant rate", cbr, 25000},
      {"tags around it not counted", tags_before + cbr + tags_after, 25000},
      {"APE at the very end", cbr + ApeTag({Bytes(500, 0)}, false), 25000},
      {"APE size below its footer: audio", cbr + short_ape, 25002},
      {"MPEG-2", lsf, 10000},
      {"one frame: no rate, 16 bytes per ms", Bytes(2000, 0x33) + Frames(kMp3_160, 1) + Bytes(2478, 0x33), 312},
      {"Xing frame count", XingFrame(kMp3, 36, "Xing", 15) + Frames(kMp3, 1) + Bytes(50000, 0), xing_ms},
      {"Info, mono", XingFrame({1, 3, 9, 0, 0, 3}, 21, "Info", 15) + Frames(kMp3, 1), xing_ms},
      {"Xing after a CRC word", crc + Frames(kMp3, 1), xing_ms},
      {"MPEG-2 mono", XingFrame({2, 3, 8, 0, 0, 3}, 13, "Xing", 3, false) + Frames(kLsf, 1), xing_ms},
      {"MPEG-2 stereo", XingFrame(kLsf, 21, "Xing", 1, false) + Frames(kLsf, 1), xing_ms},
      {"Xing at the wrong place: by bit rate", XingFrame(kMp3, 21, "Xing", 15) + cbr, 25026},
      {"Xing in Layer II: by bit rate", XingFrame({1, 2, 9, 0}, 36, "Xing", 15) + Frames({1, 2, 9, 0}, 1), 52},
      {"VBRI frame count", VbriFrame() + Frames(kMp3, 1) + Bytes(5000, 0), 30 * 1152 * 1000 / 44100},
      {"varying rate: walked", Frames(kMp3, 3) + Frames(kMp3_160, 3) + Frames(kMp3, 3), 9 * 1152 * 1000 / 44100},
      {"free format: walked", Frames(kMp3_160, 4, 2, 0x00) + Bytes(100, 0), 4 * 1152 * 1000 / 44100},
  };
  Session session;
  const std::string path = ::testing::TempDir() + "bramble_length.mp3", other = path + ".other";
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteFile(path, c.bytes));
    session.InvalidateLengthCache();
    EXPECT_EQ(session.GetLength(path.c_str()), c.ms) << c.what;
  }
  EXPECT_EQ(session.GetLength((path + ".missing").c_str()), 0);  // size 1
  // A walked file seeks through its index: into the fifth frame, a fiftieth of its bytes on.
  ASSERT_TRUE(WriteFile(path, Frames(kMp3, 3) + Frames(kMp3_160, 3)));
  const SourceLayout& walked = session.ScanFile(path.c_str(), 2817).layout;
  EXPECT_EQ(SeekOffset(walked, 0, 105, false), 3 * 417 + 522 + 10);
  // The same name and size with other bytes is scanned again.
  ASSERT_TRUE(WriteFile(path, Frames(kMp3_160, 3) + Frames(kMp3, 3)));
  EXPECT_EQ(session.ScanFile(path.c_str(), 2817).layout.index.offsets[1], 522u);
  // A long walk keeps every 4th of 1500 frames, and seeks between them.
  SourceLayout layout = walked;
  layout.index = FrameIndex();
  for (uint32_t i = 0; i < 1500; ++i) layout.index.Add(1000 + 10 * i);
  layout.index.end = 16000;
  EXPECT_EQ(std::vector<long>({long(layout.index.stride), SeekOffset(layout, 0, 14000, false),
                               SeekOffset(layout, 0, 32250, false)}),
            std::vector<long>({4, 1000 + 5359, 1000 + 12345}));  // 535.94, 1234.57 frames of 1152 at 44.1 kHz
  // The last name asked is answered from the cache until invalidated or replaced.
  ASSERT_TRUE(WriteFile(path, cbr) && WriteFile(other, lsf));
  EXPECT_EQ(session.GetLength(path.c_str()), 25000);
  ASSERT_TRUE(WriteFile(path, lsf));
  EXPECT_EQ(session.GetLength(path.c_str()), 25000);
  session.InvalidateLengthCache();
  EXPECT_EQ(session.GetLength(path.c_str()), 10000);
  ASSERT_TRUE(WriteFile(path, cbr));
  EXPECT_EQ(session.GetLength(other.c_str()), 10000);
  EXPECT_EQ(session.GetLength(path.c_str()), 25000);
  // A network stream at its own rate (128 kbit/s when unknown); a local file meanwhile as a file.
  session.SetContentLengthQuery([](uint32_t* size) { return *size = 800000, true; });
  session.stream_mode = true;
  session.stream_bitrate = 64000;
  session.SetSourceName("http://radio/x");
  EXPECT_EQ(session.GetLength("http://radio/x"), 100000);
  EXPECT_EQ(session.GetLength(path.c_str()), 25000) << "a 128 kbit/s file at the stream's 64 kbit/s";
  session.stream_bitrate = 0;
  EXPECT_EQ(session.GetLength("http://radio/x"), 50000);
}

// A conformance stream's first frame cut out alone (and before an ID3v1
// tag) gives that frame's PCM.
TEST(FrameReader, OneFrameFileDecodes) {
  const Bytes all = ReadFile(std::string(BRAMBLE_SHARED_DIR) + "/conformance/l2-fl14.bit");
  FrameHeader h;
  ASSERT_TRUE(all.size() > 4 && ParseFrameHeader(all.data(), &h));
  const Bytes first(all.begin(), all.begin() + h.frame_bytes);
  auto decode = [](const Bytes& b) {
    MemorySource src(b.data(), b.size());
    auto dec = std::make_unique<MpegDecoder>();
    CollectingSink sink;
    DecodeSource(src, *dec, sink, nullptr);
    return sink.pcm;
  };
  std::vector<int16_t> want = decode(all);
  want.resize(2 * 1152);
  EXPECT_EQ(decode(first), want);
  EXPECT_EQ(decode(first + Str("TAG") + Bytes(125, 0x20)), want);
}

TEST(StreamProbe, TwoMatchingHeaders) {
  const int a = FrameBytes(kMp3);
  struct Case {
    const char* what;
    Bytes bytes;
    int length;         // bytes handed over; -1 all
    std::string found;  // bit rate, sample rate
  } cases[] = {
      {"after junk", Bytes(300, 0x42) + Frames(kMp3, 2), -1, "128 44100"},
      {"the second header's bit rate", Frames(kMp3, 1) + Frames(kMp3_160, 1), -1, "160 44100"},
      {"a new rate restarts", Frames(kMp3, 1) + Frames(kMp3_48k, 3), -1, "128 48000"},
      {"padded Layer III", Frames({1, 3, 9, 0, 1}, 2), -1, "128 44100"},
      {"padded Layer II", Frames({1, 2, 10, 0, 1, 1}, 2), -1, "192 44100"},
      {"padded Layer I", Frames({1, 1, 12, 1, 1}, 2), -1, "384 48000"},
      {"one header", Bytes(10, 0) + Frames(kMp3, 1), -1, ""},
      {"second header cut short", Frames(kMp3, 2), a + 3, ""},
      {"second header whole", Frames(kMp3, 2), a + 4, "128 44100"},
  };
  for (const Case& c : cases) {
    StreamProbe p;
    const bool found = p.Parse(c.bytes.data(), c.length < 0 ? int(c.bytes.size()) : c.length) == 1;
    const std::string got = std::to_string(p.bitrate) + " " + std::to_string(p.sample_rate);
    EXPECT_EQ(found ? got : "", c.found) << c.what;
  }
}

}  // namespace
}  // namespace bramble
