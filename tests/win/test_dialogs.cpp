// The plug-in's dialogs as a user sees them, through its Config, InfoBox
// and About entry points: their texts, the settings they store and the tags they write.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <fstream>
#include <stdexcept>

#include "config/Language.h"
#include "config/SettingsKey.h"
#include "host/about/resource.h"
#include "tests/support/TagBytes.h"
#include "tags/Title.h"
#include "tests/win/WinHarness.h"
#include "ui/DialogLayer.h"
#include "ui/FileInfoDialog.h"
#include "ui/resource.h"

using namespace wintest;
using bramble::kPluginSubkey;
using bramble::operator+;

namespace {

using bramble::test::ReadFile;  // the whole file, not the platform's call

std::string ItemText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }

void SetItemTextAsUser(HWND dialog, int id, const char* text) {
  SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  SendMessageA(GetDlgItem(dialog, id), EM_SETMODIFY, TRUE, 0);
}

void Click(HWND dialog, int id) {
  SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
  // A sent message does not wake the dialog's loop to see that it ended.
  PostMessageA(GetAncestor(dialog, GA_ROOT), WM_NULL, 0, 0);
}

bool Checked(HWND dialog, int id) { return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void DragTrackbar(HWND page, int id, int pos) {
  SendMessageA(GetDlgItem(page, id), TBM_SETPOS, TRUE, pos);
  NMHDR header = {GetDlgItem(page, id), UINT_PTR(id), UINT(NM_RELEASEDCAPTURE)};
  SendMessageA(page, WM_NOTIFY, WPARAM(id), reinterpret_cast<LPARAM>(&header));
}

std::string LangText(unsigned id) {
  static HMODULE library = LoadLibraryExA(BesideProgram("RCENU.DLL").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  char text[512] = {};
  return library && LoadStringA(library, id, text, sizeof text) > 0 ? text : "<missing " + std::to_string(id) + ">";
}

void OfferScreenshot(HWND window, const char* name) {
  const char* dir = std::getenv("BRAMBLE_SCREENSHOT_DIR");
  if (!dir || !*dir) return;
  RECT r = {};
  GetWindowRect(window, &r);
  const std::string base = std::string(dir) + "\\" + name, done = base + ".done";
  std::ofstream(base + ".tmp") << r.right - r.left << 'x' << r.bottom - r.top << '+' << r.left << '+' << r.top << '\n';
  MoveFileA((base + ".tmp").c_str(), (base + ".ready").c_str());
  PumpUntil([&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000);
  DeleteFileA(done.c_str());
}

HWND Page(HWND sheet) { return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }
int Pos(HWND page, int id) { return int(SendMessageA(GetDlgItem(page, id), TBM_GETPOS, 0, 0)); }
bool Enabled(HWND page, int id) { return IsWindowEnabled(GetDlgItem(page, id)) != FALSE; }
std::string Tabs(HWND sheet) {
  char text[2][64] = {};
  for (int i = 0; i < 2; ++i) {
    TCITEMA item = {TCIF_TEXT, 0, 0, text[i], sizeof text[i], 0, 0};
    SendMessageA(reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0)), TCM_GETITEMA, WPARAM(i),
                 reinterpret_cast<LPARAM>(&item));
  }
  return std::string(text[0]) + "|" + text[1];
}
std::string Stored() {  // the three values the General page writes
  return UserSetting(kPluginSubkey, "Bandwidth") + "," + UserSetting(kPluginSubkey, "Filter") + "," +
         UserSetting(kPluginSubkey, "ThreadPriority");
}

class ConfigSheet : public PluginTest {
 protected:
  // Opens the sheet, runs `drive` on it and its first page, then cancels it.
  void Sheet(const std::function<void(HWND sheet, HWND page)>& drive,
             const std::string& caption = LangText(IDS_SHEET_CAPTION)) {
    Driven([&] { mod_->Config(window_.hwnd()); }, caption, [&](HWND sheet) {
      drive(sheet, Page(sheet));
      PostMessageA(sheet, WM_COMMAND, IDCANCEL, 0);
    });
  }
};

TEST_F(ConfigSheet, FirstOpeningShowsDefaultsAndTextsAndWritesThem) {
  ASSERT_NO_FATAL_FAILURE(Load(false));
  Sheet([](HWND sheet, HWND page) {
    EXPECT_TRUE(Checked(page, IDC_CPU_586) && !Checked(page, IDC_CPU_486) && !Enabled(page, IDC_CPU_486));
    EXPECT_FALSE(Checked(page, IDC_GAPLESS) || Checked(page, IDC_FULL_ACCURACY));
    EXPECT_EQ(Pos(page, IDC_QUALITY_SLIDER) * 10 + Pos(page, IDC_PRIORITY_SLIDER), 85);
    const std::pair<int, unsigned> texts[] = {
        {IDC_QUALITY_NAME, IDS_QUALITY_BEST},   {IDC_PRIORITY_NAME, IDS_PRIORITY_HIGH},   {IDC_CPU_GROUP, IDS_CPU_GROUP},
        {IDC_CPU_586, IDS_CPU_586},             {IDC_CPU_486, IDS_CPU_486},               {IDC_CPU_NOTE, IDS_CPU_NOTE},
        {IDC_QUALITY_GROUP, IDS_QUALITY_GROUP}, {IDC_PRIORITY_GROUP, IDS_PRIORITY_GROUP}, {IDC_GAPLESS, IDS_GAPLESS},
        {IDC_FULL_ACCURACY, IDS_FULL_ACCURACY}};
    for (const auto& t : texts) EXPECT_EQ(ItemText(page, t.first), LangText(t.second)) << t.first;
    EXPECT_EQ(Tabs(sheet), LangText(IDS_GENERAL_TAB) + "|" + LangText(IDS_NETWORK_TAB));
    EXPECT_EQ(Stored(), "0,16,5");
    OfferScreenshot(sheet, "config-general");
    // Without the streaming library its buttons are off.
    SendMessageA(sheet, PSM_SETCURSEL, 1, 0);
    HWND net = Page(sheet);
    EXPECT_FALSE(Enabled(net, IDC_NET_CONFIG) || Enabled(net, IDC_NET_ABOUT));
    EXPECT_EQ(ItemText(net, IDC_NET_STATUS), LangText(IDS_STREAMING_ABSENT));
    EXPECT_EQ(ItemText(net, IDC_NET_HEADING), LangText(IDS_NET_HEADING));
  });
  EXPECT_EQ(UserSetting(bramble::kGeneralSubkey, "Language"), "RCENU.DLL") << "found beside the host, remembered";
}

// A language library without the strings (hiding RCENU.DLL would not do:
// this process may hold it loaded already): the templates' texts stay.
TEST_F(ConfigSheet, EmptyLanguageStringsLeaveTheTemplateTexts) {
  SetUserString(bramble::kGeneralSubkey, "Language", "Plugins\\Tolquin.DLL");
  Sheet([](HWND sheet, HWND page) {
    EXPECT_EQ(ItemText(page, IDC_PRIORITY_NAME), "") << "step names come from the library alone";
    EXPECT_EQ(ItemText(page, IDC_CPU_586), "&586 class and above");
    EXPECT_EQ(Tabs(sheet), "General|Network Streaming");
  }, "");
  EXPECT_EQ(UserSetting(bramble::kGeneralSubkey, "Language"), "Plugins\\Tolquin.DLL");
}

// A host without a language library of its own: the copy the release
// installs beside the plug-in serves, and "Language" (a name beside the
// host) stays unset.
TEST_F(ConfigSheet, TheLanguageLibraryBesideThePluginServesAHostWithoutOne) {
  bramble::LanguageLibrary library("C:\\no host here\\", BesideProgram("").c_str());
  EXPECT_EQ(library.Load(IDS_GENERAL_TAB), LangText(IDS_GENERAL_TAB));
  EXPECT_EQ(UserSetting(bramble::kGeneralSubkey, "Language"), "<absent>");
}

TEST_F(ConfigSheet, StoredValuesAreMappedAndRewritten) {
  const struct {
    const char *filter, *step, *stored;
    int quality_pos, step_pos;
    unsigned quality_name, step_name;
  } cases[] = {{"13", "2", "0,14,2", 7, 2, IDS_QUALITY_GOOD, IDS_PRIORITY_BELOW_NORMAL},
               {"11", "0", "0,12,0", 6, 0, IDS_QUALITY_FAST, IDS_PRIORITY_IDLE},
               {"15", "9", "0,16,6", 8, 6, IDS_QUALITY_BEST, IDS_PRIORITY_HIGHEST},
               {"fast", "-4", "0,16,0", 8, 0, IDS_QUALITY_BEST, IDS_PRIORITY_IDLE}};
  for (const auto& c : cases) {
    SetUserString(kPluginSubkey, "Filter", c.filter);
    SetUserString(kPluginSubkey, "ThreadPriority", c.step);
    Sheet([&](HWND, HWND page) {
      EXPECT_EQ(Stored(), c.stored);
      EXPECT_EQ(Pos(page, IDC_QUALITY_SLIDER) * 10 + Pos(page, IDC_PRIORITY_SLIDER), c.quality_pos * 10 + c.step_pos);
      EXPECT_EQ(ItemText(page, IDC_QUALITY_NAME) + "|" + ItemText(page, IDC_PRIORITY_NAME),
                LangText(c.quality_name) + "|" + LangText(c.step_name));
    });
  }
}

TEST_F(ConfigSheet, TrackbarsStoreOnReleaseAndClicksStoreAtOnce) {
  Sheet([](HWND, HWND page) {
    DragTrackbar(page, IDC_QUALITY_SLIDER, 6);
    EXPECT_EQ(Stored() + ItemText(page, IDC_QUALITY_NAME), "0,12,5" + LangText(IDS_QUALITY_FAST));
    // A keyboard move changes the position and stores nothing.
    SendMessageA(GetDlgItem(page, IDC_QUALITY_SLIDER), TBM_SETPOS, TRUE, 7);
    EXPECT_EQ(Stored(), "0,12,5");
    DragTrackbar(page, IDC_QUALITY_SLIDER, 7);
    DragTrackbar(page, IDC_PRIORITY_SLIDER, 3);
    EXPECT_EQ(Stored() + ItemText(page, IDC_PRIORITY_NAME), "0,14,3" + LangText(IDS_PRIORITY_NORMAL));
    // A click on the CPU class writes all three values again; a box its own at once.
    bramble::SettingsKey::DeleteTree(HKEY_CURRENT_USER, bramble::kSettingsRoot);
    Click(page, IDC_CPU_586);
    EXPECT_EQ(Stored(), "0,14,3");
    const std::pair<int, const char*> boxes[] = {{IDC_GAPLESS, "Gapless"}, {IDC_FULL_ACCURACY, "FullAccuracy"}};
    for (const auto& box : boxes) {
      Click(page, box.first);
      EXPECT_EQ(bramble::ReadSettingDword(kPluginSubkey, box.second, 7), 1u) << box.second;
      Click(page, box.first);
      EXPECT_EQ(bramble::ReadSettingDword(kPluginSubkey, box.second, 7), 0u) << box.second;
    }
  });
  EXPECT_EQ(Stored(), "0,14,3") << "closing stores nothing more";
}

TEST_F(ConfigSheet, PriorityChangeReachesThePlayingThreadAtOnceAlsoWhilePaused) {
  // The output plays in real time, so that the thread plays on (and leaves
  // its lock between frames) while the sheet is open.
  Host().realtime = true;
  ASSERT_EQ(mod_->Play(File("sheet-priority.mp2", SilentFrames(4000)).c_str()), 0);
  ASSERT_TRUE(PumpUntil([] { return Host().log.Copy(Host().log.open_thread_id) != 0; }, 5000));
  HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, Host().log.Copy(Host().log.open_thread_id));
  EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_HIGHEST);
  Sheet([&](HWND, HWND page) {
    for (const auto& step : {std::make_pair(1, THREAD_PRIORITY_LOWEST), {4, THREAD_PRIORITY_ABOVE_NORMAL},
                             {0, THREAD_PRIORITY_IDLE}}) {
      DragTrackbar(page, IDC_PRIORITY_SLIDER, step.first);
      EXPECT_EQ(GetThreadPriority(thread), step.second) << step.first;
    }
  });
  const size_t writes = Host().log.Writes();
  EXPECT_TRUE(PumpUntil([&] { return Host().log.Writes() > writes; }, 5000)) << "the thread plays on";
  // Paused, the output makes no room and the thread waits inside its pass:
  // the sheet still opens and a change still reaches the thread at once.
  mod_->Pause();
  Sheet([&](HWND, HWND page) {
    DragTrackbar(page, IDC_PRIORITY_SLIDER, 2);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_BELOW_NORMAL);
  });
  CloseHandle(thread);
}

