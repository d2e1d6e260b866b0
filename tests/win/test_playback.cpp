// Playback through the loaded plug-in with a recording host: seeking and
// the output time, pause and stop, end of stream, a refusing output, the
// host's sample processor, thread priorities and damaged sources.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <thread>

#include "config/SettingsKey.h"
#include "tests/win/WinHarness.h"

using namespace wintest;

namespace {

// A loaded, initialised plug-in attached to the recording host and window.
class Playback : public ::testing::Test {
 protected:
  void SetUp() override {
    Host().Reset();
    ASSERT_TRUE(dll_.ok());
    mod_ = dll_.mod();
    Host().Attach(mod_, window_.hwnd());
    mod_->Init();
    threads_before_ = ThreadCount();
  }
  void TearDown() override {
    mod_->Stop();
    mod_->Quit();
    for (const auto& p : files_) DeleteFileA(p.c_str());
  }
  std::string File(const std::string& name, const std::vector<uint8_t>& bytes) {
    files_.push_back(WriteTempFile(name, bytes));
    return files_.back();
  }
  bool WaitForEnd(DWORD ms = 5000) {
    return PumpUntil([&] { return window_.end_of_stream_messages() > 0; }, ms);
  }
  bool WaitForThreadsBack(DWORD ms = 2000) {
    return PumpUntil([&] { return ThreadCount() <= threads_before_; }, ms);
  }

  HostWindow window_;
  PluginDll dll_;
  bramble::InModule* mod_ = nullptr;
  int threads_before_ = 0;
  std::vector<std::string> files_;
};

TEST_F(Playback, SeekSetsDecodeTimeFlushesAndOutputTimeFollows) {
  const std::string path = File("long.mp2", SilentFrames(2700));  // 64.8 s
  Host().writes_allowed = 1;
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  EXPECT_TRUE(Host().log.Has("setinfo 128 48 2 1"));
  EXPECT_TRUE(Host().log.Has("feed-setinfo 48000 2"));
  ASSERT_TRUE(PumpUntil([] { return Host().log.Writes() == 1; }, 5000));
  EXPECT_TRUE(Host().log.Has("open 48000 2 16 -1 -1"));
  EXPECT_TRUE(Host().log.Has("feed-init 7 48000"));
  // Blocked before its second block: 24 ms decoded so far.
  ASSERT_TRUE(PumpUntil([] { return Host().can_write_calls > 3; }, 2000));
  Host().output_time = 700;
  Host().written_time = 1000;
  EXPECT_EQ(mod_->GetOutputTime(), 24 + 700 - 1000);

  mod_->SetOutputTime(61500);
  Host().writes_allowed = 1;  // finishes the pass that was waiting
  ASSERT_TRUE(PumpUntil([] { return Host().log.Has("flush 61500"); }, 5000));
  const int calls = Host().can_write_calls;
  ASSERT_TRUE(PumpUntil([&] { return Host().can_write_calls > calls + 2; }, 2000));
  // Decode time is the seek time in whole seconds; nothing written yet.
  EXPECT_EQ(mod_->GetOutputTime(), 61000 + 700 - 1000);
  Host().writes_allowed = 2;
  ASSERT_TRUE(PumpUntil([] { return Host().log.Writes() == 4; }, 5000));
  {
    std::lock_guard<std::mutex> g(Host().log.lock);
    ASSERT_EQ(Host().log.feed_times.size(), 4u);
    EXPECT_EQ(Host().log.feed_times[0], 0);
    EXPECT_EQ(Host().log.feed_times[1], 24);
    EXPECT_EQ(Host().log.feed_times[2], 61000);
    EXPECT_EQ(Host().log.feed_times[3], 61024);
    for (int bytes : Host().log.write_bytes) EXPECT_EQ(bytes, kBlockBytes);
  }
  Host().writes_allowed = 1 << 30;
  mod_->Stop();
  EXPECT_TRUE(Host().log.Has("flush 0"));
  EXPECT_TRUE(WaitForThreadsBack());
}

TEST_F(Playback, StopWhilePausedResumesTheOutputFirst) {
  const std::string path = File("pause.mp2", SilentFrames(2000));
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  ASSERT_TRUE(PumpUntil([] { return Host().log.Writes() >= 3; }, 5000));
  mod_->Pause();
  EXPECT_EQ(mod_->IsPaused(), 1);
  // The thread now waits for room that a paused output never gives.
  const size_t writes = Host().log.Writes();
  PumpFor(100);
  EXPECT_LE(Host().log.Writes(), writes + 1);
  // Stop from a helper thread, so that a Stop that never resumes the output
  // fails here instead of hanging the run.
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    mod_->Stop();
    stopped = true;
  });
  const bool in_time = PumpUntil([&] { return stopped.load(); }, 3000);
  if (!in_time) Host().paused = false;  // release it to clean up
  stopper.join();
  EXPECT_TRUE(in_time) << "Stop hung on the paused output";
  EXPECT_EQ(mod_->IsPaused(), 0);
  {
    std::lock_guard<std::mutex> g(Host().log.lock);
    const auto& c = Host().log.calls;
    auto resume = std::find(c.begin(), c.end(), "pause 0");
    auto flush = std::find(c.begin(), c.end(), "flush 0");
    ASSERT_NE(resume, c.end());
    ASSERT_NE(flush, c.end());
    EXPECT_LT(resume - c.begin(), flush - c.begin());
  }
  EXPECT_TRUE(WaitForThreadsBack());
  EXPECT_EQ(window_.end_of_stream_messages(), 0) << "a stopped thread posts no end of stream";
}

