// The module table as the host sees it in the loaded library, and the entry
// points that work without playing anything.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/win/WinHarness.h"

using namespace wintest;

namespace {
uintptr_t Word(const bramble::InModule* mod, int slot) { return reinterpret_cast<const uintptr_t*>(mod)[slot]; }
}  // namespace

TEST(ModuleTable, WordsAsTheHostReadsThem) {
  PluginDll dll;
  ASSERT_TRUE(dll.ok());
  const bramble::InModule* mod = dll.mod();
  EXPECT_EQ(Word(mod, 0), 0x100u);
  EXPECT_STREQ(reinterpret_cast<const char*>(Word(mod, 1)), "Bramblecot MP3 Player V1.3A [x86 optimized]");
  const char* ext = reinterpret_cast<const char*>(Word(mod, 4));
  ASSERT_NE(ext, nullptr);
  EXPECT_STREQ(ext, "MP3");
  EXPECT_STREQ(ext + 4, "MPEG Layer 3 File");
  EXPECT_EQ(ext[4 + 18], '\0') << "the list ends with an empty entry";
  EXPECT_EQ(Word(mod, 5), 1u);  // seekable
  EXPECT_EQ(Word(mod, 6), 1u);  // uses the output plug-in
  for (int slot = 7; slot <= 23; ++slot) EXPECT_NE(Word(mod, slot), 0u) << "entry point slot " << slot;
  for (int slot : {2, 3, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 36, 37, 39, 40, 41})
    EXPECT_EQ(Word(mod, slot), 0u) << "host slot " << slot << " must be empty in the plug-in's copy";
  EXPECT_NE(Word(mod, 35), 0u);  // the plug-in's own no-op
  EXPECT_NE(Word(mod, 38), 0u);  // GetAudioInfo
  // The typed view agrees with the raw words.
  EXPECT_EQ(reinterpret_cast<uintptr_t>(mod->Play), Word(mod, 14));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(mod->GetAudioInfo), Word(mod, 38));
  // Slot 35 accepts any arguments and does nothing.
  using AnyArgs = void(__cdecl*)(int, int, int, int, int);
  reinterpret_cast<AnyArgs>(Word(mod, 35))(1, 2, 3, 4, 5);
}

TEST(ModuleTable, NetworkNamesAreClaimedOnlyInLowerCaseButPlayedInAnyCase) {
  Host().Reset();
  PluginDll dll;
  ASSERT_TRUE(dll.ok());
  bramble::InModule* mod = dll.mod();
  EXPECT_EQ(mod->ClaimsName("http://radio.example/stream"), 1);
  EXPECT_EQ(mod->ClaimsName("HTTP://radio.example/stream"), 0);
  EXPECT_EQ(mod->ClaimsName("Http://radio.example/stream"), 0);
  EXPECT_EQ(mod->ClaimsName("http:/x"), 0);
  EXPECT_EQ(mod->ClaimsName("C:\\music\\http://a.mp3"), 0);
  EXPECT_EQ(mod->ClaimsName(""), 0);

  Host().Attach(mod, nullptr);
  mod->Init();
  // A network name in any case is a stream: with nothing listening (or
  // without the streaming library) it is not seekable and fails to open; a
  // local name keeps seekable 1.
  EXPECT_EQ(mod->Play("HTTP://127.0.0.1:1/stream"), OpenFailureResult());
  EXPECT_EQ(mod->seekable, 0);
  EXPECT_EQ(mod->GetLength(), 268435455);
  mod->Stop();
  EXPECT_EQ(mod->Play("c:\\no\\such\\file.mp3"), OpenFailureResult());
  EXPECT_EQ(mod->seekable, 1);
  mod->Stop();
  mod->Quit();
  EXPECT_FALSE(Host().log.Has("open 48000 2 16 -1 -1"));
}

TEST(ModuleTable, PlayBeforeInitDoesNothing) {
  Host().Reset();
  PluginDll dll;
  ASSERT_TRUE(dll.ok());
  bramble::InModule* mod = dll.mod();
  Host().Attach(mod, nullptr);
  const std::string path = WriteTempFile("before_init.mp2", SilentFrames(20));
  const int threads = ThreadCount();
  EXPECT_EQ(mod->Play(path.c_str()), 0);
  PumpFor(100);
  // Wine's own threads may come and go meanwhile; none is added.
  EXPECT_LE(ThreadCount(), threads);
  EXPECT_TRUE(Host().log.calls.empty()) << Host().log.calls.front();
  EXPECT_EQ(mod->GetOutputTime(), 0);
  mod->SetOutputTime(1000);  // no player: ignored
  mod->Stop();
  EXPECT_EQ(Host().log.Count("flush"), 0);
  DeleteFileA(path.c_str());
}

TEST(ModuleTable, FileInfoAndAudioInfoOfAFile) {
  Host().Reset();
  PluginDll dll;
  ASSERT_TRUE(dll.ok());
  bramble::InModule* mod = dll.mod();
  // Mono frames: still reported as two channels.
  std::vector<uint8_t> bytes = SilentFrames(250);
  for (size_t i = 0; i < bytes.size(); i += kFrameBytes) bytes[i + 3] = 0xC0;
  const std::string path = WriteTempFile("mono.mp2", bytes);
  int rate = -1, channels = -1, bitrate = -1;
  mod->GetAudioInfo(path.c_str(), &rate, &channels, &bitrate);
  EXPECT_EQ(rate, 48000);
  EXPECT_EQ(channels, 2);
  EXPECT_EQ(bitrate, 128000);
  int length = -1;
  char title[256] = "unchanged";
  mod->GetFileInfo(path.c_str(), title, &length);
  EXPECT_EQ(length, 250 * kFrameMs);  // 96000 bytes at 16000 bytes/s
  // A network name leaves the outputs alone.
  rate = channels = bitrate = -5;
  mod->GetAudioInfo("http://x/y", &rate, &channels, &bitrate);
  EXPECT_EQ(rate, -5);
  // A file without frames: outputs untouched, length at 128 kbit/s.
  const std::string junk = WriteTempFile("junk.bin", std::vector<uint8_t>(3200, 0x55));
  mod->GetAudioInfo(junk.c_str(), &rate, &channels, &bitrate);
  EXPECT_EQ(bitrate, -5);
  mod->GetFileInfo(junk.c_str(), nullptr, &length);
  EXPECT_EQ(length, 200);
  DeleteFileA(path.c_str());
  DeleteFileA(junk.c_str());
}
