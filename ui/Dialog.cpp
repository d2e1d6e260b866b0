#include "ui/Dialog.h"

#include <cstdio>
#include <cstring>

namespace bramble {

std::string DialogBase::ItemText(int id) const {
  HWND item = Item(id);
  const int length = item ? GetWindowTextLengthA(item) : 0;
  std::string text(size_t(length) + 1, '\0');
  if (length > 0) GetWindowTextA(item, &text[0], length + 1);
  text.resize(std::strlen(text.c_str()));
  return text;
}

void DialogBase::RethrowIfFailed() {
  if (failure_) {
    std::exception_ptr failure = failure_;
    failure_ = nullptr;
    std::rethrow_exception(failure);
  }
}

INT_PTR DialogBase::Dispatch(UINT message, WPARAM wparam, LPARAM lparam) {
  // After a failure the dialog is on its way out: no more hooks.
  if (failure_) return FALSE;
  try {
    switch (message) {
      case WM_INITDIALOG:
        return OnInitDialog();
      case WM_COMMAND: {
        const int id = LOWORD(wparam), code = HIWORD(wparam);
        if (OnCommand(id, code, reinterpret_cast<HWND>(lparam))) return TRUE;
        if (code == BN_CLICKED && id == IDOK) {
          OnOK();
          return TRUE;
        }
        if (code == BN_CLICKED && id == IDCANCEL) {
          OnCancel();
          return TRUE;
        }
        return FALSE;
      }
      case WM_NOTIFY: {
        LRESULT result = 0;
        if (!OnNotify(reinterpret_cast<NMHDR*>(lparam), &result)) return FALSE;
        SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, result);
        return TRUE;
      }
      default:
        return FALSE;
    }
  } catch (...) {
    failure_ = std::current_exception();
    Abandon();
    return FALSE;
  }
}

INT_PTR Dialog::DoModal(HWND owner) {
  const INT_PTR result = DialogBoxParamA(instance_, MAKEINTRESOURCEA(template_id_), owner, Proc,
                                         reinterpret_cast<LPARAM>(this));
  Attach(nullptr);
  RethrowIfFailed();
  return result;
}

INT_PTR CALLBACK Dialog::Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(hwnd, DWLP_USER, lparam);
    reinterpret_cast<Dialog*>(lparam)->Attach(hwnd);
  }
  auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  return self ? self->Dispatch(message, wparam, lparam) : FALSE;
}

void PropertyPage::SetTitle(const char* title) { std::snprintf(title_, sizeof title_, "%s", title ? title : ""); }

PROPSHEETPAGEA PropertyPage::Describe() {
  PROPSHEETPAGEA page = {};
  page.dwSize = sizeof page;
  page.dwFlags = PSP_USETITLE;
  page.hInstance = instance_;
  page.pszTemplate = MAKEINTRESOURCEA(template_id_);
  page.pfnDlgProc = Proc;
  page.pszTitle = title_;
  page.lParam = reinterpret_cast<LPARAM>(this);
  return page;
}

INT_PTR CALLBACK PropertyPage::Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    // The sheet hands over a copy of our page record; its lParam is us.
    auto* self = reinterpret_cast<PropertyPage*>(reinterpret_cast<PROPSHEETPAGEA*>(lparam)->lParam);
    SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->Attach(hwnd);
  }
  auto* self = reinterpret_cast<PropertyPage*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  return self ? self->Dispatch(message, wparam, lparam) : FALSE;
}

SheetDialog::SheetDialog(const char* caption) {
  std::snprintf(caption_, sizeof caption_, "%s", caption ? caption : "");
}

INT_PTR SheetDialog::DoModal() {
  std::vector<PROPSHEETPAGEA> records;
  for (PropertyPage* page : pages_) records.push_back(page->Describe());
  PROPSHEETHEADERA header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
  header.hwndParent = nullptr;
  header.hInstance = records.empty() ? nullptr : records[0].hInstance;
  header.pszCaption = caption_;
  header.nPages = UINT(records.size());
  header.nStartPage = 0;
  header.ppsp = records.data();
  const INT_PTR result = ::PropertySheetA(&header);
  for (PropertyPage* page : pages_) page->Check();
  return result;
}

}  // namespace bramble
