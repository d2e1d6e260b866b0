// The loaded plug-in as the host drives it: its module table, playback with
// seeking, output time, pause and stop, damaged sources, thread priorities,
// a soak of many playbacks; the settings store and the notifications.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

#include "config/Settings.h"
#include "config/SettingsKey.h"
#include "plugin/HostNotify.h"
#include "tests/win/WinHarness.h"

using namespace wintest;
using bramble::kPluginSubkey;

namespace {

using Ints = std::vector<int>;

TEST(ModuleTable, WordsAsTheHostReadsThem) {
  PluginDll dll;
  ASSERT_TRUE(dll.ok());
  const auto* word = reinterpret_cast<const uintptr_t*>(dll.mod());
  EXPECT_EQ(word[0], 0x100u);
  EXPECT_STREQ(reinterpret_cast<const char*>(word[1]), "Bramblecot MP3 Player V1.3A [x86 optimized]");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(word[4]), 23), std::string("MP3\0MPEG Layer 3 File\0", 23));
  EXPECT_EQ(word[5], 1u);  // seekable
  EXPECT_EQ(word[6], 1u);  // uses the output plug-in
  // Entry points in 7..23, the no-op 35 and GetAudioInfo 38; the host's slots empty.
  for (int slot = 7; slot <= 41; ++slot) EXPECT_EQ(word[slot] != 0, slot <= 23 || slot == 35 || slot == 38) << slot;
  EXPECT_EQ(reinterpret_cast<uintptr_t>(dll.mod()->GetAudioInfo), word[38]);
  reinterpret_cast<void(__cdecl*)(int, int, int, int, int)>(word[35])(1, 2, 3, 4, 5);  // takes anything
}

using ModuleEntries = PluginTest;

TEST_F(ModuleEntries, NamesAndInformationWithoutPlaying) {
  for (const char* name : {"http:/x", "C:\\m\\http://a.mp3", ""}) EXPECT_EQ(mod_->ClaimsName(name), 0) << name;
  EXPECT_EQ(mod_->ClaimsName("http://radio.example/stream") + mod_->ClaimsName("Http://radio.example/s"), 2);
  // A network name in any case is a stream: not seekable; with nothing
  // listening it fails to open. A local name stays seekable.
  EXPECT_EQ(mod_->Play("HTTP://127.0.0.1:1/stream"), OpenFailureResult());
  EXPECT_EQ(Ints({int(mod_->seekable), mod_->GetLength()}), Ints({0, 268435455}));
  mod_->Stop();
  EXPECT_EQ(mod_->Play("c:\\no\\such\\file.mp3"), OpenFailureResult());
  EXPECT_EQ(mod_->seekable, 1);
  mod_->Stop();
  EXPECT_EQ(Host().log.Count("open "), 0);
  // Mono frames are reported as two channels; 96000 bytes at 16000 bytes/s.
  // A network name leaves the outputs alone.
  std::vector<uint8_t> bytes = SilentFrames(250);
  for (size_t i = 0; i < bytes.size(); i += kFrameBytes) bytes[i + 3] = 0xC0;
  const std::string mono = File("mono.mp2", bytes);
  int rate = -1, channels = -1, bitrate = -1, length = -1;
  mod_->GetAudioInfo("http://x/y", &rate, &channels, &bitrate);
  EXPECT_EQ(rate + channels + bitrate, -3);
  mod_->GetAudioInfo(mono.c_str(), &rate, &channels, &bitrate);
  mod_->GetFileInfo(mono.c_str(), nullptr, &length);
  EXPECT_EQ(Ints({rate, channels, bitrate, length}), Ints({48000, 2, 128000, 250 * kFrameMs}));

  // Before Init, Play succeeds but starts nothing and tells the host nothing.
  ASSERT_NO_FATAL_FAILURE(Load(true, false));
  EXPECT_EQ(mod_->Play(mono.c_str()), 0);
  PumpFor(50);
  EXPECT_LE(ThreadCount(), threads_) << "Wine's own threads may come and go; none is added";
  mod_->SetOutputTime(1000);
  EXPECT_EQ(Ints({mod_->GetOutputTime(), Host().log.Count("")}), Ints({0, 0}));
  mod_->Stop();
  EXPECT_EQ(Host().log.Count("flush"), 0);
}

