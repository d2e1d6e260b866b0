#include "ui/Dialogs.h"

namespace bramble {

void ShowConfigSheet(HWND) {
  // Not built yet: the configuration property sheet lands with the dialogs.
}

void ShowFileInfoDialog(const char*, HWND) {
  // Not built yet: the file information dialog lands with the dialogs.
}

void LaunchAbout() { WinExec("About.exe mp3.ini 1.3", SW_SHOW); }

}  // namespace bramble
