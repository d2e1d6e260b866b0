// Loads Plugins\Tolquin.DLL as the player does and drives its streaming
// object through the raw slot numbers and record offsets, against nginx
// and the scripted fault server that tests/net/run_streaming_tests.sh runs.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kSettingsKey[] = "Software\\Bramblecot\\Jubora\\Tolquin";

#ifdef _WIN64
#define SLOT_CC
#else
#define SLOT_CC __thiscall
#endif

// The object as the player sees it: a table of operations, a spare word,
// then the information record's address.
class Streaming {
 public:
  explicit Streaming(void* object) : object_(object) {}

  int Prepare() { return Call<int>(0); }
  int Finish() { return Call<int>(1); }
  int Open(const std::string& a) { return Call<int>(2, a.c_str()); }
  int Close() { return Call<int>(3); }
  int Read(void* buffer, int count) { return Call<int>(4, buffer, count); }
  int Seek(uint32_t offset) { return Call<int>(5, offset); }
  int IsSeekable(const std::string& a) { return Call<int>(6, a.c_str()); }
  int ShowSettings(HWND owner) { return Call<int>(8, owner); }
  int Prefetch(void* buffer, int count) { return Call<int>(9, buffer, count); }

  const uint8_t* Record() const { return static_cast<const uint8_t* const*>(object_)[2]; }
  uint32_t ContentLength() const { return Field<uint32_t>(68); }
  std::string FirstText() const { return Text(80); }
  std::string SecondText() const { return Text(96); }
  bool HasFirstText() const { return Field<const char*>(80) != nullptr; }
  bool HasSecondText() const { return Field<const char*>(96) != nullptr; }

 private:
  template <class R, class... A>
  R Call(int slot, A... args) {
    using Fn = R(SLOT_CC*)(void*, A...);
    void** table = *static_cast<void***>(object_);
    return reinterpret_cast<Fn>(table[slot])(object_, args...);
  }
  template <class T>
  T Field(size_t offset) const {
    T v{};
    if (Record()) memcpy(&v, Record() + offset, sizeof(v));
    return v;
  }
  std::string Text(size_t offset) const {
    const char* p = Field<const char*>(offset);
    return p ? p : "";
  }

  void* object_;
};

HMODULE g_module = nullptr;
Streaming* g_stream = nullptr;

std::string Env(const char* name) {
  const char* v = getenv(name);
  return v ? v : "";
}

std::string NginxUrl(const std::string& path) {
  return "http://127.0.0.1:" + Env("BRAMBLE_NGINX_PORT") + "/" + path;
}
std::string FaultUrl(const std::string& path) {
  return "http://127.0.0.1:" + Env("BRAMBLE_FAULT_PORT") + "/" + path;
}

std::vector<uint8_t> ReadLocal(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}
std::vector<uint8_t> WwwFile(const std::string& name) {
  return ReadLocal(Env("BRAMBLE_WWW") + "\\" + name);
}

void SetTimeouts(DWORD connect, DWORD read) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "ConnectTimeout", 0, REG_DWORD, reinterpret_cast<BYTE*>(&connect), 4);
  RegSetValueExA(key, "ReadTimeout", 0, REG_DWORD, reinterpret_cast<BYTE*>(&read), 4);
  RegCloseKey(key);
}

DWORD QueryTimeout(const char* name) {
  DWORD v = 0, size = 4;
  RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &v, &size);
  return v;
}

double Seconds(ULONGLONG since) { return (GetTickCount64() - since) / 1000.0; }

// Reads in `chunk` pieces until a short read; returns everything delivered.
std::vector<uint8_t> ReadAll(Streaming& s, int chunk, int* short_reads = nullptr) {
  std::vector<uint8_t> all, buf(chunk);
  for (int guard = 0; guard < 100000; ++guard) {
    int n = s.Read(buf.data(), chunk);
    if (n < 0 || n > chunk) {
      ADD_FAILURE() << "Read returned " << n;
      break;
    }
    all.insert(all.end(), buf.begin(), buf.begin() + n);
    if (n < chunk) {
      if (short_reads) ++*short_reads;
      break;
    }
  }
  return all;
}

