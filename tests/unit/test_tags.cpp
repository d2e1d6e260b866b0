// ID3v1 tags read, written and removed in files, and display titles
// composed from them in the user's stored order.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tags/Id3v1Tag.h"
#include "tags/TagFile.h"
#include "tags/Title.h"
#include "tests/support/TestFiles.h"

namespace bramble {
namespace {

using Bytes = std::vector<uint8_t>;
using test::ReadFile;

std::string TempPath(const char* name) { return ::testing::TempDir() + "bramble_tags_" + name + ".mp3"; }

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Bytes kBody(5000, 0x5A);  // audio-like bytes that do not end in "TAG"

// The 128 bytes of a file's tag, laid out field by field.
Bytes FileTag(const char* title, const char* artist, const char* album, const char* year, const char* comment,
              uint8_t genre, char pad = 0) {
  Bytes t(128, uint8_t(pad));
  std::memcpy(t.data(), "TAG", 3);
  const std::pair<size_t, const char*> fields[] = {{3, title}, {33, artist}, {63, album}, {93, year}, {97, comment}};
  for (const auto& f : fields)
    for (size_t i = 0; i < (f.first == 93 ? 4 : 30) && f.second[i]; ++i) t[f.first + i] = uint8_t(f.second[i]);
  t[127] = genre;
  return t;
}

TEST(Id3v1Tag, ReadsTheLast128Bytes) {
  const char* thirty = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
  const std::string spaces(27, ' ');
  Bytes no_tag = kBody + FileTag("x", "", "", "", "", 3);
  no_tag[no_tag.size() - 126] = 'X';  // "TXG"
  struct Case {
    const char* what;
    Bytes bytes;
    int result;
    std::vector<std::string> fields;  // title, artist, album, year, comment, genre
  } cases[] = {
      {"full width, space padded, untrimmed", kBody + FileTag(thirty, "Art", "Alb", "2001", thirty, 114, ' '), 1,
       {thirty, "Art" + spaces, "Alb" + spaces, "2001", thirty, "114"}},
      {"exactly a tag", FileTag("only", "a", "b", "1", "c", 255), 1, {"only", "a", "b", "1", "c", "-1"}},
      {"not a tag: emptied", no_tag, 0, {"", "", "", "", "", "-1"}},
      {"shorter than a tag", Bytes{'T', 'A', 'G', 'a', 'b'}, 0, {"", "", "", "", "", "-1"}},
  };
  const std::string path = TempPath("read");
  for (const Case& c : cases) {
    ASSERT_TRUE(test::WriteFile(path, c.bytes));
    Id3v1Tag tag;
    tag.SetTitle("before");
    EXPECT_EQ(tag.ReadFromFile(path.c_str()), c.result) << c.what;
    EXPECT_EQ(std::vector<std::string>({tag.Title(), tag.Artist(), tag.Album(), tag.Year(), tag.Comment(),
                                        std::to_string(tag.Genre())}),
              c.fields)
        << c.what;
  }
  Id3v1Tag tag;  // a file that cannot be opened leaves the record as it was
  tag.SetTitle("kept");
  EXPECT_EQ(tag.ReadFromFile((path + ".missing").c_str()), 0);
  EXPECT_STREQ(tag.Title(), "kept");
}

TEST(Id3v1Tag, WriteAppendsOverwritesAndRemoves) {
  Id3v1Tag song, empty, genre_only, cut;
  song.SetTitle("Song");
  song.SetArtist("Band");
  song.SetYear("1987");
  song.SetGenre(17);
  genre_only.SetGenre(17);
  cut.SetTitle("12345678901234567890123456789012345");
  cut.SetYear("199999");
  EXPECT_STREQ(cut.Title(), "123456789012345678901234567890");
  EXPECT_STREQ(cut.Year(), "1999");
  const Bytes old_tag = FileTag("Old", "Other band", "Album", "1950", "c", 3);
  const Bytes song_tag = FileTag("Song", "Band", "", "1987", "", 17);
  struct Case {
    const char* what;
    const Id3v1Tag* record;  // null: RemoveFromFile
    Bytes before, after;
    int result;
  } cases[] = {
      {"appends", &song, kBody, kBody + song_tag, 1},
      {"overwrites in place", &song, kBody + old_tag, kBody + song_tag, 1},
      {"cuts to the field", &cut, kBody, kBody + FileTag("123456789012345678901234567890", "", "", "1999", "", 255), 1},
      {"a genre alone is content", &genre_only, kBody, kBody + FileTag("", "", "", "", "", 17), 1},
      {"into an empty file", &song, {}, song_tag, 1},
      {"an empty record removes the tag", &empty, kBody + old_tag, kBody, 1},
      {"nothing to remove", &empty, kBody, kBody, 0},
      {"removal", nullptr, kBody + old_tag, kBody, 1},
      {"removal without a tag", nullptr, kBody, kBody, 0},
      {"removal of the whole file", nullptr, old_tag, {}, 1},
  };
  const std::string path = TempPath("write");
  for (const Case& c : cases) {
    ASSERT_TRUE(test::WriteFile(path, c.before));
    EXPECT_EQ(c.record ? c.record->WriteToFile(path.c_str()) : RemoveFromFile(path.c_str()), c.result) << c.what;
    EXPECT_EQ(ReadFile(path), c.after) << c.what;
  }
  EXPECT_EQ(RemoveFromFile((path + ".missing").c_str()), 0);

  // A tag pending for a playing file goes into that file only, at the latest
  // when another file's edit begins.
  const std::string other = TempPath("other");
  ASSERT_TRUE(test::WriteFile(path, kBody));
  ASSERT_TRUE(test::WriteFile(other, kBody));
  CreatePendingTag(path.c_str())->SetTitle("Later");
  EXPECT_EQ(ReadFile(path), kBody);
  CreatePendingTag(other.c_str())->SetArtist("Other");
  EXPECT_EQ(ReadFile(path), kBody + FileTag("Later", "", "", "", "", 255));
  FlushPendingTag();
  EXPECT_EQ(ReadFile(other), kBody + FileTag("", "Other", "", "", "", 255));
}

std::string g_file_title;
int FileTitle(const char*, char* out, int capacity) {
  if (int(g_file_title.size()) >= capacity) return -1;
  std::memcpy(out, g_file_title.c_str(), g_file_title.size() + 1);
  return 0;
}

class TitleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFileTitleHook(&FileTitle);
    g_file_title = "F";
    ASSERT_TRUE(test::WriteFile(path_, kBody + FileTag("Hello", "World   ", "", "1999", "   ", 13)));
  }
  void TearDown() override {
    CurrentTitleOrder() = DefaultTitleOrder();
    SetFileTitleHook(&PlatformFileTitle);
  }
  // The title of `path` in `capacity` bytes; nothing written beyond them.
  std::string Title(const std::string& path, int capacity) {
    std::vector<char> out(size_t(capacity) + 16, '#');
    EXPECT_EQ(BuildTitle(path.c_str(), out.data(), capacity), 0);
    for (size_t i = size_t(capacity); i < out.size(); ++i) EXPECT_EQ(out[i], '#') << "overrun at " << i;
    return out.data();
  }
  const std::string path_ = TempPath("title");
};

