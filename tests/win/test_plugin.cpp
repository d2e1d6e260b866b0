// The loaded plug-in as the host drives it: its module table, playback with
// seeking, output time, pause and stop, damaged sources, thread priorities,
// titles from the stored order, a soak of many playbacks; and the settings
// store and the notifications it sends to the host window.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <thread>

#include "config/SettingsKey.h"
#include "plugin/HostNotify.h"
#include "tests/win/WinHarness.h"

using namespace wintest;
using bramble::kPluginSubkey;

namespace {

uintptr_t Word(const bramble::InModule* mod, int slot) { return reinterpret_cast<const uintptr_t*>(mod)[slot]; }

TEST(ModuleTable, WordsAsTheHostReadsThem) {
  PluginDll dll;
  ASSERT_TRUE(dll.ok());
  const bramble::InModule* mod = dll.mod();
  EXPECT_EQ(Word(mod, 0), 0x100u);
  EXPECT_STREQ(reinterpret_cast<const char*>(Word(mod, 1)), "Bramblecot MP3 Player V1.3A [x86 optimized]");
  const char* ext = reinterpret_cast<const char*>(Word(mod, 4));
  ASSERT_NE(ext, nullptr);
  EXPECT_EQ(std::string(ext, 23), std::string("MP3\0MPEG Layer 3 File\0", 23)) << "ends with an empty entry";
  EXPECT_EQ(Word(mod, 5), 1u);  // seekable
  EXPECT_EQ(Word(mod, 6), 1u);  // uses the output plug-in
  for (int slot = 7; slot <= 41; ++slot) {
    const bool entry = slot <= 23 || slot == 35 || slot == 38;
    EXPECT_EQ(Word(mod, slot) != 0, entry) << "slot " << slot;
  }
  EXPECT_EQ(reinterpret_cast<uintptr_t>(mod->GetAudioInfo), Word(mod, 38));
  // Slot 35 accepts any arguments and does nothing.
  reinterpret_cast<void(__cdecl*)(int, int, int, int, int)>(Word(mod, 35))(1, 2, 3, 4, 5);
}

using ModuleEntries = PluginTest;

TEST_F(ModuleEntries, NamesAndInformationWithoutPlaying) {
  for (const char* name : {"HTTP://radio.example/s", "Http://radio.example/s", "http:/x", "C:\\m\\http://a.mp3", ""})
    EXPECT_EQ(mod_->ClaimsName(name), 0) << name;
  EXPECT_EQ(mod_->ClaimsName("http://radio.example/stream"), 1);
  // A network name in any case is a stream: not seekable, and with nothing
  // listening it fails to open; a local name stays seekable.
  EXPECT_EQ(mod_->Play("HTTP://127.0.0.1:1/stream"), OpenFailureResult());
  EXPECT_EQ(mod_->seekable, 0);
  EXPECT_EQ(mod_->GetLength(), 268435455);
  mod_->Stop();
  EXPECT_EQ(mod_->Play("c:\\no\\such\\file.mp3"), OpenFailureResult());
  EXPECT_EQ(mod_->seekable, 1);
  mod_->Stop();
  EXPECT_EQ(Host().log.Count("open "), 0);

  // Mono frames are still reported as two channels; 96000 bytes at 16000 bytes/s.
  std::vector<uint8_t> bytes = SilentFrames(250);
  for (size_t i = 0; i < bytes.size(); i += kFrameBytes) bytes[i + 3] = 0xC0;
  const std::string mono = File("mono.mp2", bytes), junk = File("junk.bin", std::vector<uint8_t>(3200, 0x55));
  int rate = -1, channels = -1, bitrate = -1, length = -1;
  mod_->GetAudioInfo(mono.c_str(), &rate, &channels, &bitrate);
  EXPECT_EQ(std::vector<int>({rate, channels, bitrate}), std::vector<int>({48000, 2, 128000}));
  mod_->GetFileInfo(mono.c_str(), nullptr, &length);
  EXPECT_EQ(length, 250 * kFrameMs);
  // A network name and a file without frames leave the outputs alone; the
  // latter is measured at 128 kbit/s.
  rate = channels = bitrate = -5;
  mod_->GetAudioInfo("http://x/y", &rate, &channels, &bitrate);
  mod_->GetAudioInfo(junk.c_str(), &rate, &channels, &bitrate);
  EXPECT_EQ(std::vector<int>({rate, channels, bitrate}), std::vector<int>({-5, -5, -5}));
  mod_->GetFileInfo(junk.c_str(), nullptr, &length);
  EXPECT_EQ(length, 200);

  // Before Init: Play succeeds but starts nothing and tells the host nothing.
  Unload();
  Host().Reset();
  dll_ = std::make_unique<PluginDll>();
  mod_ = dll_->mod();
  Host().Attach(mod_, window_.hwnd());
  const int threads = ThreadCount();
  EXPECT_EQ(mod_->Play(mono.c_str()), 0);
  PumpFor(50);
  EXPECT_LE(ThreadCount(), threads) << "Wine's own threads may come and go; none is added";
  mod_->SetOutputTime(1000);
  EXPECT_EQ(mod_->GetOutputTime(), 0);
  EXPECT_EQ(Host().log.Count(""), 0);
  mod_->Stop();
  EXPECT_EQ(Host().log.Count("flush"), 0);
}

using Playback = PluginTest;

TEST_F(Playback, SeekSetsDecodeTimeFlushesAndOutputTimeFollows) {
  const std::string path = File("seek.mp2", SilentFrames(100));
  Host().writes_allowed = 1;
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  EXPECT_TRUE(Host().log.Has("setinfo 128 48 2 1"));
  EXPECT_TRUE(Host().log.Has("feed-setinfo 48000 2"));
  // Held before its second block: 24 ms decoded so far.
  ASSERT_TRUE(PumpUntil([] { return Host().log.Writes() == 1 && Host().can_write_calls > 3; }, 5000));
  EXPECT_TRUE(Host().log.Has("open 48000 2 16 -1 -1"));
  EXPECT_TRUE(Host().log.Has("feed-init 7 48000"));
  Host().output_time = 700;
  Host().written_time = 1000;
  EXPECT_EQ(mod_->GetOutputTime(), 24 + 700 - 1000);

  mod_->SetOutputTime(1500);
  Host().writes_allowed = 1;  // finishes the pass that was waiting
  ASSERT_TRUE(PumpUntil([] { return Host().log.Has("flush 1500"); }, 5000));
  const int calls = Host().can_write_calls;
  ASSERT_TRUE(PumpUntil([&] { return Host().can_write_calls > calls + 2; }, 5000));
  EXPECT_EQ(mod_->GetOutputTime(), 1000 + 700 - 1000) << "decode time in whole seconds";
  Host().writes_allowed = 1 << 30;
  ASSERT_TRUE(WaitForEnds(1));
  {
    // Byte 24000 (1.5 s at 16000 bytes/s) lies inside frame 62: frames 63 to 99 follow.
    std::lock_guard<std::mutex> g(Host().log.lock);
    const std::vector<int>& t = Host().log.feed_times;
    ASSERT_EQ(t.size(), 2u + 37u);
    EXPECT_EQ(std::vector<int>(t.begin(), t.begin() + 4), std::vector<int>({0, 24, 1000, 1024}));
    EXPECT_EQ(t.back(), 1000 + 36 * kFrameMs);
    for (int bytes : Host().log.write_bytes) EXPECT_EQ(bytes, kBlockBytes);
  }
  // After the end of the stream Stop closes the output but flushes nothing.
  ASSERT_TRUE(WaitForThreadsBack());
  mod_->Stop();
  EXPECT_EQ(Host().log.Count("flush"), 1);
  EXPECT_EQ(Host().log.Count("close"), 1);
  EXPECT_TRUE(Host().log.Has("feed-deinit"));
  mod_->Stop();
  EXPECT_EQ(Host().log.Count("close"), 2);
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

TEST_F(Playback, StopNeverWaitsForAnOutputWithoutRoom) {
  const std::string path = File("pause.mp2", SilentFrames(2000));
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  ASSERT_TRUE(PumpUntil([] { return Host().log.Writes() >= 3; }, 5000));
  mod_->Pause();
  EXPECT_EQ(mod_->IsPaused(), 1);
  // Paused, the output makes no room: Stop resumes it first, then flushes.
  EXPECT_TRUE(StopsInTime(mod_, [] { Host().paused = false; })) << "Stop hung on the paused output";
  EXPECT_EQ(mod_->IsPaused(), 0);
  {
    std::lock_guard<std::mutex> g(Host().log.lock);
    const auto& c = Host().log.calls;
    const auto resume = std::find(c.begin(), c.end(), "pause 0"), flush = std::find(c.begin(), c.end(), "flush 0");
    ASSERT_NE(flush, c.end());
    EXPECT_LT(resume, flush);
  }
  EXPECT_TRUE(WaitForThreadsBack());
  EXPECT_EQ(window_.end_of_stream_messages(), 0) << "a stopped thread posts no end of stream";

  // An output that never makes room does not hold Stop either.
  Host().writes_allowed = 1;
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  ASSERT_TRUE(PumpUntil([] { return Host().can_write_calls > 3; }, 5000));
  EXPECT_TRUE(StopsInTime(mod_, [] { Host().writes_allowed = 1 << 30; })) << "Stop waited for room";
  EXPECT_TRUE(WaitForThreadsBack());
}

TEST_F(Playback, ASeekFarPastTheEndEndsTheStream) {
  const std::string path = File("far.mp2", SilentFrames(2000));
  Host().writes_allowed = 1;
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  ASSERT_TRUE(PumpUntil([] { return Host().can_write_calls > 3; }, 5000));
  mod_->SetOutputTime(INT_MAX);
  Host().writes_allowed = 1 << 30;
  ASSERT_TRUE(WaitForEnds(1));
  EXPECT_TRUE(Host().log.Has("flush 2147483647"));
  EXPECT_LE(Host().log.Writes(), 2u) << "playback went on from where it was";
}

TEST_F(Playback, TheSampleProcessorSetsTheBlockLength) {
  Host().dsp_result = -1;  // halves each block
  const std::string path = File("dsp.mp2", SilentFrames(6));
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  ASSERT_TRUE(WaitForEnds(1));
  {
    std::lock_guard<std::mutex> g(Host().log.lock);
    EXPECT_EQ(Host().log.write_bytes, std::vector<int>(6, kBlockBytes / 2));
    // Time stamps follow the decoded block, not the processed one.
    EXPECT_EQ(Host().log.feed_times.back(), 5 * kFrameMs);
  }
  mod_->Stop();
  // A processor that claims more than the buffer holds is held to it.
  Host().Reset();
  Host().dsp_result = 100000;
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  ASSERT_TRUE(WaitForEnds(2));
  std::lock_guard<std::mutex> g(Host().log.lock);
  EXPECT_EQ(Host().log.write_bytes, std::vector<int>(6, 2 * kBlockBytes));
}

TEST_F(Playback, DamagedSourcesAndARefusingOutputEndCleanly) {
  EXPECT_EQ(mod_->Play(TempPath("missing.mp2").c_str()), OpenFailureResult());
  mod_->Stop();
  // A directory may open; then it plays nothing.
  char dir[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, dir);
  int ends = 0;
  const int r = mod_->Play(dir);
  if (r == 0) EXPECT_TRUE(WaitForEnds(++ends));
  else EXPECT_EQ(r, OpenFailureResult());
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
    EXPECT_EQ(Host().log.Count("feed-init"), c.writes > 0 ? 1 : 0) << ends;
    mod_->Stop();
  }
  EXPECT_TRUE(WaitForThreadsBack());
}

TEST_F(Playback, PriorityStepsReachThePlaybackThreadAtItsStart) {
  const std::string path = File("priority.mp2", SilentFrames(3));
  const struct {
    const char* setting;
    int priority;
  } cases[] = {{nullptr, THREAD_PRIORITY_HIGHEST},  // "5"
               {"6", THREAD_PRIORITY_HIGHEST},       {"0", THREAD_PRIORITY_IDLE},
               {"1", THREAD_PRIORITY_LOWEST},        {"2", THREAD_PRIORITY_BELOW_NORMAL},
               {"3", THREAD_PRIORITY_NORMAL},        {"4", THREAD_PRIORITY_ABOVE_NORMAL},
               // Numbers outside the steps go to the platform as they are.
               {"-2", THREAD_PRIORITY_LOWEST},       {"15", THREAD_PRIORITY_TIME_CRITICAL}};
  int ends = 0;
  for (const auto& c : cases) {
    ClearSettings();
    if (c.setting) SetUserString(kPluginSubkey, "ThreadPriority", c.setting);
    mod_->Init();  // reads the step again
    ASSERT_EQ(mod_->Play(path.c_str()), 0);
    ASSERT_TRUE(WaitForEnds(++ends));
    mod_->Stop();
    std::lock_guard<std::mutex> g(Host().log.lock);
    EXPECT_EQ(Host().log.open_thread_priority, c.priority) << (c.setting ? c.setting : "default");
  }
}

TEST_F(Playback, TitlesFollowTheStoredOrder) {
  auto field = [](std::string text, size_t width) {
    text.resize(width, '\0');
    return text;
  };
  const std::string tag = "TAG" + field("Hello", 30) + field("World   ", 60) + "2026" + field("", 30) + '\x11';
  std::vector<uint8_t> bytes = SilentFrames(10);
  bytes.insert(bytes.end(), tag.begin(), tag.end());
  const std::string path = File("song.mp2", bytes);
  const std::string file_title = path.substr(path.rfind('\\') + 1);
  // (position, piece, shown) triples: 4013 title, 4014 artist, 4016 year,
  // 4018 file title. A short value changes only the entries it holds; a
  // value longer than the table is not ours.
  const struct {
    std::vector<int> order;
    std::string title;
  } cases[] = {{{}, file_title},
               {{0, 4020, 0, 1, 4014, 1, 2, 4013, 1, 3, 4015, 0, 4, 4016, 0, 5, 4017, 0, 6, 4018, 1, 7, 4019, 0},
                "World Hello " + file_title},
               {{0, 4013, 1, 1, 4016, 1}, "Hello 2026 " + file_title},
               {std::vector<int>(25, 1), file_title}};
  for (const auto& c : cases) {
    ClearSettings();
    if (!c.order.empty())
      bramble::SettingsKey().SetValue(kPluginSubkey, "ID3Tag", REG_BINARY, c.order.data(), DWORD(4 * c.order.size()));
    Load();  // the order is read once per library
    char title[512] = {};
    int length = 0;
    mod_->GetFileInfo(path.c_str(), title, &length);
    EXPECT_EQ(std::string(title), c.title);
    EXPECT_EQ(length, 10 * kFrameMs) << "the tag is no audio";
  }
}

// Committed private memory, walked region by region, and handles in use,
// asked for one by one (the process counters are not kept under Wine).
SIZE_T PrivateBytes() {
  SIZE_T total = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const char* p = nullptr; VirtualQuery(p, &info, sizeof info) == sizeof info && info.RegionSize;
       p = static_cast<const char*>(info.BaseAddress) + info.RegionSize)
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
  return total;
}

