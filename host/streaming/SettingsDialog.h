// The library's own small settings dialog (time-outs).
#pragma once

#include <windows.h>

#include "host/streaming/StreamSettings.h"

// Modal; shows the stored values and stores them on OK. Returns 1 when
// stored (and updates *settings), else 0.
int ShowSettingsDialog(HWND owner, StreamSettings* settings);