using Playback = PluginTest;

TEST_F(Playback, SeekSetsDecodeTimeFlushesAndOutputTimeFollows) {
  const std::string path = File("seek.mp2", SilentFrames(100));
  Host().writes_allowed = 1;
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  EXPECT_TRUE(Host().log.Has("setinfo 128 48 2 1") && Host().log.Has("feed-setinfo 48000 2"));
  // Held before its second block: 24 ms decoded so far.
  ASSERT_TRUE(PumpUntil([] { return Host().log.Writes() == 1 && Host().can_write_calls > 3; }, 5000));
  EXPECT_TRUE(Host().log.Has("open 48000 2 16 -1 -1") && Host().log.Has("feed-init 7 48000"));
  Host().output_time = 700;
  Host().written_time = 1000;
  EXPECT_TRUE(PumpUntil([&] { return mod_->GetOutputTime() == 24 + 700 - 1000; }, 5000)) << mod_->GetOutputTime();
  mod_->SetOutputTime(1500);
  Host().writes_allowed = 1;  // finishes the pass that was waiting
  ASSERT_TRUE(PumpUntil([] { return Host().log.Has("flush 1500"); }, 5000));
  const int calls = Host().can_write_calls;
  ASSERT_TRUE(PumpUntil([&] { return Host().can_write_calls > calls + 2; }, 5000));
  EXPECT_TRUE(PumpUntil([&] { return mod_->GetOutputTime() == 1000 + 700 - 1000; }, 5000)) << "whole seconds";
  Host().writes_allowed = 1 << 30;
  ASSERT_TRUE(WaitForEnds(1));
  // Byte 24000 (1.5 s at 16000 bytes/s) lies inside frame 62: frames 63 to 99 follow.
  Ints times = {0, 24};
  for (int frame = 63; frame < 100; ++frame) times.push_back(1000 + (frame - 63) * kFrameMs);
  EXPECT_EQ(Host().log.Copy(Host().log.feed_times), times);
  EXPECT_EQ(Host().log.Copy(Host().log.write_bytes), Ints(times.size(), kBlockBytes));
  // After the end of the stream nothing is flushed; the output is closed once.
  ASSERT_TRUE(WaitForThreadsBack());
  mod_->Stop();
  mod_->Stop();
  EXPECT_EQ(Ints({Host().log.Count("flush"), Host().log.Count("close"), Host().log.Count("feed-deinit")}),
            Ints({1, 1, 2}));
  EXPECT_EQ(window_.end_of_stream_messages(), 1);
}

// Stop from a helper thread: a Stop that hangs fails here instead of hanging the run.
bool StopsInTime(bramble::InModule* mod, const std::function<void()>& release) {
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    mod->Stop();
    stopped = true;
  });
  const bool in_time = PumpUntil([&] { return stopped.load(); }, 5000);
  if (!in_time) release();
  stopper.join();
  return in_time;
}

TEST_F(Playback, APauseBeforeTheOutputOpensHoldsItAndStopNeverWaitsForRoom) {
  const std::string path = File("pause.mp2", SilentFrames(2000));
  Host().hold_open = true;  // paused while the output opens
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  ASSERT_TRUE(PumpUntil([] { return Host().opens_entered > 0; }, 5000));
  mod_->Pause();
  Host().hold_open = false;
  ASSERT_TRUE(PumpUntil([] { return Host().can_write_calls > 5; }, 5000));
  EXPECT_EQ(Ints({mod_->IsPaused(), int(Host().log.Writes())}), Ints({1, 0})) << "played while paused";
  // Paused, the output makes no room: Stop resumes it, then flushes.
  EXPECT_TRUE(StopsInTime(mod_, [] { Host().paused = false; })) << "Stop hung on the paused output";
  EXPECT_EQ(mod_->IsPaused(), 0);
  const auto calls = Host().log.Copy(Host().log.calls);
  const auto flush = std::find(calls.begin(), calls.end(), "flush 0");
  EXPECT_LT(std::find(calls.begin(), calls.end(), "pause 0"), flush);
  EXPECT_NE(flush, calls.end());
  EXPECT_TRUE(WaitForThreadsBack());
  EXPECT_EQ(window_.end_of_stream_messages(), 0) << "a stopped thread posts no end of stream";
  // An output that never makes room does not hold Stop either.
  Host().writes_allowed = 1;
  const size_t writes = Host().log.Writes();
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  ASSERT_TRUE(PumpUntil([&] { return Host().log.Writes() == writes + 1; }, 5000)) << "the pause outlived Stop";
  EXPECT_TRUE(StopsInTime(mod_, [] { Host().writes_allowed = 1 << 30; })) << "Stop waited for room";
  EXPECT_TRUE(WaitForThreadsBack());
}

