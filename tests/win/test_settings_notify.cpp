// The registry settings store and the notifications sent to the host window.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "config/SettingsKey.h"
#include "plugin/HostNotify.h"
#include "tests/win/WinHarness.h"

using namespace wintest;
using bramble::SettingsKey;

namespace {

void SetMachineDword(const char* subkey, const char* name, DWORD value) {
  HKEY root = nullptr, key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, bramble::kSettingsRoot, &root), ERROR_SUCCESS);
  ASSERT_EQ(subkey ? RegCreateKeyA(root, subkey, &key) : RegOpenKeyA(root, nullptr, &key), ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
  RegCloseKey(root);
}

bool UserValue(const char* subkey, const char* name, DWORD* type, std::string* data) {
  HKEY key = nullptr;
  std::string path = std::string(bramble::kSettingsRoot) + (subkey ? std::string("\\") + subkey : "");
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  char buffer[512] = {};
  DWORD length = sizeof buffer;
  const LONG r = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(buffer), &length);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS) return false;
  data->assign(buffer, length);
  return true;
}

DWORD UserId() {
  DWORD type = 0;
  std::string data;
  if (!UserValue(nullptr, "ID", &type, &data) || data.size() != 4) return 0xFFFFFFFF;
  DWORD id;
  std::memcpy(&id, data.data(), 4);
  return id;
}

TEST(Settings, InstallationIdIsCopiedAndAChangedOneWipesTheUserTree) {
  ClearSettings();
  SetMachineDword(nullptr, "ID", 7);
  {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, (std::string(bramble::kSettingsRoot) + "\\General").c_str(), &key),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Language", 0, REG_SZ, reinterpret_cast<const BYTE*>("RCXYZ.DLL"), 10);
    RegCloseKey(key);
  }
  // The user tree had no "ID": it gets 7 and keeps its values.
  { SettingsKey key; EXPECT_EQ(key.installation_id(), 7u); }
  EXPECT_EQ(UserId(), 7u);
  DWORD type = 0;
  std::string data;
  EXPECT_TRUE(UserValue("General", "Language", &type, &data));
  // Same ID again: nothing changes.
  { SettingsKey key; }
  EXPECT_TRUE(UserValue("General", "Language", &type, &data));
  // A new installation: the whole user tree goes, "ID" 8 is written.
  SetMachineDword(nullptr, "ID", 8);
  SetUserString(bramble::kPluginSubkey, "Filter", "12");  // this access wipes first, then writes
  EXPECT_EQ(UserId(), 8u);
  EXPECT_FALSE(UserValue("General", "Language", &type, &data));
  EXPECT_TRUE(UserValue(bramble::kPluginSubkey, "Filter", &type, &data));
  ClearSettings();
}

TEST(Settings, QueryFallsBackToTheMachineAndCopiesTheValue) {
  ClearSettings();
  {
    HKEY key = nullptr;
    std::string path = std::string(bramble::kSettingsRoot) + "\\" + bramble::kPluginSubkey;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key), ERROR_SUCCESS);
    RegSetValueExA(key, "Filter", 0, REG_SZ, reinterpret_cast<const BYTE*>("14"), 3);
    RegCloseKey(key);
  }
  SettingsKey key;
  char text[256] = "16";
  DWORD type = REG_SZ, length = sizeof text;
  EXPECT_EQ(key.QueryValue(bramble::kPluginSubkey, "Filter", &type, text, &length), 0);
  EXPECT_STREQ(text, "14");
  DWORD user_type = 0;
  std::string data;
  ASSERT_TRUE(UserValue(bramble::kPluginSubkey, "Filter", &user_type, &data));
  EXPECT_EQ(user_type, DWORD(REG_SZ));
  EXPECT_EQ(data, std::string("14", 3));

  // Missing everywhere: E_FAIL and the buffer keeps the default.
  std::strcpy(text, "16");
  length = sizeof text;
  EXPECT_EQ(key.QueryValue(bramble::kPluginSubkey, "Nothing", &type, text, &length), bramble::kSettingsFail);
  EXPECT_STREQ(text, "16");
  EXPECT_EQ(key.QueryValue("No\\Such\\Key", "Filter", &type, text, &length), bramble::kSettingsFail);
  // Too small a buffer: 234.
  char tiny[2];
  length = sizeof tiny;
  EXPECT_EQ(key.QueryValue(bramble::kPluginSubkey, "Filter", &type, tiny, &length), bramble::kSettingsMoreData);

  // Numbers are decimal text; anything else reads as 0.
  bramble::WriteSettingNumber(bramble::kPluginSubkey, "ThreadPriority", 4);
  EXPECT_EQ(bramble::ReadSettingNumber(bramble::kPluginSubkey, "ThreadPriority", "5"), 4);
  SetUserString(bramble::kPluginSubkey, "ThreadPriority", "x");
  EXPECT_EQ(bramble::ReadSettingNumber(bramble::kPluginSubkey, "ThreadPriority", "5"), 0);
  EXPECT_EQ(bramble::ReadSettingNumber(bramble::kPluginSubkey, "Missing", "5"), 5);
  // A string without its NUL, filling the buffer, is still read safely.
  std::string long_text = "12" + std::string(300, ' ');
  SettingsKey().SetValue(bramble::kPluginSubkey, "Long", REG_BINARY, long_text.data(), 260);
  EXPECT_EQ(bramble::ReadSettingNumber(bramble::kPluginSubkey, "Long", "5"), 12);
  // A short one ends where the value ends, not where the default did.
  SettingsKey().SetValue(bramble::kPluginSubkey, "Short", REG_BINARY, "12", 2);
  EXPECT_EQ(bramble::ReadSettingNumber(bramble::kPluginSubkey, "Short", "599"), 12);
  ClearSettings();
}

