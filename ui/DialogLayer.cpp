#include "ui/DialogLayer.h"

#include <cstdio>
#include <cstdint>
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

namespace {
constexpr WORD kSheetPoints = 8;

// Skips a name-or-ordinal field of a template; null past the end.
const WORD* SkipNameOrOrdinal(const WORD* p, const WORD* end) {
  if (p >= end) return nullptr;
  if (*p == 0x0000) return p + 1;
  if (*p == 0xFFFF) return p + 2 <= end ? p + 2 : nullptr;
  while (p < end && *p) ++p;
  return p < end ? p + 1 : nullptr;
}
}  // namespace

bool SetTemplatePointSize(void* data, size_t size, WORD points) {
  // DLGTEMPLATEEX: version 1, signature 0xFFFF, then 22 bytes up to the
  // menu, class and title fields, then (with DS_SETFONT) the point size.
  constexpr size_t kFixedBytes = 26;
  if (size < kFixedBytes) return false;
  WORD* words = static_cast<WORD*>(data);
  if (words[0] != 1 || words[1] != 0xFFFF) return false;
  DWORD style;
  std::memcpy(&style, static_cast<uint8_t*>(data) + 12, sizeof style);
  if (!(style & DS_SETFONT)) return false;
  const WORD* end = words + size / sizeof(WORD);
  const WORD* p = words + kFixedBytes / sizeof(WORD);
  for (int field = 0; field < 3 && p; ++field) p = SkipNameOrOrdinal(p, end);
  if (!p || p >= end) return false;
  *const_cast<WORD*>(p) = points;
  return true;
}

bool PropertyPage::CopyTemplate() {
  HRSRC found = FindResourceA(instance_, MAKEINTRESOURCEA(template_id_), MAKEINTRESOURCEA(5));  // RT_DIALOG
  HGLOBAL loaded = found ? LoadResource(instance_, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = found ? SizeofResource(instance_, found) : 0;
  if (!bytes || size == 0) return false;
  template_copy_.assign((size + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
  std::memcpy(template_copy_.data(), bytes, size);
  if (SetTemplatePointSize(template_copy_.data(), size, kSheetPoints)) return true;
  template_copy_.clear();
  return false;
}

PROPSHEETPAGEA PropertyPage::Describe() {
  PROPSHEETPAGEA page = {};
  page.dwSize = sizeof page;
  page.dwFlags = title_[0] ? PSP_USETITLE : 0;
  page.hInstance = instance_;
  page.pszTemplate = MAKEINTRESOURCEA(template_id_);
  if (template_copy_.empty() && !CopyTemplate()) template_copy_.clear();
  if (!template_copy_.empty()) {
    page.dwFlags |= PSP_DLGINDIRECT;
    page.pResource = reinterpret_cast<PROPSHEETPAGE_RESOURCE>(template_copy_.data());
  }
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
