// The plug-in's module table, its entry points and the library's start-up.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "abi/InModule.h"
#include "config/Settings.h"
#include "decoder/Diagnostics.h"
#include "plugin/HostNotify.h"
#include "plugin/Mp3Player.h"
#include "plugin/Session.h"
#include "plugin/Streaming.h"
#include "reader/StreamProbe.h"
#include "tags/Id3v1Tag.h"
#include "tags/Title.h"
#include "ui/Dialogs.h"

namespace bramble {

extern InModule mod;

namespace {
constexpr char kDescription[] = "Bramblecot MP3 Player V" BRAMBLE_VERSION_NAME " [x86 optimized]";
constexpr char kExtensions[] = "MP3\0MPEG Layer 3 File\0";  // the literal's NUL ends the list
constexpr int kUnknownLength = 268435455;  // 2^28 - 1: the host's "no length" for a source that cannot seek
constexpr int kPrefetchBytes = 10240;

// The plug-in's process-wide state: the session, the one player (from
// Init to Quit), the start-up flag and the library's instance.
Session g_session;
Mp3Player* g_player = nullptr;
bool g_started = false;
HINSTANCE g_instance = nullptr;

OutModule* Output();

void ApplyPriorityStep(int step) {
  if (g_player) g_player->SetPriority(PriorityForStep(step));
}

// The sheet has no owner; the host window parents the streaming library's
// own settings dialog.
void BRAMBLE_CDECL Config(WindowHandle) {
  ConfigContext context;
  context.instance = g_instance;
  if (g_player) context.apply_priority_step = ApplyPriorityStep;
  context.streaming = g_pStreaming;
  context.host_window = mod.host_window;
  ShowConfigSheet(context);
}

void BRAMBLE_CDECL About(WindowHandle) { LaunchAbout(); }

// "Gapless" is read for each playback; lengths follow it.
void ApplyGaplessSetting(const Settings& settings) {
  const bool on = settings.gapless != 0;
  if (on != g_session.scanner.gapless()) g_session.InvalidateLengthCache();
  g_session.scanner.SetGapless(on);
}

// The tag code reports a failed write through its hook; the user sees it here.
void ShowTagMessage(const char* text) { MessageBoxA(nullptr, text ? text : "", nullptr, MB_OK); }

int BRAMBLE_CDECL Init() {
  g_session.stream_mode = false;
  const Settings settings = Settings::Load();
  if (!g_player) g_player = new Mp3Player(g_session);
  g_player->SetPriority(PriorityForStep(settings.thread_priority));
  settings.ApplyTitleOrder();
  ApplyGaplessSetting(settings);
  return 0;
}

void BRAMBLE_CDECL Quit() {
  g_session.stream_mode = false;
  delete g_player;
  g_player = nullptr;
}

const char* NameOrCurrent(const char* name) { return (name && *name) ? name : g_session.source_name(); }

int BRAMBLE_CDECL GetLengthEntry();

void BRAMBLE_CDECL GetFileInfo(const char* name, char* title, int* length_ms) {
  const char* source = NameOrCurrent(name);
  // The current source's length is the one GetLength gives the host.
  const bool current = std::strcmp(source, g_session.source_name()) == 0;
  if (length_ms) *length_ms = current ? GetLengthEntry() : g_session.GetLength(source);
  GetFileInfoTitle(name, g_session.source_name(), title);
}

int BRAMBLE_CDECL InfoBox(const char* name, WindowHandle parent) {
  PlayingStream playing;
  // After Stop nothing plays: an edit of the last file is written at once.
  const bool open = g_player && g_player->has_source();
  playing.name = open ? g_session.source_name() : "";
  if (open && *playing.name) {
    // The header of the frame being played, as the playback thread published it.
    const uint32_t header = g_player->header_word();
    for (int i = 0; i < 4; ++i) playing.header[i] = uint8_t(header >> (24 - 8 * i));
    playing.has_header = true;
    playing.length_ms = g_session.GetLength(playing.name);
    playing.size_bytes = g_session.QuerySourceSize(playing.name);
    playing.average_kbps = g_player->average_bitrate() / 1000;
  }
  ShowFileInfoDialog(g_instance, static_cast<HWND>(parent), name ? name : "", playing);
  return 1;
}

int BRAMBLE_CDECL ClaimsName(const char* name) { return (name && IsNetworkName(name)) ? 1 : 0; }

// A network stream: first bytes probed for its rates, texts and duration
// reported to the host.
void PrepareStream(const char* name) {
  static uint8_t buffer[kPrefetchBytes];
  int got = g_pStreaming->Prefetch(buffer, kPrefetchBytes);
  if (got < 0) got = 0;
  if (got > kPrefetchBytes) got = kPrefetchBytes;
  StreamProbe probe;
  probe.Parse(buffer, got);
  // Tags and a header frame seen here count for the length and the seeks.
  const StreamInfoRecord* record = g_pStreaming->info();
  probe.layout.source_bytes = record ? record->content_length : 0;
  // A stream of unknown size (a live mount) may begin with any file's header.
  if (probe.layout.source_bytes == 0) probe.layout.vbr = VbrHeader();
  g_session.stream_layout = probe.layout;
  const int average = AverageBitrate(probe.layout);
  g_session.stream_bitrate = average > 0 ? average : probe.bitrate * 1000;
  g_player->SetLayout(probe.layout, g_session.stream_bitrate);
  g_session.stream_sample_rate = probe.sample_rate;
  g_session.InvalidateLengthCache();
  g_session.SetSourceName(name);
  const int duration_s = g_session.GetLength(name) / 1000;
  const StreamInfoRecord* info = g_pStreaming->info();
  const char* first = info ? (info->first_text ? info->first_text : "") : nullptr;
  const char* second = info ? (info->second_text ? info->second_text : "") : nullptr;
  ReportStreamInfo(first, second, duration_s);
}

int BRAMBLE_CDECL Play(const char* name) {
  if (!name) name = "";
  mod.seekable = 1;
  if (IsNetworkName(name)) {
    if (g_pStreaming) {
      g_pStreaming->Prepare();
      mod.seekable = g_pStreaming->IsSeekable(name);
    } else {
      mod.seekable = 0;
    }
  }
  if (!g_player) return 0;
  g_session.SetSourceName("");
  const Settings settings = Settings::Load();
  const long bytes = g_player->Open(name, &mod);
  if (bytes < 0) {
    if (g_pStreaming) {
      g_pStreaming->Close();
      g_pStreaming->Finish();
      return -100;
    }
    return -1;
  }
  // The player is idle until Start: it keeps this playback's settings.
  ApplyGaplessSetting(settings);
  g_player->UseSettings(settings);
  const bool stream = g_session.stream_mode;
  int bitrate = 0, channels = 2, rate = 0;
  if (stream) {
    PrepareStream(name);
    bitrate = g_session.stream_bitrate;
    rate = g_session.stream_sample_rate;
  } else {
    // The file's one scan (from the cache when the host just measured it):
    // its layout for the player's seeks, its rates for the host.
    const Session::FileScan& scan = g_session.ScanFile(name, uint32_t(bytes));
    g_player->SetLayout(scan.layout, scan.bitrate);
    bitrate = scan.bitrate;  // 0 without frames: nothing to report
    rate = scan.sample_rate;
  }
  g_player->Start();
  g_session.SetSourceName(name);
  if (mod.SetInfo) mod.SetInfo(bitrate / 1000, rate / 1000, channels, 1);
  if (mod.PcmFeedSetInfo) mod.PcmFeedSetInfo(rate, channels);
  return 0;
}

// The playback thread pauses the output, also one that opens later.
void BRAMBLE_CDECL Pause() {
  g_session.paused = 1;
  if (g_player) g_player->Pause(true);
}

void BRAMBLE_CDECL UnPause() {
  g_session.paused = 0;
  if (g_player) g_player->Pause(false);
}

int BRAMBLE_CDECL IsPaused() { return g_session.paused; }

void BRAMBLE_CDECL Stop() {
  // The thread resumes an output it paused before it closes it.
  g_session.paused = 0;
  if (g_player) {
    g_player->Stop();
    g_player->Pause(false);
    g_player->Close();
  }
  if (g_pStreaming) g_pStreaming->Finish();
  if (mod.PcmFeedDeinit) mod.PcmFeedDeinit();
  FlushPendingTag();
}

int BRAMBLE_CDECL GetLengthEntry() {
  if (mod.seekable == 0) return kUnknownLength;
  return g_session.GetLength(g_session.source_name());
}

int BRAMBLE_CDECL GetOutputTime() { return g_player ? g_player->output_time() : 0; }

void BRAMBLE_CDECL SetOutputTime(int ms) {
  if (g_player) g_player->Seek(ms);
}

void BRAMBLE_CDECL SetVolume(int volume) {
  if (Output() && Output()->SetVolume) Output()->SetVolume(volume);
}

void BRAMBLE_CDECL SetPan(int pan) {
  if (Output() && Output()->SetPan) Output()->SetPan(pan);
}

void BRAMBLE_CDECL NoOpEntry() {}

void BRAMBLE_CDECL GetAudioInfo(const char* name, int* sample_rate, int* channels, int* bitrate) {
  const char* source = name ? name : g_session.source_name();
  if (IsNetworkName(source)) return;
  const Session::FileScan& scan = g_session.ScanFile(source, g_session.QuerySourceSize(source));
  if (!scan.found) return;
  if (sample_rate) *sample_rate = scan.sample_rate;
  if (channels) *channels = 2;
  if (bitrate) *bitrate = scan.bitrate;
}

}  // namespace

InModule mod = {
    kInModuleVersion, kDescription, nullptr, nullptr, kExtensions, 1, 1,
    Config, About, Init, Quit, GetFileInfo, InfoBox, ClaimsName, Play, Pause, UnPause, IsPaused, Stop,
    GetLengthEntry, GetOutputTime, SetOutputTime, SetVolume, SetPan,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    NoOpEntry, nullptr, nullptr, GetAudioInfo, {0, 0, 0}};

namespace {
OutModule* Output() { return mod.out_module; }
}  // namespace

}  // namespace bramble

extern "C" __declspec(dllexport) bramble::InModule* BRAMBLE_CDECL JbraGetInModule() {
  // The streaming library is looked up once, outside the loader lock.
  if (!bramble::g_started) {
    bramble::g_started = true;
    bramble::SetTagMessageHook(bramble::ShowTagMessage);
    bramble::SetDiagnosticHook([](const char* text) { std::fputs(text, stderr); });
    bramble::g_session.SetContentLengthQuery(bramble::StreamContentLength);
    bramble::LoadStreamingLibrary();
  }
  return &bramble::mod;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) bramble::g_instance = instance;
  // On process exit the streaming library is going away by itself.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) bramble::ReleaseStreamingLibrary();
  return TRUE;
}
