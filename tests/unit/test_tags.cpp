// ID3v1 tags in files; titles in the user's stored order from every kind of
// tag; QDX blocks: one recorded from a stream, and the parse whole and split.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "decoder/EmbeddedData.h"
#include "tags/FileTags.h"
#include "tags/Id3v1Tag.h"
#include "tags/InfoBlocks.h"
#include "tags/TagFile.h"
#include "tags/Title.h"
#include "tests/support/TagBytes.h"
#include "tests/support/TestFiles.h"

namespace bramble {
namespace {

using namespace test;
using Lines = std::vector<std::string>;

std::string TempPath(const char* name) { return ::testing::TempDir() + "bramble_tags_" + name + ".mp3"; }

const Bytes kBody(5000, 0x5A);  // audio-like bytes that do not end in "TAG"

TEST(Id3v1Tag, WriteRemoveAndReadBack) {
  Id3v1Tag song, empty, genre_only, cut;
  song.SetTitle("Song");
  song.SetArtist("Band");
  song.SetYear("1987");
  song.SetGenre(17);
  genre_only.SetGenre(17);
  cut.SetTitle("12345678901234567890123456789012345");
  cut.SetYear("199999");
  EXPECT_EQ(std::string(cut.Title()) + cut.Year(), "1234567890123456789012345678901999");
  const std::string thirty = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123", padded(27, ' ');
  const Bytes old_tag = Id3v1Bytes("Old", "Other band", "Album", "1950", "c", 3);
  const Bytes song_tag = Id3v1Bytes("Song", "Band", "", "1987", "", 17);
  const Bytes spaced = kBody + Id3v1Bytes(thirty, "Art", "Alb", "2001", thirty, 114, ' ');
  Bytes no_tag = kBody + old_tag;
  no_tag[no_tag.size() - 126] = 'X';  // "TXG"
  const Id3v1Tag* const kRemove = nullptr;
  const Id3v1Tag kRead;  // no operation
  struct Case {
    const Id3v1Tag* operation;  // a record written, kRemove or kRead
    Bytes before, after;
    int result;
    std::string read;  // then read back: title|artist|album|year|comment|genre; "" no tag
  } cases[] = {
      {&song, kBody, kBody + song_tag, 1, "Song|Band||1987||17"},
      {&song, kBody + old_tag, kBody + song_tag, 1, "Song|Band||1987||17"},  // in place
      {&cut, kBody, kBody + Id3v1Bytes("123456789012345678901234567890", "", "", "1999", "", 255), 1,
       "123456789012345678901234567890|||1999||-1"},
      {&genre_only, kBody, kBody + Id3v1Bytes("", "", "", "", "", 17), 1, "|||||17"},
      {&song, {}, song_tag, 1, "Song|Band||1987||17"},
      {&empty, kBody + old_tag, kBody, 1, ""},  // an empty record removes the tag
      {&empty, kBody, kBody, 0, ""},
      {kRemove, kBody + old_tag, kBody, 1, ""},
      {kRemove, kBody, kBody, 0, ""},
      {kRemove, old_tag, {}, 1, ""},
      {&kRead, spaced, spaced, 1, thirty + "|Art" + padded + "|Alb" + padded + "|2001|" + thirty + "|114"},
      {&kRead, no_tag, no_tag, 0, ""},
      {&kRead, Bytes{'T', 'A', 'G', 'a', 'b'}, Bytes{'T', 'A', 'G', 'a', 'b'}, 0, ""},
  };
  const std::string path = TempPath("write");
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteFile(path, c.before));
    const int result = c.operation == &kRead  ? 0
                       : c.operation          ? c.operation->WriteToFile(path.c_str())
                                              : RemoveFromFile(path.c_str());
    Id3v1Tag t;
    t.SetTitle("before");
    const int read = t.ReadFromFile(path.c_str());
    const std::string fields = std::string(t.Title()) + "|" + t.Artist() + "|" + t.Album() + "|" + t.Year() + "|" +
                               t.Comment() + "|" + std::to_string(t.Genre());
    EXPECT_EQ(c.operation == &kRead ? read : result, c.result) << c.read;
    EXPECT_EQ(ReadFile(path), c.after) << c.read;
    EXPECT_EQ(read ? fields : fields == "|||||-1" ? "" : "not emptied", c.read);
  }
  EXPECT_EQ(RemoveFromFile((path + ".missing").c_str()), 0);
  Id3v1Tag tag;  // a file that cannot be opened leaves the record as it was
  tag.SetTitle("kept");
  EXPECT_EQ(tag.ReadFromFile((path + ".missing").c_str()) + std::strcmp(tag.Title(), "kept"), 0);