int HandleCount() {
  int n = 0;
  DWORD flags = 0;
  for (uintptr_t h = 4; h < 4 * 16384; h += 4) n += GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags) != 0;
  return n;
}

TEST_F(Playback, SoakOfPlaySeekPauseStop) {
  const std::string path = File("soak.mp2", SilentFrames(400));
  int handles = 0;
  SIZE_T memory = 0;
  for (int cycle = 0; cycle < 150; ++cycle) {
    if (cycle == 20) {  // after start-up allocations have settled
      handles = HandleCount();
      memory = PrivateBytes();
    }
    ASSERT_EQ(mod_->Play(path.c_str()), 0) << cycle;
    const size_t writes = Host().log.Writes();
    ASSERT_TRUE(PumpUntil([&] { return Host().log.Writes() > writes; }, 5000)) << cycle;
    mod_->SetOutputTime(4000 + cycle * 10);
    mod_->Pause();
    mod_->Stop();
    ASSERT_TRUE(WaitForThreadsBack()) << "thread left in cycle " << cycle;
    if (cycle % 50 == 0) Host().Reset();
  }
  EXPECT_LE(HandleCount(), handles + 8);
  EXPECT_LE(PrivateBytes(), memory + 2 * 1024 * 1024);
}

// ---- the settings store

