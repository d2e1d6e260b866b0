// Prints a file's version resource as Explorer reads it: the fixed file and
// product versions, then the English strings.
#include <windows.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  DWORD ignored = 0;
  const DWORD size = argc == 2 ? GetFileVersionInfoSizeA(argv[1], &ignored) : 0;
  std::vector<char> info(size + 1);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!size || !GetFileVersionInfoA(argv[1], 0, size, info.data()) ||
      !VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length)) {
    std::printf("no version resource\n");
    return 1;
  }
  const DWORD words[] = {fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS,
                         fixed->dwProductVersionLS};
  std::printf("file %u.%u.%u.%u product %u.%u.%u.%u\n", HIWORD(words[0]), LOWORD(words[0]), HIWORD(words[1]),
              LOWORD(words[1]), HIWORD(words[2]), LOWORD(words[2]), HIWORD(words[3]), LOWORD(words[3]));
  for (const char* name : {"CompanyName", "ProductName", "FileDescription", "FileVersion", "ProductVersion",
                           "OriginalFilename"}) {
    char key[80];
    char* text = nullptr;
    std::snprintf(key, sizeof key, "\\StringFileInfo\\040904B0\\%s", name);
    std::printf("%s: %s\n", name,
                VerQueryValueA(info.data(), key, reinterpret_cast<void**>(&text), &length) ? text : "(none)");
  }
  return 0;
}
