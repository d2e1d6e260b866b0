// Whole files and byte strings for tests: WriteFile replaces `path` (false on
// failure), ReadFile gives the whole file (empty when it cannot be read).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace bramble {

inline std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

namespace test {

inline bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  const bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return f && std::fclose(f) == 0 && ok;
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> out;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t buf[1 << 16];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
  }
  return out;
}

}  // namespace test
}  // namespace bramble
