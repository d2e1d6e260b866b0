#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tags/Id3v1Tag.h"

namespace bramble {
namespace {

std::string TempPath(const char* name) {
  return testing::TempDir() + "bramble_id3_" + name + ".mp3";
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::vector<uint8_t> out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  uint8_t buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  std::fclose(f);
  return out;
}

// Audio-like bytes that never end in "TAG".
std::vector<uint8_t> Body(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 37 + 11);
  return v;
}

// A 128-byte file tag built field by field, independent of the record code.
std::vector<uint8_t> FileTag(const char* title, const char* artist, const char* album,
                             const char* year, const char* comment, uint8_t genre, char pad = 0) {
  std::vector<uint8_t> t(128, static_cast<uint8_t>(pad));
  std::memcpy(t.data(), "TAG", 3);
  auto put = [&](size_t at, size_t width, const char* s) {
    for (size_t i = 0; i < width && s[i]; ++i) t[at + i] = static_cast<uint8_t>(s[i]);
  };
  put(3, 30, title);
  put(33, 30, artist);
  put(63, 30, album);
  put(93, 4, year);
  put(97, 30, comment);
  t[127] = genre;
  return t;
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<std::string> g_messages;
void Capture(const char* text) { g_messages.emplace_back(text); }

TEST(Id3v1Tag, RecordLayoutAndEmptyState) {
  EXPECT_EQ(sizeof(Id3v1Tag), 134u);
  Id3v1Tag tag;
  const uint8_t* raw = reinterpret_cast<const uint8_t*>(&tag);
  EXPECT_EQ(std::memcmp(raw, "TAG\0", 4), 0);
  for (int i = 4; i < 133; ++i) EXPECT_EQ(raw[i], 0) << "byte " << i;
  EXPECT_EQ(raw[133], 255);
  EXPECT_EQ(tag.Genre(), -1);
  EXPECT_FALSE(tag.HasContent());
  // Field offsets inside the record.
  EXPECT_EQ(tag.Title() - reinterpret_cast<char*>(&tag), 4);
  EXPECT_EQ(tag.Artist() - reinterpret_cast<char*>(&tag), 35);
  EXPECT_EQ(tag.Album() - reinterpret_cast<char*>(&tag), 66);
  EXPECT_EQ(tag.Year() - reinterpret_cast<char*>(&tag), 97);
  EXPECT_EQ(tag.Comment() - reinterpret_cast<char*>(&tag), 102);
}

TEST(Id3v1Tag, SettersCutAndCopyFromResets) {
  Id3v1Tag tag;
  EXPECT_EQ(tag.SetTitle("12345678901234567890123456789012345"), 1);  // 35 characters
  EXPECT_STREQ(tag.Title(), "123456789012345678901234567890");
  EXPECT_EQ(tag.SetYear("199999"), 1);
  EXPECT_STREQ(tag.Year(), "1999");
  // A shorter value zeroes the rest of the field.
  tag.SetArtist("abcdefghij");
  tag.SetArtist("xy");
  EXPECT_EQ(std::memcmp(tag.Artist(), "xy\0\0\0\0\0\0\0\0\0", 11), 0);
  tag.SetComment(nullptr);
  EXPECT_STREQ(tag.Comment(), "");
  EXPECT_EQ(tag.SetGenre(17), 1);
  EXPECT_EQ(tag.Genre(), 17);
  tag.SetGenre(200);
  EXPECT_EQ(tag.Genre(), -56);  // sign-extended
  EXPECT_EQ(tag.GenreByte(), 200);

  Id3v1Tag copy;
  copy.SetAlbum("old album");
  copy.CopyFrom(tag);
  EXPECT_STREQ(copy.Title(), tag.Title());
  EXPECT_STREQ(copy.Artist(), "xy");
  EXPECT_STREQ(copy.Album(), "");
  EXPECT_STREQ(copy.Year(), "1999");
  EXPECT_EQ(copy.GenreByte(), 200);
  copy.Clear();
  EXPECT_FALSE(copy.HasContent());
  copy.SetGenre(0);  // a genre alone is content
  EXPECT_TRUE(copy.HasContent());
}

TEST(Id3v1Tag, ReadsFullWidthAndSpacePaddedFields) {
  std::string path = TempPath("read");
  const char* thirty = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
  WriteBytes(path, Concat(Body(1000), FileTag(thirty, "Art", "Alb", "2001", thirty, 114, ' ')));
  Id3v1Tag tag;
  ASSERT_EQ(tag.ReadFromFile(path.c_str()), 1);
  EXPECT_STREQ(tag.Title(), thirty);
  EXPECT_STREQ(tag.Comment(), thirty);  // last two bytes are plain text
  EXPECT_EQ(std::string(tag.Artist()), "Art" + std::string(27, ' '));  // no trimming
  EXPECT_STREQ(tag.Year(), "2001");
  EXPECT_EQ(tag.Genre(), 114);

  // Not a tag: the record is emptied.
  std::vector<uint8_t> no_tag = Concat(Body(1000), FileTag("x", "", "", "", "", 3));
  no_tag[1000] = 'T';
  no_tag[1002] = 'X';
  WriteBytes(path, no_tag);
  EXPECT_EQ(tag.ReadFromFile(path.c_str()), 0);
  EXPECT_FALSE(tag.HasContent());
  EXPECT_STREQ(tag.Identifier(), "TAG");

  // Shorter than a tag, even one that starts with "TAG".
  tag.SetTitle("kept?");
  WriteBytes(path, std::vector<uint8_t>{'T', 'A', 'G', 'a', 'b'});
  EXPECT_EQ(tag.ReadFromFile(path.c_str()), 0);
  EXPECT_STREQ(tag.Title(), "");

  // Exactly a tag and nothing else.
  WriteBytes(path, FileTag("only", "", "", "", "", 255));
  EXPECT_EQ(tag.ReadFromFile(path.c_str()), 1);
  EXPECT_STREQ(tag.Title(), "only");

  // A file that cannot be opened leaves the record as it was.
  tag.SetTitle("kept");
  EXPECT_EQ(tag.ReadFromFile((path + ".missing").c_str()), 0);
  EXPECT_STREQ(tag.Title(), "kept");
  EXPECT_EQ(tag.ReadFromFile(nullptr), 0);
  std::remove(path.c_str());
}

TEST(Id3v1Tag, WriteAppendsOverwritesAndRemoves) {
  std::string path = TempPath("write");
  const std::vector<uint8_t> body = Body(5000);
  WriteBytes(path, body);

  Id3v1Tag tag;
  tag.SetTitle("Song");
  tag.SetArtist("Band");
  tag.SetYear("1987");
  tag.SetGenre(17);
  ASSERT_EQ(tag.WriteToFile(path.c_str()), 1);
  std::vector<uint8_t> bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), body.size() + 128);  // grows by exactly one tag
  EXPECT_TRUE(std::equal(body.begin(), body.end(), bytes.begin()));
  EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 128, bytes.end()),
            FileTag("Song", "Band", "", "1987", "", 17));

  // Rewrite in place: same length, new content.
  tag.SetTitle("Other song");
  tag.SetComment("c");
  ASSERT_EQ(tag.WriteToFile(path.c_str()), 1);
  bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), body.size() + 128);
  EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 128, bytes.end()),
            FileTag("Other song", "Band", "", "1987", "c", 17));

  // An empty record removes the tag and restores the original bytes.
  Id3v1Tag empty;
  ASSERT_EQ(empty.WriteToFile(path.c_str()), 1);
  EXPECT_EQ(ReadBytes(path), body);
  // Nothing left to remove.
  EXPECT_EQ(empty.WriteToFile(path.c_str()), 0);
  EXPECT_EQ(ReadBytes(path), body);

  // Genre alone writes a full tag with empty text.
  Id3v1Tag genre_only;
  genre_only.SetGenre(17);
  ASSERT_EQ(genre_only.WriteToFile(path.c_str()), 1);
  bytes = ReadBytes(path);
  EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 128, bytes.end()), FileTag("", "", "", "", "", 17));

  EXPECT_EQ(RemoveFromFile(path.c_str()), 1);
  EXPECT_EQ(ReadBytes(path), body);
  EXPECT_EQ(RemoveFromFile(path.c_str()), 0);
  EXPECT_EQ(ReadBytes(path), body);
  EXPECT_EQ(RemoveFromFile((path + ".missing").c_str()), 0);

  // A tag on an empty file is the whole file.
  WriteBytes(path, {});
  ASSERT_EQ(tag.WriteToFile(path.c_str()), 1);
  EXPECT_EQ(ReadBytes(path).size(), 128u);
  EXPECT_EQ(RemoveFromFile(path.c_str()), 1);
  EXPECT_TRUE(ReadBytes(path).empty());
  std::remove(path.c_str());
}

