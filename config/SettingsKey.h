// The plug-in's settings in the registry: a per-user tree that is read and
// written, and a per-machine tree of defaults copied to the user on first
// use. A key object lives for one access.
#pragma once

#include <windows.h>

namespace bramble {

constexpr char kSettingsRoot[] = "Software\\Bramblecot\\Jubora";
constexpr char kPluginSubkey[] = "InPlugins\\Ostrel";
constexpr char kNotifySubkey[] = "InPlugins\\MP3";
constexpr char kGeneralSubkey[] = "General";
constexpr char kLanguageValue[] = "Language";  // under kGeneralSubkey; absent: the fallback library

constexpr LONG kSettingsMoreData = ERROR_MORE_DATA;  // 234
constexpr LONG kSettingsCannotCreate = 1016;         // ERROR_REGISTRY_IO_FAILED
constexpr LONG kSettingsFail = LONG(0x80004005);     // E_FAIL

class SettingsKey {
 public:
  // Opens both roots and brings the user's "ID" in step with the machine's;
  // a changed machine "ID" wipes the user's whole tree.
  SettingsKey();
  virtual ~SettingsKey();
  SettingsKey(const SettingsKey&) = delete;
  SettingsKey& operator=(const SettingsKey&) = delete;

  // Stores a value under the user root: 0, or 1016 when the subkey cannot be
  // created. The store's own result is not reported.
  LONG SetValue(const char* subkey, const char* name, DWORD type, const void* data, DWORD length);

  // Reads a value from the user tree, else from the machine tree (copying
  // it to the user with the caller's `*type`): 0, 234 or E_FAIL. The caller
  // presets `*length` to the buffer size.
  LONG QueryValue(const char* subkey, const char* name, DWORD* type, void* data, DWORD* length);

  // Deletes `name` under `parent` and everything below it.
  static void DeleteTree(HKEY parent, const char* name);

  DWORD installation_id() const { return installation_id_; }

 private:
  void ReconcileId();

  HKEY user_root_ = nullptr;
  HKEY machine_root_ = nullptr;
  DWORD installation_id_ = 0;
};

// Readers and writers of one value (config/Settings.h names them): a
// missing value leaves the default.
int ReadSettingNumber(const char* subkey, const char* name, int fallback);
DWORD ReadSettingDword(const char* subkey, const char* name, DWORD default_value);
// A binary value of at most `capacity` bytes: its length, or -1 when absent.
int ReadSettingBinary(const char* subkey, const char* name, void* data, DWORD capacity);
void WriteSettingNumber(const char* subkey, const char* name, int value);
void WriteSettingDword(const char* subkey, const char* name, DWORD value);

}  // namespace bramble
