#include "host/streaming/StreamSettings.h"

const char kStreamSettingsKey[] = "Software\\Bramblecot\\Jubora\\Tolquin";

namespace {

const char kConnectValue[] = "ConnectTimeout";
const char kReadValue[] = "ReadTimeout";

DWORD Clamp(DWORD v) {
  if (v < StreamSettings::kMinSeconds) return StreamSettings::kMinSeconds;
  if (v > StreamSettings::kMaxSeconds) return StreamSettings::kMaxSeconds;
  return v;
}

void QuerySeconds(HKEY key, const char* name, DWORD* seconds) {
  DWORD type = 0, value = 0, size = sizeof(value);
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
          ERROR_SUCCESS &&
      type == REG_DWORD && size == sizeof(value))
    *seconds = Clamp(value);
}

}  // namespace

StreamSettings StreamSettings::Load() {
  StreamSettings s;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kStreamSettingsKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    QuerySeconds(key, kConnectValue, &s.connect_seconds);
    QuerySeconds(key, kReadValue, &s.read_seconds);
    RegCloseKey(key);
  }
  return s;
}

bool StreamSettings::Save() const {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kStreamSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return false;
  DWORD c = Clamp(connect_seconds), r = Clamp(read_seconds);
  bool ok = RegSetValueExA(key, kConnectValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&c),
                           sizeof(c)) == ERROR_SUCCESS &&
            RegSetValueExA(key, kReadValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&r),
                           sizeof(r)) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}
