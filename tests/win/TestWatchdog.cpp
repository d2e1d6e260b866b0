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

DWORD LimitMs() {
  const char* text = std::getenv("BRAMBLE_TEST_LIMIT_MS");
  const long ms = text ? std::strtol(text, nullptr, 10) : 0;
  return ms > 0 ? DWORD(ms) : 120000;
}

DWORD WINAPI Watch(void*) {
  const DWORD limit = LimitMs();
  std::string current;
  DWORD since = GetTickCount();
  for (;;) {
    Sleep(500);
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : std::string();
    if (name != current) {
      current = name;
      since = GetTickCount();
    } else if (!name.empty() && GetTickCount() - since > limit) {
      std::fflush(stdout);
      std::fprintf(stderr, "\nwatchdog: %s still running after %lu ms: ended\n", name.c_str(),
                   static_cast<unsigned long>(limit));
      std::fflush(stderr);
      TerminateProcess(GetCurrentProcess(), 124);
    }
  }
}

const bool g_started = [] {
  HANDLE thread = CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr);
  if (thread) CloseHandle(thread);
  return thread != nullptr;
}();

}  // namespace