TEST_F(Playback, OnlyAStreamThatEndedByItselfPostsItsEnd) {
  const std::string path = File("ends.mp2", SilentFrames(20));
  const UINT end = bramble::kEndOfStreamMessage;
  auto queued = [&] { MSG m; return PeekMessageA(&m, window_.hwnd(), end, end, PM_NOREMOVE) != 0; };
  // Stop while the output drains.
  Host().hold_drain = true;
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  ASSERT_TRUE(PumpUntil([] { return Host().is_playing_calls > 0; }, 5000));
  mod_->Stop();
  EXPECT_FALSE(queued()) << "Stop during the drain, and the end was posted";
  // A seek during the drain plays on from there (frames 10 to 19).
  Host().is_playing_calls = 0;
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  ASSERT_TRUE(PumpUntil([] { return Host().is_playing_calls > 0; }, 5000));
  mod_->SetOutputTime(10 * kFrameMs);
  EXPECT_TRUE(PumpUntil([] { return Host().log.Has("flush 240"); }, 5000)) << "the seek during the drain was dropped";
  Host().hold_drain = false;
  ASSERT_TRUE(WaitForEnds(1));
  EXPECT_EQ(Host().log.Writes(), 20u + 20u + 10u);
  mod_->Stop();
  // A stream that ended: Stop takes its end, not yet pumped, off the queue.
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  for (const DWORD start = GetTickCount(); !queued() && GetTickCount() - start < 10000;) Sleep(2);
  ASSERT_TRUE(queued());
  mod_->Stop();
  EXPECT_FALSE(queued()) << "the end of a stopped stream stayed queued";
  PumpFor(0);
  EXPECT_EQ(window_.end_of_stream_messages(), 1);
}

TEST_F(Playback, ASeekBeforeTheFirstFrameStartsThereAndOneFarPastTheEndEnds) {
  const std::string path = File("early.mp2", SilentFrames(100));
  // Whether the thread has read a frame yet or not (it waits in the output's
  // Open), the blocks after the seek are stamped from its whole second on
  // (frames 63 to 99).
  Host().hold_open = true;
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  mod_->SetOutputTime(1500);
  Host().hold_open = false;
  ASSERT_TRUE(WaitForEnds(1));
  const Ints times = Host().log.Copy(Host().log.feed_times);
  ASSERT_FALSE(times.empty());
  EXPECT_EQ(times.back(), 1000 + (99 - 63) * kFrameMs);
  EXPECT_TRUE(Host().log.Has("flush 1500"));
  mod_->Stop();
  Host().Reset();
  Host().writes_allowed = 1;
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  ASSERT_TRUE(PumpUntil([] { return Host().can_write_calls > 3; }, 5000));
  mod_->SetOutputTime(INT_MAX);
  Host().writes_allowed = 1 << 30;
  ASSERT_TRUE(WaitForEnds(2));
  EXPECT_TRUE(Host().log.Has("flush 2147483647"));
  EXPECT_LE(Host().log.Writes(), 2u) << "playback went on from where it was";
}

TEST_F(Playback, TheSampleProcessorSetsTheBlockLength) {
  const std::string path = File("dsp.mp2", SilentFrames(6));
  // It halves each block; time stamps follow the decoded block. One that
  // claims more than the buffer holds is held to it.
  for (int result : {-1, 100000}) {
    Host().Reset();
    Host().dsp_result = result;
    ASSERT_EQ(mod_->Play(path.c_str()), 0);
    ASSERT_TRUE(WaitForEnds(result < 0 ? 1 : 2));
    EXPECT_EQ(Host().log.Copy(Host().log.write_bytes), Ints(6, result < 0 ? kBlockBytes / 2 : 2 * kBlockBytes));
    EXPECT_EQ(Host().log.Copy(Host().log.feed_times).back(), 5 * kFrameMs);
    mod_->Stop();
  }
}