  // A tag pending for a playing file goes into that file only, at the latest
  // when another file's edit begins.
  const std::string other = TempPath("other");
  ASSERT_TRUE(WriteFile(path, kBody) && WriteFile(other, kBody));
  CreatePendingTag(path.c_str())->SetTitle("Later");
  EXPECT_EQ(ReadFile(path), kBody);
  CreatePendingTag(other.c_str())->SetArtist("Other");
  EXPECT_EQ(ReadFile(path), kBody + Id3v1Bytes("Later", "", "", "", "", 255));
  FlushPendingTag();
  EXPECT_EQ(ReadFile(other), kBody + Id3v1Bytes("", "Other", "", "", "", 255));
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
    ASSERT_TRUE(WriteFile(path_, kBody + Id3v1Bytes("Hello", "World   ", "", "1999", "   ", 13)));
  }
  void TearDown() override {
    CurrentTitleOrder() = DefaultTitleOrder();
    SetFileTitleHook(&PlatformFileTitle);
  }
  // The title of `path` in `capacity` bytes; nothing written beyond them.
  std::string Title(const std::string& path, int capacity) {
    std::vector<char> out(size_t(capacity) + 16, '#');
    EXPECT_EQ(BuildTitle(path.c_str(), out.data(), capacity), 0);
    EXPECT_EQ(std::string(out.begin() + capacity, out.end()), std::string(16, '#')) << "written beyond the capacity";
    return out.data();
  }
  const std::string path_ = TempPath("title");
};

TEST_F(TitleTest, ComposesPiecesInTheirPositions) {
  const int32_t kTitle = kTitleFieldTitle, kArtist = kTitleFieldArtist, kYear = kTitleFieldYear;
  const std::string n250(250, 'n'), p600(600, 'p');
  struct Case {
    std::vector<TitleOrderEntry> entries;  // in array order, the rest off; none: the default order
    int capacity;
    std::string title, file_title = "F", path = "";  // "": the tagged file
  } cases[] = {
      {{}, 256, "F"},
      {{{1, kArtist, 1}, {2, kTitle, 1}}, 256, "World Hello"},
      {{{1, kArtist, 0}}, 256, "F"},  // nothing enabled: the file title
      {{{5, kTitle, 1}, {0, kYear, 1}, {5, kTitleFieldGenre, 1}, {1, kTitleFieldNone, 1}}, 256, "1999  Hello 13"},
      {{{0, kYear, 1}, {8, kArtist, 1}, {-3, kTitle, 1}}, 256, "1999"},  // positions out of range
      {{{0, kTitleFieldComment, 1}, {1, kTitleFieldFileTitle, 1}}, 256, " F"},  // a blank comment keeps its space
      {{{3, kTitleFieldGenre, 1}}, 256, "-1", "F", "missing.mp3"},
      {{{1, kArtist, 1}, {2, kTitle, 1}}, 256, "F", "F", "missing.mp3"},  // no tag pieces: the file title
      {{{1, kArtist, 1}, {2, kTitle, 1}}, 8, "World H"},
      {{{1, kArtist, 1}, {2, kTitle, 1}}, 7, "World"},  // a cut leaves no trailing space
      {{{1, kArtist, 1}, {2, kTitle, 1}, {6, kTitleFieldFileTitle, 1}}, 300, "World Hello " + n250.substr(7), n250},
      {{{1, kArtist, 0}}, 100, "", n250},  // a file title too long for the fallback
      {{{7, kTitleFieldFullPath, 1}}, 256, TempPath(p600.c_str()).substr(0, 255), "F", p600},
  };
  for (const Case& c : cases) {
    TitleOrderTable& order = CurrentTitleOrder();
    order = DefaultTitleOrder();
    for (int i = 0; !c.entries.empty() && i < 8; ++i)
      order.entry[i] = i < int(c.entries.size()) ? c.entries[size_t(i)] : TitleOrderEntry{i, kTitleFieldNone, 0};
    g_file_title = c.file_title;
    EXPECT_EQ(Title(c.path.empty() ? path_ : TempPath(c.path.c_str()), c.capacity), c.title);
  }
  char untouched = 'z';
  EXPECT_EQ(BuildTitle(path_.c_str(), &untouched, 0) + untouched, 'z');
}

