// Messages to the host's main window: the interface query, information
// texts with the auto-switch flag, the end-of-source calls and the report
// of a network stream's texts and duration. All best effort.
#pragma once

#include <windows.h>

#include <atomic>

namespace bramble {

constexpr DWORD kHostQueryTimeoutMs = 1000;

// Asks the host window for an interface; E_NOINTERFACE when there is no
// window or it does not answer in time.
HRESULT HostQuery(const GUID& id, void** out);

// One information text (is_url 0) or URL (1) at `time_ms` of the music.
// `once` is the session's notify-once flag: while it is 0 the text may
// switch the host's view if `auto_switch` ("QDX Auto Switch") allows; it is
// set afterwards.
void Notify(std::atomic<int>& once, bool auto_switch, const char* text, int is_url, int time_ms);

// The source has ended (called by the player's Close); `once` is left as it was.
void NotifyEndOfSource(std::atomic<int>& once);

// Texts (either may be null) and duration of a network stream.
void ReportStreamInfo(const char* first_text, const char* second_text, int duration_s);

}  // namespace bramble
