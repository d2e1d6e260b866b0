// The jukebox's main window: answers the plug-in's interface queries with
// objects that print every call, and notes the end-of-stream message.
#pragma once

#include <windows.h>

namespace jukebox {

// Creates the hidden top-level window of the host's class.
HWND CreateHostWindow(HINSTANCE instance);

// Set when message 1026 arrived; cleared by the reader.
bool TakeEndOfStream();

}  // namespace jukebox
