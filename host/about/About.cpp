// About.exe: a small window naming a plug-in and the version it is given.
//   About.exe mp3.ini 1.3   ->  "Bramblecot MP3 Player", "Version 1.3"
// The first argument is the plug-in's settings file; its stem names the
// plug-in.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/about/resource.h"

namespace {

struct AboutTexts {
  std::string name;
  std::string version;
};

// Splits the command line at spaces (no quoting needed for these words).
AboutTexts ParseArguments(const char* line) {
  std::string words[2];
  int n = 0;
  for (const char* p = line; *p && n < 2;) {
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) break;
    while (*p && *p != ' ' && *p != '\t') words[n] += *p++;
    ++n;
  }
  std::string stem = words[0].substr(0, words[0].find('.'));
  for (char& c : stem) c = char(std::toupper(static_cast<unsigned char>(c)));
  AboutTexts texts;
  texts.name = stem.empty() ? "Bramblecot Player" : "Bramblecot " + stem + " Player";
  texts.version = words[1].empty() ? "Version unknown" : "Version " + words[1];
  return texts;
}

INT_PTR CALLBACK AboutProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto* texts = reinterpret_cast<const AboutTexts*>(lparam);
      SetDlgItemTextA(hwnd, IDC_ABOUT_NAME, texts->name.c_str());
      SetDlgItemTextA(hwnd, IDC_ABOUT_VERSION, texts->version.c_str());
      const std::string caption = "About " + texts->name;
      SetWindowTextA(hwnd, caption.c_str());
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(hwnd, LOWORD(wparam));
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      EndDialog(hwnd, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  const AboutTexts texts = ParseArguments(command_line ? command_line : "");
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUT), nullptr, AboutProc, reinterpret_cast<LPARAM>(&texts));
  return 0;
}
