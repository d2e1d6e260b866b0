#include "tests/win/WinHarness.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

#include "config/SettingsKey.h"

namespace wintest {

std::vector<uint8_t> SilentFrames(int frames) {
  std::vector<uint8_t> bytes(size_t(frames) * kFrameBytes, 0);
  for (int i = 0; i < frames; ++i) {
    uint8_t* h = &bytes[size_t(i) * kFrameBytes];
    h[0] = 0xFF;
    h[1] = 0xFD;  // MPEG-1, Layer II, no CRC
    h[2] = 0x84;  // 128 kbit/s, 48 kHz, no padding
    h[3] = 0x00;  // stereo
  }
  return bytes;
}

std::string TempPath(const std::string& name) {
  char dir[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + "bramble_win_" + std::to_string(GetCurrentProcessId()) + "_" + name;
}

std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = TempPath(name);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

void HostLog::Add(const std::string& call) {
  std::lock_guard<std::mutex> g(lock);
  calls.push_back(call);
}

bool HostLog::Has(const std::string& call) {
  std::lock_guard<std::mutex> g(lock);
  for (const auto& c : calls)
    if (c == call) return true;
  return false;
}

int HostLog::Count(const std::string& prefix) {
  std::lock_guard<std::mutex> g(lock);
  int n = 0;
  for (const auto& c : calls)
    if (c.compare(0, prefix.size(), prefix) == 0) ++n;
  return n;
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
  refuse_open = false;
  writes_allowed = 1 << 30;
  paused = false;
  output_time = 0;
  written_time = 0;
  dsp_active = false;
  dsp_result = -1;
  can_write_calls = 0;
  std::lock_guard<std::mutex> g(log.lock);
  log.calls.clear();
  log.write_bytes.clear();
  log.feed_times.clear();
  log.setinfo.clear();
  log.dsp_frames.clear();
  log.open_thread_priority = -999;
  log.open_thread_id = 0;
}

namespace {
int __cdecl OutOpen(int rate, int channels, int bits, int a, int b) {
  FakeHost& h = Host();
  {
    std::lock_guard<std::mutex> g(h.log.lock);
    h.log.open_thread_priority = GetThreadPriority(GetCurrentThread());
    h.log.open_thread_id = GetCurrentThreadId();
  }
  h.log.Add("open " + std::to_string(rate) + " " + std::to_string(channels) + " " + std::to_string(bits) + " " +
            std::to_string(a) + " " + std::to_string(b));
  return h.refuse_open ? -1 : 7;
}
void __cdecl OutClose() { Host().log.Add("close"); }
int __cdecl OutWrite(const void*, int bytes) {
  FakeHost& h = Host();
  --h.writes_allowed;
  std::lock_guard<std::mutex> g(h.log.lock);
  h.log.write_bytes.push_back(bytes);
  return 0;
}
int __cdecl OutCanWrite() {
  FakeHost& h = Host();
  ++h.can_write_calls;
  return (h.paused || h.writes_allowed <= 0) ? 0 : 65536;
}
int __cdecl OutIsPlaying() { return 0; }
void __cdecl OutPause(int pause) {
  Host().paused = pause != 0;
  Host().log.Add("pause " + std::to_string(pause));
}
void __cdecl OutSetVolume(int v) { Host().log.Add("volume " + std::to_string(v)); }
void __cdecl OutSetPan(int p) { Host().log.Add("pan " + std::to_string(p)); }
void __cdecl OutFlush(int ms) { Host().log.Add("flush " + std::to_string(ms)); }
int __cdecl OutGetOutputTime() { return Host().output_time; }
int __cdecl OutGetWrittenTime() { return Host().written_time; }

bramble::OutModule g_out = {{}, OutOpen, OutClose, OutWrite, OutCanWrite, OutIsPlaying, OutPause,
                            OutSetVolume, OutSetPan, OutFlush, OutGetOutputTime, OutGetWrittenTime};

void __cdecl FeedInit(int r, int rate) { Host().log.Add("feed-init " + std::to_string(r) + " " + std::to_string(rate)); }
void __cdecl FeedDeinit() { Host().log.Add("feed-deinit"); }
void __cdecl FeedA(const void*, int channels, int bits, int time) {
  std::lock_guard<std::mutex> g(Host().log.lock);
  Host().log.feed_times.push_back(time);
}
void __cdecl FeedB(const void*, int, int, int) {}
void __cdecl FeedSetInfo(int rate, int channels) {
  Host().log.Add("feed-setinfo " + std::to_string(rate) + " " + std::to_string(channels));
}
int __cdecl DspActive() { return Host().dsp_active ? 1 : 0; }
int __cdecl DspProcess(void*, int frames, int bits, int channels, int rate) {
  FakeHost& h = Host();
  {
    std::lock_guard<std::mutex> g(h.log.lock);
    h.log.dsp_frames.push_back(frames);
  }
  if (bits != 16 || channels != 2 || rate != 48000) return 0;
  return h.dsp_result < 0 ? frames / 2 : int(h.dsp_result);
}
void __cdecl SetInfo(int kbps, int khz, int channels, int one) {
  Host().log.Add("setinfo " + std::to_string(kbps) + " " + std::to_string(khz) + " " + std::to_string(channels) +
                 " " + std::to_string(one));
}
void __cdecl Unexpected() { Host().log.Add("unexpected"); }
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

PluginDll::PluginDll() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  char* slash = std::strrchr(path, '\\');
  if (slash) slash[1] = '\0';
  library_ = LoadLibraryA((std::string(path) + "BramblecotMp3.dll").c_str());
  if (!library_) return;
  using GetFn = bramble::InModule*(__cdecl*)();
  auto get = reinterpret_cast<GetFn>(reinterpret_cast<void*>(GetProcAddress(library_, "JbraGetInModule")));
  mod_ = get ? get() : nullptr;
}

PluginDll::~PluginDll() {
  if (library_) FreeLibrary(library_);
}

namespace {
std::atomic<int> g_end_messages{0};

struct RecordingNotify {
  bramble::JukeboxNotify iface;
};
ULONG STDMETHODCALLTYPE NRelease(bramble::JukeboxNotify* self) {
  Host().log.Add("notify-release");
  delete reinterpret_cast<RecordingNotify*>(self);
  return 0;
}
HRESULT STDMETHODCALLTYPE NEnded(bramble::JukeboxNotify*) {
  Host().log.Add("notify-3");
  return S_OK;
}
HRESULT STDMETHODCALLTYPE NText(bramble::JukeboxNotify*, int time, const char* text, int url, int sw) {
  Host().log.Add("notify-5 " + std::to_string(time) + " [" + std::string(text ? text : "") + "] " +
                 std::to_string(url) + " " + std::to_string(sw));
  return S_OK;
}
HRESULT STDMETHODCALLTYPE NEndedAfter(bramble::JukeboxNotify*) {
  Host().log.Add("notify-6");
  return S_OK;
}
const bramble::JukeboxNotifyVtbl kNotify = {nullptr, nullptr, NRelease, NEnded, nullptr, NText, NEndedAfter};

struct RecordingStreamInfo {
  bramble::JukeboxStreamInfo iface;
};
ULONG STDMETHODCALLTYPE SRelease(bramble::JukeboxStreamInfo* self) {
  Host().log.Add("info-release");
  delete reinterpret_cast<RecordingStreamInfo*>(self);
  return 0;
}
HRESULT STDMETHODCALLTYPE SSetItem(bramble::JukeboxStreamInfo*, int item, const bramble::StreamItemInfo* r) {
  char line[512];
  std::snprintf(line, sizeof line, "info-set %d size=%u kind=%u flags=0x%X dur=%u first=[%s] second=[%s]", item,
                r->size, r->kind, r->flags, r->duration_s, r->first_text ? r->first_text : "(null)",
                r->second_text ? r->second_text : "(null)");
  Host().log.Add(line);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE SGetItem(bramble::JukeboxStreamInfo*, int* item) {
  Host().log.Add("info-get");
  *item = 42;
  return S_OK;
}
const bramble::JukeboxStreamInfoVtbl kStreamInfo = {nullptr, nullptr, SRelease, {}, SSetItem, SGetItem};

LRESULT CALLBACK WndProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == bramble::kHostQueryMessage) {
    const GUID* id = reinterpret_cast<const GUID*>(wp);
    void** out = reinterpret_cast<void**>(lp);
    if (IsEqualGUID(*id, bramble::kJukeboxNotifyId)) {
      auto* o = new RecordingNotify{{&kNotify}};
      *out = &o->iface;
      return S_OK;
    }
    if (IsEqualGUID(*id, bramble::kJukeboxStreamInfoId)) {
      auto* o = new RecordingStreamInfo{{&kStreamInfo}};
      *out = &o->iface;
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  if (m == bramble::kEndOfStreamMessage) {
    if (wp == 0 && lp == 0) ++g_end_messages;
    return 0;
  }
  return DefWindowProcA(w, m, wp, lp);
}
}  // namespace

HostWindow::HostWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = bramble::kHostWindowClass;
  RegisterClassA(&wc);
  hwnd_ = CreateWindowA(bramble::kHostWindowClass, "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                        wc.hInstance, nullptr);
  g_end_messages = 0;
}

HostWindow::~HostWindow() {
  if (hwnd_) DestroyWindow(hwnd_);
  PumpFor(0);
}

int HostWindow::end_of_stream_messages() const { return g_end_messages; }

bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (done()) return true;
    if (GetTickCount() - start > timeout_ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
  }
}

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

int OpenFailureResult() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  char* slash = std::strrchr(path, '\\');
  if (slash) slash[1] = '\0';
  const std::string library = std::string(path) + "Plugins\\Tolquin.DLL";
  return GetFileAttributesA(library.c_str()) == INVALID_FILE_ATTRIBUTES ? -1 : -100;
}

int ThreadCount() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  int n = 0;
  const DWORD pid = GetCurrentProcessId();
  for (BOOL ok = Thread32First(snap, &entry); ok; ok = Thread32Next(snap, &entry))
    if (entry.th32OwnerProcessID == pid) ++n;
  CloseHandle(snap);
  return n;
}

void ClearSettings() {
  bramble::SettingsKey::DeleteTree(HKEY_CURRENT_USER, bramble::kSettingsRoot);
  bramble::SettingsKey::DeleteTree(HKEY_LOCAL_MACHINE, bramble::kSettingsRoot);
}

void SetUserString(const char* subkey, const char* name, const char* value) {
  bramble::SettingsKey key;
  key.SetValue(subkey, name, REG_SZ, value, DWORD(std::strlen(value) + 1));
}

}  // namespace wintest
