// Display titles composed from a file's tags and its name, in the
// user's stored order of pieces.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bramble {

// Piece ids (they double as the language string ids of the pieces' names).
enum TitleFieldId : int32_t {
  kTitleFieldTitle = 4013,
  kTitleFieldArtist = 4014,
  kTitleFieldGenre = 4015,
  kTitleFieldYear = 4016,
  kTitleFieldComment = 4017,
  kTitleFieldFileTitle = 4018,
  kTitleFieldFullPath = 4019,
  kTitleFieldNone = 4020,
};

struct TitleOrderEntry {
  int32_t position;  // 0..7; others never contribute
  int32_t field_id;
  int32_t enabled;
};

struct TitleOrderTable {
  static constexpr int kEntries = 8;
  static constexpr int kStoredBytes = kEntries * 3 * 4;  // the stored image
  TitleOrderEntry entry[kEntries];
};

// Only the file title is enabled.
TitleOrderTable DefaultTitleOrder();

// Applies a stored "ID3Tag" value (the little-endian image of the table):
// a value shorter than 96 bytes overwrites only the bytes it covers, so the
// entries past it keep their contents. A longer value is not a table this
// plug-in wrote: it is ignored and false is returned. An empty one changes
// nothing.
bool ApplyStoredTitleOrder(TitleOrderTable* table, const uint8_t* data, size_t length);

// The process-wide table that BuildTitle uses (the default until loaded).
TitleOrderTable& CurrentTitleOrder();
// Applies a stored value to the process-wide table.
bool LoadTitleOrder(const uint8_t* data, size_t length);

// Display name of a path; returns 0 when `out` holds it. Installed by the
// plug-in (the shell's file title); PlatformFileTitle by default.
using FileTitleHook = int (*)(const char* path, char* out, int capacity);
void SetFileTitleHook(FileTitleHook hook);

// Composes the title of `path` into `out` (capacity counts the NUL). Falls
// back to the file title when the composition is empty. Returns 0.
int BuildTitle(const char* path, char* out, int capacity);

// The title half of the host's file-information call: a null or empty name
// means the source being played. `title` receives at most 256 bytes.
void GetFileInfoTitle(const char* name, const char* current_source, char* title);

// Cuts trailing spaces in place; returns `text`.
char* TrimTrailingSpaces(char* text);

}  // namespace bramble
