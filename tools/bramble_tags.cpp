// `bramble tag` and `bramble title`: ID3v1 editing and display titles from
// the command line, and the tag lines of `bramble info`, through the same tag and title code the plug-in uses.
#include <cctype>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tags/FileTags.h"
#include "tags/Id3v1Tag.h"
#include "tags/TagCommands.h"
#include "tags/TagFile.h"
#include "tags/TagText.h"
#include "tags/Title.h"

namespace bramble {
namespace cli {

namespace {

int UsageError(const char* text, const char* arg) {
  std::fprintf(stderr, "bramble: %s%s\n", text, arg ? arg : "");
  return 2;
}

// A failed tag write explains itself on standard error.
void PrintTagMessage(const char* text) { std::fprintf(stderr, "%s\n", text ? text : ""); }

bool CanOpen(const char* path) {
  TagFile f;
  return f.OpenForRead(path);
}

bool SameNameIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
      return false;
  return *a == *b;
}

// A number 0..255, or a genre name of the table (any case).
bool ParseGenre(const char* text, uint8_t* genre) {
  if (text[0] != '\0' && std::isdigit(static_cast<unsigned char>(text[0]))) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < 0 || v > 255) return false;
    *genre = static_cast<uint8_t>(v);
    return true;
  }
  for (unsigned i = 0; GenreName(i) != nullptr; ++i) {
    if (SameNameIgnoringCase(text, GenreName(i))) {
      *genre = static_cast<uint8_t>(i);
      return true;
    }
  }
  return false;
}

void PrintTag(Id3v1Tag& tag) {
  std::printf("title: %s\n", tag.Title());
  std::printf("artist: %s\n", tag.Artist());
  std::printf("album: %s\n", tag.Album());
  std::printf("year: %s\n", tag.Year());
  std::printf("comment: %s\n", tag.Comment());
  const char* name = GenreName(tag.GenreByte());
  if (tag.GenreByte() == Id3v1Tag::kNoGenre)
    std::printf("genre: none\n");
  else if (name != nullptr)
    std::printf("genre: %u (%s)\n", tag.GenreByte(), name);
  else
    std::printf("genre: %u\n", tag.GenreByte());
}

// "pos:id:enabled" triples separated by commas.
bool ParseOrder(const char* text, TitleOrderTable* table) {
  int index = 0;
  const char* p = text;
  while (*p != '\0') {
    if (index == TitleOrderTable::kEntries) return false;
    long v[3];
    for (int k = 0; k < 3; ++k) {
      char* end = nullptr;
      errno = 0;
      v[k] = std::strtol(p, &end, 10);
      if (end == p || errno != 0 || v[k] < INT32_MIN || v[k] > INT32_MAX) return false;
      p = end;
      if (k < 2) {
        if (*p != ':') return false;
        ++p;
      }
    }
    table->entry[index++] = TitleOrderEntry{static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]),
                                            static_cast<int32_t>(v[2])};
    if (*p == ',') {
      ++p;
      if (*p == '\0') return false;
    } else if (*p != '\0') {
      return false;
    }
  }
  return index > 0;
}

}  // namespace

int RunTagCommand(int argc, char** argv) {
  if (argc < 1) return UsageError("usage: bramble tag FILE [--title T ... | --remove]", nullptr);
  const char* path = argv[0];
  SetTagMessageHook(&PrintTagMessage);
  if (!CanOpen(path)) {
    std::fprintf(stderr, "bramble: cannot open %s\n", path);
    return 1;
  }
  Id3v1Tag tag;
  bool had_tag = tag.ReadFromFile(path) == 1;
  if (argc == 1) {
    if (had_tag)
      PrintTag(tag);
    else
      std::printf("no tag\n");
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--remove") == 0) {
    std::printf(RemoveFromFile(path) ? "removed\n" : "no tag\n");
    return 0;
  }
  for (int i = 1; i < argc; i += 2) {
    const char* opt = argv[i];
    if (i + 1 >= argc) return UsageError("missing value after ", opt);
    const char* value = argv[i + 1];
    if (std::strcmp(opt, "--title") == 0) tag.SetTitle(value);
    else if (std::strcmp(opt, "--artist") == 0) tag.SetArtist(value);
    else if (std::strcmp(opt, "--album") == 0) tag.SetAlbum(value);
    else if (std::strcmp(opt, "--year") == 0) tag.SetYear(value);
    else if (std::strcmp(opt, "--comment") == 0) tag.SetComment(value);
    else if (std::strcmp(opt, "--genre") == 0) {
      uint8_t genre;
      if (!ParseGenre(value, &genre)) return UsageError("unknown genre ", value);
      tag.SetGenre(genre);
    } else {
      return UsageError("unknown option ", opt);
    }
  }
  // A record left without content removes the tag, as in the plug-in.
  if (!tag.HasContent() && !had_tag) return 0;
  if (tag.WriteToFile(path) != 1) {
    std::fprintf(stderr, "bramble: writing the tag of %s failed\n", path);
    return 1;
  }
  return 0;
}

int RunTitleCommand(int argc, char** argv) {
  TitleOrderTable order = DefaultTitleOrder();
  long repeat = 0;
  bool ok = argc >= 1;
  for (int i = 1; ok && i < argc; i += 2) {
    char* end = nullptr;
    if (i + 1 >= argc) ok = false;
    else if (std::strcmp(argv[i], "--order") == 0) ok = ParseOrder(argv[i + 1], &order);
    else if (std::strcmp(argv[i], "--repeat") == 0) ok = (repeat = std::strtol(argv[i + 1], &end, 10)) > 0 && *end == '\0';
    else ok = false;
  }
  if (!ok) return UsageError("usage: bramble title FILE [--order \"pos:id:enabled,...\"] [--repeat N]", nullptr);
  CurrentTitleOrder() = order;
  char title[256];
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < (repeat > 0 ? repeat : 1); ++i) BuildTitle(argv[0], title, sizeof title);
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  std::printf("%s\n", title);
  if (repeat > 0) std::printf("title_lookups_ms: %.3f\n", took.count());
  return 0;
}

void PrintTagLines(const char* path) {
  static const struct { const char* name; TagField field; } kLines[] = {
      {"title", TagField::kTitle}, {"artist", TagField::kArtist},   {"album", TagField::kAlbum},
      {"year", TagField::kYear},   {"comment", TagField::kComment}};
  FileTags tags;
  ReadFileTags(path, &tags);
  for (const auto& line : kLines) {
    const ShownText shown = ShownField(tags, line.field);
    if (!shown.text.empty())
      std::printf("%s: %s\n", line.name, shown.utf8 ? shown.text.c_str() : Latin1ToUtf8(shown.text.c_str()).c_str());
  }
  const ShownGenre genre = ShownGenreOf(tags);
  if (!genre.name.empty())
    std::printf("genre: %s\n", genre.name.c_str());
  else if (genre.number != -1)
    std::printf("genre: %d\n", genre.number & 0xFF);
  const std::string names = TagNames(tags);
  if (!names.empty()) std::printf("tags: %s\n", names.c_str());
}

}  // namespace cli
}  // namespace bramble