TEST_F(Playback, DamagedSourcesAndARefusingOutputEndCleanly) {
  char dir[MAX_PATH] = {};  // a directory may open; then it plays nothing
  GetTempPathA(MAX_PATH, dir);
  int ends = 0;
  const int r = mod_->Play(dir);
  EXPECT_TRUE(r == 0 ? WaitForEnds(++ends) : r == OpenFailureResult());
  mod_->Stop();
  EXPECT_EQ(Host().log.Writes(), 0u);
  // No frames, nothing at all, a cut last frame, an output that will not open.
  std::vector<uint8_t> cut = SilentFrames(8);
  cut.resize(cut.size() - 100);
  const struct {
    std::vector<uint8_t> bytes;
    bool refuse;
    size_t writes;
  } cases[] = {{std::vector<uint8_t>(5000, 0xFF), false, 0}, {{}, false, 0}, {cut, false, 7},
               {SilentFrames(50), true, 0}};
  for (const auto& c : cases) {
    Host().Reset();
    Host().refuse_open = c.refuse;
    ASSERT_EQ(mod_->Play(File("damaged.mp2", c.bytes).c_str()), 0);
    EXPECT_TRUE(WaitForEnds(++ends)) << ends;
    EXPECT_EQ(Host().log.Writes(), c.writes) << ends;
    EXPECT_EQ(Host().log.Count("feed-init"), c.writes > 0) << ends;
    mod_->Stop();
    EXPECT_EQ(Host().log.Count("close"), c.writes > 0) << ends << ": closed once, if opened";
  }
  EXPECT_TRUE(WaitForThreadsBack());
}

TEST_F(Playback, PriorityStepsReachThePlaybackThreadAtItsStart) {
  const std::string path = File("priority.mp2", SilentFrames(3));
  // Default step 5; numbers outside the steps go to the platform as they are.
  const std::pair<const char*, int> cases[] = {
      {nullptr, THREAD_PRIORITY_HIGHEST}, {"6", THREAD_PRIORITY_HIGHEST},      {"0", THREAD_PRIORITY_IDLE},
      {"1", THREAD_PRIORITY_LOWEST},      {"2", THREAD_PRIORITY_BELOW_NORMAL}, {"3", THREAD_PRIORITY_NORMAL},
      {"4", THREAD_PRIORITY_ABOVE_NORMAL}, {"-2", THREAD_PRIORITY_LOWEST},     {"15", THREAD_PRIORITY_TIME_CRITICAL}};
  int ends = 0;
  for (const auto& c : cases) {
    ClearSettings();
    if (c.first) SetUserString(kPluginSubkey, "ThreadPriority", c.first);
    mod_->Init();  // reads the step again
    ASSERT_EQ(mod_->Play(path.c_str()), 0);
    ASSERT_TRUE(WaitForEnds(++ends));
    mod_->Stop();
    EXPECT_EQ(Host().log.Copy(Host().log.open_thread_priority), c.second) << (c.first ? c.first : "default");
  }
}

TEST_F(Playback, NothingOfOneFileCarriesIntoTheNext) {
  const std::string first = File("first.mp2", SilentFrames(100)), next = File("next.mp2", SilentFrames(10));
  ASSERT_EQ(mod_->Play(first.c_str()), 0);
  ASSERT_TRUE(WaitForEnds(1));
  mod_->Pause();
  mod_->Stop();
  mod_->SetOutputTime(1500);  // nothing plays: this seek belongs to no source
  // Before its first frame the next file is at 0 ms; it plays unpaused, whole.
  Host().hold_open = true;
  ASSERT_EQ(mod_->Play(next.c_str()), 0);
  EXPECT_EQ(mod_->GetOutputTime(), 0) << "the last file's position";
  Host().hold_open = false;
  ASSERT_TRUE(WaitForEnds(2));
  EXPECT_EQ(Ints({int(Host().log.Writes()), Host().log.Count("flush")}), Ints({110, 0}));
  mod_->Stop();
  // A file that fails to open is no source: its length is that of no name.
  EXPECT_EQ(mod_->Play(TempPath("missing.mp2").c_str()), OpenFailureResult());
  EXPECT_EQ(mod_->GetLength(), 0) << "the last file's length";
}

