// Connect and read time-outs, kept under the library's own registry key.
#pragma once

#include <windows.h>

struct StreamSettings {
  DWORD connect_seconds = 5;
  DWORD read_seconds = 10;

  static constexpr DWORD kMinSeconds = 1;
  static constexpr DWORD kMaxSeconds = 300;

  // Missing or out-of-range values give the defaults / nearest bound.
  static StreamSettings Load();
  bool Save() const;

  DWORD ConnectMs() const { return connect_seconds * 1000; }
  DWORD ReadMs() const { return read_seconds * 1000; }
};

// HKEY_CURRENT_USER relative path of the library's values.
extern const char kStreamSettingsKey[];