TEST(Id3v1Tag, WriteFailureShowsTheMessageOnce) {
  g_messages.clear();
  SetTagMessageHook(&Capture);
  std::string missing = TempPath("no_such_dir") + "/x.mp3";
  Id3v1Tag tag;
  tag.SetTitle("t");
  EXPECT_EQ(tag.WriteToFile(missing.c_str()), 0);
  ASSERT_EQ(g_messages.size(), 1u);
  const std::string prefix = "Can't write ID3 into MP3.\n This may be the file is read only.\n";
  ASSERT_EQ(g_messages[0].compare(0, prefix.size(), prefix), 0) << g_messages[0];
  std::string code = g_messages[0].substr(prefix.size());
  ASSERT_FALSE(code.empty());
  EXPECT_NE(std::stol(code), 0);  // the system's error code, not a placeholder

  // Removal failures are silent.
  Id3v1Tag empty;
  EXPECT_EQ(empty.WriteToFile(missing.c_str()), 0);
  EXPECT_EQ(g_messages.size(), 1u);
  SetTagMessageHook(nullptr);
  EXPECT_EQ(tag.WriteToFile(missing.c_str()), 0);
  EXPECT_EQ(g_messages.size(), 1u);
}

TEST(Id3v1Tag, GenreTable) {
  EXPECT_STREQ(GenreName(0), "Blues");
  EXPECT_STREQ(GenreName(17), "Rock");
  EXPECT_STREQ(GenreName(40), "AlternRock");
  EXPECT_STREQ(GenreName(67), "Psychadelic");
  EXPECT_STREQ(GenreName(78), "Rock & Roll");
  EXPECT_STREQ(GenreName(79), "Hard Rock");
  EXPECT_STREQ(GenreName(80), "Folk");
  EXPECT_STREQ(GenreName(84), "Bebob");
  EXPECT_STREQ(GenreName(85), "Latin");
  EXPECT_STREQ(GenreName(99), "Humour");
  EXPECT_STREQ(GenreName(108), "Porn Groove");
  EXPECT_STREQ(GenreName(114), "Folklore");
  EXPECT_EQ(GenreName(115), nullptr);
  EXPECT_EQ(GenreName(255), nullptr);
  EXPECT_EQ(GenreName(0xFFFFFFFFu), nullptr);
  // Listing until null gives exactly 115 distinct, non-empty names.
  unsigned n = 0;
  while (GenreName(n) != nullptr) {
    EXPECT_GT(std::strlen(GenreName(n)), 0u);
    for (unsigned k = 0; k < n; ++k) EXPECT_STRNE(GenreName(k), GenreName(n));
    ++n;
  }
  EXPECT_EQ(n, 115u);
}

