// Holds Wine's desktop open for a whole test run. Wine closes the desktop
// (and its explorer process) a moment after the last program using it exits;
// the next program then starts a new explorer, which inherits that program's
// output pipes and, on a loaded machine, may not come up in time. One hidden
// window kept alive here avoids both. Ends with the wineserver.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = DefWindowProcA;
  window_class.hInstance = instance;
  window_class.lpszClassName = "BramblecotDesktopKeeper";
  if (!RegisterClassA(&window_class)) return 1;
  HWND window = CreateWindowExA(0, window_class.lpszClassName, "", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr,
                                instance, nullptr);
  if (!window) return 1;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}
