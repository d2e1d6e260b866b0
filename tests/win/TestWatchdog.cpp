// Linked into every Windows test program: a test that runs far longer than
// any test should (a hang in the code under test, or in the test) ends the
// program with its name and a failure status, so the run goes on and the
// output so far is shown, instead of waiting for the runner's time-out.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

DWORD WINAPI Watch(void*) {
  const char* text = std::getenv("BRAMBLE_TEST_LIMIT_MS");
  const DWORD limit = text && std::atol(text) > 0 ? DWORD(std::atol(text)) : 120000;
  std::string current;
  for (DWORD since = GetTickCount();; Sleep(500)) {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "";
    if (name != current) {
      current = name;
      since = GetTickCount();
    } else if (!name.empty() && GetTickCount() - since > limit) {
      std::fflush(stdout);
      std::fprintf(stderr, "\nwatchdog: %s still running after %lu ms: ended\n", name.c_str(), (unsigned long)limit);
      std::fflush(stderr);
      TerminateProcess(GetCurrentProcess(), 124);
    }
  }
}

const bool g_started = CloseHandle(CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr));

}  // namespace