TEST_F(TitleTest, StoredOrderIsALittleEndianImage) {
  // (7, year, on), (0, artist, on): only the first two entries change.
  const uint8_t two[24] = {7, 0, 0, 0, 0xB0, 0x0F, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xAE, 0x0F, 0, 0, 1, 0, 0, 0};
  ASSERT_TRUE(LoadTitleOrder(two, sizeof two));
  EXPECT_EQ(Title(path_, 256), "World F 1999");
  // Longer values are not this player's; empty ones change nothing.
  const Bytes longer(100, 0);
  EXPECT_FALSE(LoadTitleOrder(longer.data(), longer.size()));
  EXPECT_TRUE(LoadTitleOrder(longer.data(), 0));
  EXPECT_EQ(Title(path_, 256), "World F 1999");
  char out[300];  // the host's file information: no name means the source playing
  GetFileInfoTitle("", path_.c_str(), out);
  EXPECT_STREQ(out, "World F 1999");
}

// Every kind of tag, with a picture before the texts: the artist and the
// title, and reads that step over the picture.
TEST_F(TitleTest, Id3v2AndApeTextsInEveryVersion) {
  const Bytes picture(1 << 20, 0xE0), small = {0xFF, 0xE0, 0xFF, 0x00, 0xFF};
  const Bytes ext24 = Be(6, 4, true) + Bytes{1, 0};  // 2.4 extended header
  struct Case {
    Bytes file;
    std::string title, tags;
  } cases[] = {
      {Id3Tag(3, 0, Id3Frame(3, "APIC", picture) + Id3Frame(3, "TIT2", Bytes{1} + Utf16(u"Caf\u00e9 \u0141", false)) +
                        Id3Frame(3, "TPE1", Bytes{0, 0xC4, 'd', 0xE4}) + Bytes(30, 0)) + kBody,
       "\u00c4d\u00e4 Caf\u00e9 \u0141", "id3v2.3"},
      // Unsynchronised frames, a data length before one, a plain size a writer put in a 2.4 tag.
      {Id3Tag(4, 0x40, ext24 + Id3Frame(4, "TALB", Bytes(256, 'a'), 0, true) +
                           Id3Frame(4, "TIT2", Be(8, 4, true) + Str("\3Gr\u00fc\u00dfe"), 0x03) +
                           Id3Frame(4, "TPE1", Unsync(Bytes{0, 0xFF, 0xE0, 'x'}), 0x02)) + kBody,
       "\u00ff\u00e0x Gr\u00fc\u00dfe", "id3v2.4"},
      {Id3Tag(2, 0, Id3Frame(2, "TT2", Bytes{1} + Utf16(u"\u014ctake", true)) + Id3Frame(2, "TP1", Bytes{0} + Str("Band"))) + kBody,
       "Band \u014ctake", "id3v2.2"},
      // Unsynchronised as a whole: sizes count the resynchronised bytes.
      {Id3Tag(3, 0x80, Unsync(Id3Frame(3, "APIC", small) + Id3Frame(3, "TIT2", Bytes{0} + Str("Night")) +
                              Id3Frame(3, "TPE1", Bytes{0, 0xD1, 'u'}))) + kBody,
       "\u00d1u Night", "id3v2.3"},
      {kBody + ApeTag({ApeItem("Cover Art (Front)", picture, 2), ApeItem("TITLE", Str("\u00c9t\u00e9")),
                       ApeItem("Artist", Str("Zo\u00eb"))}, true),
       "Zo\u00eb \u00c9t\u00e9", "apev2"},
  };
  CurrentTitleOrder().entry[1] = {1, kTitleFieldArtist, 1};
  CurrentTitleOrder().entry[2] = {2, kTitleFieldTitle, 1};
  CurrentTitleOrder().entry[6].enabled = 0;
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteFile(path_, c.file));
    EXPECT_EQ(Title(path_, 256), HostText(c.title));  // in the code page on Windows
    struct Counting : MemoryTagSource {
      using MemoryTagSource::MemoryTagSource;
      bool ReadAt(uint64_t offset, void* out, size_t n) override { return read += n, MemoryTagSource::ReadAt(offset, out, n); }
      size_t read = 0;
    } source(c.file.data(), c.file.size());
    FileTags tags;
    ReadTags(source, &tags);
    EXPECT_EQ(TagNames(tags), c.tags);
    EXPECT_LT(source.read, 3000u) << c.title;
  }
}

// A reader on a fresh channel that notes "url:payload@time" or "text:...".
struct Reader {
  Reader() {
    reader.SetNotify([](void* out, const char* text, int url, int32_t ms) {
      static_cast<Lines*>(out)->push_back((url ? "url:" : "text:") + std::string(text) + "@" + std::to_string(ms));
    }, &lines);
    reader.ResetInfoBlocks(channel);
  }
  void Feed(const Bytes& b, size_t step = SIZE_MAX) {
    for (size_t at = 0; at < b.size(); at += step) reader.FeedInfoBlocks(&b[at], int(std::min(step, b.size() - at)), 0);
  }
  EmbeddedChannel channel = {};
  InfoBlockReader reader;
  Lines lines;
};