TEST_F(Playback, AnOutputThatNeverMakesRoomDoesNotHoldStop) {
  const std::string path = File("no-room.mp2", SilentFrames(200));
  Host().writes_allowed = 1;
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  ASSERT_TRUE(PumpUntil([] { return Host().can_write_calls > 3; }, 5000));
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    mod_->Stop();
    stopped = true;
  });
  const bool in_time = PumpUntil([&] { return stopped.load(); }, 5000);
  if (!in_time) Host().writes_allowed = 1 << 30;  // release it to clean up
  stopper.join();
  EXPECT_TRUE(in_time) << "Stop waited for room the output never made";
  EXPECT_TRUE(WaitForThreadsBack());
}

TEST_F(Playback, ASeekFarPastTheEndEndsTheStream) {
  const std::string path = File("far.mp2", SilentFrames(2000));
  Host().writes_allowed = 1;
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  ASSERT_TRUE(PumpUntil([] { return Host().can_write_calls > 3; }, 5000));
  mod_->SetOutputTime(INT_MAX);
  Host().writes_allowed = 1 << 30;
  ASSERT_TRUE(WaitForEnd());
  EXPECT_TRUE(Host().log.Has("flush 2147483647"));
  EXPECT_LE(Host().log.Writes(), 2u) << "playback went on from where it was";
}

TEST_F(Playback, StopAfterTheEndOfStreamDoesNotFlush) {
  const std::string path = File("short.mp2", SilentFrames(10));
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  ASSERT_TRUE(WaitForEnd());
  ASSERT_TRUE(WaitForThreadsBack());
  EXPECT_EQ(Host().log.Writes(), 10u);
  mod_->Stop();
  EXPECT_EQ(Host().log.Count("flush"), 0);
  EXPECT_EQ(Host().log.Count("close"), 1);
  EXPECT_TRUE(Host().log.Has("feed-deinit"));
  // A second Stop closes the output again but has nothing else to release.
  mod_->Stop();
  EXPECT_EQ(Host().log.Count("close"), 2);
  EXPECT_EQ(window_.end_of_stream_messages(), 1);
}

TEST_F(Playback, AnOutputThatRefusesToOpenEndsTheStream) {
  Host().refuse_open = true;
  const std::string path = File("refused.mp2", SilentFrames(50));
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(Host().log.Writes(), 0u);
  EXPECT_EQ(Host().log.Count("feed-init"), 0);
  EXPECT_EQ(Host().log.Count("open "), 1);
  EXPECT_TRUE(WaitForThreadsBack());
}

TEST_F(Playback, TheSampleProcessorSetsTheBlockLength) {
  Host().dsp_active = true;
  const std::string path = File("dsp.mp2", SilentFrames(6));
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  ASSERT_TRUE(WaitForEnd());
  {
    std::lock_guard<std::mutex> g(Host().log.lock);
    ASSERT_EQ(Host().log.write_bytes.size(), 6u);
    for (int bytes : Host().log.write_bytes) EXPECT_EQ(bytes, kBlockBytes / 2);
    for (int frames : Host().log.dsp_frames) EXPECT_EQ(frames, 1152);
    // Time stamps follow the decoded block, not the processed one.
    EXPECT_EQ(Host().log.feed_times.back(), 5 * kFrameMs);
  }
  mod_->Stop();

  // A processor that claims more than the buffer holds is held to it.
  Host().Reset();
  Host().dsp_active = true;
  Host().dsp_result = 100000;
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  ASSERT_TRUE(PumpUntil([&] { return window_.end_of_stream_messages() > 1; }, 5000));
  std::lock_guard<std::mutex> g(Host().log.lock);
  ASSERT_EQ(Host().log.write_bytes.size(), 6u);
  EXPECT_EQ(Host().log.write_bytes[0], 9216);
}

