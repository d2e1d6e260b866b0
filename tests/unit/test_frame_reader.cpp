#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decoder/MpegDecoder.h"
#include "plugin/Session.h"
#include "reader/ByteSource.h"
#include "reader/FrameReader.h"
#include "reader/StreamProbe.h"
#include "tests/support/ReaderStreams.h"

namespace bramble {
namespace {

using test::AppendFrames;
using test::FrameBytes;
using test::FrameSpec;
using test::HeaderBytes;
using test::MakeFrame;

// Counts lock-ons (output opens); can be told to refuse them.
class CountingReader final : public FrameReader, private LockOnListener {
 public:
  CountingReader() { SetListener(this); }
  int opens = 0;
  bool refuse = false;

 private:
  bool LockedOn(const FrameReader&) override {
    ++opens;
    return !refuse;
  }
};

class StreamSource : public MemorySource {
 public:
  using MemorySource::MemorySource;
  bool IsStream() const override { return true; }
};

std::string TempPath(const char* name) { return ::testing::TempDir() + "bramble_reader_" + name; }

int CheckBytes(FrameReader& r, const std::vector<uint8_t>& h) {
  std::memcpy(r.header(), h.data(), 4);
  return r.CheckHeader();
}

// Every frame SynHeader hands over, by its header's third byte and size.
struct Walk {
  std::vector<int> b2;
  std::vector<int> sizes;
  std::vector<long> positions;
};

Walk WalkAll(FrameReader& r) {
  Walk w;
  for (int guard = 0; guard < 1000 && r.SynHeader(nullptr) != -1; ++guard) {
    w.b2.push_back(r.frame()[2]);
    w.sizes.push_back(r.frame_size());
    w.positions.push_back(r.byte_position());
  }
  return w;
}

const FrameSpec kMp3_128{1, 3, 9, 0};        // MPEG-1 Layer III 128 kbit/s 44.1 kHz
const FrameSpec kMp3_160{1, 3, 10, 0};
const FrameSpec kMp3_48k{1, 3, 9, 1};        // same rate at 48 kHz
const FrameSpec kLsf64{2, 3, 8, 0};          // MPEG-2 Layer III 64 kbit/s 22.05 kHz

TEST(FrameReader, SkipsJunkByteByByteAndDecodesTheFirstFrameFirst) {
  std::vector<uint8_t> data;
  for (int i = 0; i < 1000; ++i) data.push_back(i % 97 == 0 ? 0xFF : uint8_t(i % 0xF0));
  data[998] = 0xFF;  // a false start right before the frame
  data[999] = 0xFB;
  const int n1 = FrameBytes(kMp3_128), n2 = FrameBytes(kMp3_160);
  AppendFrames(&data, kMp3_128, 1);
  AppendFrames(&data, kMp3_160, 2);

  MemorySource src(data.data(), data.size());
  CountingReader r;
  r.Attach(&src, nullptr);
  ASSERT_EQ(r.SynHeader(nullptr), 0);
  EXPECT_EQ(r.frame()[2], HeaderBytes(kMp3_128)[2]);
  EXPECT_EQ(r.frame_size(), n1);
  EXPECT_EQ(r.byte_position(), 1000 + n1);  // one step per junk byte
  EXPECT_EQ(src.Tell(), 1000 + n1);         // the confirming header is read again
  EXPECT_EQ(r.sync_state(), FrameReader::kSynchronised);
  EXPECT_EQ(r.opens, 1);
  EXPECT_TRUE(r.output_opened());
  EXPECT_EQ(r.block_size(), 4608);

  const Walk rest = WalkAll(r);
  ASSERT_EQ(rest.sizes, (std::vector<int>{n2, n2}));
  EXPECT_EQ(rest.positions.back(), long(data.size()));
  EXPECT_EQ(r.opens, 1);
}

TEST(FrameReader, HeaderValuesAndFrameLengths) {
  FrameReader r;
  ASSERT_EQ(CheckBytes(r, HeaderBytes(kMp3_128)), 1);
  EXPECT_EQ(r.byte_rate(), 16000);
  EXPECT_EQ(r.sample_rate(), 44100);
  FrameSpec padded = kMp3_128;
  padded.padding = 1;
  EXPECT_EQ(FrameBytes(padded), 418);

  std::vector<uint8_t> data;
  AppendFrames(&data, padded, 3);
  MemorySource src(data.data(), data.size());
  r.Attach(&src, nullptr);
  ASSERT_EQ(r.SynHeader(nullptr), 0);
  EXPECT_EQ(r.frame_size(), 418);
  EXPECT_EQ(WalkAll(r).sizes.size(), 2u);

  // Still locked to MPEG-1 44.1 kHz after the walk; searching anew is not.
  EXPECT_EQ(CheckBytes(r, HeaderBytes(kLsf64)), -1);
  r.ResetSync();
  EXPECT_EQ(CheckBytes(r, HeaderBytes(kLsf64)), 1);
  EXPECT_EQ(r.byte_rate(), 8000);
}

TEST(FrameReader, ScanReportsBitRateAndSampleRate) {
  struct Case {
    FrameSpec spec;
    int frame_bytes, bitrate, rate, block;
  } cases[] = {
      {kMp3_128, 417, 128000, 44100, 4608},
      {kLsf64, 208, 64000, 22050, 2304},
      {{1, 1, 12, 1}, 384, 384000, 48000, 1536},  // Layer I 384 kbit/s 48 kHz
      {{2, 2, 12, 1}, 768, 128000, 24000, 4608},  // LSF Layer II keeps 1152 samples
      {{25, 3, 1, 2}, 72, 8000, 8000, 2304},      // MPEG-2.5 8 kbit/s 8 kHz
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bitrate);
    EXPECT_EQ(FrameBytes(c.spec), c.frame_bytes);
    std::vector<uint8_t> data(37, 0x11);
    AppendFrames(&data, c.spec, 2);
    MemorySource src(data.data(), data.size());
    FrameReader r;
    int bitrate = -5, channels = -5, rate = -5;
    ASSERT_EQ(r.ScanInfo(src, &bitrate, &channels, &rate), 0);
    EXPECT_EQ(bitrate, c.bitrate);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(rate, c.rate);
    EXPECT_EQ(src.Tell(), 0);  // left at the start

    src.Seek(0);
    r.Attach(&src, nullptr);
    ASSERT_EQ(r.SynHeader(nullptr), 0);
    EXPECT_EQ(r.frame_size(), c.frame_bytes);
    EXPECT_EQ(r.block_size(), c.block);
  }
}

TEST(FrameReader, RejectsWhatIsNoHeader) {
  FrameReader r;
  auto with = [](FrameSpec s, int b1_and, int b1_or) {
    std::vector<uint8_t> h = HeaderBytes(s);
    h[1] = uint8_t((h[1] & b1_and) | b1_or);
    return h;
  };
  FrameSpec s = kMp3_128;
  s.bitrate_index = 0;  // free format
  EXPECT_EQ(CheckBytes(r, HeaderBytes(s)), 0);
  s.bitrate_index = 15;
  EXPECT_EQ(CheckBytes(r, HeaderBytes(s)), 0);
  s = kMp3_128;
  s.sf_index = 3;
  EXPECT_EQ(CheckBytes(r, HeaderBytes(s)), 0);
  EXPECT_EQ(CheckBytes(r, with(kMp3_128, 0xF9, 0)), 0);      // layer bits 00
  EXPECT_EQ(CheckBytes(r, with(kMp3_128, 0x1F, 0xC0)), 0);   // 10 sync bits only
  std::vector<uint8_t> h = HeaderBytes(kMp3_128);
  h[0] = 0xFE;
  EXPECT_EQ(CheckBytes(r, h), 0);

  // MPEG-2.5 carries Layer III only; ID bit set with it is reserved.
  EXPECT_EQ(CheckBytes(r, HeaderBytes({25, 2, 8, 0})), -1);
  EXPECT_EQ(CheckBytes(r, HeaderBytes({25, 1, 8, 0})), -1);
  EXPECT_EQ(CheckBytes(r, with({25, 3, 8, 0}, 0xFF, 0x08)), -1);
  EXPECT_EQ(CheckBytes(r, HeaderBytes({25, 3, 8, 0})), 1);
  EXPECT_EQ(r.sample_rate(), 11025);
}

TEST(FrameReader, LockedFieldsForceResynchronisation) {
  // Two 44.1 kHz frames, then 48 kHz: the first 48 kHz header is refused
  // and the search restarts byte by byte, confirming the new rate again.
  std::vector<uint8_t> data;
  AppendFrames(&data, kMp3_128, 2);
  AppendFrames(&data, kMp3_48k, 3);
  MemorySource src(data.data(), data.size());
  CountingReader r;
  r.Attach(&src, nullptr);
  const Walk w = WalkAll(r);
  const int a = FrameBytes(kMp3_128), b = FrameBytes(kMp3_48k);
  ASSERT_EQ(w.sizes, (std::vector<int>{a, a, b, b}));
  EXPECT_EQ(w.positions[2], long(2 * a + 2 * b));
  EXPECT_EQ(r.sample_rate(), 48000);
  EXPECT_EQ(r.opens, 1);

  // The bit rate may change from frame to frame without losing sync.
  std::vector<uint8_t> vbr;
  AppendFrames(&vbr, kMp3_128, 1);
  AppendFrames(&vbr, kMp3_160, 1);
  AppendFrames(&vbr, kMp3_128, 1);
  MemorySource vsrc(vbr.data(), vbr.size());
  r.Attach(&vsrc, nullptr);
  EXPECT_EQ(WalkAll(r).sizes.size(), 3u);

  // Junk inside a file: the frame after it has no partner to confirm it.
  std::vector<uint8_t> lost;
  AppendFrames(&lost, kMp3_128, 2);
  lost.insert(lost.end(), 10, 0x00);
  AppendFrames(&lost, kMp3_128, 1);
  MemorySource lsrc(lost.data(), lost.size());
  r.Attach(&lsrc, nullptr);
  EXPECT_EQ(WalkAll(r).sizes.size(), 2u);
}

TEST(FrameReader, StreamsNeedOneHeaderFilesNeedTwo) {
  std::vector<uint8_t> one(5, 0x20);
  AppendFrames(&one, kMp3_128, 1);
  MemorySource file(one.data(), one.size());
  CountingReader r;
  r.Attach(&file, nullptr);
  EXPECT_EQ(r.SynHeader(nullptr), -1);
  EXPECT_EQ(r.opens, 0);

  StreamSource stream(one.data(), one.size());
  r.Attach(&stream, nullptr);
  EXPECT_EQ(r.SynHeader(nullptr), 0);
  EXPECT_EQ(r.opens, 1);
  EXPECT_EQ(r.frame_size(), FrameBytes(kMp3_128));
  EXPECT_EQ(r.SynHeader(nullptr), -1);

  // A refused output open ends reading.
  std::vector<uint8_t> two;
  AppendFrames(&two, kMp3_128, 2);
  MemorySource src(two.data(), two.size());
  r.refuse = true;
  r.Attach(&src, nullptr);
  EXPECT_EQ(r.SynHeader(nullptr), -1);
  EXPECT_FALSE(r.output_opened());

  // A truncated last frame is end of data, not a frame.
  two.resize(two.size() - 1);
  MemorySource cut(two.data(), two.size());
  r.refuse = false;
  r.Attach(&cut, nullptr);
  EXPECT_EQ(WalkAll(r).sizes.size(), 1u);
}

TEST(FrameReader, SeekResynchronisesWithConfirmation) {
  std::vector<uint8_t> data;
  AppendFrames(&data, kMp3_128, 6);
  MemorySource src(data.data(), data.size());
  CountingReader r;
  r.Attach(&src, nullptr);
  ASSERT_EQ(r.SynHeader(nullptr), 0);
  // Land in the middle of the second frame: the third is the next found.
  const int n = FrameBytes(kMp3_128);
  ASSERT_TRUE(r.SeekSource(n + 100));
  EXPECT_EQ(r.sync_state(), FrameReader::kSearching);
  EXPECT_EQ(r.byte_position(), n + 100);
  ASSERT_EQ(r.SynHeader(nullptr), 0);
  EXPECT_EQ(r.byte_position(), 3 * n);
  EXPECT_EQ(src.Tell(), 3 * n);
  EXPECT_EQ(r.opens, 1);  // the output stays open across seeks
}

TEST(FrameReader, DecoderRejectionGivesMinusTwo) {
  // Layer I allocation code 15 is forbidden: a body of 0xFF cannot decode.
  FrameSpec l1{1, 1, 12, 1};
  std::vector<uint8_t> data;
  for (int i = 0; i < 2; ++i) {
    std::vector<uint8_t> f = MakeFrame(l1);
    std::fill(f.begin() + 4, f.end(), 0xFF);
    data.insert(data.end(), f.begin(), f.end());
  }
  MemorySource src(data.data(), data.size());
  auto dec = std::make_unique<MpegDecoder>();
  dec->Init();
  FrameReader r;
  r.Attach(&src, dec.get());
  alignas(16) static int16_t pcm[FrameReader::kPcmBufferBytes / 2];
  EXPECT_EQ(r.SynHeader(pcm), -2);
  EXPECT_EQ(dec->pcm_bytes(), 0);
  EXPECT_EQ(r.SynHeader(pcm), -2);
  EXPECT_EQ(r.SynHeader(pcm), -1);
}

class LengthTest : public ::testing::Test {
 protected:
  Session session_;
};

TEST_F(LengthTest, OneFrameIsNoStream) {
  std::vector<uint8_t> data(2000, 0x33);
  AppendFrames(&data, kMp3_160, 1);
  data.resize(5000, 0x33);
  const std::string path = TempPath("one_frame.mp3");
  ASSERT_TRUE(test::WriteFile(path, data));
  int bitrate = -7, channels = -7, rate = -7;
  EXPECT_EQ(session_.scanner.GetInfo(path.c_str(), &bitrate, &channels, &rate), -1);
  EXPECT_EQ(bitrate, -7);
  EXPECT_EQ(channels, -7);
  EXPECT_EQ(rate, -7);
  EXPECT_EQ(session_.GetLength(path.c_str()), 312);  // 5000 x 0.0625

  session_.InvalidateLengthCache();
  EXPECT_EQ(session_.GetLength(TempPath("missing.mp3").c_str()), 0);  // size 1
  EXPECT_EQ(session_.QuerySourceSize(TempPath("missing.mp3").c_str()), 1u);
}

TEST_F(LengthTest, LengthFromBitRateAndTheCache) {
  std::vector<uint8_t> data;
  AppendFrames(&data, kMp3_128, 2);
  data.resize(4000000, 0);
  const std::string path = TempPath("four_mb.mp3");
  ASSERT_TRUE(test::WriteFile(path, data));
  int bitrate = 0, channels = 0, rate = 0;
  ASSERT_EQ(session_.scanner.GetInfo(path.c_str(), &bitrate, &channels, &rate), 0);
  EXPECT_EQ(bitrate, 128000);
  EXPECT_EQ(session_.GetLength(path.c_str()), 250000);

  // Same name: answered from the cache even though the file changed.
  std::vector<uint8_t> small;
  AppendFrames(&small, kLsf64, 2);
  small.resize(80000, 0);
  ASSERT_TRUE(test::WriteFile(path, small));
  EXPECT_EQ(session_.GetLength(path.c_str()), 250000);
  // Another name replaces the entry; coming back measures again.
  const std::string other = TempPath("other.mp3");
  ASSERT_TRUE(test::WriteFile(other, small));
  EXPECT_EQ(session_.GetLength(other.c_str()), 10000);  // 80000 B at 64 kbit/s
  EXPECT_EQ(session_.GetLength(path.c_str()), 10000);
  ASSERT_TRUE(test::WriteFile(path, data));
  session_.InvalidateLengthCache();
  EXPECT_EQ(session_.GetLength(path.c_str()), 250000);
}

TEST_F(LengthTest, StreamModeUsesTheStreamBitRate) {
  session_.SetContentLengthQuery([](uint32_t* size) {
    *size = 800000;
    return true;
  });
  session_.stream_mode = true;
  session_.stream_bitrate = 64000;
  session_.SetSourceName("http://radio/x");
  int bitrate = -3, channels = -3, rate = -3;
  EXPECT_EQ(session_.scanner.GetInfo("http://radio/x", &bitrate, &channels, &rate), -1);
  EXPECT_EQ(bitrate, -3);
  EXPECT_EQ(session_.GetLength("http://radio/x"), 100000);
  // A local file meanwhile is scanned as a file, not taken at the stream's rate.
  std::vector<uint8_t> data;
  AppendFrames(&data, kMp3_128, 2);
  data.resize(400000, 0);
  const std::string path = TempPath("while_streaming.mp3");
  ASSERT_TRUE(test::WriteFile(path, data));
  EXPECT_EQ(session_.GetLength(path.c_str()), 25000);
  // An unknown stream rate counts as 128 kbit/s instead of dividing by 0.
  session_.InvalidateLengthCache();
  session_.stream_bitrate = 0;
  EXPECT_EQ(session_.GetLength("http://radio/x"), 50000);
}

std::vector<uint8_t> ProbeBytes(std::initializer_list<std::pair<FrameSpec, int>> parts, int lead = 0) {
  std::vector<uint8_t> data(size_t(lead), 0x42);
  for (const auto& p : parts) AppendFrames(&data, p.first, p.second);
  return data;
}

TEST(StreamProbe, FindsTwoMatchingHeaders) {
  StreamProbe p;
  std::vector<uint8_t> d = ProbeBytes({{kMp3_128, 2}}, 300);
  EXPECT_EQ(p.Parse(d.data(), int(d.size())), 1);
  EXPECT_EQ(p.bitrate, 128);
  EXPECT_EQ(p.sample_rate, 44100);
  EXPECT_EQ(p.layer, 3);
  EXPECT_EQ(p.version, 1);
  EXPECT_EQ(p.protection, 0);
  EXPECT_EQ(p.length, int(d.size()));

  // The second header's bit rate is the one reported.
  d = ProbeBytes({{kMp3_128, 1}, {kMp3_160, 1}});
  EXPECT_EQ(p.Parse(d.data(), int(d.size())), 1);
  EXPECT_EQ(p.bitrate, 160);

  // A rate change restarts the search at the following frames.
  d = ProbeBytes({{kMp3_128, 1}, {kMp3_48k, 3}});
  EXPECT_EQ(p.Parse(d.data(), int(d.size())), 1);
  EXPECT_EQ(p.sample_rate, 48000);

  d = ProbeBytes({{kLsf64, 2}});
  EXPECT_EQ(p.Parse(d.data(), int(d.size())), 1);
  EXPECT_EQ(p.version, 2);
  EXPECT_EQ(p.bitrate, 64);
  EXPECT_EQ(p.sample_rate, 22050);
}

TEST(StreamProbe, FailsWithoutASecondHeader) {
  StreamProbe p;
  std::vector<uint8_t> d = ProbeBytes({{kMp3_128, 1}}, 10);
  EXPECT_EQ(p.Parse(d.data(), int(d.size())), 0);
  // The second header is cut short: three of its bytes only.
  d = ProbeBytes({{kMp3_128, 2}});
  EXPECT_EQ(p.Parse(d.data(), FrameBytes(kMp3_128) + 3), 0);
  EXPECT_EQ(p.Parse(d.data(), FrameBytes(kMp3_128) + 4), 1);
  EXPECT_EQ(p.Parse(d.data(), 3), 0);
  EXPECT_EQ(p.length, 3);
  EXPECT_EQ(p.Parse(d.data(), 0), 0);

  // Reserved emphasis is refused for the first header.
  for (size_t i = 0; i < d.size(); ++i)
    if (d[i] == 0xFF) d[i + 3] |= 2;
  EXPECT_EQ(p.Parse(d.data(), int(d.size())), 0);
}

TEST(StreamProbe, ModeAndBounds) {
  StreamProbe p;
  FrameSpec joint = kMp3_128;
  joint.mode = 1;
  std::vector<uint8_t> d = ProbeBytes({{joint, 2}});
  d[3] |= 2 << 4;  // mode_extension 2
  ASSERT_EQ(p.Parse(d.data(), int(d.size())), 1);
  EXPECT_EQ(p.mode, 1);
  EXPECT_EQ(p.mode_extension_bound, 8);
  FrameSpec l2{1, 2, 10, 0, 1, 1};
  d = ProbeBytes({{l2, 2}});
  d[3] |= 1 << 4;
  d[2] |= 1;  // private bit
  ASSERT_EQ(p.Parse(d.data(), int(d.size())), 1);
  EXPECT_EQ(p.mode_extension_bound, 8);
  EXPECT_EQ(p.padding, 1);
  EXPECT_EQ(p.private_bit, 1);
  EXPECT_EQ(p.layer, 2);
}

}  // namespace
}  // namespace bramble