void SetMachineDword(const char* subkey, const char* name, DWORD value) {
  const std::string path = std::string(bramble::kSettingsRoot) + (subkey ? std::string("\\") + subkey : "");
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key), ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
}

DWORD UserId() {
  DWORD id = 0, length = sizeof id;
  const LONG r = RegGetValueA(HKEY_CURRENT_USER, bramble::kSettingsRoot, "ID", RRF_RT_REG_DWORD, nullptr, &id, &length);
  return r == ERROR_SUCCESS ? id : 0xFFFFFFFF;
}

TEST(Settings, InstallationIdIsCopiedAndAChangedOneWipesTheUserTree) {
  ClearSettings();
  SetMachineDword(nullptr, "ID", 7);
  SetUserString(bramble::kGeneralSubkey, "Language", "RCXYZ.DLL");  // the tree had no "ID" yet
  EXPECT_EQ(bramble::SettingsKey().installation_id(), 7u);
  EXPECT_EQ(UserId(), 7u);
  EXPECT_EQ(UserSetting(bramble::kGeneralSubkey, "Language"), "RCXYZ.DLL");
  bramble::SettingsKey();  // the same ID again changes nothing
  EXPECT_EQ(UserSetting(bramble::kGeneralSubkey, "Language"), "RCXYZ.DLL");
  // A new installation: the user tree goes, then the value is written.
  SetMachineDword(nullptr, "ID", 8);
  SetUserString(kPluginSubkey, "Filter", "12");
  EXPECT_EQ(UserId(), 8u);
  EXPECT_EQ(UserSetting(bramble::kGeneralSubkey, "Language"), "<absent>");
  EXPECT_EQ(UserSetting(kPluginSubkey, "Filter"), "12");
  ClearSettings();
}