const int kConnectSeconds = 2;
const int kReadSeconds = 2;

class Environment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_FALSE(Env("BRAMBLE_NGINX_PORT").empty()) << "run through tests/net/run_streaming_tests.sh";
    SetTimeouts(kConnectSeconds, kReadSeconds);
    g_module = LoadLibraryA("Plugins\\Tolquin.DLL");
    ASSERT_NE(g_module, nullptr);
    auto get = reinterpret_cast<void* (*)()>(reinterpret_cast<void*>(GetProcAddress(g_module, "GetStreamingObject")));
    ASSERT_NE(get, nullptr);
    void* object = get();
    ASSERT_NE(object, nullptr);
    ASSERT_EQ(get(), object) << "one object per library";
    g_stream = new Streaming(object);
  }
  void TearDown() override {
    if (g_stream) g_stream->Finish();
    RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
  }
};

class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(g_stream, nullptr);
    SetTimeouts(kConnectSeconds, kReadSeconds);
    g_stream->Prepare();
  }
  void TearDown() override {
    g_stream->Close();
    g_stream->Finish();
  }
  Streaming& s = *g_stream;
};

TEST_F(StreamTest, WholeFilesFromNginxMatchTheirBytes) {
  EXPECT_EQ(s.Record(), nullptr) << "no record before an open";
  for (const char* name : {"l1-fl4.bit", "l3-compl.bit", "M2L3_compl24.bit", "tone.mp3"}) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> want = WwwFile(name);
    ASSERT_GT(want.size(), 2000u);
    EXPECT_EQ(s.IsSeekable(NginxUrl(name)), 1);
    ASSERT_EQ(s.Open(NginxUrl(name)), 1);
    ASSERT_NE(s.Record(), nullptr);
    uint32_t size_field;
    memcpy(&size_field, s.Record(), 4);
    EXPECT_GE(size_field, 100u);
    EXPECT_EQ(s.ContentLength(), want.size());
    EXPECT_EQ(s.FirstText(), name);
    EXPECT_FALSE(s.HasSecondText());
    // Odd chunk sizes cross the ring's and the reply's boundaries.
    int short_reads = 0;
    std::vector<uint8_t> got = ReadAll(s, 1517, &short_reads);
    EXPECT_EQ(short_reads, 1);
    EXPECT_TRUE(got == want) << got.size() << " bytes read of " << want.size();
    uint8_t byte;
    EXPECT_EQ(s.Read(&byte, 1), 0) << "nothing after the end";
    s.Close();
    s.Close();  // a second Close on a closed stream is harmless
    EXPECT_EQ(s.Record(), nullptr);
    EXPECT_EQ(s.Read(&byte, 1), 0) << "nothing after Close";
  }
}

TEST_F(StreamTest, PrefetchedBytesAreReadAgain) {
  std::vector<uint8_t> want = WwwFile("l3-he_44khz.bit");
  ASSERT_EQ(s.Open(NginxUrl("l3-he_44khz.bit")), 1);
  std::vector<uint8_t> first(10240), again(10240), read(10240);
  ASSERT_EQ(s.Prefetch(first.data(), 10240), 10240);
  ASSERT_EQ(s.Prefetch(again.data(), 10240), 10240);
  ASSERT_EQ(s.Read(read.data(), 10240), 10240);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), want.begin()));
  EXPECT_EQ(first, again);
  EXPECT_EQ(first, read);
  // After a Read, Prefetch shows what comes next.
  ASSERT_EQ(s.Prefetch(first.data(), 100), 100);
  EXPECT_TRUE(std::equal(first.begin(), first.begin() + 100, want.begin() + 10240));

  // A file shorter than the request: Prefetch gives what there is.
  std::vector<uint8_t> small = WwwFile("l1-fl4.bit");
  ASSERT_EQ(s.Open(NginxUrl("l1-fl4.bit")), 1);
  EXPECT_EQ(s.Prefetch(first.data(), 10240), static_cast<int>(small.size()));
  EXPECT_TRUE(std::equal(small.begin(), small.end(), first.begin()));
  EXPECT_TRUE(ReadAll(s, 4096) == small);
}