TEST_F(ConfigSheet, NetworkPageConfigOpensTheLibrarysSettingsOverTheHostWindow) {
  Sheet([&](HWND sheet, HWND) {
    SendMessageA(sheet, PSM_SETCURSEL, 1, 0);
    HWND page = Page(sheet);
    EXPECT_TRUE(Enabled(page, IDC_NET_CONFIG) && Enabled(page, IDC_NET_ABOUT));
    EXPECT_EQ(ItemText(page, IDC_NET_STATUS), LangText(IDS_STREAMING_PRESENT));
    OfferScreenshot(sheet, "config-network");
    // "About" shows nothing. Posted: the library's dialog is modal.
    for (int id : {IDC_NET_ABOUT, IDC_NET_CONFIG})
      PostMessageA(page, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(page, id)));
    HWND settings = WaitForWindow(GetWindowThreadProcessId(sheet, nullptr), "Network Stream Settings");
    ASSERT_NE(settings, nullptr) << "the streaming library's settings dialog did not open";
    EXPECT_EQ(GetWindow(settings, GW_OWNER), window_.hwnd());
    PostMessageA(settings, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(settings); }, 5000) && IsWindow(sheet));
  });
}

// ---- the file information dialog

// MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, joint stereo: 417-byte frames
// whose zero side information decodes to silence.
std::vector<uint8_t> Layer3(int frames) {
  std::vector<uint8_t> bytes(size_t(frames) * 417, 0);
  for (size_t i = 0; i < bytes.size(); i += 417) std::memcpy(&bytes[i], "\xFF\xFB\x90\x40", 4);
  return bytes;
}

