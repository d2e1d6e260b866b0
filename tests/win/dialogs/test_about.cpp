// About.exe, run as the About entry point runs it, and directly.
#include <gtest/gtest.h>

#include <windows.h>

#include "host/about/resource.h"
#include "tests/win/WinHarness.h"
#include "tests/win/dialogs/DialogDriver.h"

using namespace dialogs;

namespace {

struct Found {
  DWORD process;
  const char* caption;
  HWND window;
};

BOOL CALLBACK FindInProcess(HWND window, LPARAM lparam) {
  auto* f = reinterpret_cast<Found*>(lparam);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if ((f->process && process != f->process) || !IsWindowVisible(window)) return TRUE;
  if (Text(window) != f->caption) return TRUE;
  f->window = window;
  return FALSE;
}

HWND WaitForTopLevel(DWORD process, const char* caption) {
  for (int i = 0; i < 250; ++i, Sleep(20)) {
    Found f = {process, caption, nullptr};
    EnumWindows(FindInProcess, reinterpret_cast<LPARAM>(&f));
    if (f.window) return f.window;
  }
  return nullptr;
}

TEST(About, ShowsThePluginNameAndTheVersionItIsGiven) {
  struct Case {
    std::string arguments, caption, name, version;
  } cases[] = {{"mp3.ini 1.3", "About Bramblecot MP3 Player", "Bramblecot MP3 Player", "Version 1.3"},
               {"wav.ini 2.0b", "About Bramblecot WAV Player", "Bramblecot WAV Player", "Version 2.0b"},
               {"", "About Bramblecot Player", "Bramblecot Player", "Version unknown"}};
  for (const Case& c : cases) {
    std::string line = "\"" + BesideProgram("About.exe") + "\" " + c.arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    HWND window = WaitForTopLevel(process.dwProcessId, c.caption.c_str());
    EXPECT_NE(window, nullptr) << c.arguments;
    if (window) {
      EXPECT_EQ(ItemText(window, IDC_ABOUT_NAME), c.name);
      EXPECT_EQ(ItemText(window, IDC_ABOUT_VERSION), c.version);
      if (c.arguments == "mp3.ini 1.3") OfferScreenshot(window, "about");
      PostMessageA(window, WM_COMMAND, IDOK, 0);
    }
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0) << "About.exe ends on OK";
    if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

TEST(About, EntryPointRunsAboutBesideTheHost) {
  wintest::PluginDll dll;
  ASSERT_TRUE(dll.ok());
  dll.mod()->About(nullptr);
  HWND window = WaitForTopLevel(0, "About Bramblecot MP3 Player");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(ItemText(window, IDC_ABOUT_VERSION), "Version 1.3");
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  EXPECT_NE(process_id, GetCurrentProcessId());
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, process_id);
  PostMessageA(window, WM_COMMAND, IDOK, 0);
  if (process) {
    EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
    CloseHandle(process);
  }
}

}  // namespace
