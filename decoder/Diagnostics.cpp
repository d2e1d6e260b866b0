#include "decoder/Diagnostics.h"

#include <atomic>

namespace bramble {

namespace {
std::atomic<DiagnosticHook> g_hook{nullptr};
}  // namespace

void SetDiagnosticHook(DiagnosticHook hook) { g_hook = hook; }

void Diagnose(const char* text) {
  if (const DiagnosticHook hook = g_hook) hook(text);
}

}  // namespace bramble
