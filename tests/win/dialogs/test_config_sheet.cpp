// The configuration sheet through the plug-in's Config entry point: texts,
// the settings it reads, normalises and writes, the trackbars, a priority
// change reaching a playing thread, and the Network Streaming page with and
// without the streaming library.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <memory>
#include <thread>

#include "config/SettingsKey.h"
#include "tests/win/WinHarness.h"
#include "tests/win/dialogs/DialogDriver.h"
#include "ui/resource.h"

using namespace dialogs;
using namespace wintest;
using bramble::kPluginSubkey;

namespace {

// Hides Plugins\Tolquin.DLL beside the program while it lives, so that the
// plug-in loads without its streaming library.
class HiddenStreamingLibrary {
 public:
  HiddenStreamingLibrary() : path_(BesideProgram("Plugins\\Tolquin.DLL")), hidden_(path_ + ".hidden") {
    MoveFileA(path_.c_str(), hidden_.c_str());
  }
  ~HiddenStreamingLibrary() { MoveFileA(hidden_.c_str(), path_.c_str()); }

 private:
  std::string path_, hidden_;
};

// The plug-in loaded with or without the streaming library.
class ConfigSheet : public ::testing::Test {
 protected:
  void Load(bool with_streaming) {
    Host().Reset();
    {
      std::unique_ptr<HiddenStreamingLibrary> hidden;
      if (!with_streaming) hidden = std::make_unique<HiddenStreamingLibrary>();
      dll_ = std::make_unique<PluginDll>();
    }
    ASSERT_TRUE(dll_->ok());
    mod_ = dll_->mod();
    Host().Attach(mod_, window_.hwnd());
    mod_->Init();
  }
  void TearDown() override {
    if (mod_) {
      Host().writes_allowed = 1 << 30;
      mod_->Stop();
      mod_->Quit();
    }
    dll_.reset();
  }
  // Opens the sheet and runs `drive` with it on the driver thread.
  void WithSheet(const std::function<void(HWND sheet)>& drive,
                 const std::string& caption = LangText(IDS_SHEET_CAPTION)) {
    const DWORD thread = GetCurrentThreadId();
    const bool clean = RunDriven([&] { mod_->Config(window_.hwnd()); },
                                 [&] {
                                   HWND sheet = WaitForWindow(thread, caption.c_str());
                                   ASSERT_NE(sheet, nullptr) << "no sheet captioned \"" << caption << '"';
                                   drive(sheet);
                                   PostMessageA(sheet, WM_COMMAND, IDCANCEL, 0);
                                   EXPECT_TRUE(WaitGone(sheet));
                                 });
    EXPECT_TRUE(clean) << "the sheet had to be closed by the watchdog";
  }

  HostWindow window_;
  std::unique_ptr<PluginDll> dll_;
  bramble::InModule* mod_ = nullptr;
};

std::string TabText(HWND sheet, int index) {
  HWND tabs = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0));
  char text[256] = {};
  TCITEMA item = {};
  item.mask = TCIF_TEXT;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(tabs, TCM_GETITEMA, WPARAM(index), reinterpret_cast<LPARAM>(&item));
  return text;
}