struct Fields {
  std::string title, artist, album, year, comment;
  int genre;
};
const Fields kSong = {"Morning Song", "Ada Quill", "Hills", "1999", "first take", 17};

std::vector<uint8_t> Tag(const Fields& f, char pad = ' ') {
  std::string t = "TAG";
  for (const auto& [text, width] : {std::make_pair(f.title, 30), {f.artist, 30}, {f.album, 30}, {f.year, 4},
                                    {f.comment, 30}})
    t += (text + std::string(30, pad)).substr(0, size_t(width));
  t += char(f.genre);
  return std::vector<uint8_t>(t.begin(), t.end());
}

int Genre(HWND d) { return int(SendMessageA(GetDlgItem(d, IDC_INFO_GENRE), CB_GETCURSEL, 0, 0)); }
void SelectGenre(HWND d, int genre) { SendMessageA(GetDlgItem(d, IDC_INFO_GENRE), CB_SETCURSEL, WPARAM(genre), 0); }

class FileInfo : public PluginTest {
 protected:
  // Opens the dialog for `name` and runs `drive`, which presses OK or Cancel.
  void Dialog(const std::string& name, const std::function<void(HWND)>& drive) {
    int result = 0;
    Driven([&] { result = mod_->InfoBox(name.c_str(), window_.hwnd()); }, "Bramblecot MP3 File Information", drive);
    EXPECT_EQ(result, 1);
  }
  void Edit(const std::string& name, int genre, int box = 0, const char* text = "") {
    Dialog(name, [&](HWND d) {
      if (genre >= 0) SelectGenre(d, genre);
      if (box) SetItemTextAsUser(d, box, text);
      Click(d, IDOK);
    });
  }
  // Starts playing `path` and holds the thread at its second block.
  void PlayHeld(const std::string& path) {
    Host().writes_allowed = 1;
    ASSERT_EQ(mod_->Play(path.c_str()), 0);
    ASSERT_TRUE(PumpUntil([] { return Host().log.Writes() >= 1; }, 5000));
  }
  void StopPlaying() {
    Host().writes_allowed = 1 << 30;
    mod_->Stop();
  }
};