TEST_F(StreamTest, SeekUsesRangeRequestsOnNginx) {
  std::vector<uint8_t> want = WwwFile("l3-he_44khz.bit");
  ASSERT_EQ(s.Open(NginxUrl("l3-he_44khz.bit")), 1);
  std::vector<uint8_t> buf(4096);
  ASSERT_EQ(s.Read(buf.data(), 1000), 1000);
  for (uint32_t offset : {100000u, 777u, 0u, static_cast<uint32_t>(want.size() - 100)}) {
    SCOPED_TRACE(offset);
    EXPECT_EQ(s.Seek(offset), 1);
    int expect = static_cast<int>(std::min<size_t>(4096, want.size() - offset));
    ASSERT_EQ(s.Read(buf.data(), 4096), expect);
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + expect, want.begin() + offset));
    EXPECT_EQ(s.ContentLength(), want.size()) << "the whole length survives a seek";
  }
  // Past the end the stream simply ends.
  s.Seek(static_cast<uint32_t>(want.size() + 10));
  EXPECT_EQ(s.Read(buf.data(), 16), 0);

  std::vector<uint8_t> log = ReadLocal(Env("BRAMBLE_NGINX_LOG"));
  std::string text(log.begin(), log.end());
  EXPECT_NE(text.find("\"GET /l3-he_44khz.bit HTTP/1.1\" 206"), std::string::npos)
      << "nginx saw no range request";
}

TEST_F(StreamTest, ServerWithoutRangesIsNotSeekableButSeekStillLandsRight) {
  std::vector<uint8_t> want = WwwFile("l2-test32.bit");
  EXPECT_EQ(s.IsSeekable(FaultUrl("file/l2-test32.bit")), 0);
  ASSERT_EQ(s.Open(FaultUrl("file/l2-test32.bit")), 1);
  EXPECT_EQ(s.ContentLength(), want.size());
  EXPECT_EQ(s.Seek(30000), 1);
  std::vector<uint8_t> buf(5000);
  ASSERT_EQ(s.Read(buf.data(), 5000), 5000);
  EXPECT_TRUE(std::equal(buf.begin(), buf.end(), want.begin() + 30000));

  // A live source: no length, not seekable.
  EXPECT_EQ(s.IsSeekable(FaultUrl("icy-genre/tone.mp3")), 0);
  EXPECT_EQ(s.IsSeekable(NginxUrl("missing.mp3")), 0);
  EXPECT_EQ(s.IsSeekable("ftp://127.0.0.1/x.mp3"), 0);
}

TEST_F(StreamTest, IcyFieldsGiveTheTexts) {
  std::vector<uint8_t> want = WwwFile("tone.mp3");
  ASSERT_EQ(s.Open(FaultUrl("icy-genre/tone.mp3")), 1);
  EXPECT_EQ(s.FirstText(), "Loopback Radio");
  EXPECT_EQ(s.SecondText(), "Test Genre");
  EXPECT_EQ(s.ContentLength(), 0u);
  EXPECT_TRUE(ReadAll(s, 4000) == want) << "HTTP/1.0 body read to the close";

  ASSERT_EQ(s.Open(FaultUrl("icy-desc/tone.mp3")), 1);
  EXPECT_EQ(s.FirstText(), "Loopback Radio");
  EXPECT_EQ(s.SecondText(), "Test Description") << "description before genre";

  ASSERT_EQ(s.Open(FaultUrl("icy-nameless/tone.mp3")), 1);
  EXPECT_EQ(s.FirstText(), "tone.mp3") << "no name: the address's last segment";
  EXPECT_EQ(s.SecondText(), "Test Genre");

  ASSERT_EQ(s.Open(NginxUrl("tone.mp3?session=1#x")), 1);
  EXPECT_EQ(s.FirstText(), "tone.mp3");
  ASSERT_EQ(s.Open(NginxUrl("")), 0) << "nginx lists no directory";
}

