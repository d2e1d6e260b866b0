// The General page: its settings are written the moment a control changes.
#include <cstdio>

#include "config/Language.h"
#include "config/SettingsKey.h"
#include "tags/Title.h"
#include "ui/ConfigSheet.h"
#include "ui/Controls.h"
#include "ui/resource.h"

namespace bramble {

namespace {
constexpr int kMinStep = 0, kMaxStep = 6;
constexpr int kMinQualityPos = 6, kMaxQualityPos = 8;

int ClampStep(int step) { return step < kMinStep ? kMinStep : step > kMaxStep ? kMaxStep : step; }

void CopyText(char* out, size_t size, const char* text) { std::snprintf(out, size, "%s", text); }
}  // namespace

GeneralValues& CurrentGeneralValues() {
  static GeneralValues values;
  return values;
}

int QualityForFilter(int filter) {
  if (filter == 11 || filter == 12) return 12;
  if (filter == 13 || filter == 14) return 14;
  return 16;
}

unsigned QualityNameId(int quality) {
  return quality == 12 ? IDS_QUALITY_FAST : quality == 14 ? IDS_QUALITY_GOOD : IDS_QUALITY_BEST;
}

unsigned PriorityNameId(int step) {
  static const unsigned kNames[] = {IDS_PRIORITY_IDLE,         IDS_PRIORITY_LOWEST, IDS_PRIORITY_BELOW_NORMAL,
                                    IDS_PRIORITY_NORMAL,       IDS_PRIORITY_ABOVE_NORMAL,
                                    IDS_PRIORITY_HIGH,         IDS_PRIORITY_HIGHEST};
  return kNames[ClampStep(step)];
}

GeneralPage::GeneralPage(const ConfigContext& context)
    : PropertyPage(context.instance, IDD_GENERAL_PAGE), context_(context) {
  SetTitle(LoadLanguageString(IDS_GENERAL_TAB));
}

BOOL GeneralPage::OnInitDialog() {
  static const struct { int control; unsigned text; } kTexts[] = {
      {IDC_CPU_GROUP, IDS_CPU_GROUP},         {IDC_CPU_586, IDS_CPU_586},
      {IDC_CPU_486, IDS_CPU_486},             {IDC_CPU_NOTE, IDS_CPU_NOTE},
      {IDC_QUALITY_GROUP, IDS_QUALITY_GROUP}, {IDC_QUALITY_NAME, IDS_QUALITY_GROUP},
      {IDC_PRIORITY_GROUP, IDS_PRIORITY_GROUP}, {IDC_PRIORITY_NAME, IDS_PRIORITY_GROUP},
      {IDC_GAPLESS, IDS_GAPLESS}};
  for (const auto& t : kTexts) SetLanguageText(t.control, LoadLanguageString(t.text));

  LoadAndNormalise();
  SelectCpu(true);
  CheckBox(Item(IDC_GAPLESS)).SetChecked(ReadSettingDword(kPluginSubkey, "Gapless", 0) != 0);

  Trackbar priority(Item(IDC_PRIORITY_SLIDER));
  priority.SetRange(kMinStep, kMaxStep);
  priority.SetLineSize(1);
  ReadAndApplyPriority();
  priority.SetPos(CurrentGeneralValues().priority_step);

  Trackbar quality(Item(IDC_QUALITY_SLIDER));
  quality.SetRange(kMinQualityPos, kMaxQualityPos);
  ReadQuality();
  quality.SetPos(CurrentGeneralValues().quality / 2);
  ShowNames();
  return TRUE;
}

void GeneralPage::LoadAndNormalise() {
  ReadSettingNumber(kPluginSubkey, "Bandwidth", "0");  // read and not used
  uint8_t order[TitleOrderTable::kStoredBytes];
  const int length = ReadSettingBinary(kPluginSubkey, "ID3Tag", order, sizeof order);
  if (length > 0) LoadTitleOrder(order, size_t(length));
  ReadQuality();
  ReadAndApplyPriority();
  WriteAll();
}

void GeneralPage::ReadAndApplyPriority() {
  // The page never writes a step outside 0..6; a stored one is pulled in.
  GeneralValues& values = CurrentGeneralValues();
  values.priority_step = ClampStep(ReadSettingNumber(kPluginSubkey, "ThreadPriority", "5"));
  if (context_.apply_priority_step) context_.apply_priority_step(values.priority_step);
  CopyText(values.priority_name, sizeof values.priority_name,
           LoadLanguageString(PriorityNameId(values.priority_step)));
}

void GeneralPage::ReadQuality() {
  GeneralValues& values = CurrentGeneralValues();
  values.quality = QualityForFilter(ReadSettingNumber(kPluginSubkey, "Filter", "16"));
  CopyText(values.quality_name, sizeof values.quality_name, LoadLanguageString(QualityNameId(values.quality)));
}

void GeneralPage::WriteAll() {
  const GeneralValues& values = CurrentGeneralValues();
  WriteSettingNumber(kPluginSubkey, "Bandwidth", 0);
  WriteSettingNumber(kPluginSubkey, "Filter", values.quality);
  WriteSettingNumber(kPluginSubkey, "ThreadPriority", values.priority_step);
}

void GeneralPage::ShowNames() {
  SetItemText(IDC_QUALITY_NAME, CurrentGeneralValues().quality_name);
  SetItemText(IDC_PRIORITY_NAME, CurrentGeneralValues().priority_name);
}

void GeneralPage::SelectCpu(bool is586) {
  CheckBox(Item(IDC_CPU_586)).SetChecked(is586);
  CheckBox(Item(IDC_CPU_486)).SetChecked(!is586);
}

bool GeneralPage::OnCommand(int id, int code, HWND) {
  if (code == BN_CLICKED && id == IDC_GAPLESS) {
    // Takes effect with the next playback.
    WriteSettingDword(kPluginSubkey, "Gapless", CheckBox(Item(IDC_GAPLESS)).Checked() ? 1 : 0);
    return true;
  }
  if (code != BN_CLICKED || (id != IDC_CPU_586 && id != IDC_CPU_486)) return false;
  SelectCpu(id == IDC_CPU_586);
  WriteAll();  // the class choice itself is not stored: "Bandwidth" stays "0"
  return true;
}

bool GeneralPage::OnNotify(NMHDR* header, LRESULT*) {
  // Only a mouse release stores: keyboard moves wait for one.
  if (header->code != UINT(NM_RELEASEDCAPTURE)) return false;
  if (header->idFrom == IDC_QUALITY_SLIDER) {
    WriteSettingNumber(kPluginSubkey, "Filter", Trackbar(Item(IDC_QUALITY_SLIDER)).Pos() * 2);
    ReadQuality();
  } else if (header->idFrom == IDC_PRIORITY_SLIDER) {
    CurrentGeneralValues().priority_step = ClampStep(Trackbar(Item(IDC_PRIORITY_SLIDER)).Pos());
    WriteAll();
    ReadAndApplyPriority();
  } else {
    return false;
  }
  ShowNames();
  return true;
}

}  // namespace bramble
