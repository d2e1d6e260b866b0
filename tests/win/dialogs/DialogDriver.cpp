#include "tests/win/dialogs/DialogDriver.h"

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace dialogs {

namespace {
struct FindArgs {
  const char* caption;
  HWND found;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM lparam) {
  auto* args = reinterpret_cast<FindArgs*>(lparam);
  if (!IsWindowVisible(window)) return TRUE;
  if (args->caption && Text(window) != args->caption) return TRUE;
  args->found = window;
  return FALSE;
}

BOOL CALLBACK CancelWindow(HWND window, LPARAM) {
  PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  PostMessageA(window, WM_CLOSE, 0, 0);
  return TRUE;
}
}  // namespace

bool RunDriven(const std::function<void()>& modal, const std::function<void()>& drive, DWORD timeout_ms) {
  const DWORD thread = GetCurrentThreadId();
  std::atomic<bool> modal_done{false}, drive_done{false}, watchdog{false};
  std::thread worker([&] {
    drive();
    drive_done = true;
  });
  std::thread guard([&] {
    const DWORD start = GetTickCount();
    DWORD finished = 0;
    while (!modal_done) {
      if (drive_done && !finished) finished = GetTickCount();
      // The driver gave up, or finished and left the dialog open.
      const bool stuck = GetTickCount() - start > timeout_ms || (finished && GetTickCount() - finished > 2000);
      if (stuck) {
        watchdog = true;
        EnumThreadWindows(thread, CancelWindow, 0);
      }
      Sleep(50);
    }
  });
  modal();
  modal_done = true;
  guard.join();
  worker.join();
  return !watchdog;
}

HWND WaitForWindow(DWORD thread, const char* caption, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  do {
    FindArgs args = {caption, nullptr};
    EnumThreadWindows(thread, FindVisible, reinterpret_cast<LPARAM>(&args));
    if (args.found) return args.found;
    Sleep(20);
  } while (GetTickCount() - start < timeout_ms);
  return nullptr;
}

bool WaitGone(HWND window, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (IsWindow(window)) {
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(20);
  }
  return true;
}

std::string Text(HWND window) {
  char text[1024] = {};
  DWORD_PTR got = 0;
  // Across threads, with a time-out: a hung dialog fails the test instead.
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 2000, &got);
  return text;
}

std::string ItemText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }

void SetItemTextAsUser(HWND dialog, int id, const char* text) {
  HWND item = GetDlgItem(dialog, id);
  SendMessageA(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  SendMessageA(item, EM_SETMODIFY, TRUE, 0);
}

void TypeInto(HWND dialog, int id, const char* text) {
  HWND item = GetDlgItem(dialog, id);
  SendMessageA(item, EM_SETSEL, 0, -1);
  for (const char* p = text; *p; ++p) SendMessageA(item, WM_CHAR, WPARAM(static_cast<unsigned char>(*p)), 1);
}

void Click(HWND dialog, int id) {
  SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
  // A sent message does not wake the dialog's loop to see that it ended.
  PostMessageA(GetAncestor(dialog, GA_ROOT), WM_NULL, 0, 0);
}

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

bool Checked(HWND dialog, int id) { return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

int TrackbarPos(HWND dialog, int id) { return int(SendMessageA(GetDlgItem(dialog, id), TBM_GETPOS, 0, 0)); }

void DragTrackbar(HWND page, int id, int pos) {
  HWND bar = GetDlgItem(page, id);
  SendMessageA(bar, TBM_SETPOS, TRUE, pos);
  NMHDR header = {bar, UINT_PTR(id), UINT(NM_RELEASEDCAPTURE)};
  SendMessageA(page, WM_NOTIFY, WPARAM(id), reinterpret_cast<LPARAM>(&header));
}

HWND CurrentPage(HWND sheet) { return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }

HWND ShowPage(HWND sheet, int index) {
  SendMessageA(sheet, PSM_SETCURSEL, WPARAM(index), 0);
  return CurrentPage(sheet);
}

std::string BesideProgram(const char* name) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  char* slash = std::strrchr(path, '\\');
  if (slash) slash[1] = '\0';
  return std::string(path) + name;
}

std::string LangText(unsigned id) {
  static HMODULE library = LoadLibraryExA(BesideProgram("RCENU.DLL").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  char text[512] = {};
  if (!library || LoadStringA(library, id, text, sizeof text) <= 0) return "<missing " + std::to_string(id) + ">";
  return text;
}

std::string UserSetting(const char* subkey, const char* name) {
  const std::string path = std::string("Software\\Bramblecot\\Jubora\\") + subkey;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<absent>";
  char data[600] = {};
  DWORD length = sizeof data - 1, type = 0;
  const LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &length);
  RegCloseKey(key);
  return r == ERROR_SUCCESS ? std::string(data) : "<absent>";
}

void DeleteUserSetting(const char* subkey, const char* name) {
  const std::string path = std::string("Software\\Bramblecot\\Jubora\\") + subkey;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, name);
  RegCloseKey(key);
}

void OfferScreenshot(HWND window, const char* name) {
  const char* dir = std::getenv("BRAMBLE_SCREENSHOT_DIR");
  if (!dir || !*dir) return;
  RECT r = {};
  GetWindowRect(window, &r);
  const std::string base = std::string(dir) + "\\" + name;
  const std::string ready = base + ".ready", done = base + ".done";
  DeleteFileA(done.c_str());
  if (FILE* f = std::fopen((base + ".tmp").c_str(), "w")) {
    std::fprintf(f, "%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
    std::fclose(f);
    MoveFileA((base + ".tmp").c_str(), ready.c_str());
  }
  for (int i = 0; i < 200 && GetFileAttributesA(done.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
  DeleteFileA(done.c_str());
}

}  // namespace dialogs