// WinINet may refuse the old "ICY 200 OK" status line, or take it for a reply
// without header fields and pass those on as body bytes. Either way no hang,
// and the audio arrives whole; the frame search skips the leading text.
TEST_F(StreamTest, IcyStatusLineEitherPlaysOrFailsCleanly) {
  std::vector<uint8_t> want = WwwFile("tone.mp3");
  ULONGLONG start = GetTickCount64();
  int opened = s.Open(FaultUrl("icy-status/tone.mp3"));
  EXPECT_LT(Seconds(start), kConnectSeconds + kReadSeconds + 1.5);
  if (!opened) {
    printf("[ info ] \"ICY 200 OK\" status line: refused\n");
    EXPECT_EQ(s.Record(), nullptr);
    return;
  }
  std::vector<uint8_t> got = ReadAll(s, 4096);
  ASSERT_GE(got.size(), want.size());
  size_t extra = got.size() - want.size();
  printf("[ info ] \"ICY 200 OK\" status line: accepted, %zu header bytes in the body, first text \"%s\"\n",
         extra, s.FirstText().c_str());
  EXPECT_LT(extra, 1024u);
  EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin() + extra));
  if (extra) {
    EXPECT_EQ(s.FirstText(), "tone.mp3") << "unparsed fields give no texts";
  }
}

TEST_F(StreamTest, RedirectsAreFollowedAtMostFiveTimes) {
  std::vector<uint8_t> want = WwwFile("l2-fl13.bit");
  ASSERT_EQ(s.Open(FaultUrl("redirect/5/l2-fl13.bit")), 1);
  EXPECT_TRUE(ReadAll(s, 4096) == want);
  EXPECT_EQ(s.FirstText(), "l2-fl13.bit");
  EXPECT_EQ(s.Open(FaultUrl("redirect/6/l2-fl13.bit")), 0);
  EXPECT_EQ(s.Record(), nullptr);

  // An endless loop is cut after the first request and five redirects.
  ASSERT_EQ(s.Open(FaultUrl("count/loop")), 1);
  ReadAll(s, 16);
  ULONGLONG start = GetTickCount64();
  EXPECT_EQ(s.Open(FaultUrl("loop")), 0);
  EXPECT_LT(Seconds(start), 2.0);
  ASSERT_EQ(s.Open(FaultUrl("count/loop")), 1);
  std::vector<uint8_t> count = ReadAll(s, 16);
  EXPECT_EQ(std::string(count.begin(), count.end()), "6");
}

TEST_F(StreamTest, RefusedMissingAndSilentServersFailOpenInTime) {
  ULONGLONG start = GetTickCount64();
  EXPECT_EQ(s.Open("http://127.0.0.1:" + Env("BRAMBLE_CLOSED_PORT") + "/x.mp3"), 0);
  EXPECT_LT(Seconds(start), kConnectSeconds + 1.0) << "connection refused";
  EXPECT_EQ(s.Record(), nullptr);

  EXPECT_EQ(s.Open(FaultUrl("nothing-here.mp3")), 0) << "404";
  EXPECT_EQ(s.Open(NginxUrl("nothing-here.mp3")), 0) << "404 from nginx";
  EXPECT_EQ(s.Record(), nullptr);
  EXPECT_EQ(s.Open("http://"), 0);
  EXPECT_EQ(s.Open("ftp://127.0.0.1/x"), 0);
  uint8_t byte;
  EXPECT_EQ(s.Read(&byte, 1), 0);

  start = GetTickCount64();
  EXPECT_EQ(s.Open(FaultUrl("stall-head")), 0) << "no reply head";
  double took = Seconds(start);
  EXPECT_LT(took, kConnectSeconds + kReadSeconds + 1.5);
  EXPECT_GT(took, kReadSeconds - 0.5);
}

