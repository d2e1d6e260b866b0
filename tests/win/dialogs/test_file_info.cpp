// The file information dialog through the plug-in's InfoBox entry point, on
// files with and without a tag and on the file that is playing.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "tests/win/WinHarness.h"
#include "tests/win/dialogs/DialogDriver.h"
#include "ui/resource.h"

using namespace dialogs;
using namespace wintest;

namespace {

constexpr char kNotAvailable[] = "N/A Sec.\nN/A Bytes\nN/A N/A\nN/A Kbps\nN/A Hz\nN/A\n";

// MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, joint stereo, no CRC: 417-byte
// frames whose zero side information decodes to silence.
std::vector<uint8_t> JointStereoLayer3(int frames) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < frames; ++i) {
    const uint8_t header[4] = {0xFF, 0xFB, 0x90, 0x40};
    bytes.insert(bytes.end(), header, header + 4);
    bytes.insert(bytes.end(), 417 - 4, 0);
  }
  return bytes;
}

struct Fields {
  std::string title, artist, album, year, comment;
  int genre;
};

void PutField(std::vector<uint8_t>& out, const std::string& text, size_t width, char pad) {
  for (size_t i = 0; i < width; ++i) out.push_back(uint8_t(i < text.size() ? text[i] : pad));
}

std::vector<uint8_t> TagBytes(const Fields& f, char pad = ' ') {
  std::vector<uint8_t> tag = {'T', 'A', 'G'};
  PutField(tag, f.title, 30, pad);
  PutField(tag, f.artist, 30, pad);
  PutField(tag, f.album, 30, pad);
  PutField(tag, f.year, 4, pad);
  PutField(tag, f.comment, 30, pad);
  tag.push_back(uint8_t(f.genre));
  return tag;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The last 128 bytes when they are a tag, else empty.
std::vector<uint8_t> TagOf(const std::string& path) {
  std::vector<uint8_t> bytes = ReadAll(path);
  if (bytes.size() < 128 || std::memcmp(&bytes[bytes.size() - 128], "TAG", 3) != 0) return {};
  return std::vector<uint8_t>(bytes.end() - 128, bytes.end());
}

FILETIME WriteTime(const std::string& path) {
  FILETIME t = {};
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  GetFileTime(h, nullptr, nullptr, &t);
  CloseHandle(h);
  return t;
}

bool SameTime(FILETIME a, FILETIME b) { return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime; }

const Fields kSong = {"Morning Song", "Ada Quill", "Hills", "1999", "first take", 17};

int ComboSelection(HWND dialog) { return int(SendMessageA(GetDlgItem(dialog, IDC_INFO_GENRE), CB_GETCURSEL, 0, 0)); }

void SelectGenre(HWND dialog, int genre) {
  HWND combo = GetDlgItem(dialog, IDC_INFO_GENRE);
  SendMessageA(combo, CB_SETCURSEL, WPARAM(genre), 0);
}

class FileInfo : public ::testing::Test {
 protected:
  void SetUp() override {
    Host().Reset();
    ASSERT_TRUE(dll_.ok());
    mod_ = dll_.mod();
    Host().Attach(mod_, window_.hwnd());
    mod_->Init();
  }
  void TearDown() override {
    Host().writes_allowed = 1 << 30;
    mod_->Stop();
    mod_->Quit();
    for (const auto& p : files_) DeleteFileA(p.c_str());
  }
  std::string File(const std::string& name, std::vector<uint8_t> bytes, const std::vector<uint8_t>& tag = {}) {
    bytes.insert(bytes.end(), tag.begin(), tag.end());
    files_.push_back(WriteTempFile(name, bytes));
    return files_.back();
  }
  // Opens the dialog for `name`, hands it to `drive` and fails if it is
  // still open afterwards (drive presses OK or Cancel).
  void WithDialog(const std::string& name, const std::function<void(HWND)>& drive) {
    const DWORD thread = GetCurrentThreadId();
    int result = 0;
    const bool clean = RunDriven([&] { result = mod_->InfoBox(name.c_str(), window_.hwnd()); },
                                 [&] {
                                   HWND dialog = WaitForWindow(thread, "Bramblecot MP3 File Information");
                                   ASSERT_NE(dialog, nullptr);
                                   drive(dialog);
                                   EXPECT_TRUE(WaitGone(dialog)) << "the dialog stayed open";
                                 });
    EXPECT_TRUE(clean);
    EXPECT_EQ(result, 1);
  }
  // Starts playing `path` and holds the thread at its second block.
  void PlayHeld(const std::string& path) {
    Host().writes_allowed = 1;
    ASSERT_EQ(mod_->Play(path.c_str()), 0);
    ASSERT_TRUE(PumpUntil([] { return Host().log.Writes() >= 1; }, 5000));
  }

  HostWindow window_;
  PluginDll dll_;
  bramble::InModule* mod_ = nullptr;
  std::vector<std::string> files_;
};

TEST_F(FileInfo, TaggedFileShowsItsFieldsAndOkWithoutChangesWritesTheSameTag) {
  const std::string path = File("info-tagged.mp3", JointStereoLayer3(20), TagBytes(kSong));
  const std::vector<uint8_t> before = ReadAll(path);
  const FILETIME time_before = WriteTime(path);
  Sleep(50);
  WithDialog(path, [&](HWND d) {
    EXPECT_EQ(ItemText(d, IDC_INFO_FILE_NAME), path);
    EXPECT_EQ(ItemText(d, IDC_INFO_TITLE), "Morning Song");  // trailing spaces cut
    EXPECT_EQ(ItemText(d, IDC_INFO_ARTIST), "Ada Quill");
    EXPECT_EQ(ItemText(d, IDC_INFO_ALBUM), "Hills");
    EXPECT_EQ(ItemText(d, IDC_INFO_YEAR), "1999");
    EXPECT_EQ(ItemText(d, IDC_INFO_COMMENT), "first take");
    HWND combo = GetDlgItem(d, IDC_INFO_GENRE);
    EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 115);
    EXPECT_EQ(ComboSelection(d), 17);
    char name[64] = {};
    SendMessageA(combo, CB_GETLBTEXT, 114, reinterpret_cast<LPARAM>(name));
    EXPECT_STREQ(name, "Folklore");
    EXPECT_EQ(ItemText(d, IDC_INFO_FIELD_VALUES), kNotAvailable);
    EXPECT_EQ(ItemText(d, IDC_INFO_FIELD_NAMES), LangText(IDS_INFO_FIELD_NAMES));
    EXPECT_EQ(ItemText(d, IDC_INFO_TAG_GROUP), LangText(IDS_INFO_TAG_GROUP));
    EXPECT_EQ(ItemText(d, IDC_INFO_TITLE_LABEL), LangText(IDS_INFO_TITLE));
    EXPECT_EQ(ItemText(d, IDC_INFO_ALBUM_LABEL), LangText(IDS_INFO_ALBUM));
    EXPECT_EQ(ItemText(d, IDC_INFO_ARTIST_LABEL), LangText(IDS_INFO_ARTIST));
    EXPECT_EQ(ItemText(d, IDC_INFO_YEAR_LABEL), LangText(IDS_INFO_YEAR));
    EXPECT_EQ(ItemText(d, IDC_INFO_GENRE_LABEL), LangText(IDS_INFO_GENRE));
    EXPECT_EQ(ItemText(d, IDC_INFO_COMMENT_LABEL), LangText(IDS_INFO_COMMENT));
    EXPECT_EQ(ItemText(d, IDC_INFO_REMOVE), LangText(IDS_INFO_REMOVE));
    EXPECT_EQ(ItemText(d, IDOK), LangText(IDS_INFO_OK));
    EXPECT_EQ(ItemText(d, IDCANCEL), LangText(IDS_INFO_CANCEL));
    Click(d, IDOK);
  });
  EXPECT_EQ(ReadAll(path), before) << "the same tag, padding and all, goes back";
  EXPECT_FALSE(SameTime(WriteTime(path), time_before)) << "the genre selection alone makes OK write";
}

