// The language library: a resource-only library beside the host program
// whose string table holds every text the dialogs show. Its file name is
// the "Language" setting under "General", else "RCENU.DLL"; a host without
// one gets the "RCENU.DLL" beside the plug-in.
#pragma once

#include <windows.h>

namespace bramble {

constexpr char kLanguageFallback[] = "RCENU.DLL";
constexpr int kLanguageTextChars = 512;

// One library and its text buffer. The process keeps one (behind
// LoadLanguageString); tests make their own over another directory.
class LanguageLibrary {
 public:
  // Directories end in a backslash; null means the host program's and the
  // plug-in's own.
  explicit LanguageLibrary(const char* directory = nullptr, const char* plugin_directory = nullptr);
  ~LanguageLibrary();
  LanguageLibrary(const LanguageLibrary&) = delete;
  LanguageLibrary& operator=(const LanguageLibrary&) = delete;

  // Text of string `id` in the shared buffer, valid until the next lookup;
  // the empty text when the library or the string is missing. A library
  // that failed to load is not looked for again.
  const char* Load(unsigned id);
  void Release();

  HMODULE handle() const { return handle_; }

 private:
  void LoadLibraryOnce();

  char directory_[MAX_PATH] = {};
  bool own_directory_ = false;
  char plugin_directory_[MAX_PATH] = {};
  HMODULE handle_ = nullptr;
  DWORD load_error_ = 0;
  char text_[kLanguageTextChars] = {};
};

// The process-wide library's text for `id` (one shared 512-character
// buffer; released at process exit).
const char* LoadLanguageString(unsigned id);

// Directory of the host program's executable, ending in a backslash.
// `out` holds MAX_PATH characters.
void GetHostDirectory(char* out);

}  // namespace bramble
