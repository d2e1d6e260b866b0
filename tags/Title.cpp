#include "tags/Title.h"

#include <cstdio>
#include <cstring>

#include "tags/FileTags.h"
#include "tags/TagFile.h"

namespace bramble {

namespace {

constexpr int kWorkChars = 256;       // 255 characters and a NUL
constexpr int kFileTitleChars = 260;  // the file title piece's buffer
constexpr int kHostTitleChars = 256;

TitleOrderTable g_title_order = DefaultTitleOrder();
FileTitleHook g_file_title_hook = &PlatformFileTitle;

// Appends `piece` and one space to `work` (holding `*length` characters),
// cutting whatever would not fit in the working string.
void AppendPiece(char* work, int* length, const char* piece) {
  for (const char* p = piece; *p != '\0' && *length < kWorkChars - 1; ++p) work[(*length)++] = *p;
  if (*length < kWorkChars - 1) work[(*length)++] = ' ';
  work[*length] = '\0';
}

// The text a tag piece shows: ID3v1's bytes as stored, the other tags'
// text converted for the host.
void TagPieceText(const FileTags& tags, TagField field, char* scratch) {
  const ShownText shown = ShownField(tags, field);
  std::snprintf(scratch, kWorkChars, "%s", shown.utf8 ? HostText(shown.text).c_str() : shown.text.c_str());
  TrimTrailingSpaces(scratch);
}

bool IsTagPiece(int32_t field_id) { return field_id >= kTitleFieldTitle && field_id <= kTitleFieldComment; }

// Writes the text of one piece into `scratch` (kWorkChars or more).
void PieceText(int32_t field_id, const char* path, const FileTags& tags, char* scratch, char* file_title) {
  scratch[0] = '\0';
  const char* text = nullptr;
  switch (field_id) {
    case kTitleFieldTitle: return TagPieceText(tags, TagField::kTitle, scratch);
    case kTitleFieldArtist: return TagPieceText(tags, TagField::kArtist, scratch);
    case kTitleFieldYear: return TagPieceText(tags, TagField::kYear, scratch);
    case kTitleFieldComment: return TagPieceText(tags, TagField::kComment, scratch);
    case kTitleFieldGenre: {
      const ShownGenre genre = ShownGenreOf(tags);
      if (genre.number < 0 && !genre.name.empty())  // a name outside the table
        std::snprintf(scratch, kWorkChars, "%s", HostText(genre.name).c_str());
      else
        std::snprintf(scratch, kWorkChars, "%d", genre.number);
      return;
    }
    case kTitleFieldFileTitle:
      std::memset(file_title, 0, kFileTitleChars);
      if (g_file_title_hook == nullptr || g_file_title_hook(path, file_title, kFileTitleChars) != 0)
        file_title[0] = '\0';
      file_title[kFileTitleChars - 1] = '\0';
      text = file_title;
      break;
    case kTitleFieldFullPath: text = path; break;
    default: return;  // 4020 and unknown ids add no text
  }
  if (text != nullptr) std::snprintf(scratch, kWorkChars, "%s", text);
}

}  // namespace

TitleOrderTable DefaultTitleOrder() {
  return TitleOrderTable{{{0, kTitleFieldNone, 0},
                          {1, kTitleFieldArtist, 0},
                          {2, kTitleFieldTitle, 0},
                          {3, kTitleFieldGenre, 0},
                          {4, kTitleFieldYear, 0},
                          {5, kTitleFieldComment, 0},
                          {6, kTitleFieldFileTitle, 1},
                          {7, kTitleFieldFullPath, 0}}};
}

bool ApplyStoredTitleOrder(TitleOrderTable* table, const uint8_t* data, size_t length) {
  if (table == nullptr || length > static_cast<size_t>(TitleOrderTable::kStoredBytes)) return false;
  if (data == nullptr) return length == 0;
  // Build the current image, overlay the stored bytes, decode it again.
  uint8_t image[TitleOrderTable::kStoredBytes];
  for (int i = 0; i < TitleOrderTable::kEntries; ++i) {
    const int32_t words[3] = {table->entry[i].position, table->entry[i].field_id,
                              table->entry[i].enabled};
    for (int w = 0; w < 3; ++w) {
      uint32_t v = static_cast<uint32_t>(words[w]);
      for (int b = 0; b < 4; ++b) image[i * 12 + w * 4 + b] = static_cast<uint8_t>(v >> (8 * b));
    }
  }
  std::memcpy(image, data, length);
  for (int i = 0; i < TitleOrderTable::kEntries; ++i) {
    int32_t words[3];
    for (int w = 0; w < 3; ++w) {
      uint32_t v = 0;
      for (int b = 0; b < 4; ++b) v |= static_cast<uint32_t>(image[i * 12 + w * 4 + b]) << (8 * b);
      words[w] = static_cast<int32_t>(v);
    }
    table->entry[i] = TitleOrderEntry{words[0], words[1], words[2]};
  }
  return true;
}

TitleOrderTable& CurrentTitleOrder() { return g_title_order; }

bool LoadTitleOrder(const uint8_t* data, size_t length) {
  return ApplyStoredTitleOrder(&g_title_order, data, length);
}

void SetFileTitleHook(FileTitleHook hook) { g_file_title_hook = hook; }

int BuildTitle(const char* path, char* out, int capacity) {
  if (out == nullptr || capacity <= 0) return 0;
  // Tags are read only when a piece shows one; no tag or no file gives
  // empty pieces.
  FileTags tags;
  for (const TitleOrderEntry& e : g_title_order.entry)
    if (e.enabled != 0 && e.position >= 0 && e.position < TitleOrderTable::kEntries && IsTagPiece(e.field_id)) {
      ReadFileTags(path, &tags);
      break;
    }

  char work[kWorkChars];
  char scratch[kWorkChars];
  char file_title[kFileTitleChars];
  int length = 0;
  work[0] = '\0';
  for (int p = 0; p < TitleOrderTable::kEntries; ++p) {
    for (const TitleOrderEntry& e : g_title_order.entry) {
      if (e.position != p || e.enabled == 0) continue;
      PieceText(e.field_id, path, tags, scratch, file_title);
      AppendPiece(work, &length, scratch);
    }
  }

  int keep = length < capacity - 1 ? length : capacity - 1;
  std::memcpy(out, work, static_cast<size_t>(keep));
  out[keep] = '\0';
  TrimTrailingSpaces(out);
  if (out[0] == '\0') {
    if (g_file_title_hook == nullptr || g_file_title_hook(path, out, capacity) != 0) out[0] = '\0';
    out[capacity - 1] = '\0';
  }
  return 0;
}

void GetFileInfoTitle(const char* name, const char* current_source, char* title) {
  if (title == nullptr) return;
  const char* path = (name == nullptr || name[0] == '\0') ? current_source : name;
  BuildTitle(path ? path : "", title, kHostTitleChars);
}

char* TrimTrailingSpaces(char* text) {
  if (text == nullptr) return text;
  size_t n = std::strlen(text);
  while (n > 0 && text[n - 1] == ' ') --n;
  text[n] = '\0';
  return text;
}

int PortableFileTitle(const char* path, char* out, int capacity) {
  if (out == nullptr || capacity <= 0) return -1;
  out[0] = '\0';
  if (path == nullptr) return -1;
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p)
    if (*p == '/' || *p == '\\' || *p == ':') name = p + 1;
  if (*name == '\0') return -1;
  std::snprintf(out, static_cast<size_t>(capacity), "%s", name);
  return 0;
}

}  // namespace bramble
