#include "tests/win/WinHarness.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "config/SettingsKey.h"
#include "tests/support/TestFiles.h"

namespace wintest {

std::vector<uint8_t> SilentFrames(int frames) {
  std::vector<uint8_t> bytes(size_t(frames) * kFrameBytes, 0);
  for (size_t i = 0; i < bytes.size(); i += kFrameBytes) std::memcpy(&bytes[i], "\xFF\xFD\x84", 3);
  return bytes;
}

std::string TempPath(const std::string& name) {
  char dir[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + "bramble_win_" + std::to_string(GetCurrentProcessId()) + "_" + name;
}

std::string BesideProgram(const char* name) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  *(std::strrchr(path, '\\') + 1) = '\0';
  return std::string(path) + name;
}

void HostLog::Add(const std::string& call) {
  std::lock_guard<std::mutex> g(lock);
  calls.push_back(call);
}

bool HostLog::Has(const std::string& call) {
  std::lock_guard<std::mutex> g(lock);
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

int HostLog::Count(const std::string& prefix) {
  std::lock_guard<std::mutex> g(lock);
  return int(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) { return !c.rfind(prefix, 0); }));
}

size_t HostLog::Writes() {
  std::lock_guard<std::mutex> g(lock);
  return write_bytes.size();
}

FakeHost& Host() {
  static FakeHost host;
  return host;
}

void FakeHost::Reset() {
  refuse_open = paused = hold_open = hold_drain = realtime = idle = false;
  writes_allowed = 1 << 30;
  output_time = written_time = dsp_result = can_write_calls = is_playing_calls = opens_entered = open_outputs = 0;
  std::lock_guard<std::mutex> g(log.lock);
  log.calls.clear();
  log.write_bytes.clear();
  log.feed_times.clear();
  log.open_thread_priority = -999;
  log.open_thread_id = 0;
}

namespace {
// Records `call` with its numbers: "flush 61500".
int Log(std::string call, std::initializer_list<int> values = {}, int result = 0) {
  for (int v : values) call += " " + std::to_string(v);
  Host().log.Add(call);
  return result;
}

// Real-time mode: a queue of half a second at 48 kHz, played by the clock.
struct Device {
  static constexpr int64_t kQueueBytes = 96000;
  std::mutex m;
  int rate = 0, base_ms = 0;
  int64_t written = 0;
  double played = 0;
  LARGE_INTEGER last = {};
  void Advance() {  // under m
    LARGE_INTEGER now, f;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&f);
    if (!Host().paused && rate > 0)
      played = std::min(double(written), played + double(now.QuadPart - last.QuadPart) / double(f.QuadPart) * rate * 4);
    last = now;
  }
  int Ms(double bytes) const { return base_ms + (rate > 0 ? int(bytes / 4 * 1000 / rate) : 0); }
} g_device;

// Runs `f` on the real-time device, its clock moved on; false in the plain mode.
template <typename F>
bool OnDevice(F f) {
  if (!Host().realtime) return false;
  std::lock_guard<std::mutex> g(g_device.m);
  g_device.Advance();
  f(g_device);
  return true;
}

