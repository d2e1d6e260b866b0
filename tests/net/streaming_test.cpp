// A smoke test of the host's streaming library: Plugins\Tolquin.DLL loaded
// as the player loads it and driven through the raw slot numbers and record
// offsets, against the servers of tests/net/run_net_tests.sh.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "../support/TestFiles.h"

namespace {

#ifdef _WIN64
#define SLOT_CC
#else
#define SLOT_CC __thiscall
#endif

using Bytes = std::vector<uint8_t>;
const char kSettingsKey[] = "Software\\Bramblecot\\Jubora\\Tolquin";

// The object as the player sees it: a table of operations, a spare word,
// then the open stream's record.
enum Slot { kPrepare, kFinish, kOpen, kClose, kRead, kSeek, kIsSeekable, kShowSettings = 8, kPrefetch };
struct Streaming {
  void* object = nullptr;
  template <class... A>
  int operator()(Slot slot, A... args) {
    using Fn = int(SLOT_CC*)(void*, A...);
    return reinterpret_cast<Fn>((*static_cast<void***>(object))[slot])(object, args...);
  }
  int Open(const std::string& url) { return (*this)(kOpen, url.c_str()); }
  const uint8_t* Record() const { return static_cast<const uint8_t* const*>(object)[2]; }
  uint32_t ContentLength() const { return *reinterpret_cast<const uint32_t*>(Record() + 68); }
  std::string Text(size_t offset) const {
    const char* p = *reinterpret_cast<const char* const*>(Record() + offset);
    return p ? p : "(null)";
  }
};

std::string Env(const char* name) { return getenv(name) ? getenv(name) : ""; }
std::string Url(const char* port, const std::string& path) { return "http://127.0.0.1:" + Env(port) + "/" + path; }
void SetTimeouts(DWORD connect, DWORD read) {
  RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "ConnectTimeout", REG_DWORD, &connect, 4);
  RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "ReadTimeout", REG_DWORD, &read, 4);
}
DWORD StoredTimeout(const char* name) {
  DWORD v = 0, size = 4;
  RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &v, &size);
  return v;
}

// Reads in `chunk` pieces up to the first short read.
Bytes ReadAll(Streaming& s, int chunk) {
  Bytes all, buf(chunk);
  for (int n = chunk; n == chunk && all.size() < (64u << 20);) {
    n = std::max(s(kRead, buf.data(), chunk), 0);
    all.insert(all.end(), buf.begin(), buf.begin() + n);
  }
  return all;
}

class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("BRAMBLE_NGINX_PORT").empty()) << "run through tests/net/run_net_tests.sh";
    auto get = reinterpret_cast<void* (*)()>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("Plugins\\Tolquin.DLL"), "GetStreamingObject")));
    s.object = get ? get() : nullptr;
    ASSERT_NE(s.object, nullptr);
    SetTimeouts(10, 10);
    s(kPrepare);
  }
  void TearDown() override {
    if (s.object) s(kFinish);
    RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
  }
  Streaming s;
  const std::string name_ = "l3-he_44khz.bit";
  const Bytes want_ = bramble::test::ReadFile(Env("BRAMBLE_WWW") + "\\" + name_);
};

TEST_F(StreamTest, WholeFilePrefetchAndRangeSeeksFromNginx) {
  const std::string url = Url("BRAMBLE_NGINX_PORT", name_);
  EXPECT_EQ(s(kIsSeekable, url.c_str()), 1);
  ASSERT_EQ(s.Open(url), 1);
  EXPECT_EQ(s.ContentLength(), want_.size());
  EXPECT_EQ(s.Text(80), name_);
  EXPECT_EQ(s.Text(96), "(null)");
  // Prefetched bytes are delivered again by Prefetch and by Read.
  Bytes first(10240), again(10240);
  ASSERT_EQ(s(kPrefetch, first.data(), 10240), 10240);
  ASSERT_EQ(s(kPrefetch, again.data(), 10240), 10240);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), want_.begin()));
  EXPECT_TRUE(first == again);
  // Odd chunks cross the ring's and the reply's boundaries.
  EXPECT_TRUE(ReadAll(s, 1517) == want_);

  for (uint32_t offset : {100000u, 777u, uint32_t(want_.size() - 100)}) {
    EXPECT_EQ(s(kSeek, offset), 1);
    const int expect = int(std::min<size_t>(4096, want_.size() - offset));
    ASSERT_EQ(s(kRead, first.data(), 4096), expect) << offset;
    EXPECT_TRUE(std::equal(first.begin(), first.begin() + expect, want_.begin() + offset)) << offset;
  }
  // nginx logs a reply only once it has sent it: wait for the last one.
  const std::string ranged = "\"GET /" + name_ + " HTTP/1.1\" 206 ";
  int ranges = 0;
  for (const DWORD start = GetTickCount(); ranges < 4 && GetTickCount() - start < 10000; Sleep(20)) {
    const Bytes log = bramble::test::ReadFile(Env("BRAMBLE_NGINX_LOG"));
    const std::string text(log.begin(), log.end());
    ranges = 0;
    for (size_t at = text.find(ranged); at != std::string::npos; at = text.find(ranged, at + 1)) ++ranges;
  }
  EXPECT_EQ(ranges, 4) << "range requests: the seekable probe's and one per seek";
  s(kClose);
  EXPECT_EQ(s.Record(), nullptr);
}