TEST_F(FileInfo, ShowsTheTagAndWritesAnotherFileAtOnce) {
  const std::string path = File("info-tagged.mp3", Layer3(20) + Tag(kSong));
  const std::vector<uint8_t> before = ReadFile(path);
  Dialog(path, [&](HWND d) {
    EXPECT_EQ(ItemText(d, IDC_INFO_FILE_NAME), path);
    std::string shown;  // trailing spaces cut
    for (int box : {IDC_INFO_TITLE, IDC_INFO_ARTIST, IDC_INFO_ALBUM, IDC_INFO_YEAR, IDC_INFO_COMMENT})
      shown += ItemText(d, box) + "|";
    EXPECT_EQ(shown, "Morning Song|Ada Quill|Hills|1999|first take|");
    EXPECT_EQ(SendMessageA(GetDlgItem(d, IDC_INFO_GENRE), CB_GETCOUNT, 0, 0) * 1000 + Genre(d), 115017);
    EXPECT_EQ(ItemText(d, IDC_INFO_FIELD_VALUES), "N/A Sec.\nN/A Bytes\nN/A N/A\nN/A Kbps\nN/A Hz\nN/A\n");
    for (const auto& t : {std::make_pair(IDC_INFO_FIELD_NAMES, IDS_INFO_FIELD_NAMES), {IDC_INFO_TAG_GROUP, IDS_INFO_TAG_GROUP},
                          {IDC_INFO_GENRE_LABEL, IDS_INFO_GENRE}, {IDC_INFO_REMOVE, IDS_INFO_REMOVE}, {IDOK, IDS_INFO_OK}})
      EXPECT_EQ(ItemText(d, t.first), LangText(t.second)) << t.first;
    Click(d, IDOK);
  });
  EXPECT_EQ(ReadFile(path), before) << "the same tag, padding and all, goes back";
  // A genre alone keeps the texts as stored; a typed text takes every text
  // from the (trimmed) boxes, cut to 30 characters.
  Edit(path, 5);
  Fields expected = kSong;
  expected.genre = 5;
  EXPECT_EQ(ReadFile(path), Layer3(20) + Tag(expected));
  const std::string forty = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";
  Edit(path, -1, IDC_INFO_TITLE, forty.c_str());
  expected.title = forty.substr(0, 30);
  EXPECT_EQ(ReadFile(path), Layer3(20) + Tag(expected, '\0'));
  // Cancel stores nothing; Remove cuts the tag at once and OK adds none.
  Dialog(path, [](HWND d) {
    SetItemTextAsUser(d, IDC_INFO_TITLE, "Not kept");
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(ReadFile(path), Layer3(20) + Tag(expected, '\0'));
  Dialog(path, [&](HWND d) {
    Click(d, IDC_INFO_REMOVE);
    EXPECT_EQ(ReadFile(path), Layer3(20)) << "removed before OK";
    EXPECT_EQ(ItemText(d, IDC_INFO_TITLE) + ItemText(d, IDC_INFO_COMMENT) + std::to_string(Genre(d)), "-1");
    Click(d, IDOK);
  });
  // Without a tag a typed field writes one.
  Edit(path, -1, IDC_INFO_ARTIST, "Ada Quill");
  EXPECT_EQ(ReadFile(path), Layer3(20) + Tag({"", "Ada Quill", "", "", "", 255}, '\0'));
}

TEST_F(FileInfo, PlayingFileShowsTheStreamEditsWaitForStopAndNeverReachTheNextFile) {
  const std::string path = File("info-playing.mp3", Layer3(300) + Tag(kSong));
  const std::string other = File("info-other.mp3", Layer3(300) + Tag(kSong));
  const std::vector<uint8_t> before = ReadFile(path);
  PlayHeld(path);
  const int length_ms = mod_->GetLength();
  ASSERT_GT(length_ms, 1000);
  std::string upper = path;  // the name matches in any letter case
  for (char& c : upper) c = char(toupper(static_cast<unsigned char>(c)));
  Dialog(upper, [&](HWND d) {
    EXPECT_EQ(ItemText(d, IDC_INFO_FIELD_VALUES), std::to_string(length_ms / 1000) + " Sec.\n" +
                                                      std::to_string(before.size()) +
                                                      " Bytes\nMPEG-1 III\n128 Kbps\n44100 Hz\nJoint-Stereo\n");
    OfferScreenshot(d, "file-info");
    SetItemTextAsUser(d, IDC_INFO_TITLE, "Evening Song");
    Click(d, IDOK);
  });
  EXPECT_EQ(ReadFile(path), before) << "the playing file is not written";
  Dialog(path, [](HWND d) {
    EXPECT_EQ(ItemText(d, IDC_INFO_TITLE), "Evening Song") << "the pending tag is shown";
    SelectGenre(d, 80);
    Click(d, IDOK);
  });
  Edit(other, 2);
  Fields expected = kSong;
  expected.genre = 2;
  EXPECT_EQ(ReadFile(other), Layer3(300) + Tag(expected)) << "another file: at once, with its own texts";
  EXPECT_EQ(ReadFile(path), before);
  StopPlaying();
  expected.title = "Evening Song";
  expected.genre = 80;
  EXPECT_EQ(ReadFile(path), Layer3(300) + Tag(expected, '\0'));
  // A removal on the playing file waits for Stop too.
  PlayHeld(path);
  Dialog(path, [](HWND d) {
    Click(d, IDC_INFO_REMOVE);
    Click(d, IDOK);
  });
  Dialog(path, [](HWND d) {
    EXPECT_EQ(ItemText(d, IDC_INFO_TITLE), "") << "the pending (empty) tag, not the file's";
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(ReadFile(path), Layer3(300) + Tag(expected, '\0'));
  StopPlaying();
  EXPECT_EQ(ReadFile(path), Layer3(300));
  // After Stop nothing plays: an edit is written at once, and never into
  // the file played next.
  Edit(path, 3);
  EXPECT_EQ(ReadFile(path), Layer3(300) + Tag({"", "", "", "", "", 3}, '\0'));
  const std::vector<uint8_t> other_before = ReadFile(other);
  PlayHeld(other);
  StopPlaying();
  EXPECT_EQ(ReadFile(other), other_before);
}

TEST_F(FileInfo, AFailedWriteShowsItsMessageAndLeavesTheFile) {
  const std::string path = File("info-held.mp3", Layer3(5) + Tag(kSong));
  // Held open for reading only: no write can open it, whoever runs the test.
  HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_EQ(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  const std::string message = "Can't write ID3 into MP3.\n This may be the file is read only.\n" +
                              std::to_string(GetLastError());
  Dialog(path, [&](HWND d) {
    SetItemTextAsUser(d, IDC_INFO_TITLE, "Never written");
    PostMessageA(d, WM_COMMAND, IDOK, 0);  // the message box holds the OK handler
    HWND box = WaitForWindow(GetWindowThreadProcessId(d, nullptr), "Error");
    EXPECT_EQ(ItemText(box, 0xFFFF), message);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  });
  CloseHandle(holder);
  EXPECT_EQ(ReadFile(path), Layer3(5) + Tag(kSong));
}

// ID3v2 texts reach the host in its code page (a character it lacks as '?')
// and start the dialog of a file without ID3v1, where OK alone writes
// nothing. A 30-character ID3v1 cut shows the full ID3v2 title, an edit the
// new ID3v1 title, and no byte before the ID3v1 tag changes.
TEST_F(FileInfo, OtherTagsShowInTheCodePageAndEditsGoToId3v1Only) {
  using namespace bramble::test;
  ASSERT_EQ(GetACP(), 1252u) << "the expected bytes are code page 1252's";
  const int32_t artist_title[24] = {1, bramble::kTitleFieldArtist, 1, 2, bramble::kTitleFieldTitle, 1};  // the rest off
  bramble::SettingsKey().SetValue(kPluginSubkey, "ID3Tag", REG_BINARY, artist_title, sizeof artist_title);
  Load();
  auto title_of = [&](const std::string& path) {
    char title[256] = {};
    int length_ms = 0;
    mod_->GetFileInfo(path.c_str(), title, &length_ms);
    return std::string(title);
  };
  const Bytes v2 = Id3Tag(3, 0, Id3Frame(3, "TIT2", Bytes{1} + Utf16(u"Caf\u00e9 \u0141", false)) +
                                    Id3Frame(3, "TPE1", Bytes{0} + Str("Ada")) + Id3Frame(3, "TCON", Bytes{0} + Str("(17)")));
  const std::string only_v2 = File("info-v2.mp3", v2 + Layer3(20));
  EXPECT_EQ(title_of(only_v2), "Ada Caf\xE9 ?");
  Dialog(only_v2, [&](HWND d) {
    EXPECT_EQ(ItemText(d, IDC_INFO_TITLE) + "|" + ItemText(d, IDC_INFO_ARTIST) + "|" + std::to_string(Genre(d)),
              "Caf\xE9 ?|Ada|17");
    Click(d, IDOK);
  });
  EXPECT_EQ(ReadFile(only_v2), v2 + Layer3(20));

  const std::string full = "Morning Song in the Hills of the Far West Sea";  // 45 characters
  const Bytes before = Id3Tag(4, 0, Id3Frame(4, "TIT2", Bytes{3} + Str(full))) + Layer3(20);
  const std::string both = File("info-both.mp3", before + Tag({full.substr(0, 30), "Ada", "", "", "", 255}, '\0'));
  EXPECT_EQ(title_of(both), "Ada " + full);
  Edit(both, -1, IDC_INFO_TITLE, "Evening Song");
  EXPECT_EQ(title_of(both), "Ada Evening Song");
  EXPECT_EQ(ReadFile(both), before + Tag({"Evening Song", "Ada", "", "", "", 255}, '\0'));
}

// A hook that throws ends its dialog or sheet, and the exception reaches
// the caller instead of unwinding through the dialog manager.
struct ThrowingDialog : bramble::Dialog {
  explicit ThrowingDialog(bool in_init)
      : Dialog(GetModuleHandleA("BramblecotMp3.dll"), IDD_FILE_INFO), in_init(in_init) {}
  BOOL OnInitDialog() override { return in_init ? throw std::runtime_error("init") : TRUE; }
  bool OnCommand(int id, int, HWND) override {
    if (id == IDC_INFO_REMOVE) throw std::runtime_error("remove");
    oks_after += id == IDOK;
    return false;
  }
  bool in_init;
  int oks_after = 0;
};

struct ThrowingPage : bramble::PropertyPage {
  ThrowingPage() : PropertyPage(GetModuleHandleA("BramblecotMp3.dll"), IDD_GENERAL_PAGE) { SetTitle("Tab"); }
  bool OnCommand(int id, int code, HWND) override {
    if (id == IDC_CPU_586 && code == BN_CLICKED) throw std::logic_error("page");
    return false;
  }
};

using DialogLayer = PluginTest;

TEST_F(DialogLayer, AnExceptionInAHookEndsTheDialogOrSheetAndReachesTheCaller) {
  ThrowingDialog early(true);
  EXPECT_THROW(early.DoModal(nullptr), std::runtime_error);
  ThrowingDialog late(false);
  std::string what;
  Driven([&] {
    try {
      late.DoModal(nullptr);
    } catch (const std::runtime_error& e) {
      what = e.what();
    }
  }, "Bramblecot MP3 File Information", [](HWND dialog) { Click(dialog, IDC_INFO_REMOVE); });
  EXPECT_EQ(what, "remove");
  EXPECT_EQ(late.oks_after, 0) << "no hook runs once the dialog failed";

  ThrowingPage page;
  bramble::SheetDialog sheet("Sheet under test");
  sheet.AddPage(&page);
  bool thrown = false;
  Driven([&] {
    try {
      sheet.DoModal();
    } catch (const std::logic_error&) {
      thrown = true;
    }
  }, "Sheet under test", [](HWND window) { Click(Page(window), IDC_CPU_586); });
  EXPECT_TRUE(thrown);
}

TEST(StreamValues, ValuesTextFollowsTheFrameHeader) {
  const struct {
    uint8_t header[4];
    int average_kbps;
    const char* text;
  } cases[] = {
      // A variable-rate file shows its average, not the frame's rate.
      {{0xFF, 0xFB, 0x90, 0x40}, 106, "30 Sec.\n398693 Bytes\nMPEG-1 III\n106 Kbps\n44100 Hz\nJoint-Stereo\n"},
      {{0xFF, 0xE3, 0x10, 0xC0}, 0, "30 Sec.\n398693 Bytes\nMPEG-2.5 III\n8 Kbps\n11025 Hz\nSingle-Ch\n"},
      // A reserved layer: no frame, nothing to show.
      {{0xFF, 0xF9, 0x90, 0x40}, 0, bramble::kValuesNotAvailable}};
  for (const auto& c : cases) EXPECT_EQ(bramble::FormatStreamValues(c.header, 30040, 398693, c.average_kbps), c.text);
}

// About.exe, started by the entry point beside the host, in its own process.
TEST(About, ShowsThePluginNameAndVersionBesideTheHost) {
  PluginDll dll;
  ASSERT_TRUE(dll.ok());
  dll.mod()->About(nullptr);
  HWND about = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (about = FindWindowA(nullptr, "About Bramblecot MP3 Player")) != nullptr; },
                        10000));
  EXPECT_EQ(ItemText(about, IDC_ABOUT_NAME) + "|" + ItemText(about, IDC_ABOUT_VERSION),
            "Bramblecot MP3 Player|Version 1.3");
  DWORD process_id = 0;
  GetWindowThreadProcessId(about, &process_id);
  EXPECT_NE(process_id, GetCurrentProcessId());
  OfferScreenshot(about, "about");
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, process_id);
  PostMessageA(about, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0) << "About.exe ends on OK";
  CloseHandle(process);
}

}  // namespace