int __cdecl OutOpen(int rate, int channels, int bits, int a, int b) {
  ++Host().opens_entered;
  for (const DWORD start = GetTickCount(); Host().hold_open && GetTickCount() - start < 10000;) Sleep(1);
  if (Host().idle) Log("unexpected open");
  {
    std::lock_guard<std::mutex> g(Host().log.lock);
    Host().log.open_thread_priority = GetThreadPriority(GetCurrentThread());
    Host().log.open_thread_id = GetCurrentThreadId();
  }
  if (!Host().refuse_open) {  // a fresh device: playing
    Host().paused = false;
    ++Host().open_outputs;
    OnDevice([&](Device& d) { d.rate = rate, d.base_ms = 0, d.written = 0, d.played = 0; });
  }
  return Log("open", {rate, channels, bits, a, b}, Host().refuse_open ? -1 : 7);
}
void __cdecl OutClose() {
  --Host().open_outputs;
  Log("close");
}
int __cdecl OutWrite(const void*, int bytes) {
  --Host().writes_allowed;
  if (Host().idle) Log("unexpected write");
  OnDevice([&](Device& d) { d.written += bytes; });
  std::lock_guard<std::mutex> g(Host().log.lock);
  Host().log.write_bytes.push_back(bytes);
  return 0;
}
int __cdecl OutCanWrite() {
  ++Host().can_write_calls;
  int room = 0;
  if (OnDevice([&](Device& d) { room = Host().paused ? 0 : int(d.kQueueBytes - (d.written - int64_t(d.played))); }))
    return room;
  return !Host().paused && Host().writes_allowed > 0 ? 65536 : 0;
}
int __cdecl OutIsPlaying() {
  ++Host().is_playing_calls;
  bool queued = false;
  OnDevice([&](Device& d) { queued = d.played < double(d.written); });
  return queued || Host().hold_drain;
}
void __cdecl OutPause(int pause) {
  OnDevice([](Device&) {});  // the clock runs up to here
  Host().paused = pause != 0;
  Log("pause", {pause});
}
void __cdecl OutIgnore(int) {}
void __cdecl OutFlush(int ms) {
  OnDevice([&](Device& d) { d.base_ms = ms, d.written = 0, d.played = 0; });
  Log("flush", {ms});
}
int __cdecl OutGetOutputTime() {
  int t = Host().output_time;
  OnDevice([&](Device& d) { t = d.Ms(d.played); });
  return t;
}
int __cdecl OutGetWrittenTime() {
  int t = Host().written_time;
  OnDevice([&](Device& d) { t = d.Ms(double(d.written)); });
  return t;
}
bramble::OutModule g_out = {{}, OutOpen, OutClose, OutWrite, OutCanWrite, OutIsPlaying, OutPause,
                            OutIgnore, OutIgnore, OutFlush, OutGetOutputTime, OutGetWrittenTime};

void __cdecl FeedInit(int r, int rate) { Log("feed-init", {r, rate}); }
void __cdecl FeedDeinit() { Log("feed-deinit"); }
void __cdecl FeedA(const void*, int, int, int time) {
  std::lock_guard<std::mutex> g(Host().log.lock);
  Host().log.feed_times.push_back(time);
}
void __cdecl FeedB(const void*, int, int, int) {}
void __cdecl FeedSetInfo(int rate, int channels) { Log("feed-setinfo", {rate, channels}); }
int __cdecl DspActive() { return Host().dsp_result != 0; }
int __cdecl DspProcess(void*, int frames, int bits, int channels, int rate) {
  if (bits != 16 || channels != 2 || rate != 48000 || frames != 1152) return 0;
  return Host().dsp_result < 0 ? frames / 2 : int(Host().dsp_result);
}
void __cdecl SetInfo(int kbps, int khz, int channels, int one) { Log("setinfo", {kbps, khz, channels, one}); }
void __cdecl Unexpected() { Log("unexpected"); }
}  // namespace

void FakeHost::Attach(bramble::InModule* mod, HWND window) {
  mod->host_window = window;
  mod->PcmFeedInit = FeedInit;
  mod->PcmFeedDeinit = FeedDeinit;
  mod->PcmFeedA = FeedA;
  mod->PcmFeedB = FeedB;
  mod->host_unused27 = mod->host_unused28 = mod->host_unused30 = mod->host_unused31 = Unexpected;
  mod->PcmFeedSetInfo = FeedSetInfo;
  mod->DspIsActive = DspActive;
  mod->DspProcess = DspProcess;
  mod->SetInfo = SetInfo;
  mod->out_module = &g_out;
}

PluginDll::PluginDll() : library_(LoadLibraryA(BesideProgram("BramblecotMp3.dll").c_str())) {
  using GetFn = bramble::InModule*(__cdecl*)();
  auto get = reinterpret_cast<GetFn>(reinterpret_cast<void*>(GetProcAddress(library_, "JbraGetInModule")));
  mod_ = library_ && get ? get() : nullptr;
}