TEST_F(TitleTest, ComposesPiecesInTheirPositions) {
  const int32_t kTitle = kTitleFieldTitle, kArtist = kTitleFieldArtist, kYear = kTitleFieldYear;
  const std::string path = path_, missing = path_ + ".missing", n250(250, 'n');
  struct Case {
    const char* what;
    std::vector<TitleOrderEntry> entries;  // in array order, the rest off; none: the default order
    std::string path, file_title;
    int capacity;
    std::string title;
  } cases[] = {
      {"default: the file title", {}, path, "F", 256, "F"},
      {"artist, title", {{1, kArtist, 1}, {2, kTitle, 1}}, path, "F", 256, "World Hello"},
      {"nothing enabled: the file title", {{1, kArtist, 0}}, path, "F", 256, "F"},
      {"positions decide, array order breaks ties",
       {{5, kTitle, 1}, {0, kYear, 1}, {5, kTitleFieldGenre, 1}, {1, kTitleFieldNone, 1}}, path, "F", 256,
       "1999  Hello 13"},
      {"positions out of range", {{0, kYear, 1}, {8, kArtist, 1}, {-3, kTitle, 1}}, path, "F", 256, "1999"},
      {"full path, a blank comment keeps its space",
       {{0, kTitleFieldFullPath, 1}, {1, kTitleFieldComment, 1}, {6, kTitleFieldFileTitle, 1}}, path, "F", 256,
       path + "  F"},
      {"no tag: genre -1", {{3, kTitleFieldGenre, 1}}, missing, "F", 256, "-1"},
      {"no tag: the file title", {{1, kArtist, 1}, {2, kTitle, 1}}, missing, "F", 256, "F"},
      {"cut to the capacity", {{1, kArtist, 1}, {2, kTitle, 1}}, path, "F", 8, "World H"},
      {"a cut leaves no trailing space", {{1, kArtist, 1}, {2, kTitle, 1}}, path, "F", 7, "World"},
      {"one byte", {{1, kArtist, 1}}, path, "F", 1, ""},
      {"255 characters at most", {{1, kArtist, 1}, {2, kTitle, 1}, {6, kTitleFieldFileTitle, 1}}, path, n250, 300,
       "World Hello " + std::string(243, 'n')},
      {"a file title too long for the fallback", {{1, kArtist, 0}}, path, n250, 100, ""},
      {"a path longer than the working string", {{7, kTitleFieldFullPath, 1}}, std::string(600, 'p'), "F", 256,
       std::string(255, 'p')},
  };
  for (const Case& c : cases) {
    TitleOrderTable& order = CurrentTitleOrder();
    order = DefaultTitleOrder();
    for (int i = 0; !c.entries.empty() && i < 8; ++i)
      order.entry[i] = i < int(c.entries.size()) ? c.entries[size_t(i)] : TitleOrderEntry{i, kTitleFieldNone, 0};
    g_file_title = c.file_title;
    EXPECT_EQ(Title(c.path, c.capacity), c.title) << c.what;
  }
  char untouched = 'z';
  EXPECT_EQ(BuildTitle(path_.c_str(), &untouched, 0), 0);
  EXPECT_EQ(untouched, 'z');
}

