// The file information dialog: a file's ID3v1 tag for editing (without one,
// its ID3v2 or APEv2 values to start from) and, for the
// file that is playing, its length, size and MPEG format. Edits of the
// playing file go to the pending tag, which Stop writes.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "ui/DialogLayer.h"

namespace bramble {

class Id3v1Tag;

// The playback as the dialog sees it, handed in by the entry point.
struct PlayingStream {
  const char* name = "";      // the playing file's name, empty when none
  bool has_header = false;    // header holds the current frame header
  uint8_t header[4] = {};
  int length_ms = 0;
  uint32_t size_bytes = 0;
  int average_kbps = 0;       // a Xing or VBRI file's average; 0: the header's rate
};

extern const char kValuesNotAvailable[];

// The six value lines for a frame header, length and size (and the average
// bit rate of a variable-rate file, when not 0); the "N/A" text when the
// header is not a usable frame header.
std::string FormatStreamValues(const uint8_t header[4], int length_ms, uint32_t size_bytes, int average_kbps = 0);

class FileInfoDialog : public Dialog {
 public:
  FileInfoDialog(HINSTANCE instance, const char* file_name, const PlayingStream& playing);

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnCommand(int id, int code, HWND control) override;

 private:
  bool IsPlayingFile() const;
  bool LoadTag(Id3v1Tag* tag);
  void ShowTag(Id3v1Tag& tag);
  void RemoveTag();

  std::string file_name_;
  PlayingStream playing_;
  int prefilled_genre_ = -1;  // the genre shown from ID3v2/APE, not from ID3v1
};

// Runs the dialog for `file_name` over `owner`.
void RunFileInfoDialog(HINSTANCE instance, HWND owner, const char* file_name, const PlayingStream& playing);

}  // namespace bramble
