// Every compliance stream with seeded random bit flips and truncations:
// decoding must neither crash nor produce more PCM than the frames found
// can stand for. Run under the sanitizer build to catch stray accesses.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "decoder/MpegDecoder.h"
#include "reader/ByteSource.h"
#include "reader/DecodeSource.h"

namespace bramble {
namespace {

std::vector<std::string> StreamFiles() {
  const std::string dir = std::string(BRAMBLE_SHARED_DIR) + "/conformance";
  std::vector<std::string> out;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n.size() > 4 && n.compare(n.size() - 4, 4, ".bit") == 0) out.push_back(dir + "/" + n);
    }
    closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> data;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    std::fclose(f);
  }
  return data;
}

// Checks each frame's PCM against the largest frame.
class BoundedSink : public PcmSink {
 public:
  bool Write(const int16_t* pcm, int values, int channels) override {
    if (values < 0 || values > MpegDecoder::kMaxPcmBytesPerFrame / 2 || channels < 1 || channels > 2) ++bad;
    return true;
  }
  int bad = 0;
};

void Corrupt(std::mt19937& rng, std::vector<uint8_t>& data, int variant) {
  if (data.empty()) return;
  // Flip rates from rare (frames mostly intact) to dense (headers break).
  const double rate = variant == 0 ? 1e-5 : (variant == 1 ? 3e-4 : 3e-3);
  std::geometric_distribution<size_t> gap(rate);
  for (size_t bit = gap(rng); bit < data.size() * 8; bit += gap(rng) + 1)
    data[bit >> 3] ^= uint8_t(0x80 >> (bit & 7));
  if (variant == 2) data.resize(size_t(rng() % data.size()));  // cut anywhere
}

TEST(CorruptStreams, DecodeWithoutCrashAndWithBoundedOutput) {
  const std::vector<std::string> files = StreamFiles();
  ASSERT_GE(files.size(), 20u) << "compliance streams not found";
  std::mt19937 rng(20240611);
  auto decoder = std::make_unique<MpegDecoder>();
  std::vector<int16_t> pcm(MpegDecoder::kMaxPcmBytesPerFrame / 2 + 64);
  for (const std::string& path : files) {
    const std::vector<uint8_t> clean = ReadAll(path);
    ASSERT_FALSE(clean.empty()) << path;
    for (int variant = 0; variant < 3; ++variant) {
      SCOPED_TRACE(path + " variant " + std::to_string(variant));
      std::vector<uint8_t> data = clean;
      Corrupt(rng, data, variant);

      // Through the frame reader, as `bramble decode` reads a file.
      MemorySource source(data.data(), data.size());
      decoder->Init();
      BoundedSink sink;
      DecodeStats stats;
      DecodeSource(source, *decoder, sink, &stats);
      EXPECT_EQ(sink.bad, 0);
      EXPECT_LE(stats.sample_frames, int64_t(stats.frames) * 1152);

      // Straight to DecodeFrame at every sync word, so that frames the
      // reader would not confirm still reach the decoder.
      decoder->Init();
      data.resize(data.size() + MpegDecoder::kFrameBodyBytes, 0);  // the caller's promise
      const size_t end = data.size() - MpegDecoder::kFrameBodyBytes;
      int64_t decoded = 0, produced = 0;
      for (size_t at = 0; at + 4 <= end; ++at) {
        if (data[at] != 0xFF || (data[at + 1] & 0xE0) != 0xE0) continue;
        const int n = decoder->DecodeFrame(data.data() + at, int(data.size() - at), pcm.data());
        ASSERT_GE(decoder->pcm_bytes() / 2, 0);
        ASSERT_LE(decoder->pcm_bytes() / 2, MpegDecoder::kMaxPcmBytesPerFrame / 2);
        if (n > 0) ++decoded;
        produced += decoder->pcm_bytes() / 2;
        ASSERT_LE(n, int(data.size() - at));
      }
      EXPECT_LE(produced, (decoded + 1) * (MpegDecoder::kMaxPcmBytesPerFrame / 2));
    }
  }
}

}  // namespace
}  // namespace bramble
