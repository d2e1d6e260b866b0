// Dialog entry points of the plug-in: the configuration sheet, the file
// information dialog and the external about program. Neither dialog lets
// an exception out: whatever the dialog code throws ends it silently.
#pragma once

#include <windows.h>

#include "ui/ConfigSheet.h"
#include "ui/FileInfoDialog.h"

namespace bramble {

// Runs the configuration property sheet, modal and without owner.
void ShowConfigSheet(const ConfigContext& context);
// Runs the file information dialog for `name` over `owner`.
void ShowFileInfoDialog(HINSTANCE instance, HWND owner, const char* name, const PlayingStream& playing);
// Runs "About.exe mp3.ini 1.3"; the launch result is not used.
void LaunchAbout();

}  // namespace bramble
