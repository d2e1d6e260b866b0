#include "plugin/HostNotify.h"

#include <atomic>

#include "abi/HostInterfaces.h"

namespace bramble {

HRESULT HostQuery(const GUID& id, void** out) {
  HWND host = FindWindowA(kHostWindowClass, nullptr);
  if (!host) return E_NOINTERFACE;
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(host, kHostQueryMessage, reinterpret_cast<WPARAM>(&id), reinterpret_cast<LPARAM>(out),
                           SMTO_ABORTIFHUNG, kHostQueryTimeoutMs, &result))
    return E_NOINTERFACE;
  return HRESULT(LONG(result));
}

void Notify(std::atomic<int>& once, bool auto_switch, const char* text, int is_url, int time_ms) {
  JukeboxNotify* notify = nullptr;
  if (SUCCEEDED(HostQuery(kJukeboxNotifyId, reinterpret_cast<void**>(&notify))) && notify) {
    const int switch_flag = (auto_switch && once == 0) ? 1 : 0;
    if (is_url) {
      notify->vtbl->InfoText(notify, time_ms, text, 1, switch_flag);
    } else {
      // Texts are shown a second early.
      notify->vtbl->InfoText(notify, time_ms > 1000 ? time_ms - 1000 : 0, text, 0, switch_flag);
    }
    notify->vtbl->Release(notify);
  }
  once = 1;
}

void NotifyEndOfSource(std::atomic<int>& once) {
  const int was = once.exchange(1);
  Notify(once, false, "\t", 0, 0);  // never switches: `once` is 1
  once = was;
  JukeboxNotify* notify = nullptr;
  if (SUCCEEDED(HostQuery(kJukeboxNotifyId, reinterpret_cast<void**>(&notify))) && notify) {
    notify->vtbl->SourceEnded(notify);
    notify->vtbl->SourceEndedAfter(notify);
    notify->vtbl->Release(notify);
  }
}

void ReportStreamInfo(const char* first_text, const char* second_text, int duration_s) {
  JukeboxStreamInfo* info = nullptr;
  const HRESULT r = HostQuery(kJukeboxStreamInfoId, reinterpret_cast<void**>(&info));
  if (SUCCEEDED(r) && info) {
    int item = 0;
    if (SUCCEEDED(info->vtbl->GetItem(info, &item))) {
      StreamItemInfo record = {};
      record.size = sizeof record;
      record.kind = kStreamItemKind;
      record.flags = kStreamInfoBase;
      if (first_text && *first_text) {
        record.flags |= kStreamInfoFirstText;
        record.first_text = first_text;
      }
      if (second_text && *second_text) {
        record.flags |= kStreamInfoSecondText;
        record.second_text = second_text;
      }
      record.duration_s = uint32_t(duration_s);
      info->vtbl->SetItemInfo(info, item, &record);
    }
  }
  if (info) info->vtbl->Release(info);
}

}  // namespace bramble