TEST_F(StreamTest, BrokenBodiesEndTheStreamCleanly) {
  std::vector<uint8_t> want = WwwFile("l3-compl.bit");
  // The reply stops half-way through its announced length.
  ASSERT_EQ(s.Open(FaultUrl("truncate/l3-compl.bit")), 1);
  EXPECT_EQ(s.ContentLength(), want.size());
  ULONGLONG start = GetTickCount64();
  std::vector<uint8_t> got = ReadAll(s, 4096);
  EXPECT_LT(Seconds(start), kReadSeconds + 1.5);
  ASSERT_EQ(got.size(), want.size() / 2);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin()));

  // Not audio: delivered as it came, the decoder's frame search judges it.
  ASSERT_EQ(s.Open(FaultUrl("garbage")), 1);
  got = ReadAll(s, 4096);
  ASSERT_EQ(got.size(), 65536u);
  for (size_t i = 0; i < got.size(); ++i)
    if (got[i] != (i * 7 + 3) % 251) FAIL() << "garbage byte " << i;

  // 100 kB header lines: no hang, and texts stay bounded.
  for (const char* path : {"bighead/l2-fl13.bit", "bigname/l2-fl13.bit"}) {
    SCOPED_TRACE(path);
    start = GetTickCount64();
    int opened = s.Open(FaultUrl(path));
    EXPECT_LT(Seconds(start), kConnectSeconds + kReadSeconds + 1.5);
    printf("[ info ] %s: Open %s\n", path, opened ? "accepted it" : "refused it");
    if (opened) {
      EXPECT_LE(s.FirstText().size(), 255u);
      EXPECT_TRUE(ReadAll(s, 4096) == WwwFile("l2-fl13.bit"));
    }
  }
}

TEST_F(StreamTest, StalledServerEndsReadsWithinTheReadTimeout) {
  std::vector<uint8_t> want = WwwFile("l3-he_44khz.bit");
  for (DWORD read_seconds : {1u, 3u}) {
    SCOPED_TRACE(read_seconds);
    SetTimeouts(kConnectSeconds, read_seconds);
    ASSERT_EQ(s.Open(FaultUrl("stall/l3-he_44khz.bit")), 1);
    std::vector<uint8_t> buf(8192);
    ULONGLONG start = GetTickCount64();
    int n = s.Read(buf.data(), 8192);
    double took = Seconds(start);
    EXPECT_EQ(n, 4096) << "what came before the stall, then a short read";
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 4096, want.begin()));
    EXPECT_LT(took, read_seconds + 1.0);
    EXPECT_GT(took, read_seconds - 1.0) << "the registry's read time-out is the one used";
    start = GetTickCount64();
    EXPECT_EQ(s.Read(buf.data(), 100), 0);
    EXPECT_LT(Seconds(start), read_seconds + 1.0);
    s.Close();
  }
}

TEST_F(StreamTest, CloseAndFinishDuringAStalledReadReturnAtOnce) {
  SetTimeouts(kConnectSeconds, 10);
  for (int use_finish = 0; use_finish < 2; ++use_finish) {
    SCOPED_TRACE(use_finish ? "Finish" : "Close");
    ASSERT_EQ(s.Open(FaultUrl("stall/l3-he_44khz.bit")), 1);
    std::vector<uint8_t> buf(8192);
    std::atomic<int> result{-1};
    std::atomic<ULONGLONG> returned{0};
    std::thread reader([&] {
      result = s.Read(buf.data(), 8192);
      returned = GetTickCount64();
    });
    Sleep(500);
    EXPECT_EQ(result.load(), -1) << "the read should still be waiting";
    ULONGLONG start = GetTickCount64();
    if (use_finish)
      s.Finish();
    else
      s.Close();
    double took = Seconds(start);
    reader.join();
    // Far below the 10 s read time-out, with room for a loaded machine.
    EXPECT_LT(took, 5.0);
    EXPECT_LT((returned.load() - start) / 1000.0, 5.0) << "the waiting Read returns too";
    EXPECT_GE(result.load(), 0);
    EXPECT_LE(result.load(), 4096);
    s.Prepare();
  }
}

