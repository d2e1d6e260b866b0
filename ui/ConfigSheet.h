// The configuration sheet: the General page (CPU class, Quality/Speed,
// playback thread priority) and the Network Streaming page.
#pragma once

#include <windows.h>

#include "abi/Streaming.h"
#include "config/Settings.h"
#include "ui/DialogLayer.h"

namespace bramble {

// What the sheet works on, handed in by the entry point.
struct ConfigContext {
  HINSTANCE instance = nullptr;     // holds the page templates
  // Gives the playing thread the priority of a step (0..6) at once; null
  // when there is no player.
  void (*apply_priority_step)(int step) = nullptr;
  StreamingObject* streaming = nullptr;  // null without the streaming library
  void* host_window = nullptr;      // owner of the streaming library's dialog
};

// Stored "Filter" -> value used: 11/12 -> 12, 13/14 -> 14, else 16.
int QualityForFilter(int filter);
// Language string ids of the names.
unsigned QualityNameId(int quality);
unsigned PriorityNameId(int step);

class GeneralPage : public PropertyPage {
 public:
  explicit GeneralPage(const ConfigContext& context);

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnNotify(NMHDR* header, LRESULT* result) override;

 private:
  void ApplyPriority();
  // Writes the three values the page owns ("Bandwidth" always 0).
  void WriteAll();
  void ShowNames();
  void SelectCpu(bool is586);

  ConfigContext context_;
  Settings settings_;  // as shown: "Filter" and the step already mapped
};

class NetworkPage : public PropertyPage {
 public:
  explicit NetworkPage(const ConfigContext& context);

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnOK() override;

 private:
  ConfigContext context_;
};

// Builds the sheet with both pages and runs it modally.
void RunConfigSheet(const ConfigContext& context);

}  // namespace bramble