namespace {
std::atomic<int> g_end_messages{0};

// The host's interfaces, each a vtable pointer in an object of its own.
template <typename Iface>
ULONG STDMETHODCALLTYPE Release(Iface* self) {
  Log(std::is_same<Iface, bramble::JukeboxNotify>::value ? "notify-release" : "info-release");
  delete self;
  return 0;
}
HRESULT STDMETHODCALLTYPE Ended(bramble::JukeboxNotify*) { return Log("notify-3"); }
HRESULT STDMETHODCALLTYPE EndedAfter(bramble::JukeboxNotify*) { return Log("notify-6"); }
HRESULT STDMETHODCALLTYPE InfoText(bramble::JukeboxNotify*, int time, const char* text, int url, int sw) {
  return Log("notify-5 " + std::to_string(time) + " [" + (text ? text : "") + "]", {url, sw});
}
const bramble::JukeboxNotifyVtbl kNotify = {nullptr, nullptr, Release, Ended, nullptr, InfoText, EndedAfter};

HRESULT STDMETHODCALLTYPE SetItem(bramble::JukeboxStreamInfo*, int item, const bramble::StreamItemInfo* r) {
  char line[512];
  std::snprintf(line, sizeof line, "info-set %d size=%u kind=%u flags=0x%X dur=%u first=[%s] second=[%s]", item,
                r->size, r->kind, r->flags, r->duration_s, r->first_text ? r->first_text : "(null)",
                r->second_text ? r->second_text : "(null)");
  return Log(line);
}
HRESULT STDMETHODCALLTYPE GetItem(bramble::JukeboxStreamInfo*, int* item) {
  *item = 42;
  return Log("info-get");
}
const bramble::JukeboxStreamInfoVtbl kStreamInfo = {nullptr, nullptr, Release, {}, SetItem, GetItem};

LRESULT CALLBACK WndProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == bramble::kEndOfStreamMessage) {
    g_end_messages += wp == 0 && lp == 0;
    return 0;
  }
  if (m != bramble::kHostQueryMessage) return DefWindowProcA(w, m, wp, lp);
  const GUID& id = *reinterpret_cast<const GUID*>(wp);
  void** out = reinterpret_cast<void**>(lp);
  if (IsEqualGUID(id, bramble::kJukeboxNotifyId)) *out = new bramble::JukeboxNotify{&kNotify};
  else if (IsEqualGUID(id, bramble::kJukeboxStreamInfoId)) *out = new bramble::JukeboxStreamInfo{&kStreamInfo};
  else return E_NOINTERFACE;
  return S_OK;
}
}  // namespace

HostWindow::HostWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = bramble::kHostWindowClass;
  RegisterClassA(&wc);
  hwnd_ = CreateWindowA(bramble::kHostWindowClass, "", WS_OVERLAPPEDWINDOW, 0, 0, 99, 99, nullptr, nullptr,
                        wc.hInstance, nullptr);
  g_end_messages = 0;
}

HostWindow::~HostWindow() {
  DestroyWindow(hwnd_);
  PumpFor(0);
}

int HostWindow::end_of_stream_messages() const { return g_end_messages; }

bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms) {
  for (const DWORD start = GetTickCount();; MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT)) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (done()) return true;
    if (GetTickCount() - start > timeout_ms) return false;
  }
}

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

int OpenFailureResult() {
  return GetFileAttributesA(BesideProgram("Plugins\\Tolquin.DLL").c_str()) == INVALID_FILE_ATTRIBUTES ? -1 : -100;
}

int ThreadCount() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  int n = 0;
  for (BOOL ok = Thread32First(snap, &entry); ok; ok = Thread32Next(snap, &entry))
    n += entry.th32OwnerProcessID == GetCurrentProcessId();
  CloseHandle(snap);
  return n;
}

void ClearSettings() {
  bramble::SettingsKey::DeleteTree(HKEY_CURRENT_USER, bramble::kSettingsRoot);
  bramble::SettingsKey::DeleteTree(HKEY_LOCAL_MACHINE, bramble::kSettingsRoot);
}

void SetUserString(const char* subkey, const char* name, const char* value) {
  bramble::SettingsKey().SetValue(subkey, name, REG_SZ, value, DWORD(std::strlen(value) + 1));
}

std::string UserSetting(const char* subkey, const char* name) {
  const std::string path = std::string(bramble::kSettingsRoot) + "\\" + subkey;
  char data[600] = {};
  DWORD length = sizeof data - 1;
  const LONG r = RegGetValueA(HKEY_CURRENT_USER, path.c_str(), name, RRF_RT_ANY, nullptr, data, &length);
  return r == ERROR_SUCCESS ? data : "<absent>";
}