TEST_F(ConfigSheet, FirstOpeningShowsDefaultsAndTextsAndWritesThem) {
  ClearSettings();
  Load(false);
  WithSheet([](HWND sheet) {
    HWND page = CurrentPage(sheet);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(Checked(page, IDC_CPU_586));
    EXPECT_FALSE(Checked(page, IDC_CPU_486));
    EXPECT_FALSE(Enabled(page, IDC_CPU_486));
    EXPECT_EQ(TrackbarPos(page, IDC_QUALITY_SLIDER), 8);
    EXPECT_EQ(TrackbarPos(page, IDC_PRIORITY_SLIDER), 5);
    EXPECT_EQ(ItemText(page, IDC_QUALITY_NAME), LangText(IDS_QUALITY_BEST));
    EXPECT_EQ(ItemText(page, IDC_PRIORITY_NAME), LangText(IDS_PRIORITY_HIGH));
    EXPECT_EQ(ItemText(page, IDC_CPU_GROUP), LangText(IDS_CPU_GROUP));
    EXPECT_EQ(ItemText(page, IDC_CPU_586), LangText(IDS_CPU_586));
    EXPECT_EQ(ItemText(page, IDC_CPU_486), LangText(IDS_CPU_486));
    EXPECT_EQ(ItemText(page, IDC_CPU_NOTE), LangText(IDS_CPU_NOTE));
    EXPECT_EQ(ItemText(page, IDC_QUALITY_GROUP), LangText(IDS_QUALITY_GROUP));
    EXPECT_EQ(ItemText(page, IDC_PRIORITY_GROUP), LangText(IDS_PRIORITY_GROUP));
    EXPECT_EQ(ItemText(page, IDC_GAPLESS), LangText(IDS_GAPLESS));
    EXPECT_FALSE(Checked(page, IDC_GAPLESS));
    EXPECT_EQ(TabText(sheet, 0), LangText(IDS_GENERAL_TAB));
    EXPECT_EQ(TabText(sheet, 1), LangText(IDS_NETWORK_TAB));
    EXPECT_EQ(UserSetting(kPluginSubkey, "Bandwidth"), "0");
    EXPECT_EQ(UserSetting(kPluginSubkey, "Filter"), "16");
    EXPECT_EQ(UserSetting(kPluginSubkey, "ThreadPriority"), "5");
    // Every control lies inside the page the sheet made room for.
    RECT page_rect, group;
    GetWindowRect(page, &page_rect);
    for (int id : {IDC_QUALITY_GROUP, IDC_PRIORITY_GROUP, IDC_CPU_GROUP, IDC_GAPLESS}) {
      GetWindowRect(GetDlgItem(page, id), &group);
      EXPECT_LE(group.bottom, page_rect.bottom) << id;
      EXPECT_LE(group.right, page_rect.right) << id;
    }
    OfferScreenshot(sheet, "config-general");
  });
  // The language library was found beside the program and remembered.
  EXPECT_EQ(UserSetting(bramble::kGeneralSubkey, "Language"), "RCENU.DLL");
}

// Every language string comes back empty: the dialogs keep their templates'
// English. (A library that holds none of the strings: hiding RCENU.DLL would
// not do, as this process may hold it loaded already.)
TEST_F(ConfigSheet, EmptyLanguageStringsLeaveTheTemplateTexts) {
  ClearSettings();
  SetUserString(bramble::kGeneralSubkey, "Language", "Plugins\\Tolquin.DLL");
  Load(true);
  const DWORD thread = GetCurrentThreadId();
  EXPECT_TRUE(RunDriven([&] { mod_->InfoBox("absent.mp3", window_.hwnd()); }, [&] {
    HWND d = WaitForWindow(thread, "Bramblecot MP3 File Information");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(ItemText(d, IDOK), "&OK");
    EXPECT_EQ(ItemText(d, IDCANCEL), "&Cancel");
    EXPECT_EQ(ItemText(d, IDC_INFO_TITLE_LABEL), "Title");
    EXPECT_EQ(ItemText(d, IDC_INFO_TAG_GROUP), "ID3 Tag Info.");
    Click(d, IDCANCEL);
  }));
  WithSheet([](HWND sheet) {
    HWND page = CurrentPage(sheet);
    EXPECT_EQ(ItemText(page, IDC_PRIORITY_NAME), "") << "step names come from the library alone";
    EXPECT_EQ(ItemText(page, IDC_CPU_GROUP), "CPU type");
    EXPECT_EQ(ItemText(page, IDC_CPU_586), "&586 class and above");
    EXPECT_EQ(TabText(sheet, 0), "General");
    EXPECT_EQ(TabText(sheet, 1), "Network Streaming");
  }, "");
}

TEST_F(ConfigSheet, StoredValuesAreMappedAndRewritten) {
  struct Case {
    const char* filter;
    int position;
    unsigned name;
    const char* rewritten;
  } cases[] = {{"13", 7, IDS_QUALITY_GOOD, "14"}, {"11", 6, IDS_QUALITY_FAST, "12"},
               {"12", 6, IDS_QUALITY_FAST, "12"}, {"15", 8, IDS_QUALITY_BEST, "16"},
               {"fast", 8, IDS_QUALITY_BEST, "16"}};
  for (const Case& c : cases) {
    ClearSettings();
    SetUserString(kPluginSubkey, "Filter", c.filter);
    SetUserString(kPluginSubkey, "ThreadPriority", "2");
    Load(false);
    WithSheet([&](HWND sheet) {
      HWND page = CurrentPage(sheet);
      EXPECT_EQ(TrackbarPos(page, IDC_QUALITY_SLIDER), c.position) << c.filter;
      EXPECT_EQ(ItemText(page, IDC_QUALITY_NAME), LangText(c.name)) << c.filter;
      EXPECT_EQ(UserSetting(kPluginSubkey, "Filter"), c.rewritten) << c.filter;
      EXPECT_EQ(TrackbarPos(page, IDC_PRIORITY_SLIDER), 2);
      EXPECT_EQ(ItemText(page, IDC_PRIORITY_NAME), LangText(IDS_PRIORITY_BELOW_NORMAL));
      EXPECT_EQ(UserSetting(kPluginSubkey, "ThreadPriority"), "2");
    });
    TearDown();
    mod_ = nullptr;
  }
}