TEST_F(StreamTest, RedirectsUpToTheLimitAndMissingFiles) {
  ASSERT_EQ(s.Open(Url("BRAMBLE_NGINX_PORT", "hop/hop/hop/hop/hop/" + name_)), 1);
  EXPECT_TRUE(ReadAll(s, 4096) == want_);
  EXPECT_EQ(s.Open(Url("BRAMBLE_NGINX_PORT", "hop/hop/hop/hop/hop/hop/" + name_)), 0) << "five redirects at most";
  EXPECT_EQ(s.Record(), nullptr);
  EXPECT_EQ(s.Open(Url("BRAMBLE_NGINX_PORT", "missing.mp3")), 0);
}

TEST_F(StreamTest, StalledServerEndsTheReadAfterTheReadTimeout) {
  SetTimeouts(30, 2);
  s(kPrepare);
  ASSERT_EQ(s.Open(Url("BRAMBLE_STALL_PORT", name_)), 1);
  Bytes buf(8192);
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(s(kRead, buf.data(), 8192), 4096) << "what came before the stall";
  const ULONGLONG took = GetTickCount64() - start;
  EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 4096, want_.begin()));
  // Far below the connect time-out, with room for a loaded machine.
  EXPECT_GT(took, 1000u);
  EXPECT_LT(took, 12000u) << "the read time-out is the one used";
}

TEST_F(StreamTest, NoContentCodingAndASilentServerCostsOneReadTimeout) {
  // Told that only the bytes as they are will do, a server sends them so.
  ASSERT_EQ(s.Open(Url("BRAMBLE_NGINX_PORT", "gz/" + name_)), 1);
  EXPECT_TRUE(ReadAll(s, 4096) == want_);
  EXPECT_EQ(s.Open(Url("BRAMBLE_NGINX_PORT", "coded/" + name_)), 0);
  EXPECT_EQ(GetLastError(), 12175u) << "a coded body is refused, never decoded as noise";
  // Probe and open, as Play runs them: one read time-out in all.
  SetTimeouts(30, 3);
  s(kPrepare);
  const std::string silent = Url("BRAMBLE_SILENT_PORT", name_);
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(s(kIsSeekable, silent.c_str()), 0);
  EXPECT_EQ(s.Open(silent), 0);
  EXPECT_LT(GetTickCount64() - start, 5500u);
}

// What a fresh install uses, what the dialog keeps out and what a stored
// value out of bounds is read as.
TEST_F(StreamTest, SettingsDialogShowsTheShippedDefaultsAndKeepsTheBounds) {
  auto dialog = [&](const std::function<void(HWND)>& user) {
    std::string shown;
    std::thread t([&] {
      // Shown once WM_INITDIALOG has filled it in.
      HWND d = nullptr;
      for (ULONGLONG end = GetTickCount64() + 20000; !IsWindowVisible(d) && GetTickCount64() < end; Sleep(20))
        d = FindWindowA(nullptr, "Network Stream Settings");
      char text[16] = {};
      for (int item : {101, 102}) shown += (GetDlgItemTextA(d, item, text, 16), text + std::string(" "));
      user(d);
    });
    const int changed = s(kShowSettings, HWND(nullptr));
    t.join();
    return shown + std::to_string(changed);
  };
  RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
  DWORD saved_refused = 0;
  EXPECT_EQ(dialog([&](HWND d) {
              for (const char* refused : {"0", "301"}) {
                SetDlgItemTextA(d, 101, refused);
                SendMessageA(d, WM_COMMAND, IDOK, 0);
                saved_refused += StoredTimeout("ConnectTimeout");
              }
              SetDlgItemTextA(d, 101, "300");
              SetDlgItemTextA(d, 102, "1");
              SendMessageA(d, WM_COMMAND, IDOK, 0);
            }),
            "5 10 1");
  EXPECT_EQ(saved_refused, 0u) << "0 s or 301 s was saved";
  EXPECT_EQ(StoredTimeout("ConnectTimeout") * 1000 + StoredTimeout("ReadTimeout"), 300001u);
  SetTimeouts(0, 1000);
  EXPECT_EQ(dialog([](HWND d) { SendMessageA(d, WM_COMMAND, IDCANCEL, 0); }), "1 300 0");
}

}  // namespace
