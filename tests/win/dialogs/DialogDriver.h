// Drives real dialogs the way a user would: the modal call runs on the test
// thread while a second thread finds the window, reads and changes its
// controls and closes it. A watchdog closes anything left open.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace dialogs {

// Runs `modal` here and `drive` on a second thread. After `drive` returns
// (or after `timeout_ms`), every window the test thread still shows is
// cancelled, so `modal` always returns. False when the watchdog had to act.
bool RunDriven(const std::function<void()>& modal, const std::function<void()>& drive, DWORD timeout_ms = 15000);

// The visible top-level window of `thread` whose caption is `caption`
// (any caption when null), waited for up to `timeout_ms`.
HWND WaitForWindow(DWORD thread, const char* caption, DWORD timeout_ms = 5000);
// Waits until `window` is gone.
bool WaitGone(HWND window, DWORD timeout_ms = 5000);

std::string Text(HWND window);
std::string ItemText(HWND dialog, int id);
void SetItemTextAsUser(HWND dialog, int id, const char* text);  // text and the modified flag
void TypeInto(HWND dialog, int id, const char* text);           // character by character
void Click(HWND dialog, int id);
bool Enabled(HWND dialog, int id);
bool Checked(HWND dialog, int id);
int TrackbarPos(HWND dialog, int id);
// Moves a trackbar and sends the release that a mouse would.
void DragTrackbar(HWND page, int id, int pos);

// The property sheet's page now shown, and a switch to page `index`.
HWND CurrentPage(HWND sheet);
HWND ShowPage(HWND sheet, int index);

// Path of a file beside the test program.
std::string BesideProgram(const char* name);

// Text `id` of the RCENU.DLL beside the test program (what the dialogs
// should show).
std::string LangText(unsigned id);
// A value of the user's settings tree as text (up to its NUL), or
// "<absent>".
std::string UserSetting(const char* subkey, const char* name);
void DeleteUserSetting(const char* subkey, const char* name);

// Xvfb screenshots: when BRAMBLE_SCREENSHOT_DIR is set, writes
// "<name>.ready" with the window's screen rectangle and waits for
// "<name>.done" from the script that takes the picture.
void OfferScreenshot(HWND window, const char* name);

}  // namespace dialogs
