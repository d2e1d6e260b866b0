// Dialog entry points of the plug-in. The configuration sheet and the file
// information dialog are not built yet: their functions are seams that show
// nothing. The about box is an external program.
#pragma once

#include <windows.h>

namespace bramble {

// Seam: will run the configuration property sheet, modal, over `parent`.
void ShowConfigSheet(HWND parent);
// Seam: will run the file information dialog for `name`.
void ShowFileInfoDialog(const char* name, HWND parent);
// Runs "About.exe mp3.ini 1.3"; the launch result is not used.
void LaunchAbout();

}  // namespace bramble