// A seeded random host over an output that plays in real time. Set
// BRAMBLE_STRESS_MS for a longer run, BRAMBLE_STRESS_SEED to repeat one.
TEST_F(Playback, StressOfRandomHostCalls) {
  const char* ms_text = std::getenv("BRAMBLE_STRESS_MS");
  const char* seed_text = std::getenv("BRAMBLE_STRESS_SEED");
  const DWORD duration = ms_text && std::atol(ms_text) > 0 ? DWORD(std::atol(ms_text)) : 3000;
  const unsigned seed = seed_text ? unsigned(std::strtoul(seed_text, nullptr, 10)) : unsigned(GetTickCount());
  SCOPED_TRACE("BRAMBLE_STRESS_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);
  auto chance = [&](unsigned percent) { return random() % 100 < percent; };
  // Committed private memory, and handles asked for one by one: the
  // process counters are not kept under Wine.
  auto memory = [] {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION m;
    for (const char* p = nullptr; VirtualQuery(p, &m, sizeof m) == sizeof m && m.RegionSize;
         p = static_cast<const char*>(m.BaseAddress) + m.RegionSize)
      total += (m.State == MEM_COMMIT && m.Type == MEM_PRIVATE) ? m.RegionSize : 0;
    return total;
  };
  auto handles = [] {
    int n = 0;
    DWORD flags = 0;
    for (uintptr_t h = 4; h < 4 * 16384; h += 4) n += GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags);
    return n;
  };
  // A call that does not return within 10 s ends the program, named.
  std::atomic<const char*> call{nullptr};
  std::atomic<DWORD> since{0};
  std::atomic<bool> finished{false};
  std::thread watchdog([&] {
    while (!finished && !(call && GetTickCount() - since > 10000)) Sleep(50);
    if (finished) return;
    std::fprintf(stderr, "stress: %s hung, seed %u\n", call.load(), seed);
    TerminateProcess(GetCurrentProcess(), 124);
  });
  auto host = [&](const char* name, const std::function<void()>& f) {
    since = GetTickCount(), call = name;
    f();
    call = nullptr;
  };
  const UINT end = bramble::kEndOfStreamMessage;
  auto queued = [&] { MSG m; return PeekMessageA(&m, window_.hwnd(), end, end, PM_NOREMOVE) != 0; };

  Host().realtime = Host().idle = true;
  const int length = 40 * kFrameMs;
  const std::string path = File("stress.mp2", SilentFrames(40));
  bool playing = false, paused = false;
  int plays = 0, ends_before = 0, handles_before = 0, drain_seeks = 0;
  size_t writes_at_pause = 0;
  SIZE_T memory_before = 0;
  auto stop = [&] {
    EXPECT_LE(Host().log.Writes(), paused ? writes_at_pause + 1 : SIZE_MAX) << "written while paused";
    host("Stop", [&] { mod_->Stop(); });
    Host().idle = true;
    EXPECT_FALSE(queued()) << "an end message of the stopped stream";
    EXPECT_EQ(Host().open_outputs, 0) << "the output is not closed once per open";
    ends_before = window_.end_of_stream_messages();
    playing = paused = false;
  };
  for (const DWORD start = GetTickCount(); GetTickCount() - start < duration;) {
    const unsigned action = random() % 8;
    if (action == 0 || !playing) {
      if (playing) stop();
      EXPECT_EQ(window_.end_of_stream_messages(), ends_before) << "an end message while nothing played";
      if (++plays == 5) handles_before = handles(), memory_before = memory();
      Host().idle = false;
      host("Play", [&] { EXPECT_EQ(mod_->Play(path.c_str()), 0); });
      playing = true;
      if (chance(40)) {  // most often before the first frame
        host("Pause", [&] { mod_->Pause(); });
        paused = true;
        writes_at_pause = Host().log.Writes();
      }
    } else if (action == 1) {
      stop();
      if (chance(30)) stop();
    } else if (action == 2 && paused) {  // a pause that held let nothing through
      EXPECT_LE(Host().log.Writes(), writes_at_pause + 1) << "written while paused";
      host("UnPause", [&] { mod_->UnPause(); });
      paused = false;
    } else if (action == 2) {
      host("Pause", [&] { mod_->Pause(); });
      writes_at_pause = Host().log.Writes();
      paused = true;
    } else if (action == 3) {
      const int to = chance(20) ? (chance(50) ? INT_MAX : length + 10000) : int(random() % length);
      host("SetOutputTime", [&] { mod_->SetOutputTime(to); });
    } else if (action == 4 && !paused && window_.end_of_stream_messages() == ends_before) {
      // A seek during the final drain plays on.
      host("SetOutputTime", [&] { mod_->SetOutputTime(length - 50); });
      const int drains = Host().is_playing_calls, ends = window_.end_of_stream_messages();
      Host().hold_drain = true;
      PumpUntil([&] { return Host().is_playing_calls > drains + 1 || window_.end_of_stream_messages() > ends; }, 5000);
      if (window_.end_of_stream_messages() == ends) {
        const int to = int(random() % (length - 100)), flushes = Host().log.Count("flush " + std::to_string(to));
        host("SetOutputTime", [&] { mod_->SetOutputTime(to); });
        ++drain_seeks;
        EXPECT_TRUE(PumpUntil([&] { return Host().log.Count("flush " + std::to_string(to)) > flushes; }, 5000))
            << "a seek during the drain was dropped";
      }
      Host().hold_drain = false;
    } else {
      int length_ms = 0;
      host("GetLength", [&] { EXPECT_EQ(mod_->GetLength(), length); });
      host("GetFileInfo", [&] { mod_->GetFileInfo(nullptr, nullptr, &length_ms), mod_->GetOutputTime(); });
      EXPECT_EQ(length_ms, length);
    }
    PumpFor(random() % 60);
    EXPECT_LE(window_.end_of_stream_messages(), ends_before + 1) << "two end messages for one playback";
  }
  stop();
  finished = true;
  watchdog.join();
  std::printf("stress: %d plays, %d seeks during the drain, seed %u\n", plays, drain_seeks, seed);
  EXPECT_EQ(Host().log.Count("unexpected"), 0) << "written or opened after Stop returned";
  if (plays > 5) {
    EXPECT_LE(handles(), handles_before + 8);
    EXPECT_LE(memory(), memory_before + 2 * 1024 * 1024);
  }
}