TEST(EmbeddedChannel, RecordedBlockDescramblesWithThePlayersKey) {
  // One block as streams carry it: sync, URL code, "http://bramble.invalid/", end, two spaces.
  const uint16_t words[16] = {0xA2B2, 0x7CAF, 0xC804, 0x2FE9, 0x8C17, 0xDE47, 0xFD78, 0x4292,
                              0x7F4F, 0x4A2C, 0xA1F6, 0x6770, 0xF9E0, 0xC3E3, 0xEC36, 0xAF49};
  Reader r;
  EmbeddedChannel& channel = r.channel;
  // Stray words first: a block completes wherever the ring stands.
  for (uint16_t w : {0x1234, 0xBEEF, 0x0F0F}) EXPECT_EQ(AssembleEmbeddedBlock(channel, w), 0);
  for (int k = 0; k < 15; ++k) EXPECT_EQ(AssembleEmbeddedBlock(channel, words[k]), 0);
  channel.bytes = AssembleEmbeddedBlock(channel, words[15]);
  EXPECT_EQ(channel.bytes, 30);  // the check word is no data
  r.reader.FeedFromDecoder(channel, 26);
  EXPECT_EQ(r.lines, Lines{"url:http://bramble.invalid/@26"});
  for (uint16_t w : words) EXPECT_EQ(AssembleEmbeddedBlock(channel, w), 0);  // no room left in the frame's 20 words
}

// Sync, code list and parameter bytes, payload, end byte.
Bytes Block(const Bytes& head, const std::string& payload, bool end = true) {
  return Bytes{0x15, 0x11, 0x51} + head + Str(payload) + (end ? Bytes{0xFF} : Bytes{});
}
TEST(InfoBlocks, ParseWholeAndSplit) {
  const std::string a1023(1023, 'a'), partial("a\x15\x11z\x15q", 6);
  const std::pair<Bytes, Lines> cases[] = {
      {Block({0x03}, "http://x/a") + Block({0x01, 0x42}, "Text skips its parameter"),
       {"url:http://x/a", "text:Text skips its parameter"}},
      {Block({0x81, 0x03, 0x99}, "the last kind wins") + Block({0x83, 0x01, 0x99}, "text"),
       {"url:the last kind wins", "text:text"}},
      {Block({0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8D, 0x03, 1, 2, 3, 4, 5, 6, 7, 8}, "every parameter"),
       {"url:every parameter"}},
      {Block({0x80, 0x8C, 0x8E, 0xFF, 0x83, 0x7F}, "codes without") + Block({0x02}, "<b>") + Block({0x04}, "la") +
           Block({0x05}, "5") + Block({0x81, 0x06, 1, 2}, "owner") + Block({0x00}, "") + Block({0x8E, 0x0D, 9}, "bin"),
       {"url:codes without"}},
      {Block({0x03}, "ended by a sync", false) + Block({0x01, 0}, "") + Block({0x03}, partial),
       {"url:ended by a sync", "text:", "url:" + partial}},
      {Block({0x01, 0}, a1023, false) + Block({0x03}, "next"), {"text:" + a1023, "url:next"}},
      {Block(Bytes(19, 0x8E) + Bytes{0x03}, "twenty codes"), {"url:twenty codes"}},
      {Block(Bytes(24, 0x8E) + Bytes{0x03}, "more: dropped") + Block({0x03}, "next"), {"url:next"}},
      {Block(Bytes(300, 0xFF), "", false) + Block({0x03}, "after endless codes"), {"url:after endless codes"}},
  };
  for (const auto& c : cases) {
    for (size_t step : {c.first.size(), size_t(1), size_t(7)}) {
      Reader r;
      r.Feed(c.first, step);
      for (std::string& line : r.lines) line.resize(line.size() - 2);  // "@0"
      EXPECT_EQ(r.lines, c.second) << "in pieces of " << step;
    }
  }
  // A 1024th payload byte empties the input; the payload then collected
  // from the bytes that follow keeps its kind.
  Reader r;
  r.Feed(Block({0x03}, std::string(1024, 'b') + "lost", false));
  r.Feed({'t', 'a', 'i', 'l', 0xFF});
  EXPECT_EQ(r.lines, Lines{"url:tail@0"});
}

}  // namespace
}  // namespace bramble
