#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tags/Id3v1Tag.h"
#include "tags/TagFile.h"
#include "tags/Title.h"

namespace bramble {
namespace {

int FixedTitle(const char*, char* out, int capacity) {
  std::snprintf(out, static_cast<size_t>(capacity), "F");
  return 0;
}

int FailingTitle(const char*, char*, int) { return -1; }

std::string g_long_title;
int LongTitle(const char*, char* out, int capacity) {
  if (static_cast<int>(g_long_title.size()) >= capacity) return static_cast<int>(g_long_title.size()) + 1;
  std::memcpy(out, g_long_title.c_str(), g_long_title.size() + 1);
  return 0;
}

std::vector<uint8_t> Image(const TitleOrderTable& t) {
  std::vector<uint8_t> v;
  for (const TitleOrderEntry& e : t.entry)
    for (int32_t w : {e.position, e.field_id, e.enabled})
      for (int b = 0; b < 4; ++b) v.push_back(static_cast<uint8_t>(static_cast<uint32_t>(w) >> (8 * b)));
  return v;
}

class TitleTest : public testing::Test {
 protected:
  void SetUp() override {
    CurrentTitleOrder() = DefaultTitleOrder();
    SetFileTitleHook(&FixedTitle);
    path_ = testing::TempDir() + "bramble_title.mp3";
    std::vector<uint8_t> bytes(400, 0x55);
    std::vector<uint8_t> tag(128, 0);
    std::memcpy(tag.data(), "TAG", 3);
    std::memcpy(tag.data() + 3, "Hello", 5);
    std::memcpy(tag.data() + 33, "World   ", 8);
    std::memcpy(tag.data() + 93, "1999", 4);
    std::memcpy(tag.data() + 97, "   ", 3);
    tag[127] = 13;
    bytes.insert(bytes.end(), tag.begin(), tag.end());
    FILE* f = std::fopen(path_.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  void TearDown() override {
    CurrentTitleOrder() = DefaultTitleOrder();
    SetFileTitleHook(&PlatformFileTitle);
    std::remove(path_.c_str());
  }
  std::string Title(const char* path, int capacity = 256) {
    std::vector<char> out(static_cast<size_t>(capacity) + 16, '#');
    EXPECT_EQ(BuildTitle(path, out.data(), capacity), 0);
    EXPECT_LT(std::strlen(out.data()), static_cast<size_t>(capacity));
    for (size_t i = static_cast<size_t>(capacity); i < out.size(); ++i) EXPECT_EQ(out[i], '#');
    return out.data();
  }
  void Enable(int index, int position = -1) {
    CurrentTitleOrder().entry[index].enabled = 1;
    if (position >= 0) CurrentTitleOrder().entry[index].position = position;
  }
  std::string path_;
};

TEST_F(TitleTest, TrimTrailingSpaces) {
  char a[] = "abc  ";
  EXPECT_EQ(TrimTrailingSpaces(a), a);
  EXPECT_STREQ(a, "abc");
  char b[] = " a b ";
  EXPECT_STREQ(TrimTrailingSpaces(b), " a b");
  char c[] = "    ";
  EXPECT_STREQ(TrimTrailingSpaces(c), "");
  char d[] = "";
  EXPECT_STREQ(TrimTrailingSpaces(d), "");
  char e[] = "x\t";
  EXPECT_STREQ(TrimTrailingSpaces(e), "x\t");  // only spaces
  EXPECT_EQ(TrimTrailingSpaces(nullptr), nullptr);
}

TEST_F(TitleTest, ComposesInStoredOrder) {
  EXPECT_EQ(Title(path_.c_str()), "F");  // default: the file title alone
  Enable(1);                              // artist at 1
  Enable(2);                              // title at 2
  EXPECT_EQ(Title(path_.c_str()), "World Hello F");
  for (TitleOrderEntry& e : CurrentTitleOrder().entry) e.enabled = 0;
  EXPECT_EQ(Title(path_.c_str()), "F");  // fallback

  // Position, not array order, decides; same positions keep array order.
  CurrentTitleOrder() = DefaultTitleOrder();
  CurrentTitleOrder().entry[6].enabled = 0;
  Enable(2, 5);  // title
  Enable(4, 0);  // year
  Enable(3, 5);  // genre, same position as title, later in the array
  Enable(0, 1);  // 4020 adds nothing but its space
  EXPECT_EQ(Title(path_.c_str()), "1999  Hello 13");
  // Out-of-range positions never contribute.
  Enable(7, 8);
  Enable(5, -1);
  CurrentTitleOrder().entry[5].position = -3;
  EXPECT_EQ(Title(path_.c_str()), "1999  Hello 13");

  // The full path piece and an all-space comment (empty, with its space).
  CurrentTitleOrder() = DefaultTitleOrder();
  Enable(7, 0);
  Enable(5, 1);
  EXPECT_EQ(Title(path_.c_str()), path_ + "  F");
}

TEST_F(TitleTest, MissingTagAndFallbacks) {
  std::string missing = path_ + ".missing";
  CurrentTitleOrder().entry[6].enabled = 0;
  Enable(3);  // genre
  EXPECT_EQ(Title(missing.c_str()), "-1");
  CurrentTitleOrder().entry[3].enabled = 0;
  Enable(1);
  Enable(2);
  EXPECT_EQ(Title(missing.c_str()), "F");  // tag pieces only: fallback
  SetFileTitleHook(&FailingTitle);
  EXPECT_EQ(Title(missing.c_str()), "");
  EXPECT_EQ(Title(nullptr), "");
}

TEST_F(TitleTest, CapacityCutsAndNeverOverruns) {
  Enable(1);
  Enable(2);
  EXPECT_EQ(Title(path_.c_str(), 8), "World H");
  EXPECT_EQ(Title(path_.c_str(), 7), "World");  // cut leaves a trailing space
  EXPECT_EQ(Title(path_.c_str(), 1), "");
  char untouched = 'z';
  EXPECT_EQ(BuildTitle(path_.c_str(), &untouched, 0), 0);
  EXPECT_EQ(untouched, 'z');

  // Long pieces: the working string holds 255 characters at most.
  g_long_title.assign(250, 'n');
  SetFileTitleHook(&LongTitle);
  Enable(7);  // full path after the file title
  std::string t = Title(path_.c_str(), 256);
  EXPECT_EQ(t, "World Hello " + std::string(243, 'n'));
  EXPECT_EQ(Title(path_.c_str(), 300).size(), 255u);

  // A file title too long for the fallback buffer leaves it empty.
  for (TitleOrderEntry& e : CurrentTitleOrder().entry) e.enabled = 0;
  EXPECT_EQ(Title(path_.c_str(), 100), "");
  g_long_title.assign(40, 'q');
  EXPECT_EQ(Title(path_.c_str(), 100), std::string(40, 'q'));

  // A path longer than the working string.
  std::string long_path(600, 'p');
  CurrentTitleOrder().entry[7].enabled = 1;
  EXPECT_EQ(Title(long_path.c_str(), 256), std::string(255, 'p'));
}

TEST_F(TitleTest, StoredOrderValues) {
  TitleOrderTable t = DefaultTitleOrder();
  EXPECT_EQ(Image(t).size(), 96u);
  // Whole table: artist, title.
  TitleOrderTable stored = DefaultTitleOrder();
  stored.entry[1].enabled = 1;
  stored.entry[2].enabled = 1;
  stored.entry[6].enabled = 0;
  std::vector<uint8_t> image = Image(stored);
  ASSERT_TRUE(LoadTitleOrder(image.data(), image.size()));
  EXPECT_EQ(Title(path_.c_str()), "World Hello");

  // A 24-byte value replaces the first two entries only.
  CurrentTitleOrder() = DefaultTitleOrder();
  TitleOrderTable two = DefaultTitleOrder();
  two.entry[0] = TitleOrderEntry{7, kTitleFieldYear, 1};
  two.entry[1] = TitleOrderEntry{0, kTitleFieldArtist, 1};
  image = Image(two);
  ASSERT_TRUE(LoadTitleOrder(image.data(), 24));
  EXPECT_EQ(CurrentTitleOrder().entry[0].field_id, kTitleFieldYear);
  EXPECT_EQ(CurrentTitleOrder().entry[6].enabled, 1);
  EXPECT_EQ(Title(path_.c_str()), "World F 1999");

  // A partly covered entry takes the stored bytes over its own.
  TitleOrderTable part = DefaultTitleOrder();
  const uint8_t ten[10] = {3, 0, 0, 0, 0x9C, 0x0F, 0, 0, 1, 0};  // (3, 3996, low bytes 1)
  ASSERT_TRUE(ApplyStoredTitleOrder(&part, ten, sizeof ten));
  EXPECT_EQ(part.entry[0].position, 3);
  EXPECT_EQ(part.entry[0].field_id, 3996);
  EXPECT_EQ(part.entry[0].enabled, 1);  // old value 0, low bytes now 1, 0
  EXPECT_EQ(part.entry[1].field_id, kTitleFieldArtist);

  // Longer values are ignored; empty ones change nothing.
  std::vector<uint8_t> longer(100, 0);
  TitleOrderTable before = CurrentTitleOrder();
  EXPECT_FALSE(LoadTitleOrder(longer.data(), longer.size()));
  EXPECT_TRUE(LoadTitleOrder(longer.data(), 0));
  EXPECT_EQ(Image(CurrentTitleOrder()), Image(before));
  // Negative numbers survive the little-endian image.
  const uint8_t neg[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  ASSERT_TRUE(LoadTitleOrder(neg, 4));
  EXPECT_EQ(CurrentTitleOrder().entry[0].position, -1);
}

TEST_F(TitleTest, FileInfoTitleUsesCurrentSourceForEmptyName) {
  CurrentTitleOrder().entry[6].enabled = 0;
  Enable(2);
  char out[300];
  std::memset(out, '#', sizeof out);
  GetFileInfoTitle("", path_.c_str(), out);
  EXPECT_STREQ(out, "Hello");
  GetFileInfoTitle(nullptr, path_.c_str(), out);
  EXPECT_STREQ(out, "Hello");
  GetFileInfoTitle((path_ + ".missing").c_str(), path_.c_str(), out);
  EXPECT_STREQ(out, "F");
  GetFileInfoTitle(nullptr, nullptr, out);
  EXPECT_STREQ(out, "F");
  GetFileInfoTitle(path_.c_str(), nullptr, nullptr);  // no title wanted
}

TEST(PortableFileTitle, LastComponentWithExtension) {
  char out[64];
  EXPECT_EQ(PortableFileTitle("C:\\Music\\a b.mp3", out, sizeof out), 0);
  EXPECT_STREQ(out, "a b.mp3");
  EXPECT_EQ(PortableFileTitle("/tmp/x/song.mp3", out, sizeof out), 0);
  EXPECT_STREQ(out, "song.mp3");
  EXPECT_EQ(PortableFileTitle("D:name.mp3", out, sizeof out), 0);
  EXPECT_STREQ(out, "name.mp3");
  EXPECT_EQ(PortableFileTitle("plain", out, sizeof out), 0);
  EXPECT_STREQ(out, "plain");
  EXPECT_NE(PortableFileTitle("/tmp/dir/", out, sizeof out), 0);
  EXPECT_STREQ(out, "");
  EXPECT_NE(PortableFileTitle(nullptr, out, sizeof out), 0);
  char small[5] = {'#', '#', '#', '#', '#'};
  EXPECT_EQ(PortableFileTitle("/a/longname.mp3", small, 4), 0);
  EXPECT_STREQ(small, "lon");
  EXPECT_EQ(small[4], '#');
}

}  // namespace
}  // namespace bramble

namespace bramble {
namespace {

// The platform's file title: the shell's call under Win32 (which may drop a
// known extension when the user hides them), the portable one natively.
TEST(PlatformFileTitle, NameOfThePath) {
  char out[260];
  ASSERT_EQ(PlatformFileTitle("C:\\Music\\song.mp3", out, sizeof out), 0);
  EXPECT_TRUE(std::string(out) == "song.mp3" || std::string(out) == "song") << out;
  ASSERT_EQ(PlatformFileTitle("x:y.mp3", out, sizeof out), 0);
  EXPECT_EQ(std::string(out).substr(0, 1), "y");
  EXPECT_NE(PlatformFileTitle("C:\\dir\\", out, sizeof out), 0);
  char small[8];
  std::memset(small, '#', sizeof small);
  PlatformFileTitle("C:\\a\\longer_name.mp3", small, 4);
  for (int i = 4; i < 8; ++i) EXPECT_EQ(small[i], '#');
}

}  // namespace
}  // namespace bramble
