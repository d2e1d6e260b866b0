// The decoder's diagnostic texts (each mixed-block granule is reported) go
// to a hook the program sets, or nowhere.
#pragma once

namespace bramble {

using DiagnosticHook = void (*)(const char* text);
// Process-wide; set once at start-up.
void SetDiagnosticHook(DiagnosticHook hook);
void Diagnose(const char* text);

}  // namespace bramble
