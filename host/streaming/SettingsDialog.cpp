#include "host/streaming/SettingsDialog.h"

#include "host/streaming/resource.h"

namespace {

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ShowSettingsDialog), &module);
  return module;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      auto* s = reinterpret_cast<StreamSettings*>(lparam);
      SetDlgItemInt(dialog, IDC_CONNECT_SECONDS, s->connect_seconds, FALSE);
      SetDlgItemInt(dialog, IDC_READ_SECONDS, s->read_seconds, FALSE);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) {
        auto* s = reinterpret_cast<StreamSettings*>(GetWindowLongPtrA(dialog, DWLP_USER));
        BOOL ok_connect = FALSE, ok_read = FALSE;
        UINT connect = GetDlgItemInt(dialog, IDC_CONNECT_SECONDS, &ok_connect, FALSE);
        UINT read = GetDlgItemInt(dialog, IDC_READ_SECONDS, &ok_read, FALSE);
        if (!ok_connect || !ok_read || connect < StreamSettings::kMinSeconds ||
            connect > StreamSettings::kMaxSeconds || read < StreamSettings::kMinSeconds ||
            read > StreamSettings::kMaxSeconds) {
          MessageBeep(MB_ICONWARNING);
          return TRUE;
        }
        s->connect_seconds = connect;
        s->read_seconds = read;
        EndDialog(dialog, s->Save() ? 1 : 0);
        return TRUE;
      }
      if (LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

int ShowSettingsDialog(HWND owner, StreamSettings* settings) {
  StreamSettings edited = StreamSettings::Load();
  INT_PTR result = DialogBoxParamA(ThisModule(), MAKEINTRESOURCEA(IDD_STREAM_SETTINGS), owner,
                                   DialogProc, reinterpret_cast<LPARAM>(&edited));
  if (result != 1) return 0;
  *settings = edited;
  return 1;
}
