// Whole files for tests that write and read them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bramble {
namespace test {

// Writes `bytes` to `path`, replacing it; false on failure.
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
// The whole file; empty when it cannot be read.
std::vector<uint8_t> ReadFile(const std::string& path);

}  // namespace test
}  // namespace bramble