TEST_F(StreamTest, LiveIcecastMountStreamsUntilClosed) {
  std::string port = Env("BRAMBLE_ICECAST_PORT");
  if (port.empty()) GTEST_SKIP() << "icecast2 or ezstream not installed";
  std::string url = "http://127.0.0.1:" + port + "/live.mp3";
  EXPECT_EQ(s.IsSeekable(url), 0);
  ASSERT_EQ(s.Open(url), 1);
  EXPECT_EQ(s.FirstText(), "Loopback Live");
  EXPECT_EQ(s.SecondText(), "Live Description");
  EXPECT_EQ(s.ContentLength(), 0u);
  // About three seconds of 128 kbit/s audio, every read whole.
  std::vector<uint8_t> buf(4096);
  size_t total = 0, syncs = 0;
  ULONGLONG start = GetTickCount64();
  while (Seconds(start) < 3.0) {
    ASSERT_EQ(s.Read(buf.data(), 4096), 4096) << "after " << total << " bytes";
    total += 4096;
    for (size_t i = 0; i + 1 < buf.size(); ++i)
      if (buf[i] == 0xFF && (buf[i + 1] & 0xE0) == 0xE0) ++syncs;
  }
  EXPECT_GT(total, 64u * 1024);
  EXPECT_GT(syncs, 30u) << "MPEG frames in the stream";
  start = GetTickCount64();
  s.Close();
  s.Finish();
  EXPECT_LT(Seconds(start), 0.5);
}

TEST_F(StreamTest, SettingsDialogStoresTimeouts) {
  SetTimeouts(4, 6);
  // Fill the dialog from a second thread, as a user would.
  auto drive = [](const char* connect, const char* read, bool expect_refused) {
    HWND dialog = nullptr;
    for (int i = 0; i < 100 && !dialog; ++i, Sleep(50))
      dialog = FindWindowA(nullptr, "Network Stream Settings");
    if (!dialog) return false;
    char text[16] = {};
    GetDlgItemTextA(dialog, 101, text, sizeof(text));
    bool shown = strcmp(text, "4") == 0;
    GetDlgItemTextA(dialog, 102, text, sizeof(text));
    shown = shown && strcmp(text, "6") == 0;
    SetDlgItemTextA(dialog, 101, connect);
    SetDlgItemTextA(dialog, 102, read);
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    if (expect_refused) {
      Sleep(100);
      shown = shown && IsWindow(dialog);
      SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    return shown;
  };
  bool shown = false;
  std::thread t([&] { shown = drive("0", "9", true); });
  EXPECT_EQ(s.ShowSettings(nullptr), 0) << "an out-of-range value is refused, then cancelled";
  t.join();
  EXPECT_TRUE(shown);
  EXPECT_EQ(QueryTimeout("ConnectTimeout"), 4u);

  std::thread t2([&] { shown = drive("7", "9", false); });
  EXPECT_EQ(s.ShowSettings(nullptr), 1);
  t2.join();
  EXPECT_TRUE(shown) << "the dialog shows the stored values";
  EXPECT_EQ(QueryTimeout("ConnectTimeout"), 7u);
  EXPECT_EQ(QueryTimeout("ReadTimeout"), 9u);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new Environment);
  return RUN_ALL_TESTS();
}
