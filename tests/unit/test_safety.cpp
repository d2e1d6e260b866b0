// Safety of the decoder on hostile input and its allocation rule: the
// conformance streams with seeded bit flips and truncations must decode
// without a crash and with no more PCM than the frames found stand for (run
// under the sanitizer build to catch stray accesses); decoding a frame must
// not touch the heap (global operator new and delete are replaced here by
// counting versions that serve the whole test binary).
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "decoder/Layer3.h"
#include "decoder/MpegDecoder.h"
#include "reader/ByteSource.h"
#include "reader/DecodeSource.h"
#include "reader/FrameReader.h"
#include "tests/support/TestFiles.h"

namespace {
std::atomic<long> g_allocations{0};

void* Allocate(std::size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}

void* AllocateAligned(std::size_t n, std::align_val_t al) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  std::size_t a = static_cast<std::size_t>(al);
  if (a < sizeof(void*)) a = sizeof(void*);
  // Over-allocate and keep the raw pointer just before the aligned block.
  void* raw = std::malloc(n + a + sizeof(void*));
  if (!raw) throw std::bad_alloc();
  std::uintptr_t p = (reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*) + a - 1) & ~(std::uintptr_t(a) - 1);
  reinterpret_cast<void**>(p)[-1] = raw;
  return reinterpret_cast<void*>(p);
}

void FreeAligned(void* p) {
  if (p) std::free(reinterpret_cast<void**>(p)[-1]);
}
}  // namespace

void* operator new(std::size_t n) { return Allocate(n); }
void* operator new[](std::size_t n) { return Allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { try { return Allocate(n); } catch (...) { return nullptr; } }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { try { return Allocate(n); } catch (...) { return nullptr; } }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void* operator new(std::size_t n, std::align_val_t a) { return AllocateAligned(n, a); }
void* operator new[](std::size_t n, std::align_val_t a) { return AllocateAligned(n, a); }
void operator delete(void* p, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete[](void* p, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { FreeAligned(p); }

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
    std::vector<uint8_t> clean = test::ReadFile(path);
    ASSERT_FALSE(clean.empty()) << path;
    clean.resize(std::min(clean.size(), size_t(32768)));  // its kinds of frames, at a fraction of the time
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


// Bodies of ones ask for the most bits: the longest frames must stay inside
// the frame store and end (Layer I allocation 15 is forbidden: no PCM).
TEST(CorruptStreams, FramesOfOnesStayInsideTheBody) {
  struct Case { uint8_t b1, b3, fill; bool decodes; };  // header bytes 1 and 3
  const Case cases[] = {{0xFD, 0x00, 0xFF, true},  {0xFD, 0xC0, 0xFF, true}, {0xF5, 0x00, 0xFF, true},
                        {0xFF, 0x00, 0xFF, false}, {0xFF, 0x00, 0xEE, true}};
  auto d = std::make_unique<MpegDecoder>();
  d->Init();
  std::vector<int16_t> pcm(MpegDecoder::kMaxPcmBytesPerFrame / 2);
  for (const Case& c : cases) {
    std::vector<uint8_t> frame(4096, c.fill);
    const uint8_t header[4] = {0xFF, c.b1, 0xE8, c.b3};  // bit-rate index 14, 32 kHz (MPEG-1)
    std::copy(header, header + 4, frame.begin());
    const int got = d->DecodeFrame(frame.data(), int(frame.size()), pcm.data());
    EXPECT_EQ(got, c.decodes ? d->header().frame_bytes : 0) << std::hex << int(c.b1) << " " << int(c.fill);
    EXPECT_LE(d->body().bit_pos / 8 + 4, FrameBody::kStoreBytes);
  }
}

// A granule starting at the last bit a granule may start at, all zeros (long
// escape codes), with the most big values: the Huffman decoder stops inside
// the reservoir (what lies after it, zeros too, would decode on to the last
// place) and leaves the rest zero.
TEST(CorruptStreams, HuffmanStopsAtTheReservoirsEnd) {
  struct Guarded {
    BitReservoir r;
    uint8_t after[4096];
  };
  auto g = std::make_unique<Guarded>();
  std::memset(g.get(), 0, sizeof(Guarded));
  g->r.read_pos = BitReservoir::kMaxReadBit;
  GranuleInfo gi{};
  gi.part2_3_length = 4095;
  gi.big_values = 288;
  gi.table_select[0] = gi.table_select[1] = gi.table_select[2] = 24;
  gi.region0_count = 15;
  gi.region1_count = 7;
  int32_t out[576];
  DecodeHuffman(g->r, gi, sfb_bounds[0], g->r.read_pos, out);
  EXPECT_NE(out[0], 0);
  EXPECT_EQ(out[575], 0);
}

// The frames of a compliance stream, each with its own length.
std::vector<std::vector<uint8_t>> LoadFrames(const char* name, size_t limit) {
  std::vector<std::vector<uint8_t>> frames;
  FileSource file;
  const std::string path = std::string(BRAMBLE_SHARED_DIR) + "/conformance/" + name + ".bit";
  if (!file.Open(path.c_str())) return frames;
  FrameReader reader;
  reader.Attach(&file, nullptr);
  while (frames.size() < limit && reader.SynHeader(nullptr) != -1)
    frames.emplace_back(reader.frame(), reader.frame() + reader.frame_size());
  return frames;
}

TEST(NoAlloc, CountingAllocatorCounts) {
  const long before = g_allocations.load();
  auto p = std::make_unique<std::vector<int>>(100);
  EXPECT_GE(g_allocations.load() - before, 2);
}

TEST(NoAlloc, DecodingAllocatesNothing) {
  std::vector<std::vector<uint8_t>> frames;
  for (const char* name : {"l1-fl1", "l1-fl4", "l2-fl10", "l2-fl13", "l2-test32", "l3-compl",
                           "l3-si_block", "l3-he_mode", "M2L3_compl24"}) {
    auto f = LoadFrames(name, 40);
    ASSERT_FALSE(f.empty()) << name;
    frames.insert(frames.end(), f.begin(), f.end());
  }
  // Hostile bodies too: valid headers over bytes of every value.
  const size_t real = frames.size();
  for (size_t i = 0; i < real; i += 7) {
    std::vector<uint8_t> f = frames[i];
    for (size_t j = 4; j < f.size(); ++j) f[j] = uint8_t(j * 37 + i);
    frames.push_back(f);
  }
  const std::vector<uint8_t> file = test::ReadFile(std::string(BRAMBLE_SHARED_DIR) + "/conformance/l2-fl10.bit");
  auto decoder = std::make_unique<MpegDecoder>();
  decoder->Init();
  alignas(16) static int16_t pcm[FrameReader::kPcmBufferBytes / 2];
  BoundedSink sink;
  DecodeStats stats;

  long before = g_allocations.load();
  for (int pass = 0; pass < 3; ++pass)
    for (const auto& f : frames) decoder->DecodeFrame(f.data(), int(f.size()), pcm);
  EXPECT_EQ(g_allocations.load() - before, 0) << "DecodeFrame";

  // The reader's loop over a whole file.
  decoder->Init();
  before = g_allocations.load();
  MemorySource source(file.data(), file.size());
  DecodeSource(source, *decoder, sink, &stats);
  EXPECT_EQ(g_allocations.load() - before, 0) << "reading";
  EXPECT_EQ(stats.frames, 49);
}

}  // namespace
}  // namespace bramble
