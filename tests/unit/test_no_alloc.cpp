// Decoding a frame must not touch the heap. Global operator new/delete are
// replaced here by counting versions that serve the whole test binary.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "decoder/MpegDecoder.h"
#include "reader/ByteSource.h"
#include "reader/DecodeSource.h"
#include "reader/FrameReader.h"

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
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try { return Allocate(n); } catch (...) { return nullptr; }
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  try { return Allocate(n); } catch (...) { return nullptr; }
}
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

class NullSink : public PcmSink {
 public:
  bool Write(const int16_t*, int, int) override { return true; }
};

TEST(NoAlloc, CountingAllocatorCounts) {
  const long before = g_allocations.load();
  auto p = std::make_unique<std::vector<int>>(100);
  EXPECT_GE(g_allocations.load() - before, 2);
}

TEST(NoAlloc, DecodeFrameAllocatesNothing) {
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
  auto decoder = std::make_unique<MpegDecoder>();
  decoder->Init();
  alignas(16) static int16_t pcm[FrameReader::kPcmBufferBytes / 2];

  const long before = g_allocations.load();
  for (int pass = 0; pass < 3; ++pass)
    for (const auto& f : frames) decoder->DecodeFrame(f.data(), int(f.size()), pcm);
  EXPECT_EQ(g_allocations.load() - before, 0);
}

TEST(NoAlloc, ReaderLoopAllocatesNothing) {
  FileSource probe;
  const std::string path = std::string(BRAMBLE_SHARED_DIR) + "/conformance/l2-fl10.bit";
  ASSERT_TRUE(probe.Open(path.c_str()));
  std::vector<uint8_t> data(size_t(probe.Size()));
  ASSERT_EQ(probe.Read(data.data(), int(data.size())), int(data.size()));
  auto decoder = std::make_unique<MpegDecoder>();
  decoder->Init();
  NullSink sink;
  DecodeStats stats;

  const long before = g_allocations.load();
  MemorySource source(data.data(), data.size());
  DecodeSource(source, *decoder, sink, &stats);
  EXPECT_EQ(g_allocations.load() - before, 0);
  EXPECT_EQ(stats.frames, 49);
}

}  // namespace
}  // namespace bramble
