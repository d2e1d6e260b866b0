#include "ui/FileInfoDialog.h"

#include <cstdio>

#include "config/Language.h"
#include "decoder/FrameHeader.h"
#include "tags/FileTags.h"
#include "tags/Id3v1Tag.h"
#include "tags/Title.h"
#include "ui/Controls.h"
#include "ui/resource.h"

namespace bramble {

const char kValuesNotAvailable[] = "N/A Sec.\nN/A Bytes\nN/A N/A\nN/A Kbps\nN/A Hz\nN/A\n";

namespace {
// The five text boxes in the order their modified flags are asked.
constexpr int kTextBoxes[] = {IDC_INFO_TITLE, IDC_INFO_ALBUM, IDC_INFO_ARTIST, IDC_INFO_COMMENT, IDC_INFO_YEAR};
}  // namespace

std::string FormatStreamValues(const uint8_t header[4], int length_ms, uint32_t size_bytes, int average_kbps) {
  static const char* const kLayers[] = {"III", "II", "I"};
  static const char* const kModes[] = {"Stereo", "Joint-Stereo", "Dual-Ch", "Single-Ch"};
  static const char* const kVersions[] = {"MPEG-1", "MPEG-2 LSF", "MPEG-2.5"};
  FrameHeader h;
  // Not a frame header: nothing to show.
  if (!ParseFrameHeader(header, &h)) return kValuesNotAvailable;
  const int kbps = average_kbps > 0 ? average_kbps : h.bitrate_kbps;
  char text[256];
  std::snprintf(text, sizeof text, "%d Sec.\n%d Bytes\n%s %s\n%d Kbps\n%d Hz\n%s\n", length_ms / 1000,
                int(size_bytes), kVersions[h.mpeg25 ? 2 : h.lsf], kLayers[3 - h.layer], kbps, h.sample_rate, kModes[h.mode]);
  return text;
}

FileInfoDialog::FileInfoDialog(HINSTANCE instance, const char* file_name, const PlayingStream& playing)
    : Dialog(instance, IDD_FILE_INFO), file_name_(file_name ? file_name : ""), playing_(playing) {
  if (!playing_.name) playing_.name = "";
}

bool FileInfoDialog::IsPlayingFile() const { return _stricmp(file_name_.c_str(), playing_.name) == 0; }

BOOL FileInfoDialog::OnInitDialog() {
  static const struct { int control; unsigned text; } kTexts[] = {
      {IDC_INFO_TAG_GROUP, IDS_INFO_TAG_GROUP},     {IDC_INFO_TITLE_LABEL, IDS_INFO_TITLE},
      {IDC_INFO_ALBUM_LABEL, IDS_INFO_ALBUM},       {IDC_INFO_ARTIST_LABEL, IDS_INFO_ARTIST},
      {IDC_INFO_YEAR_LABEL, IDS_INFO_YEAR},         {IDC_INFO_GENRE_LABEL, IDS_INFO_GENRE},
      {IDC_INFO_COMMENT_LABEL, IDS_INFO_COMMENT},   {IDC_INFO_REMOVE, IDS_INFO_REMOVE},
      {IDOK, IDS_INFO_OK},                          {IDCANCEL, IDS_INFO_CANCEL},
      {IDC_INFO_FIELD_NAMES, IDS_INFO_FIELD_NAMES}, {IDC_INFO_FIELD_VALUES, IDS_INFO_FIELD_NAMES}};
  for (const auto& t : kTexts) SetLanguageText(t.control, LoadLanguageString(t.text));
  SetItemText(IDC_INFO_FILE_NAME, file_name_.c_str());

  ComboBox genres(Item(IDC_INFO_GENRE));
  for (unsigned i = 0; const char* name = GenreName(i); ++i) genres.Add(name);

  Id3v1Tag scratch;
  if (IsPlayingFile()) {
    Id3v1Tag* pending = PendingTag();
    if (!pending) LoadTag(&scratch);
    ShowTag(pending ? *pending : scratch);
    std::string values = kValuesNotAvailable;
    if (playing_.has_header)
      values = FormatStreamValues(playing_.header, playing_.length_ms, playing_.size_bytes, playing_.average_kbps);
    SetItemText(IDC_INFO_FIELD_VALUES, values.c_str());
  } else {
    if (LoadTag(&scratch)) ShowTag(scratch);
    SetItemText(IDC_INFO_FIELD_VALUES, kValuesNotAvailable);
  }
  return TRUE;
}

bool FileInfoDialog::LoadTag(Id3v1Tag* tag) {
  FileTags tags;
  ReadFileTags(file_name_.c_str(), &tags);
  if (tags.has_id3v1) {
    tag->CopyFrom(tags.id3v1);
    return true;
  }
  if (!FillFromOtherTags(tags, tag)) return false;
  prefilled_genre_ = tag->Genre();
  return true;
}

void FileInfoDialog::ShowTag(Id3v1Tag& tag) {
  // Trimming works on a copy: the pending tag keeps its own texts.
  Id3v1Tag shown;
  shown.CopyFrom(tag);
  EditBox(Item(IDC_INFO_TITLE)).SetText(TrimTrailingSpaces(shown.Title()));
  EditBox(Item(IDC_INFO_ALBUM)).SetText(TrimTrailingSpaces(shown.Album()));
  EditBox(Item(IDC_INFO_ARTIST)).SetText(TrimTrailingSpaces(shown.Artist()));
  EditBox(Item(IDC_INFO_COMMENT)).SetText(TrimTrailingSpaces(shown.Comment()));
  EditBox(Item(IDC_INFO_YEAR)).SetText(shown.Year());
  ComboBox(Item(IDC_INFO_GENRE)).Select(tag.Genre());
}

void FileInfoDialog::OnOK() {
  bool texts_modified = false;
  for (int box : kTextBoxes) texts_modified = EditBox(Item(box)).Modified() || texts_modified;
  const int genre = ComboBox(Item(IDC_INFO_GENRE)).Selection();
  // A genre only shown from the other tags is no edit.
  if (texts_modified || (genre != CB_ERR && genre != prefilled_genre_)) {
    const bool playing = IsPlayingFile();
    Id3v1Tag scratch;
    Id3v1Tag* target = playing ? PendingTag() : nullptr;
    if (!target) {
      scratch.ReadFromFile(file_name_.c_str());
      target = &scratch;
    }
    if (texts_modified) {
      target->SetTitle(ItemText(IDC_INFO_TITLE).c_str());
      target->SetAlbum(ItemText(IDC_INFO_ALBUM).c_str());
      target->SetArtist(ItemText(IDC_INFO_ARTIST).c_str());
      target->SetYear(ItemText(IDC_INFO_YEAR).c_str());
      target->SetComment(ItemText(IDC_INFO_COMMENT).c_str());
    }
    if (genre != CB_ERR) target->SetGenre(uint8_t(genre));
    if (playing) {
      if (target == &scratch) CreatePendingTag(playing_.name)->CopyFrom(scratch);
    } else {
      scratch.WriteToFile(file_name_.c_str());  // a failure shows its own message
    }
  }
  EndDialog(hwnd(), IDOK);
}

bool FileInfoDialog::OnCommand(int id, int code, HWND) {
  if (id != IDC_INFO_REMOVE || code != BN_CLICKED) return false;
  RemoveTag();
  return true;
}

void FileInfoDialog::RemoveTag() {
  if (IsPlayingFile()) {
    if (Id3v1Tag* pending = PendingTag())
      pending->Clear();
    else
      CreatePendingTag(playing_.name);
  } else {
    RemoveFromFile(file_name_.c_str());
  }
  for (int box : kTextBoxes) EditBox(Item(box)).SetText("");
  ComboBox(Item(IDC_INFO_GENRE)).Select(-1);
}

void RunFileInfoDialog(HINSTANCE instance, HWND owner, const char* file_name, const PlayingStream& playing) {
  FileInfoDialog dialog(instance, file_name, playing);
  dialog.DoModal(owner);
}

}  // namespace bramble
