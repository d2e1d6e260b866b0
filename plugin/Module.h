// What the rest of the plug-in needs from the library itself.
#pragma once

#include <windows.h>

namespace bramble {

// The plug-in library's own instance handle (for its resources).
HINSTANCE PluginInstance();

}  // namespace bramble