TEST(Settings, QueryFallsBackToTheMachineAndNumbersAreDecimalText) {
  ClearSettings();
  HKEY machine = nullptr;
  const std::string path = std::string(bramble::kSettingsRoot) + "\\" + kPluginSubkey;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &machine), ERROR_SUCCESS);
  RegSetValueExA(machine, "Filter", 0, REG_SZ, reinterpret_cast<const BYTE*>("14"), 3);
  RegCloseKey(machine);
  bramble::SettingsKey key;
  char text[256] = "16";
  DWORD type = REG_SZ, length = sizeof text;
  EXPECT_EQ(key.QueryValue(kPluginSubkey, "Filter", &type, text, &length), 0);
  EXPECT_STREQ(text, "14");
  EXPECT_EQ(UserSetting(kPluginSubkey, "Filter"), "14") << "copied into the user tree";
  // Missing: E_FAIL, the buffer keeps the default. Too small a buffer: 234.
  EXPECT_EQ(key.QueryValue(kPluginSubkey, "Nothing", &type, text, &length), bramble::kSettingsFail);
  EXPECT_EQ(key.QueryValue("No\\Such\\Key", "Filter", &type, text, &length), bramble::kSettingsFail);
  EXPECT_STREQ(text, "14");
  length = 2;
  EXPECT_EQ(key.QueryValue(kPluginSubkey, "Filter", &type, text, &length), bramble::kSettingsMoreData);

  bramble::WriteSettingNumber(kPluginSubkey, "Step", 4);
  EXPECT_EQ(UserSetting(kPluginSubkey, "Step"), "4");
  EXPECT_EQ(bramble::ReadSettingNumber(kPluginSubkey, "Step", "5"), 4);
  EXPECT_EQ(bramble::ReadSettingNumber(kPluginSubkey, "Missing", "5"), 5);
  SetUserString(kPluginSubkey, "Step", "x");
  EXPECT_EQ(bramble::ReadSettingNumber(kPluginSubkey, "Step", "5"), 0);
  // A value without its NUL is read safely, and only as far as it goes.
  const std::string long_text = "12" + std::string(300, ' ');
  key.SetValue(kPluginSubkey, "Long", REG_BINARY, long_text.data(), 260);
  EXPECT_EQ(bramble::ReadSettingNumber(kPluginSubkey, "Long", "5"), 12);
  key.SetValue(kPluginSubkey, "Short", REG_BINARY, "12", 2);
  EXPECT_EQ(bramble::ReadSettingNumber(kPluginSubkey, "Short", "599"), 12);
  ClearSettings();
}

