// The Network Streaming page and the sheet that holds both pages.
#include "config/Language.h"
#include "ui/ConfigSheet.h"
#include "ui/resource.h"

namespace bramble {

NetworkPage::NetworkPage(const ConfigContext& context)
    : PropertyPage(context.instance, IDD_NETWORK_PAGE), context_(context) {
  SetTitle(LoadLanguageString(IDS_NETWORK_TAB));
}

BOOL NetworkPage::OnInitDialog() {
  SetLanguageText(hwnd(), LoadLanguageString(IDS_NETWORK_TAB));
  SetLanguageText(IDC_NET_HEADING, LoadLanguageString(IDS_NET_HEADING));
  SetLanguageText(IDC_NET_CONFIG, LoadLanguageString(IDS_NET_CONFIG));
  SetLanguageText(IDC_NET_ABOUT, LoadLanguageString(IDS_NET_ABOUT));
  const bool present = context_.streaming != nullptr;
  EnableItem(IDC_NET_CONFIG, present);
  EnableItem(IDC_NET_ABOUT, present);
  SetItemText(IDC_NET_STATUS, LoadLanguageString(present ? IDS_STREAMING_PRESENT : IDS_STREAMING_ABSENT));
  return TRUE;
}

bool NetworkPage::OnCommand(int id, int code, HWND) {
  if (code != BN_CLICKED) return false;
  if (id == IDC_NET_CONFIG) {
    if (context_.streaming) context_.streaming->ShowSettings(context_.host_window);
    return true;
  }
  return id == IDC_NET_ABOUT;  // the library has no about box of its own
}

// The page's own OK closes the sheet as the sheet's OK would.
void NetworkPage::OnOK() { PostMessageA(sheet(), PSM_PRESSBUTTON, PSBTN_OK, 0); }

void RunConfigSheet(const ConfigContext& context) {
  GeneralPage general(context);
  NetworkPage network(context);
  SheetDialog sheet(LoadLanguageString(IDS_SHEET_CAPTION));
  sheet.AddPage(&general);
  sheet.AddPage(&network);
  sheet.DoModal();
}

}  // namespace bramble