TEST_F(ConfigSheet, TrackbarsStoreOnReleaseOnlyAndCpuClicksRewrite) {
  ClearSettings();
  Load(false);
  WithSheet([](HWND sheet) {
    HWND page = CurrentPage(sheet);
    DragTrackbar(page, IDC_QUALITY_SLIDER, 6);
    EXPECT_EQ(UserSetting(kPluginSubkey, "Filter"), "12");
    EXPECT_EQ(ItemText(page, IDC_QUALITY_NAME), LangText(IDS_QUALITY_FAST));
    // A keyboard move: position changes, nothing is stored.
    SendMessageA(GetDlgItem(page, IDC_QUALITY_SLIDER), TBM_SETPOS, TRUE, 7);
    EXPECT_EQ(UserSetting(kPluginSubkey, "Filter"), "12");
    DragTrackbar(page, IDC_QUALITY_SLIDER, 7);
    EXPECT_EQ(UserSetting(kPluginSubkey, "Filter"), "14");
    EXPECT_EQ(ItemText(page, IDC_QUALITY_NAME), LangText(IDS_QUALITY_GOOD));

    DragTrackbar(page, IDC_PRIORITY_SLIDER, 0);
    EXPECT_EQ(UserSetting(kPluginSubkey, "ThreadPriority"), "0");
    EXPECT_EQ(ItemText(page, IDC_PRIORITY_NAME), LangText(IDS_PRIORITY_IDLE));
    DragTrackbar(page, IDC_PRIORITY_SLIDER, 3);
    EXPECT_EQ(ItemText(page, IDC_PRIORITY_NAME), LangText(IDS_PRIORITY_NORMAL));

    // A click on the CPU class writes all three values again.
    DeleteUserSetting(kPluginSubkey, "Bandwidth");
    DeleteUserSetting(kPluginSubkey, "Filter");
    DeleteUserSetting(kPluginSubkey, "ThreadPriority");
    Click(page, IDC_CPU_586);
    EXPECT_TRUE(Checked(page, IDC_CPU_586));
    EXPECT_FALSE(Checked(page, IDC_CPU_486));
    EXPECT_EQ(UserSetting(kPluginSubkey, "Bandwidth"), "0");
    EXPECT_EQ(UserSetting(kPluginSubkey, "Filter"), "14");
    EXPECT_EQ(UserSetting(kPluginSubkey, "ThreadPriority"), "3");
  });
  // Closing the sheet stores nothing more.
  EXPECT_EQ(UserSetting(kPluginSubkey, "Filter"), "14");
}

TEST_F(ConfigSheet, GaplessBoxShowsAndStoresTheSettingAtOnce) {
  ClearSettings();
  bramble::WriteSettingDword(kPluginSubkey, "Gapless", 1);
  Load(false);
  WithSheet([](HWND sheet) {
    HWND page = CurrentPage(sheet);
    EXPECT_TRUE(Checked(page, IDC_GAPLESS));
    Click(page, IDC_GAPLESS);
    EXPECT_EQ(bramble::ReadSettingDword(kPluginSubkey, "Gapless", 7), 0u);
    Click(page, IDC_GAPLESS);
    EXPECT_EQ(bramble::ReadSettingDword(kPluginSubkey, "Gapless", 7), 1u);
  });
}

