// Prints a file's version resource as Explorer reads it.
#include <windows.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  DWORD ignored = 0, size = argc == 2 ? GetFileVersionInfoSizeA(argv[1], &ignored) : 0;
  std::vector<char> info(size + 1);
  VS_FIXEDFILEINFO* f = nullptr;
  UINT length = 0;
  if (!size || !GetFileVersionInfoA(argv[1], 0, size, info.data()) ||
      !VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&f), &length))
    return std::printf("no version resource\n"), 1;
  std::printf("file %u.%u.%u.%u product %u.%u.%u.%u\n", HIWORD(f->dwFileVersionMS), LOWORD(f->dwFileVersionMS),
              HIWORD(f->dwFileVersionLS), LOWORD(f->dwFileVersionLS), HIWORD(f->dwProductVersionMS),
              LOWORD(f->dwProductVersionMS), HIWORD(f->dwProductVersionLS), LOWORD(f->dwProductVersionLS));
  for (const char* name : {"CompanyName", "ProductName", "FileDescription", "FileVersion", "ProductVersion",
                           "OriginalFilename"}) {
    char key[80], *text = nullptr;
    std::snprintf(key, sizeof key, "\\StringFileInfo\\040904B0\\%s", name);
    if (VerQueryValueA(info.data(), key, reinterpret_cast<void**>(&text), &length)) std::printf("%s: %s\n", name, text);
  }
}
