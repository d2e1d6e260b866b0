#include "host/HostWindow.h"

#include <atomic>
#include <cstring>

#include "abi/HostInterfaces.h"
#include "abi/InModule.h"
#include "host/Events.h"

namespace jukebox {

namespace {
bool g_end_of_stream = false;

// Each query hands out a fresh object; it frees itself on its last release.
struct NotifyObject {
  bramble::JukeboxNotify iface;
  std::atomic<long> refs{1};
};
struct StreamInfoObject {
  bramble::JukeboxStreamInfo iface;
  std::atomic<long> refs{1};
};

ULONG STDMETHODCALLTYPE NotifyRelease(bramble::JukeboxNotify* self) {
  auto* object = reinterpret_cast<NotifyObject*>(self);
  PrintEvent("notify release");
  const long left = --object->refs;
  if (left == 0) delete object;
  return ULONG(left);
}
HRESULT STDMETHODCALLTYPE NotifySourceEnded(bramble::JukeboxNotify*) {
  PrintEvent("notify source-ended");
  return S_OK;
}
HRESULT STDMETHODCALLTYPE NotifyInfoText(bramble::JukeboxNotify*, int time_ms, const char* text, int is_url,
                                          int auto_switch) {
  char escaped[600];
  PrintEvent("notify text time=%d url=%d switch=%d text=%s", time_ms, is_url, auto_switch,
             EscapeText(text, escaped, sizeof escaped));
  return S_OK;
}
HRESULT STDMETHODCALLTYPE NotifySourceEndedAfter(bramble::JukeboxNotify*) {
  PrintEvent("notify source-ended-after");
  return S_OK;
}
const bramble::JukeboxNotifyVtbl kNotifyVtbl = {nullptr, nullptr, NotifyRelease, NotifySourceEnded,
                                                nullptr, NotifyInfoText, NotifySourceEndedAfter};

ULONG STDMETHODCALLTYPE StreamInfoRelease(bramble::JukeboxStreamInfo* self) {
  auto* object = reinterpret_cast<StreamInfoObject*>(self);
  PrintEvent("stream-info release");
  const long left = --object->refs;
  if (left == 0) delete object;
  return ULONG(left);
}
HRESULT STDMETHODCALLTYPE StreamInfoGetItem(bramble::JukeboxStreamInfo*, int* item) {
  PrintEvent("stream-info get-item");
  if (!item) return E_POINTER;
  *item = 1;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE StreamInfoSetItemInfo(bramble::JukeboxStreamInfo*, int item,
                                                 const bramble::StreamItemInfo* info) {
  if (!info) return E_POINTER;
  char first[300], second[300];
  PrintEvent("stream-info set-item item=%d size=%u kind=%u flags=0x%02X duration=%u first=%s second=%s", item,
             info->size, info->kind, info->flags, info->duration_s,
             (info->flags & bramble::kStreamInfoFirstText) ? EscapeText(info->first_text, first, sizeof first) : "-",
             (info->flags & bramble::kStreamInfoSecondText) ? EscapeText(info->second_text, second, sizeof second)
                                                            : "-");
  return S_OK;
}
const bramble::JukeboxStreamInfoVtbl kStreamInfoVtbl = {
    nullptr, nullptr, StreamInfoRelease, {}, StreamInfoSetItemInfo, StreamInfoGetItem};

LRESULT Query(const GUID* id, void** out) {
  if (!id || !out) return E_POINTER;
  if (IsEqualGUID(*id, bramble::kJukeboxNotifyId)) {
    auto* object = new NotifyObject;
    object->iface.vtbl = &kNotifyVtbl;
    *out = &object->iface;
    return S_OK;
  }
  if (IsEqualGUID(*id, bramble::kJukeboxStreamInfoId)) {
    auto* object = new StreamInfoObject;
    object->iface.vtbl = &kStreamInfoVtbl;
    *out = &object->iface;
    return S_OK;
  }
  return E_NOINTERFACE;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == bramble::kHostQueryMessage)
    return Query(reinterpret_cast<const GUID*>(wparam), reinterpret_cast<void**>(lparam));
  if (message == bramble::kEndOfStreamMessage) {
    g_end_of_stream = true;
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}
}  // namespace

HWND CreateHostWindow(HINSTANCE instance) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = bramble::kHostWindowClass;
  RegisterClassA(&wc);
  return CreateWindowA(bramble::kHostWindowClass, "Jukebox", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320,
                       200, nullptr, nullptr, instance, nullptr);
}

bool TakeEndOfStream() {
  const bool seen = g_end_of_stream;
  g_end_of_stream = false;
  return seen;
}

}  // namespace jukebox
