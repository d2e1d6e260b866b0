// A small dialog layer over the platform's dialog manager: a base with
// overridable hooks, a modal dialog, a property page and a property sheet.
// No exception leaves a window procedure: the first one thrown by a hook is
// kept, the dialog (or the page's sheet) is closed, and the caller of
// DoModal sees it rethrown.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <string>
#include <vector>

namespace bramble {

class DialogBase {
 public:
  DialogBase(HINSTANCE instance, int template_id) : instance_(instance), template_id_(template_id) {}
  virtual ~DialogBase() = default;
  DialogBase(const DialogBase&) = delete;
  DialogBase& operator=(const DialogBase&) = delete;

  HWND hwnd() const { return hwnd_; }
  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
  void SetItemText(int id, const char* text) const { SetDlgItemTextA(hwnd_, id, text ? text : ""); }
  // A language string replaces a template's text only when it has one, so
  // that without the language library a dialog keeps its English texts.
  static void SetLanguageText(HWND window, const char* text) {
    if (text && *text) SetWindowTextA(window, text);
  }
  void SetLanguageText(int id, const char* text) const { SetLanguageText(Item(id), text); }
  std::string ItemText(int id) const;
  void EnableItem(int id, bool on) const { EnableWindow(Item(id), on ? TRUE : FALSE); }

 protected:
  // Return value as for WM_INITDIALOG: nonzero gives the default focus.
  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnOK() {}
  virtual void OnCancel() {}
  // True when handled.
  virtual bool OnCommand(int id, int code, HWND control) { return false; }
  virtual bool OnNotify(NMHDR* header, LRESULT* result) { return false; }
  // Called when a hook threw: the dialog must go away.
  virtual void Abandon() = 0;

  // The window procedure body shared by dialogs and pages.
  INT_PTR Dispatch(UINT message, WPARAM wparam, LPARAM lparam);
  void Attach(HWND hwnd) { hwnd_ = hwnd; }
  void RethrowIfFailed();

  HINSTANCE instance_;
  int template_id_;

 private:
  HWND hwnd_ = nullptr;
  std::exception_ptr failure_;
};

// A modal dialog from a template; OK and Cancel end it unless the hooks
// decide otherwise.
class Dialog : public DialogBase {
 public:
  using DialogBase::DialogBase;
  // IDOK, IDCANCEL or -1 when the template could not be loaded.
  INT_PTR DoModal(HWND owner);

 protected:
  void OnOK() override { EndDialog(hwnd(), IDOK); }
  void OnCancel() override { EndDialog(hwnd(), IDCANCEL); }
  void Abandon() override { EndDialog(hwnd(), IDCANCEL); }

 private:
  static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
};

// One page of a property sheet, titled with its own text (PSP_USETITLE),
// or with its template's caption while that text is empty.
// The sheet sizes its pages in its own 8-point font, so a page whose
// template asks for another size is shown in 8 points too; otherwise its
// lower controls fall outside the page.
class PropertyPage : public DialogBase {
 public:
  PropertyPage(HINSTANCE instance, int template_id) : DialogBase(instance, template_id) {}
  void SetTitle(const char* title);
  PROPSHEETPAGEA Describe();
  HWND sheet() const { return GetParent(hwnd()); }
  // Rethrows what a hook of this page threw while the sheet ran.
  void Check() { RethrowIfFailed(); }

 protected:
  void Abandon() override { PostMessageA(sheet(), WM_COMMAND, IDCANCEL, 0); }

 private:
  static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  // A copy of the template in the sheet's font size; empty when the
  // template cannot be read (the sheet then loads it itself).
  bool CopyTemplate();

  char title_[256] = {};
  std::vector<DWORD> template_copy_;
};

// Sets the point size of an extended dialog template that has a font;
// false when the bytes are not such a template.
bool SetTemplatePointSize(void* data, size_t size, WORD points);

// A modal sheet without owner and without an Apply button.
class SheetDialog {
 public:
  explicit SheetDialog(const char* caption);
  void AddPage(PropertyPage* page) { pages_.push_back(page); }
  // Runs the sheet; rethrows the first failure of a page.
  INT_PTR DoModal();

 private:
  char caption_[256] = {};
  std::vector<PropertyPage*> pages_;
};

}  // namespace bramble
