#include "config/SettingsKey.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bramble {

namespace {
constexpr DWORD kNameBytes = 260;

bool QueryDword(HKEY key, const char* name, DWORD* value) {
  if (!key) return false;
  DWORD type = 0, length = sizeof(DWORD), v = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&v), &length) != ERROR_SUCCESS)
    return false;
  *value = v;
  return true;
}

void StoreDword(HKEY key, const char* name, DWORD value) {
  if (key) RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}
}  // namespace

SettingsKey::SettingsKey() {
  if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kSettingsRoot, &machine_root_) != ERROR_SUCCESS) machine_root_ = nullptr;
  if (RegCreateKeyA(HKEY_CURRENT_USER, kSettingsRoot, &user_root_) != ERROR_SUCCESS) user_root_ = nullptr;
  ReconcileId();
}

SettingsKey::~SettingsKey() {
  if (user_root_) RegCloseKey(user_root_);
  if (machine_root_) RegCloseKey(machine_root_);
}

void SettingsKey::ReconcileId() {
  installation_id_ = 0;
  QueryDword(machine_root_, "ID", &installation_id_);
  DWORD user_id = 0;
  if (!QueryDword(user_root_, "ID", &user_id)) {
    StoreDword(user_root_, "ID", installation_id_);
    return;
  }
  if (user_id == installation_id_) return;
  // A new installation: the user's settings of the old one are dropped.
  if (user_root_) RegCloseKey(user_root_);
  user_root_ = nullptr;
  DeleteTree(HKEY_CURRENT_USER, kSettingsRoot);
  if (RegCreateKeyA(HKEY_CURRENT_USER, kSettingsRoot, &user_root_) != ERROR_SUCCESS) user_root_ = nullptr;
  StoreDword(user_root_, "ID", installation_id_);
}

LONG SettingsKey::SetValue(const char* subkey, const char* name, DWORD type, const void* data, DWORD length) {
  HKEY key = nullptr;
  if (!user_root_ || RegCreateKeyA(user_root_, subkey, &key) != ERROR_SUCCESS) return kSettingsCannotCreate;
  RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), length);
  RegCloseKey(key);
  return 0;
}

LONG SettingsKey::QueryValue(const char* subkey, const char* name, DWORD* type, void* data, DWORD* length) {
  const DWORD capacity = *length;
  HKEY key = nullptr;
  DWORD found_type = 0;
  if (user_root_ && RegOpenKeyExA(user_root_, subkey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    const LONG r = RegQueryValueExA(key, name, nullptr, &found_type, static_cast<BYTE*>(data), length);
    RegCloseKey(key);
    if (r == ERROR_SUCCESS) return 0;
    if (r == ERROR_MORE_DATA) return kSettingsMoreData;
  }
  *length = capacity;
  if (!machine_root_ || RegOpenKeyExA(machine_root_, subkey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
    return kSettingsFail;
  const LONG r = RegQueryValueExA(key, name, nullptr, &found_type, static_cast<BYTE*>(data), length);
  RegCloseKey(key);
  if (r == ERROR_MORE_DATA) return kSettingsMoreData;
  if (r != ERROR_SUCCESS) return kSettingsFail;
  // Copy the machine default into the user's tree, with the type asked for.
  if (!user_root_ || RegCreateKeyA(user_root_, subkey, &key) != ERROR_SUCCESS) return 0;
  RegSetValueExA(key, name, 0, *type, static_cast<const BYTE*>(data), *length);
  RegCloseKey(key);
  return 0;
}

void SettingsKey::DeleteTree(HKEY parent, const char* name) {
  HKEY key = nullptr;
  if (RegCreateKeyA(parent, name, &key) != ERROR_SUCCESS) return;
  char child[kNameBytes];
  // Each pass removes index 0; stop when it cannot be removed either.
  while (RegEnumKeyA(key, 0, child, kNameBytes) == ERROR_SUCCESS) {
    DeleteTree(key, child);
    char again[kNameBytes];
    if (RegEnumKeyA(key, 0, again, kNameBytes) == ERROR_SUCCESS && std::strcmp(again, child) == 0) break;
  }
  RegCloseKey(key);
  RegDeleteKeyA(parent, name);
}

int ReadSettingNumber(const char* subkey, const char* name, int fallback) {
  char text[260] = {};
  DWORD type = REG_SZ, length = sizeof text;
  // An oversized value leaves the buffer undefined: keep the default then.
  if (SettingsKey().QueryValue(subkey, name, &type, text, &length) != 0) return fallback;
  text[length < sizeof text ? length : sizeof text - 1] = '\0';  // a stored value need not end in NUL
  return std::atoi(text);
}

DWORD ReadSettingDword(const char* subkey, const char* name, DWORD default_value) {
  DWORD value = default_value, type = REG_DWORD, length = sizeof value;
  if (SettingsKey().QueryValue(subkey, name, &type, &value, &length) != 0 || length != sizeof value)
    return default_value;
  return value;
}

int ReadSettingBinary(const char* subkey, const char* name, void* data, DWORD capacity) {
  DWORD type = REG_BINARY, length = capacity;
  if (SettingsKey().QueryValue(subkey, name, &type, data, &length) != 0) return -1;
  return int(length);
}

void WriteSettingDword(const char* subkey, const char* name, DWORD value) {
  SettingsKey().SetValue(subkey, name, REG_DWORD, &value, sizeof value);
}

void WriteSettingNumber(const char* subkey, const char* name, int value) {
  char text[256] = {};
  std::snprintf(text, sizeof text, "%d", value);
  SettingsKey().SetValue(subkey, name, REG_SZ, text, sizeof text);
}

}  // namespace bramble
