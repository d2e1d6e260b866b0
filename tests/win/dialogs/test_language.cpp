// The language library: the "Language" setting, the RCENU.DLL fallback and
// its registry write, the memory of a failed load, the shared buffer, and
// the English texts of RCENU.DLL itself.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "config/Language.h"
#include "config/SettingsKey.h"
#include "tests/win/WinHarness.h"
#include "tests/win/dialogs/DialogDriver.h"
#include "ui/resource.h"

using namespace dialogs;
using bramble::LanguageLibrary;

namespace {

// A fresh directory (ending in a backslash) for one case.
std::string FreshDirectory(const char* name) {
  const std::string dir = wintest::TempPath(name) + "\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

void CopyLanguageLibrary(const std::string& to) {
  ASSERT_TRUE(CopyFileA(BesideProgram("RCENU.DLL").c_str(), to.c_str(), FALSE)) << to;
}

void RemoveTree(const std::string& dir, std::initializer_list<const char*> files) {
  for (const char* f : files) DeleteFileA((dir + f).c_str());
  RemoveDirectoryA(dir.c_str());
}

TEST(Language, SettingNamesTheLibraryAndStaysUnchanged) {
  wintest::ClearSettings();
  const std::string dir = FreshDirectory("lang-set");
  CreateDirectoryA((dir + "texts").c_str(), nullptr);
  CopyLanguageLibrary(dir + "texts\\RCXX.DLL");
  wintest::SetUserString(bramble::kGeneralSubkey, "Language", "texts\\RCXX.DLL");
  {
    // No RCENU.DLL in the directory: only the setting can find a library.
    LanguageLibrary library(dir.c_str());
    EXPECT_EQ(std::string(library.Load(IDS_PRIORITY_IDLE)), LangText(IDS_PRIORITY_IDLE));
    EXPECT_NE(library.handle(), nullptr);
    EXPECT_EQ(UserSetting(bramble::kGeneralSubkey, "Language"), "texts\\RCXX.DLL");
  }
  DeleteFileA((dir + "texts\\RCXX.DLL").c_str());
  RemoveDirectoryA((dir + "texts").c_str());
  RemoveDirectoryA(dir.c_str());
}

TEST(Language, FallbackLoadsRcenuAndRemembersItsName) {
  struct Case {
    const char* stored;  // null: no setting
  } cases[] = {{nullptr}, {"MISSING.DLL"}};
  for (const Case& c : cases) {
    wintest::ClearSettings();
    if (c.stored) wintest::SetUserString(bramble::kGeneralSubkey, "Language", c.stored);
    const std::string dir = FreshDirectory("lang-fallback");
    CopyLanguageLibrary(dir + "RCENU.DLL");
    {
      LanguageLibrary library(dir.c_str());
      EXPECT_EQ(std::string(library.Load(IDS_SHEET_CAPTION)), LangText(IDS_SHEET_CAPTION));
      EXPECT_EQ(UserSetting(bramble::kGeneralSubkey, "Language"), "RCENU.DLL") << (c.stored ? c.stored : "none");
      EXPECT_EQ(library.load_error(), 0u);
    }
    RemoveTree(dir, {"RCENU.DLL"});
  }
}

TEST(Language, MissingLibraryGivesEmptyTextsAndIsNotSoughtAgain) {
  wintest::ClearSettings();
  const std::string dir = FreshDirectory("lang-missing");
  LanguageLibrary library(dir.c_str());
  for (unsigned id : {4001u, 4033u, 4099u}) EXPECT_STREQ(library.Load(id), "") << id;
  EXPECT_EQ(library.handle(), nullptr);
  EXPECT_NE(library.load_error(), 0u);
  EXPECT_EQ(UserSetting(bramble::kGeneralSubkey, "Language"), "<absent>");
  // A library that appears later is not looked for: the failure is kept.
  CopyLanguageLibrary(dir + "RCENU.DLL");
  EXPECT_STREQ(library.Load(IDS_PRIORITY_NORMAL), "");
  EXPECT_EQ(library.handle(), nullptr);
  RemoveTree(dir, {"RCENU.DLL"});
}

TEST(Language, LookupsShareOneBufferAndUnknownIdsAreEmpty) {
  wintest::ClearSettings();
  const std::string dir = FreshDirectory("lang-buffer");
  CopyLanguageLibrary(dir + "RCENU.DLL");
  {
    LanguageLibrary library(dir.c_str());
    const char* first = library.Load(IDS_PRIORITY_IDLE);
    const std::string first_text = first;
    EXPECT_FALSE(first_text.empty());
    const char* second = library.Load(IDS_PRIORITY_HIGHEST);
    EXPECT_EQ(first, second);
    EXPECT_NE(std::string(first), first_text) << "the first text is gone after the second lookup";
    EXPECT_STREQ(library.Load(4099), "");
    EXPECT_STREQ(library.Load(IDS_INFO_FIELD_NAMES), "Time:\nSize:\nFormat:\nBit rate:\nSam. rate:\nMode:\n");
  }
  RemoveTree(dir, {"RCENU.DLL"});
  // The process-wide lookup works the same way, beside the host program.
  const char* a = bramble::LoadLanguageString(IDS_GENERAL_TAB);
  EXPECT_EQ(std::string(a), LangText(IDS_GENERAL_TAB));
  EXPECT_EQ(bramble::LoadLanguageString(IDS_NETWORK_TAB), a);
}

TEST(Language, HostDirectoryEndsInABackslashAndHoldsTheProgram) {
  char dir[MAX_PATH] = {};
  bramble::GetHostDirectory(dir);
  const std::string text = dir;
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\\');
  EXPECT_EQ(text, BesideProgram(""));
}

TEST(Language, EnglishLibraryHasEveryTextTheDialogsAskFor) {
  HMODULE library = LoadLibraryExA(BesideProgram("RCENU.DLL").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(library, nullptr);
  std::vector<unsigned> ids;
  for (unsigned id = 4001; id <= 4011; ++id) ids.push_back(id);
  for (unsigned id = 4022; id <= 4030; ++id) ids.push_back(id);
  for (unsigned id = 4033; id <= 4042; ++id) ids.push_back(id);
  ids.push_back(4044);
  for (unsigned id = 4049; id <= 4052; ++id) ids.push_back(id);
  for (unsigned id : ids) {
    char text[512] = {};
    EXPECT_GT(LoadStringA(library, id, text, sizeof text), 0) << id;
  }
  // The priority names run from the slowest step to the fastest.
  char idle[64] = {}, highest[64] = {};
  LoadStringA(library, IDS_PRIORITY_IDLE, idle, sizeof idle);
  LoadStringA(library, IDS_PRIORITY_HIGHEST, highest, sizeof highest);
  EXPECT_STREQ(idle, "Idle");
  EXPECT_STREQ(highest, "Highest");
  FreeLibrary(library);
}

}  // namespace