TEST_F(Playback, DamagedSourcesEndCleanly) {
  // Missing file and directory name: Play fails, nothing starts.
  EXPECT_EQ(mod_->Play(TempPath("missing.mp2").c_str()), OpenFailureResult());
  mod_->Stop();
  char dir[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, dir);
  const int r = mod_->Play(dir);
  if (r == 0) {
    EXPECT_TRUE(WaitForEnd());
    EXPECT_EQ(Host().log.Writes(), 0u);
  } else {
    EXPECT_EQ(r, OpenFailureResult());
  }
  mod_->Stop();
  EXPECT_TRUE(WaitForThreadsBack());

  // No frames at all, and an empty file: end of stream, nothing written.
  for (const auto& bytes : {std::vector<uint8_t>(5000, 0xFF), std::vector<uint8_t>()}) {
    Host().Reset();
    HostWindow* w = &window_;
    const int before = w->end_of_stream_messages();
    ASSERT_EQ(mod_->Play(File("noframes.bin", bytes).c_str()), 0);
    EXPECT_TRUE(PumpUntil([&] { return w->end_of_stream_messages() > before; }, 5000));
    EXPECT_EQ(Host().log.Writes(), 0u);
    mod_->Stop();
  }

  // A truncated last frame is dropped; the whole ones play.
  Host().Reset();
  std::vector<uint8_t> bytes = SilentFrames(8);
  bytes.resize(bytes.size() - 100);
  const int before = window_.end_of_stream_messages();
  ASSERT_EQ(mod_->Play(File("truncated.mp2", bytes).c_str()), 0);
  EXPECT_TRUE(PumpUntil([&] { return window_.end_of_stream_messages() > before; }, 5000));
  EXPECT_EQ(Host().log.Writes(), 7u);
  mod_->Stop();
  EXPECT_TRUE(WaitForThreadsBack());
}

// Priority step in the settings -> priority of the playback thread.
int PlaybackThreadPriority(const char* setting) {
  ClearSettings();
  if (setting) SetUserString(bramble::kPluginSubkey, "ThreadPriority", setting);
  Host().Reset();
  HostWindow window;
  PluginDll dll;
  bramble::InModule* mod = dll.mod();
  Host().Attach(mod, window.hwnd());
  mod->Init();
  const std::string path = WriteTempFile("priority.mp2", SilentFrames(5));
  mod->Play(path.c_str());
  PumpUntil([&] { return window.end_of_stream_messages() > 0; }, 5000);
  mod->Stop();
  mod->Quit();
  DeleteFileA(path.c_str());
  ClearSettings();
  std::lock_guard<std::mutex> g(Host().log.lock);
  return Host().log.open_thread_priority;
}

DWORD WINAPI ShortThread(void*) {
  Sleep(50);
  return 0;
}

TEST(PlaybackPriority, StepsFromTheSettingReachThePlaybackThread) {
  EXPECT_EQ(PlaybackThreadPriority("6"), THREAD_PRIORITY_HIGHEST);
  EXPECT_EQ(PlaybackThreadPriority("0"), THREAD_PRIORITY_IDLE);
  EXPECT_EQ(PlaybackThreadPriority("1"), THREAD_PRIORITY_LOWEST);
  EXPECT_EQ(PlaybackThreadPriority("3"), THREAD_PRIORITY_NORMAL);
  EXPECT_EQ(PlaybackThreadPriority("x"), THREAD_PRIORITY_IDLE);
  EXPECT_EQ(PlaybackThreadPriority(nullptr), THREAD_PRIORITY_HIGHEST);  // default "5"
  // Numbers outside the steps go to the platform unchanged: the thread ends
  // up exactly where SetThreadPriority(7) / (-3) puts a thread.
  for (int raw : {7, -3}) {
    HANDLE t = CreateThread(nullptr, 0, ShortThread, nullptr, CREATE_SUSPENDED, nullptr);
    SetThreadPriority(t, raw);
    const int expected = GetThreadPriority(t);
    ResumeThread(t);
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
    EXPECT_EQ(PlaybackThreadPriority(std::to_string(raw).c_str()), expected) << raw;
  }
}

}  // namespace