// ---- notifications to the host window

TEST(HostNotify, NothingIsSentWithoutTheHostWindow) {
  Host().Reset();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(bramble::HostQuery(bramble::kJukeboxNotifyId, &out), E_NOINTERFACE);
  EXPECT_EQ(out, reinterpret_cast<void*>(1));
  std::atomic<int> once{0};
  bramble::Notify(once, "hello", 0, 5000);
  EXPECT_EQ(once.load(), 1) << "set even when the host was not reached";
  bramble::NotifyEndOfSource(once);
  EXPECT_EQ(Host().log.Count(""), 0);
}

TEST(HostNotify, TextsUrlsTheSwitchFlagAndTheStreamRecord) {
  ClearSettings();
  Host().Reset();
  HostWindow window;
  // Sent from another thread, as the playback thread does, while this one pumps.
  std::atomic<int> once{0};
  auto send = [&](const char* text, int url, int ms) {
    std::atomic<bool> done{false};
    std::thread t([&] {
      bramble::Notify(once, text, url, ms);
      done = true;
    });
    PumpUntil([&] { return done.load(); }, 5000);
    t.join();
  };
  send("first", 0, 500);
  send("second", 0, 2500);
  send("http://example.org/", 1, 12000);
  once = 0;
  bramble::NotifyEndOfSource(once);  // a tab text that does not switch, then slots 3 and 6
  EXPECT_EQ(once.load(), 0) << "the flag stays as it was";
  send("again", 0, 3000);
  SetMachineDword(bramble::kNotifySubkey, "QDX Auto Switch", 0);
  once = 0;
  send("quiet", 0, 0);
  bramble::ReportStreamInfo("", "Station", 95);
  bramble::ReportStreamInfo("Song", nullptr, 1);
  const std::string size = " size=" + std::to_string(sizeof(bramble::StreamItemInfo));
  const std::vector<std::string> expected = {
      "notify-5 0 [first] 0 1", "notify-release", "notify-5 1500 [second] 0 0", "notify-release",
      "notify-5 12000 [http://example.org/] 1 0", "notify-release", "notify-5 0 [\t] 0 0", "notify-release",
      "notify-3", "notify-6", "notify-release", "notify-5 2000 [again] 0 1", "notify-release",
      "notify-5 0 [quiet] 0 0", "notify-release", "info-get",
      "info-set 42" + size + " kind=92 flags=0x30 dur=95 first=[(null)] second=[Station]", "info-release",
      "info-get", "info-set 42" + size + " kind=92 flags=0x21 dur=1 first=[Song] second=[(null)]", "info-release"};
  std::lock_guard<std::mutex> g(Host().log.lock);
  EXPECT_EQ(Host().log.calls, expected);
  ClearSettings();
}

TEST(HostNotify, AHungHostCostsAboutOneSecond) {
  std::atomic<bool> ready{false}, quit{false};
  std::thread hung([&] {
    HostWindow window;  // created here, then this thread stops pumping
    ready = true;
    while (!quit) Sleep(20);
  });
  while (!ready) Sleep(5);
  void* out = nullptr;
  const DWORD start = GetTickCount();
  EXPECT_EQ(bramble::HostQuery(bramble::kJukeboxNotifyId, &out), E_NOINTERFACE);
  EXPECT_LE(GetTickCount() - start, 3000u);
  EXPECT_EQ(out, nullptr);
  quit = true;
  hung.join();
}

}  // namespace
