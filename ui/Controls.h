// Thin wrappers over the few controls whose messages the dialogs repeat.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace bramble {

class Trackbar {
 public:
  explicit Trackbar(HWND hwnd) : hwnd_(hwnd) {}
  void SetRange(int low, int high) const { SendMessageA(hwnd_, TBM_SETRANGE, TRUE, MAKELPARAM(low, high)); }
  void SetLineSize(int size) const { SendMessageA(hwnd_, TBM_SETLINESIZE, 0, size); }
  void SetPos(int pos) const { SendMessageA(hwnd_, TBM_SETPOS, TRUE, pos); }
  int Pos() const { return int(SendMessageA(hwnd_, TBM_GETPOS, 0, 0)); }

 private:
  HWND hwnd_;
};

class CheckBox {
 public:
  explicit CheckBox(HWND hwnd) : hwnd_(hwnd) {}
  void SetChecked(bool on) const { SendMessageA(hwnd_, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0); }
  bool Checked() const { return SendMessageA(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

 private:
  HWND hwnd_;
};

class EditBox {
 public:
  explicit EditBox(HWND hwnd) : hwnd_(hwnd) {}
  // Setting the text also clears the user-modified flag.
  void SetText(const char* text) const { SetWindowTextA(hwnd_, text ? text : ""); }
  bool Modified() const { return SendMessageA(hwnd_, EM_GETMODIFY, 0, 0) != 0; }

 private:
  HWND hwnd_;
};

class ComboBox {
 public:
  explicit ComboBox(HWND hwnd) : hwnd_(hwnd) {}
  void Add(const char* text) const { SendMessageA(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)); }
  // -1 clears the selection.
  void Select(int index) const { SendMessageA(hwnd_, CB_SETCURSEL, WPARAM(index), 0); }
  // CB_ERR (-1) when nothing is selected.
  int Selection() const { return int(SendMessageA(hwnd_, CB_GETCURSEL, 0, 0)); }
  int Count() const { return int(SendMessageA(hwnd_, CB_GETCOUNT, 0, 0)); }

 private:
  HWND hwnd_;
};

}  // namespace bramble
