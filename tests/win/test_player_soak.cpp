// The player itself (seek placement and resynchronisation) and a soak of
// many short playbacks through the loaded plug-in.
#include <algorithm>
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include "plugin/Mp3Player.h"
#include "tests/win/WinHarness.h"

using namespace wintest;

namespace {

bramble::Session g_session;  // the players' process-wide state

TEST(Mp3Player, SeekMovesTheFileByByteRateAndConfirmsTwoFramesAgain) {
  Host().Reset();
  // A false header at the seek target, inside a frame's body: only the
  // two-frame confirmation keeps it from being played.
  std::vector<uint8_t> bytes = SilentFrames(2700);
  const long target = long(kByteRate * 61.5);  // 984000, inside frame 2562
  ASSERT_NE(target % kFrameBytes, 0);
  bytes[target] = 0xFF;
  bytes[target + 1] = 0xFD;
  bytes[target + 2] = 0x84;
  const std::string path = WriteTempFile("seek.mp2", bytes);

  bramble::InModule mod = {};
  HostWindow window;
  Host().Attach(&mod, window.hwnd());
  bramble::Mp3Player player(g_session);
  ASSERT_EQ(player.Open(path.c_str(), &mod), long(bytes.size()));
  Host().writes_allowed = 1;
  ASSERT_EQ(player.Start(), 0);
  ASSERT_TRUE(PumpUntil([] { return Host().log.Writes() == 1; }, 5000));
  EXPECT_EQ(player.reader().byte_rate(), kByteRate);
  player.Seek(61500);
  EXPECT_EQ(player.seek_target(), target);
  EXPECT_EQ(player.seek_time(), 61500);
  Host().writes_allowed = 2;
  ASSERT_TRUE(PumpUntil([] { return Host().log.Writes() == 3; }, 5000));
  EXPECT_EQ(player.seek_target(), -1);
  EXPECT_TRUE(Host().log.Has("flush 61500"));
  // The first frame played after the seek is the next real one (at 984576,
  // confirmed by 984960), not the false one at 984000.
  const long next_real = (target / kFrameBytes + 2) * kFrameBytes;
  Host().writes_allowed = 0;
  PumpUntil([&] { return player.reader().byte_position() >= next_real + kFrameBytes; }, 2000);
  // The thread may have decoded one more frame before it met the closed
  // output: the decode time is 61000 plus whole frames, and the first block
  // fed after the seek starts at 61000.
  EXPECT_GE(player.decode_time(), 61000 + kFrameMs);
  EXPECT_EQ((player.decode_time() - 61000) % kFrameMs, 0);
  {
    std::lock_guard<std::mutex> g(Host().log.lock);
    const std::vector<int>& t = Host().log.feed_times;
    auto first_after = std::find_if(t.begin(), t.end(), [](int ms) { return ms >= 61000; });
    ASSERT_NE(first_after, t.end());
    EXPECT_EQ(*first_after, 61000);
  }
  Host().writes_allowed = 1 << 30;
  EXPECT_EQ(player.Stop(), 0);
  EXPECT_EQ(player.Stop(), -1) << "no thread left to stop";
  player.Close();

  // A seek to 10 s in the same file lands on byte 160000.
  player.Seek(10000);
  EXPECT_EQ(player.seek_target(), 160000);
  DeleteFileA(path.c_str());
}

TEST(Mp3Player, PlayFrameReportsThePositionAndTheEnd) {
  Host().Reset();
  std::vector<uint8_t> bytes(1000, 0);  // junk before the frames
  const std::vector<uint8_t> frames = SilentFrames(3);
  bytes.insert(bytes.end(), frames.begin(), frames.end());
  const std::string path = WriteTempFile("junk_then_frames.mp2", bytes);
  bramble::InModule mod = {};
  Host().Attach(&mod, nullptr);
  bramble::Mp3Player player(g_session);
  ASSERT_EQ(player.Open(path.c_str(), &mod), long(bytes.size()));
  EXPECT_EQ(player.PlayFrame(), 1000 + kFrameBytes);
  EXPECT_EQ(player.PlayFrame(), 1000 + 2 * kFrameBytes);
  // The last frame has no successor to confirm it but is already synchronised.
  EXPECT_EQ(player.PlayFrame(), 1000 + 3 * kFrameBytes);
  EXPECT_EQ(player.PlayFrame(), -1);
  EXPECT_EQ(Host().log.Writes(), 3u);
  EXPECT_EQ(player.decode_time(), 3 * kFrameMs);
  player.Close();
  player.Close();  // a second Close releases nothing twice
  EXPECT_EQ(player.PlayFrame(), -1);
  DeleteFileA(path.c_str());
}

// Committed private memory of the process, walked region by region (the
// process counters are not filled in under every Windows implementation).
SIZE_T PrivateBytes() {
  SIZE_T total = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const char* p = nullptr; VirtualQuery(p, &info, sizeof info) == sizeof info;
       p = static_cast<const char*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
    if (info.RegionSize == 0) break;
  }
  return total;
}

// Handles in use, counted by asking about every small handle value (the
// process counter is not filled in under every Windows implementation).
uintptr_t HandleCount() {
  uintptr_t n = 0;
  DWORD flags = 0;
  for (uintptr_t h = 4; h < 4 * 16384; h += 4)
    if (GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags)) ++n;
  return n;
}

TEST(Soak, TwoHundredCyclesOfPlaySeekPauseStop) {
  Host().Reset();
  HostWindow window;
  PluginDll dll;
  ASSERT_TRUE(dll.ok());
  bramble::InModule* mod = dll.mod();
  Host().Attach(mod, window.hwnd());
  mod->Init();
  const std::string path = WriteTempFile("soak.mp2", SilentFrames(400));
  const int threads = ThreadCount();
  uintptr_t handles = 0;
  SIZE_T memory = 0;
  DWORD slowest = 0;
  for (int cycle = 0; cycle < 200; ++cycle) {
    if (cycle == 20) {  // after start-up allocations have settled
      handles = HandleCount();
      memory = PrivateBytes();
    }
    const DWORD start = GetTickCount();
    ASSERT_EQ(mod->Play(path.c_str()), 0) << cycle;
    const size_t writes = Host().log.Writes();
    PumpUntil([&] { return Host().log.Writes() > writes; }, 2000);
    mod->SetOutputTime(4000 + cycle * 10);
    PumpFor(1);
    mod->Pause();
    mod->Stop();
    const DWORD took = GetTickCount() - start;
    slowest = std::max(slowest, took);
    ASSERT_LT(took, 5000u) << cycle;
    ASSERT_TRUE(PumpUntil([&] { return ThreadCount() <= threads; }, 1000)) << "thread left in cycle " << cycle;
    if (cycle % 50 == 0) {
      std::lock_guard<std::mutex> g(Host().log.lock);
      Host().log.calls.clear();
      Host().log.write_bytes.clear();
      Host().log.feed_times.clear();
    }
  }
  EXPECT_LE(HandleCount(), handles + 8);
  EXPECT_LE(PrivateBytes(), memory + 2 * 1024 * 1024);
  std::printf("soak: slowest cycle %lu ms, handles %lu -> %lu, private bytes %lu -> %lu\n",
              static_cast<unsigned long>(slowest), static_cast<unsigned long>(handles),
              static_cast<unsigned long>(HandleCount()), static_cast<unsigned long>(memory),
              static_cast<unsigned long>(PrivateBytes()));
  mod->Quit();
  DeleteFileA(path.c_str());
}

}  // namespace