TEST_F(FileInfo, FileWithoutTagStaysUntouchedUntilAFieldIsTyped) {
  const std::string path = File("info-plain.mp3", JointStereoLayer3(20));
  const std::vector<uint8_t> before = ReadAll(path);
  WithDialog(path, [&](HWND d) {
    EXPECT_EQ(ItemText(d, IDC_INFO_TITLE), "");
    EXPECT_EQ(ComboSelection(d), CB_ERR);
    Click(d, IDOK);
  });
  EXPECT_EQ(ReadAll(path), before);

  WithDialog(path, [&](HWND d) {
    TypeInto(d, IDC_INFO_ARTIST, "Ada Quill");
    Click(d, IDOK);
  });
  const std::vector<uint8_t> tag = TagOf(path);
  ASSERT_EQ(tag.size(), 128u);
  EXPECT_EQ(ReadAll(path).size(), before.size() + 128);
  EXPECT_EQ(tag, TagBytes({"", "Ada Quill", "", "", "", 255}, '\0'));

  // Cancel stores nothing, whatever was typed.
  WithDialog(path, [&](HWND d) {
    TypeInto(d, IDC_INFO_TITLE, "Not kept");
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(TagOf(path), tag);
}

TEST_F(FileInfo, GenreOnlyChangeKeepsTextsAndLongTitleIsCut) {
  const std::string path = File("info-edit.mp3", JointStereoLayer3(20), TagBytes(kSong));
  WithDialog(path, [&](HWND d) {
    SelectGenre(d, 5);
    Click(d, IDOK);
  });
  Fields expected = kSong;
  expected.genre = 5;
  EXPECT_EQ(TagOf(path), TagBytes(expected)) << "texts stay as stored, space padding included";

  const std::string forty = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";
  WithDialog(path, [&](HWND d) {
    TypeInto(d, IDC_INFO_TITLE, forty.c_str());
    EXPECT_EQ(ItemText(d, IDC_INFO_TITLE), forty);
    Click(d, IDOK);
  });
  // Every text now comes from the (trimmed) boxes.
  expected.title = forty.substr(0, 30);
  EXPECT_EQ(TagOf(path), TagBytes(expected, '\0'));
}

TEST_F(FileInfo, RemoveOnAnotherFileCutsTheTagAtOnce) {
  const std::vector<uint8_t> audio = JointStereoLayer3(20);
  const std::string path = File("info-remove.mp3", audio, TagBytes(kSong));
  WithDialog(path, [&](HWND d) {
    Click(d, IDC_INFO_REMOVE);
    EXPECT_EQ(ReadAll(path), audio) << "removed before OK";
    EXPECT_EQ(ItemText(d, IDC_INFO_TITLE), "");
    EXPECT_EQ(ItemText(d, IDC_INFO_COMMENT), "");
    EXPECT_EQ(ComboSelection(d), CB_ERR);
    Click(d, IDOK);
  });
  EXPECT_EQ(ReadAll(path), audio) << "OK after removal saves nothing";
}

TEST_F(FileInfo, PlayingFileShowsTheStreamAndEditsWaitForStop) {
  const std::vector<uint8_t> audio = JointStereoLayer3(300);
  const std::string path = File("info-playing.mp3", audio, TagBytes(kSong));
  const std::string other = File("info-other.mp3", audio, TagBytes(kSong));
  const std::vector<uint8_t> before = ReadAll(path);
  PlayHeld(path);
  const int length_ms = mod_->GetLength();
  ASSERT_GT(length_ms, 1000);
  char values[256];
  std::snprintf(values, sizeof values,
                "%d Sec.\n%d Bytes\nMPEG-1 III\n128 Kbps\n44100 Hz\nJoint-Stereo\n", length_ms / 1000,
                int(before.size()));

  // The name matches in any letter case.
  std::string upper = path;
  for (char& c : upper) c = char(toupper(static_cast<unsigned char>(c)));
  WithDialog(upper, [&](HWND d) {
    EXPECT_EQ(ItemText(d, IDC_INFO_FIELD_VALUES), values);
    EXPECT_EQ(ItemText(d, IDC_INFO_TITLE), "Morning Song");
    OfferScreenshot(d, "file-info");
    SetItemTextAsUser(d, IDC_INFO_TITLE, "Evening Song");
    Click(d, IDOK);
  });
  EXPECT_EQ(ReadAll(path), before) << "the playing file is not written";

  // A second edit sees and changes the same pending tag.
  WithDialog(path, [&](HWND d) {
    EXPECT_EQ(ItemText(d, IDC_INFO_TITLE), "Evening Song");
    SelectGenre(d, 80);
    Click(d, IDOK);
  });
  // Another file meanwhile is written at once, with its own texts.
  WithDialog(other, [&](HWND d) {
    SelectGenre(d, 2);
    Click(d, IDOK);
  });
  Fields other_expected = kSong;
  other_expected.genre = 2;
  EXPECT_EQ(TagOf(other), TagBytes(other_expected));
  EXPECT_EQ(ReadAll(path), before);

  Host().writes_allowed = 1 << 30;
  mod_->Stop();
  Fields expected = kSong;
  expected.title = "Evening Song";
  expected.genre = 80;
  EXPECT_EQ(TagOf(path), TagBytes(expected, '\0'));
  EXPECT_EQ(ReadAll(path).size(), before.size());
}

TEST_F(FileInfo, AfterStopAnEditIsWrittenAtOnceAndNeverIntoTheNextFile) {
  const std::vector<uint8_t> audio = JointStereoLayer3(300);
  const std::string first = File("info-stopped.mp3", audio, TagBytes(kSong));
  const std::string next = File("info-next.mp3", audio, TagBytes(kSong));
  const std::vector<uint8_t> next_before = ReadAll(next);
  PlayHeld(first);
  Host().writes_allowed = 1 << 30;
  mod_->Stop();
  WithDialog(first, [&](HWND d) {
    SetItemTextAsUser(d, IDC_INFO_TITLE, "Edited After Stop");
    Click(d, IDOK);
  });
  Fields expected = kSong;
  expected.title = "Edited After Stop";
  EXPECT_EQ(TagOf(first), TagBytes(expected, '\0'));
  PlayHeld(next);
  Host().writes_allowed = 1 << 30;
  mod_->Stop();
  EXPECT_EQ(ReadAll(next), next_before);
}

TEST_F(FileInfo, RemoveOnThePlayingFileTakesEffectAtStop) {
  const std::vector<uint8_t> audio = JointStereoLayer3(300);
  const std::string path = File("info-playing-remove.mp3", audio, TagBytes(kSong));
  const std::vector<uint8_t> before = ReadAll(path);
  PlayHeld(path);
  WithDialog(path, [&](HWND d) {
    Click(d, IDC_INFO_REMOVE);
    EXPECT_EQ(ItemText(d, IDC_INFO_ARTIST), "");
    EXPECT_EQ(ComboSelection(d), CB_ERR);
    Click(d, IDOK);
  });
  EXPECT_EQ(ReadAll(path), before);
  // The dialog opened again shows the pending (empty) tag, not the file's.
  WithDialog(path, [&](HWND d) {
    EXPECT_EQ(ItemText(d, IDC_INFO_TITLE), "");
    Click(d, IDCANCEL);
  });
  Host().writes_allowed = 1 << 30;
  mod_->Stop();
  EXPECT_EQ(ReadAll(path), audio);
}

}  // namespace