namespace {
BOOL CALLBACK FindCaption(HWND w, LPARAM p) {
  auto* find = reinterpret_cast<std::pair<const std::string*, HWND>*>(p);
  if (IsWindowVisible(w) && Text(w) == *find->first) find->second = w;
  return !find->second;
}
BOOL CALLBACK CloseWindow(HWND w, LPARAM) { return PostMessageA(w, WM_CLOSE, 0, 0) || true; }
}  // namespace

HWND WaitForWindow(DWORD thread, const std::string& caption) {
  std::pair<const std::string*, HWND> find = {&caption, nullptr};
  PumpUntil([&] { return !EnumThreadWindows(thread, FindCaption, reinterpret_cast<LPARAM>(&find)) || find.second; },
            5000);
  return find.second;
}

std::string Text(HWND window) {
  char text[1024] = {};
  DWORD_PTR got = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 2000, &got);
  return text;
}

void PluginTest::SetUp() {
  ClearSettings();
  Load();
}

void PluginTest::TearDown() {
  Unload();
  ClearSettings();
  for (const auto& p : files_) DeleteFileA(p.c_str());
}

void PluginTest::Load(bool streaming, bool init) {
  Unload();
  Host().Reset();
  // Without the streaming library: hidden while the plug-in loads.
  const std::string library = BesideProgram("Plugins\\Tolquin.DLL"), hidden = library + ".hidden";
  if (!streaming) MoveFileA(library.c_str(), hidden.c_str());
  dll_ = std::make_unique<PluginDll>();
  if (!streaming) MoveFileA(hidden.c_str(), library.c_str());
  ASSERT_TRUE(dll_->ok());
  mod_ = dll_->mod();
  Host().Attach(mod_, window_.hwnd());
  if (init) mod_->Init();
  threads_ = ThreadCount();
}

void PluginTest::Unload() {
  if (mod_) {
    Host().writes_allowed = 1 << 30;
    Host().paused = false;
    mod_->Stop();
    mod_->Quit();
  }
  mod_ = nullptr;
  dll_.reset();
}

std::string PluginTest::File(const std::string& name, const std::vector<uint8_t>& bytes) {
  files_.push_back(TempPath(name));
  EXPECT_TRUE(bramble::test::WriteFile(files_.back(), bytes)) << files_.back();
  return files_.back();
}

bool PluginTest::WaitForEnds(int n) {
  return PumpUntil([&] { return window_.end_of_stream_messages() >= n; }, 10000);
}

bool PluginTest::WaitForThreadsBack() {
  return PumpUntil([&] { return ThreadCount() <= threads_; }, 5000);
}

void PluginTest::Driven(const std::function<void()>& modal, const std::string& caption,
                        const std::function<void(HWND)>& drive) {
  const DWORD me = GetCurrentThreadId();
  std::atomic<bool> modal_done{false}, drive_done{false}, cancelled{false};
  std::thread driver([&] {
    HWND window = WaitForWindow(me, caption);
    // A window that never shows may wait for the output: let that go on.
    if (!window) {
      Host().paused = false;
      Host().writes_allowed = 1 << 30;
    }
    EXPECT_NE(window, nullptr) << "no window captioned \"" << caption << '"';
    if (window) drive(window);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window); }, 5000)) << caption << ": still open";
    drive_done = true;
  });
  // Whatever the driver left open (or never found) is cancelled, so that
  // `modal` always returns.
  std::thread guard([&] {
    DWORD finished = 0;
    for (const DWORD start = GetTickCount(); !modal_done; Sleep(50)) {
      if (drive_done && !finished) finished = GetTickCount();
      if (GetTickCount() - start < 20000 && (!finished || GetTickCount() - finished < 2000)) continue;
      cancelled = true;
      EnumThreadWindows(me, CloseWindow, 0);
    }
  });
  modal();
  modal_done = true;
  guard.join();
  driver.join();
  EXPECT_FALSE(cancelled) << caption << ": closed by the watchdog";
}

}  // namespace wintest
