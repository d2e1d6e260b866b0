// The General page: its settings are written the moment a control changes.
#include "config/Language.h"
#include "config/Settings.h"
#include "ui/ConfigSheet.h"
#include "ui/Controls.h"
#include "ui/resource.h"

namespace bramble {

namespace {
constexpr int kMinStep = 0, kMaxStep = 6;
constexpr int kMinQualityPos = 6, kMaxQualityPos = 8;

int ClampStep(int step) { return step < kMinStep ? kMinStep : step > kMaxStep ? kMaxStep : step; }

// Check boxes stored at a click, taking effect with the next playback.
const struct {
  int control;
  int Settings::*field;
} kNextPlaybackBoxes[] = {{IDC_GAPLESS, &Settings::gapless}, {IDC_FULL_ACCURACY, &Settings::full_accuracy}};
}  // namespace

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
      {IDC_GAPLESS, IDS_GAPLESS},             {IDC_FULL_ACCURACY, IDS_FULL_ACCURACY}};
  for (const auto& t : kTexts) SetLanguageText(t.control, LoadLanguageString(t.text));

  // Stored values are mapped to what the page shows and written back.
  settings_ = Settings::Load();  // "Bandwidth" is read and not used
  settings_.ApplyTitleOrder();
  settings_.filter = QualityForFilter(settings_.filter);
  settings_.thread_priority = ClampStep(settings_.thread_priority);
  WriteAll();
  ApplyPriority();
  SelectCpu(true);
  for (const auto& box : kNextPlaybackBoxes) CheckBox(Item(box.control)).SetChecked(settings_.*box.field != 0);

  Trackbar priority(Item(IDC_PRIORITY_SLIDER));
  priority.SetRange(kMinStep, kMaxStep);
  priority.SetLineSize(1);
  priority.SetPos(settings_.thread_priority);

  Trackbar quality(Item(IDC_QUALITY_SLIDER));
  quality.SetRange(kMinQualityPos, kMaxQualityPos);
  quality.SetPos(settings_.filter / 2);
  ShowNames();
  return TRUE;
}

void GeneralPage::ApplyPriority() {
  if (context_.apply_priority_step) context_.apply_priority_step(settings_.thread_priority);
}

void GeneralPage::WriteAll() {
  settings_.bandwidth = 0;  // the CPU class choice is not stored
  settings_.Store({&Settings::bandwidth, &Settings::filter, &Settings::thread_priority});
}

void GeneralPage::ShowNames() {
  SetItemText(IDC_QUALITY_NAME, LoadLanguageString(QualityNameId(settings_.filter)));
  SetItemText(IDC_PRIORITY_NAME, LoadLanguageString(PriorityNameId(settings_.thread_priority)));
}

void GeneralPage::SelectCpu(bool is586) {
  CheckBox(Item(IDC_CPU_586)).SetChecked(is586);
  CheckBox(Item(IDC_CPU_486)).SetChecked(!is586);
}

bool GeneralPage::OnCommand(int id, int code, HWND) {
  for (const auto& box : kNextPlaybackBoxes)
    if (code == BN_CLICKED && id == box.control) {
      settings_.*box.field = CheckBox(Item(box.control)).Checked() ? 1 : 0;
      settings_.Store({box.field});
      return true;
    }
  if (code != BN_CLICKED || (id != IDC_CPU_586 && id != IDC_CPU_486)) return false;
  SelectCpu(id == IDC_CPU_586);
  WriteAll();
  return true;
}

bool GeneralPage::OnNotify(NMHDR* header, LRESULT*) {
  // Only a mouse release stores: keyboard moves wait for one.
  if (header->code != UINT(NM_RELEASEDCAPTURE)) return false;
  if (header->idFrom == IDC_QUALITY_SLIDER) {
    settings_.filter = QualityForFilter(Trackbar(Item(IDC_QUALITY_SLIDER)).Pos() * 2);
    settings_.Store({&Settings::filter});
  } else if (header->idFrom == IDC_PRIORITY_SLIDER) {
    settings_.thread_priority = ClampStep(Trackbar(Item(IDC_PRIORITY_SLIDER)).Pos());
    WriteAll();
    ApplyPriority();
  } else {
    return false;
  }
  ShowNames();
  return true;
}

}  // namespace bramble
