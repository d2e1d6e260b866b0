#include "ui/Dialogs.h"

#include <commctrl.h>

namespace bramble {

namespace {
void RegisterControlClasses() {
  INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&classes);
}
}  // namespace

void ShowConfigSheet(const ConfigContext& context) {
  try {
    RegisterControlClasses();
    RunConfigSheet(context);
  } catch (...) {
  }
}

void ShowFileInfoDialog(HINSTANCE instance, HWND owner, const char* name, const PlayingStream& playing) {
  try {
    RegisterControlClasses();
    RunFileInfoDialog(instance, owner, name, playing);
  } catch (...) {
  }
}

void LaunchAbout() { WinExec("About.exe mp3.ini 1.3", SW_SHOW); }

}  // namespace bramble
