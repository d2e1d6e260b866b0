#include "config/Language.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/SettingsKey.h"

namespace bramble {

namespace {
// The directory of `module`'s file (null: the program's), ending in a
// backslash, into MAX_PATH characters.
void ModuleDirectory(HMODULE module, char* out) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(module, path, MAX_PATH);
  path[MAX_PATH - 1] = '\0';
  char* slash = std::strrchr(path, '\\');
  if (slash) slash[1] = '\0';
  const size_t length = std::strlen(path);
  if ((length == 0 || path[length - 1] != '\\') && length + 1 < MAX_PATH) std::strcat(path, "\\");
  std::memcpy(out, path, MAX_PATH);
}

// The plug-in's own directory: the module that holds this code.
void OwnDirectory(char* out) {
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&OwnDirectory), &self);
  ModuleDirectory(self, out);
}
}  // namespace

void GetHostDirectory(char* out) { ModuleDirectory(nullptr, out); }

LanguageLibrary::LanguageLibrary(const char* directory, const char* plugin_directory) {
  if (directory) {
    std::snprintf(directory_, sizeof directory_, "%s", directory);
    own_directory_ = true;
  }
  if (plugin_directory)
    std::snprintf(plugin_directory_, sizeof plugin_directory_, "%s", plugin_directory);
  else
    OwnDirectory(plugin_directory_);
}

LanguageLibrary::~LanguageLibrary() { Release(); }

void LanguageLibrary::Release() {
  if (handle_) FreeLibrary(handle_);
  handle_ = nullptr;
}

void LanguageLibrary::LoadLibraryOnce() {
  char path[MAX_PATH] = {};
  if (own_directory_)
    std::snprintf(path, sizeof path, "%s", directory_);
  else
    GetHostDirectory(path);
  const size_t directory_length = std::strlen(path);
  // The setting goes into the room after the directory; absent, the path
  // is the directory alone and the load fails over to the fallback.
  DWORD type = REG_SZ, length = DWORD(MAX_PATH - directory_length - 1);
  if (SettingsKey().QueryValue(kGeneralSubkey, kLanguageValue, &type, path + directory_length, &length) != 0)
    path[directory_length] = '\0';
  path[MAX_PATH - 1] = '\0';
  handle_ = LoadLibraryA(path);
  load_error_ = GetLastError();
  if (!handle_) {
    char fallback[MAX_PATH] = {};
    path[directory_length] = '\0';
    std::snprintf(fallback, sizeof fallback, "%s\\%s", path, kLanguageFallback);
    handle_ = LoadLibraryA(fallback);
    load_error_ = GetLastError();
    if (handle_)
      SettingsKey().SetValue(kGeneralSubkey, kLanguageValue, REG_SZ, kLanguageFallback, sizeof kLanguageFallback);
  }
  // The release installs a copy beside the plug-in for a host that has
  // none. Not remembered: "Language" names a file beside the host.
  if (!handle_) {
    char beside_plugin[MAX_PATH] = {};
    std::snprintf(beside_plugin, sizeof beside_plugin, "%s%s", plugin_directory_, kLanguageFallback);
    handle_ = LoadLibraryA(beside_plugin);
    load_error_ = GetLastError();
  }
  // A success may leave an old error code behind; only a failure counts.
  if (handle_) load_error_ = 0;
  else if (load_error_ == 0) load_error_ = ERROR_MOD_NOT_FOUND;
}

const char* LanguageLibrary::Load(unsigned id) {
  text_[0] = '\0';
  if (!handle_) {
    if (load_error_ != 0) return text_;
    LoadLibraryOnce();
  }
  // Without a library this one lookup reads the host program's own table.
  if (LoadStringA(handle_, id, text_, kLanguageTextChars) <= 0) text_[0] = '\0';
  return text_;
}

namespace {
LanguageLibrary* g_language = nullptr;

void ReleaseLanguage() {
  delete g_language;
  g_language = nullptr;
}
}  // namespace

const char* LoadLanguageString(unsigned id) {
  if (!g_language) {
    g_language = new LanguageLibrary;
    std::atexit(ReleaseLanguage);
  }
  return g_language->Load(id);
}

}  // namespace bramble