TEST_F(TitleTest, StoredOrderIsALittleEndianImage) {
  // (7, year, on), (0, artist, on): only the first two entries change.
  const uint8_t two[24] = {7, 0, 0, 0, 0xB0, 0x0F, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xAE, 0x0F, 0, 0, 1, 0, 0, 0};
  ASSERT_TRUE(LoadTitleOrder(two, sizeof two));
  EXPECT_EQ(Title(path_, 256), "World F 1999");
  TitleOrderTable part = DefaultTitleOrder();
  // Longer values are not this player's; empty ones change nothing.
  const Bytes longer(100, 0);
  EXPECT_FALSE(ApplyStoredTitleOrder(&part, longer.data(), longer.size()));
  EXPECT_TRUE(ApplyStoredTitleOrder(&part, longer.data(), 0));
  EXPECT_EQ(part.entry[6].enabled, 1);

  // The host's file information: no name means the source playing.
  CurrentTitleOrder() = DefaultTitleOrder();
  CurrentTitleOrder().entry[2].enabled = 1;
  CurrentTitleOrder().entry[6].enabled = 0;
  char out[300];
  GetFileInfoTitle("", path_.c_str(), out);
  EXPECT_STREQ(out, "Hello");
  GetFileInfoTitle(nullptr, nullptr, out);
  EXPECT_STREQ(out, "F");
}

}  // namespace
}  // namespace bramble