// ---- the settings store

void SetMachineValue(const char* subkey, const char* name, DWORD type, const void* data, DWORD bytes) {
  const std::string path = std::string(bramble::kSettingsRoot) + (subkey ? std::string("\\") + subkey : "");
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key), ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), bytes);
  RegCloseKey(key);
}

TEST(Settings, InstallationIdMachineFallbackAndNumbers) {
  ClearSettings();
  auto user_id = [] {
    DWORD id = 0, length = sizeof id;
    return RegGetValueA(HKEY_CURRENT_USER, bramble::kSettingsRoot, "ID", RRF_RT_REG_DWORD, nullptr, &id, &length)
               ? 0xFFFFFFFFu : id;
  };
  const DWORD ids[] = {7, 8};
  SetMachineValue(nullptr, "ID", REG_DWORD, &ids[0], 4);
  SetUserString(bramble::kGeneralSubkey, "Language", "RCXYZ.DLL");  // the tree had no "ID": kept
  EXPECT_EQ(bramble::SettingsKey().installation_id(), 7u);
  EXPECT_EQ(user_id(), 7u);
  bramble::SettingsKey();  // the same ID again changes nothing
  EXPECT_EQ(UserSetting(bramble::kGeneralSubkey, "Language"), "RCXYZ.DLL");
  // A new installation: the user tree goes, then the value is written.
  SetMachineValue(nullptr, "ID", REG_DWORD, &ids[1], 4);
  SetUserString(kPluginSubkey, "Step", "x");
  EXPECT_EQ(user_id(), 8u);
  EXPECT_EQ(UserSetting(bramble::kGeneralSubkey, "Language"), "<absent>");
  EXPECT_EQ(bramble::ReadSettingNumber(kPluginSubkey, "Step", 5), 0) << "not a number";

  // A value only the machine has is read from there and copied; a missing
  // one leaves the default; too small a buffer gives 234.
  SetMachineValue(kPluginSubkey, "Filter", REG_SZ, "14", 3);
  bramble::SettingsKey key;
  char text[8] = "16";
  DWORD type = REG_SZ, length = sizeof text;
  EXPECT_EQ(key.QueryValue(kPluginSubkey, "Filter", &type, text, &length), 0);
  EXPECT_EQ(std::string(text) + UserSetting(kPluginSubkey, "Filter"), "1414");
  EXPECT_EQ(key.QueryValue("No\\Such\\Key", "Filter", &type, text, &length), bramble::kSettingsFail);
  EXPECT_EQ(bramble::ReadSettingNumber(kPluginSubkey, "Missing", 5), 5);
  length = 2;
  EXPECT_EQ(key.QueryValue(kPluginSubkey, "Filter", &type, text, &length), bramble::kSettingsMoreData);
  // A value without its NUL is read safely, and only as far as it goes.
  key.SetValue(kPluginSubkey, "Long", REG_BINARY, ("12" + std::string(300, ' ')).data(), 260);
  key.SetValue(kPluginSubkey, "Short", REG_BINARY, "12", 2);
  EXPECT_EQ(Ints({bramble::ReadSettingNumber(kPluginSubkey, "Long", 5),
                  bramble::ReadSettingNumber(kPluginSubkey, "Short", 599)}), Ints({12, 12}));
  ClearSettings();
}