TEST(HostNotify, NothingIsSentWithoutTheHostWindow) {
  Host().Reset();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(bramble::HostQuery(bramble::kJukeboxNotifyId, &out), E_NOINTERFACE);
  EXPECT_EQ(out, reinterpret_cast<void*>(1));
  std::atomic<int> once{0};
  bramble::Notify(once, "hello", 0, 5000);
  EXPECT_EQ(once.load(), 1) << "the flag is set even when the host was not reached";
  bramble::NotifyEndOfSource(once);
  EXPECT_TRUE(Host().log.calls.empty());
}

TEST(HostNotify, TextsUrlsAndTheAutoSwitchFlag) {
  ClearSettings();
  Host().Reset();
  HostWindow window;
  // Sent from another thread, as the playback thread does, while this one pumps.
  auto send = [](std::function<void()> f) {
    std::atomic<bool> done{false};
    std::thread t([&] { f(); done = true; });
    PumpUntil([&] { return done.load(); }, 5000);
    t.join();
  };
  std::atomic<int> once{0};
  send([&] { bramble::Notify(once, "first", 0, 500); });
  send([&] { bramble::Notify(once, "second", 0, 2500); });
  send([&] { bramble::Notify(once, "http://example.org/", 1, 12000); });
  EXPECT_TRUE(Host().log.Has("notify-5 0 [first] 0 1"));
  EXPECT_TRUE(Host().log.Has("notify-5 1500 [second] 0 0"));
  EXPECT_TRUE(Host().log.Has("notify-5 12000 [http://example.org/] 1 0"));
  EXPECT_EQ(Host().log.Count("notify-release"), 3);

  // The end of a source: a tab text without switching, slots 3 and 6, and
  // the once-only flag as it was.
  Host().Reset();
  once = 0;
  bramble::NotifyEndOfSource(once);
  {
    std::lock_guard<std::mutex> g(Host().log.lock);
    const std::vector<std::string> expected = {"notify-5 0 [\t] 0 0", "notify-release", "notify-3", "notify-6",
                                               "notify-release"};
    EXPECT_EQ(Host().log.calls, expected);
  }
  EXPECT_EQ(once.load(), 0);
  send([&] { bramble::Notify(once, "again", 0, 3000); });
  EXPECT_TRUE(Host().log.Has("notify-5 2000 [again] 0 1"));

  // With the setting off, nothing switches.
  Host().Reset();
  SetMachineDword(bramble::kNotifySubkey, "QDX Auto Switch", 0);
  once = 0;
  send([&] { bramble::Notify(once, "quiet", 0, 0); });
  EXPECT_TRUE(Host().log.Has("notify-5 0 [quiet] 0 0"));
  ClearSettings();
}

TEST(HostNotify, StreamInformationRecord) {
  Host().Reset();
  HostWindow window;
  bramble::ReportStreamInfo("", "Station", 95);
  bramble::ReportStreamInfo(nullptr, nullptr, 0);
  bramble::ReportStreamInfo("Song", nullptr, 1);
  std::lock_guard<std::mutex> g(Host().log.lock);
  const std::string size = std::to_string(sizeof(bramble::StreamItemInfo));
  const std::vector<std::string> expected = {
      "info-get", "info-set 42 size=" + size + " kind=92 flags=0x30 dur=95 first=[(null)] second=[Station]",
      "info-release", "info-get",
      "info-set 42 size=" + size + " kind=92 flags=0x20 dur=0 first=[(null)] second=[(null)]", "info-release",
      "info-get", "info-set 42 size=" + size + " kind=92 flags=0x21 dur=1 first=[Song] second=[(null)]",
      "info-release"};
  EXPECT_EQ(Host().log.calls, expected);
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
  const DWORD took = GetTickCount() - start;
  EXPECT_LE(took, 1300u);
  EXPECT_EQ(out, nullptr);
  quit = true;
  hung.join();
}

}  // namespace