TEST(Id3v1Tag, PendingTagIsWrittenOnlyAtFlushAndOnlyIntoItsOwnFile) {
  const std::string path = TempPath("pending"), other = TempPath("pending-other");
  const std::vector<uint8_t> body = Body(700);
  WriteBytes(path, body);
  WriteBytes(other, body);

  FlushPendingTag();  // none: nothing happens
  Id3v1Tag* pending = CreatePendingTag(path.c_str());
  ASSERT_NE(pending, nullptr);
  EXPECT_EQ(CreatePendingTag(path.c_str()), pending);  // edits change the same record
  EXPECT_STREQ(PendingTagPath(), path.c_str());
  pending->SetTitle("Later");
  EXPECT_EQ(ReadBytes(path), body);
  FlushPendingTag();
  EXPECT_EQ(PendingTag(), nullptr);
  std::vector<uint8_t> bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), body.size() + 128);
  EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 128, bytes.end()), FileTag("Later", "", "", "", "", 255));
  EXPECT_EQ(ReadBytes(other), body);

  // A tag still pending for one file goes there, never into the next one;
  // an empty one removes the tag.
  CreatePendingTag(path.c_str());
  CreatePendingTag(other.c_str())->SetTitle("Other");
  EXPECT_EQ(ReadBytes(path), body);
  FlushPendingTag();
  EXPECT_EQ(ReadBytes(other).size(), body.size() + 128);

  // A failing write still frees the pending tag.
  CreatePendingTag((path + ".missing").c_str())->SetTitle("x");
  FlushPendingTag();
  EXPECT_EQ(PendingTag(), nullptr);
  std::remove(path.c_str());
  std::remove(other.c_str());
}

}  // namespace
}  // namespace bramble