// ---- notifications to the host window

TEST(HostNotify, TextsComeASecondEarlyAndSwitchTheHostOncePerSource) {
  ClearSettings();
  Host().Reset();
  HostWindow window;
  std::atomic<int> once{0};
  bool auto_switch = bramble::Settings::Load().qdx_auto_switch != 0;  // on by default
  auto send = [&](const char* text, int url, int ms) {  // from another thread, as the playback thread does
    std::atomic<bool> done{false};
    std::thread t([&] { bramble::Notify(once, auto_switch, text, url, ms), done = true; });
    PumpUntil([&] { return done.load(); }, 5000);
    t.join();
  };
  send("first", 0, 500);
  send("http://example.org/", 1, 12000);
  send("second", 0, 2500);
  once = 0;
  bramble::NotifyEndOfSource(once);  // a tab text that does not switch, then slots 3 and 6
  SetMachineValue(bramble::kNotifySubkey, "QDX Auto Switch", REG_DWORD, "\0\0\0", 4);
  auto_switch = bramble::Settings::Load().qdx_auto_switch != 0;
  send("quiet", 0, 0);
  const std::vector<std::string> expected = {
      "notify-5 0 [first] 0 1", "notify-release", "notify-5 12000 [http://example.org/] 1 0", "notify-release",
      "notify-5 1500 [second] 0 0", "notify-release", "notify-5 0 [\t] 0 0", "notify-release", "notify-3",
      "notify-6", "notify-release", "notify-5 0 [quiet] 0 0", "notify-release"};
  EXPECT_EQ(Host().log.Copy(Host().log.calls), expected);
  ClearSettings();
}

// The host is reached with a 1 s time-out: a hung host costs a
// notification, never the playback thread.
TEST(HostNotify, AHungHostCostsAboutOneSecond) {
  std::atomic<bool> ready{false}, quit{false};
  std::thread hung([&] {
    HostWindow window;  // made here; then this thread stops pumping
    for (ready = true; !quit;) Sleep(20);
  });
  PumpUntil([&] { return ready.load(); }, 5000);
  void* out = nullptr;
  const DWORD start = GetTickCount();
  EXPECT_EQ(bramble::HostQuery(bramble::kJukeboxNotifyId, &out), E_NOINTERFACE);
  EXPECT_LE(GetTickCount() - start, 3000u);
  EXPECT_EQ(out, nullptr);
  quit = true;
  hung.join();
}

}  // namespace
