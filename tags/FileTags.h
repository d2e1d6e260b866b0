// A file's tags taken together (ID3v2 at the start, APEv2 and ID3v1 at the
// end) and which of their values shows, field by field: the ID3v1 value
// when it is there and is not merely the ID3v2/APE value cut to the ID3v1
// field's width, else the ID3v2 value, then the APEv2 value. So an edit
// made in the information dialog (which writes ID3v1) shows, and a
// 30-character cut never hides the full name.
#pragma once

#include <string>

#include "tags/Id3v1Tag.h"
#include "tags/TagReaders.h"

namespace bramble {

struct FileTags {
  int id3v2_version = 0;  // 2, 3 or 4; 0 without an ID3v2 tag
  bool has_ape = false;
  bool has_id3v1 = false;
  Id3v1Tag id3v1;  // the empty record without an ID3v1 tag
  TagTexts id3v2, ape;
};

void ReadTags(TagSource& source, FileTags* tags);
// False, and no tags, when the file cannot be opened.
bool ReadFileTags(const char* path, FileTags* tags);

// A value as it shows, trailing spaces cut: ID3v1's 8-bit bytes as stored,
// or UTF-8 from ID3v2 or APEv2.
struct ShownText {
  std::string text;
  bool utf8 = false;
};
// Any field but the genre.
ShownText ShownField(const FileTags& tags, TagField field);

struct ShownGenre {
  int number = -1;   // as the title shows it (ID3v1's byte sign-extended); -1 none
  std::string name;  // UTF-8: the table's name, or the tag's own text
};
ShownGenre ShownGenreOf(const FileTags& tags);
// An ID3v2 or APEv2 genre: "(17)", "17", "Rock", "(17)Rock"; a name of the
// table gives its number.
ShownGenre ParseGenreText(const std::string& text);

// The tags found, as `bramble info` names them: "id3v2.4 apev2 id3v1";
// empty for none.
std::string TagNames(const FileTags& tags);

// Fills `record` from the ID3v2 and APEv2 values, in the host's text and
// cut to each field's width; false when they give nothing.
bool FillFromOtherTags(const FileTags& tags, Id3v1Tag* record);

}  // namespace bramble