TEST_F(ConfigSheet, PriorityChangeReachesThePlayingThreadAtOnceAlsoWhilePaused) {
  ClearSettings();
  Load(false);
  const std::string path = WriteTempFile("sheet-priority.mp2", SilentFrames(4000));
  // Let the output take a block every few milliseconds, so that the thread
  // plays on (and leaves its lock between frames) while the sheet is open.
  Host().writes_allowed = 1;
  std::atomic<bool> pacing{true};
  std::thread pacer([&] {
    while (pacing) {
      if (Host().writes_allowed < 1) Host().writes_allowed = 1;
      Sleep(5);
    }
  });
  ASSERT_EQ(mod_->Play(path.c_str()), 0);
  ASSERT_TRUE(PumpUntil([] { return Host().log.open_thread_id != 0; }, 5000));
  HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, Host().log.open_thread_id);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_HIGHEST);
  WithSheet([&](HWND sheet) {
    HWND page = CurrentPage(sheet);
    DragTrackbar(page, IDC_PRIORITY_SLIDER, 1);
    EXPECT_EQ(UserSetting(kPluginSubkey, "ThreadPriority"), "1");
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_LOWEST);
    EXPECT_EQ(ItemText(page, IDC_PRIORITY_NAME), LangText(IDS_PRIORITY_LOWEST));
    DragTrackbar(page, IDC_PRIORITY_SLIDER, 4);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_ABOVE_NORMAL);
    DragTrackbar(page, IDC_PRIORITY_SLIDER, 0);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_IDLE);
  });
  EXPECT_GT(Host().log.Writes(), 3u) << "the thread kept playing";
  pacing = false;
  pacer.join();

  // Paused, the output makes no room and the thread waits inside its pass:
  // the sheet still opens and a change still reaches the thread at once.
  mod_->Pause();
  const DWORD me = GetCurrentThreadId();
  const bool clean = RunDriven([&] { mod_->Config(window_.hwnd()); },
                               [&] {
                                 HWND sheet = WaitForWindow(me, LangText(IDS_SHEET_CAPTION).c_str());
                                 if (!sheet) {
                                   Host().paused = false;  // lets the stuck call go on
                                   ADD_FAILURE() << "no sheet while the output is paused";
                                   return;
                                 }
                                 DragTrackbar(CurrentPage(sheet), IDC_PRIORITY_SLIDER, 2);
                                 EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_BELOW_NORMAL);
                                 PostMessageA(sheet, WM_COMMAND, IDCANCEL, 0);
                                 EXPECT_TRUE(WaitGone(sheet));
                               });
  EXPECT_TRUE(clean);
  CloseHandle(thread);
  Host().writes_allowed = 1 << 30;
  mod_->Stop();
  DeleteFileA(path.c_str());
}

TEST_F(ConfigSheet, NetworkPageWithoutStreamingLibrary) {
  ClearSettings();
  Load(false);
  WithSheet([](HWND sheet) {
    HWND page = ShowPage(sheet, 1);
    ASSERT_NE(page, nullptr);
    EXPECT_FALSE(Enabled(page, IDC_NET_CONFIG));
    EXPECT_FALSE(Enabled(page, IDC_NET_ABOUT));
    EXPECT_EQ(ItemText(page, IDC_NET_STATUS), LangText(IDS_STREAMING_ABSENT));
    EXPECT_EQ(ItemText(page, IDC_NET_HEADING), LangText(IDS_NET_HEADING));
    EXPECT_EQ(ItemText(page, IDC_NET_CONFIG), LangText(IDS_NET_CONFIG));
    EXPECT_EQ(ItemText(page, IDC_NET_ABOUT), LangText(IDS_NET_ABOUT));
    EXPECT_EQ(Text(page), LangText(IDS_NETWORK_TAB));
  });
}

TEST_F(ConfigSheet, NetworkPageConfigOpensTheLibrarysSettingsOverTheHostWindow) {
  ClearSettings();
  Load(true);
  const DWORD thread = GetCurrentThreadId();
  HWND host = window_.hwnd();
  WithSheet([&](HWND sheet) {
    HWND page = ShowPage(sheet, 1);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(Enabled(page, IDC_NET_CONFIG));
    EXPECT_TRUE(Enabled(page, IDC_NET_ABOUT));
    EXPECT_EQ(ItemText(page, IDC_NET_STATUS), LangText(IDS_STREAMING_PRESENT));
    OfferScreenshot(sheet, "config-network");
    // "About" does nothing: no window appears, the sheet stays.
    PostMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_NET_ABOUT, BN_CLICKED), LPARAM(GetDlgItem(page, IDC_NET_ABOUT)));
    // Posted: the library's dialog is modal and would hold a sent message.
    PostMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_NET_CONFIG, BN_CLICKED), LPARAM(GetDlgItem(page, IDC_NET_CONFIG)));
    HWND settings = WaitForWindow(thread, "Network Stream Settings");
    ASSERT_NE(settings, nullptr) << "the streaming library's settings dialog did not open";
    EXPECT_EQ(GetWindow(settings, GW_OWNER), host);
    PostMessageA(settings, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitGone(settings));
    EXPECT_TRUE(IsWindow(sheet));
  });
}

}  // namespace
