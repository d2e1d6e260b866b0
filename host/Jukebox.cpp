// jukebox: a small host for the input plug-in. It loads the plug-in, plays
// a source through a file or the sound device and prints one line per event.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "abi/InModule.h"
#include "host/Events.h"
#include "host/HostWindow.h"
#include "host/Output.h"

namespace jukebox {

namespace {

struct Options {
  std::string command;
  std::string source;
  std::vector<std::string> then;  // played after `source` in the same process
  std::string out;
  std::string plugin;
  bool realtime = false;
  bool dsp_half = false;
  bool refuse_output = false;
  int seek_to = -1, seek_at = -1;
  int pause_at = -1, resume_at = -1;
  int stop_at = -1;
  int stop_after = -1;  // wall-clock ms after Play, whatever the output does
  int timeout_ms = 0;
};

bool g_dsp_half = false;

// Host functions of the module table.
void __cdecl PcmFeedInit(int open_result, int rate) { PrintEvent("feed-init %d %d", open_result, rate); }
void __cdecl PcmFeedDeinit() { PrintEvent("feed-deinit"); }
void __cdecl PcmFeed(const void*, int, int, int) {}
void __cdecl PcmFeedSetInfo(int rate, int channels) { PrintEvent("feed-setinfo %d %d", rate, channels); }
int __cdecl DspIsActive() { return g_dsp_half ? 1 : 0; }
// Keeps every second sample frame: the block gets half as long.
int __cdecl DspProcess(void* pcm, int frames, int bits, int channels, int) {
  if (bits != 16 || channels != 2 || frames < 0) return frames;
  auto* p = static_cast<uint32_t*>(pcm);
  for (int i = 0; i < frames / 2; ++i) p[i] = p[2 * i];
  return frames / 2;
}
void __cdecl SetInfo(int kbps, int khz, int channels, int one) {
  PrintEvent("setinfo %d %d %d %d", kbps, khz, channels, one);
}
void __cdecl Unused27() { PrintEvent("unexpected host slot 27"); }
void __cdecl Unused28() { PrintEvent("unexpected host slot 28"); }
void __cdecl Unused30() { PrintEvent("unexpected host slot 30"); }
void __cdecl Unused31() { PrintEvent("unexpected host slot 31"); }

int Usage() {
  std::fprintf(stderr,
               "usage: jukebox play SRC [--then SRC]... [--out FILE] [--realtime] [--seek MS --at MS]\n"
               "                        [--pause-at MS --resume-at MS] [--stop-at MS] [--dsp-half]\n"
               "                        [--stop-after MS] [--refuse-output] [--timeout MS] [--plugin DLL]\n"
               "       jukebox info SRC | config | infobox FILE | about\n");
  return 2;
}

bool ParseInt(const char* text, int* out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < -1 || v > 0x7FFFFFFF) return false;
  *out = int(v);
  return true;
}

bool ParseOptions(int argc, char** argv, Options* o) {
  if (argc < 2) return false;
  o->command = argv[1];
  int i = 2;
  if (o->command == "play" || o->command == "info" || o->command == "infobox") {
    if (argc < 3) return false;
    o->source = argv[2];
    i = 3;
  }
  for (; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--realtime") {
      o->realtime = true;
    } else if (a == "--dsp-half") {
      o->dsp_half = true;
    } else if (a == "--refuse-output") {
      o->refuse_output = true;
    } else if (a == "--out" && has_value) {
      o->out = argv[++i];
    } else if (a == "--then" && has_value) {
      o->then.push_back(argv[++i]);
    } else if (a == "--plugin" && has_value) {
      o->plugin = argv[++i];
    } else if (has_value) {
      int* target = a == "--seek" ? &o->seek_to : a == "--at" ? &o->seek_at : a == "--pause-at" ? &o->pause_at
                  : a == "--resume-at" ? &o->resume_at : a == "--stop-at" ? &o->stop_at
                  : a == "--stop-after" ? &o->stop_after
                  : a == "--timeout" ? &o->timeout_ms : nullptr;
      if (!target || !ParseInt(argv[++i], target)) return false;
    } else {
      return false;
    }
  }
  if ((o->seek_to >= 0) != (o->seek_at >= 0)) return false;
  if (o->resume_at >= 0 && (o->pause_at < 0 || o->resume_at < o->pause_at)) return false;
  return true;
}

std::string DefaultPluginPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  char* slash = std::strrchr(path, '\\');
  if (slash) slash[1] = '\0';
  return std::string(path) + "BramblecotMp3.dll";
}

using GetInModuleFn = bramble::InModule*(__cdecl*)();

// The loaded plug-in with the host's slots filled in.
struct Plugin {
  HMODULE library = nullptr;
  bramble::InModule* mod = nullptr;
  ~Plugin() {
    if (mod && mod->Quit) mod->Quit();
    if (library) FreeLibrary(library);
  }
};

bool LoadPlugin(const Options& o, HWND window, bramble::OutModule* out, Plugin* plugin) {
  const std::string path = o.plugin.empty() ? DefaultPluginPath() : o.plugin;
  plugin->library = LoadLibraryA(path.c_str());
  if (!plugin->library) {
    std::fprintf(stderr, "jukebox: cannot load %s\n", path.c_str());
    return false;
  }
  auto get = reinterpret_cast<GetInModuleFn>(
      reinterpret_cast<void*>(GetProcAddress(plugin->library, "JbraGetInModule")));
  bramble::InModule* mod = get ? get() : nullptr;
  if (!mod || mod->version != bramble::kInModuleVersion) {
    std::fprintf(stderr, "jukebox: %s is not an input plug-in of version 0x100\n", path.c_str());
    return false;
  }
  mod->host_window = window;
  mod->library_instance = plugin->library;
  mod->PcmFeedInit = PcmFeedInit;
  mod->PcmFeedDeinit = PcmFeedDeinit;
  mod->PcmFeedA = PcmFeed;
  mod->host_unused27 = Unused27;
  mod->host_unused28 = Unused28;
  mod->PcmFeedB = PcmFeed;
  mod->host_unused30 = Unused30;
  mod->host_unused31 = Unused31;
  mod->PcmFeedSetInfo = PcmFeedSetInfo;
  mod->DspIsActive = DspIsActive;
  mod->DspProcess = DspProcess;
  mod->SetInfo = SetInfo;
  mod->out_module = out;
  mod->Init();
  plugin->mod = mod;
  return true;
}

// A network source's length is known only while it is the open source.
bool IsNetworkName(const std::string& name) { return _strnicmp(name.c_str(), "http://", 7) == 0; }

// Stops playback and reports how long the plug-in's Stop took.
void StopPlayback(bramble::InModule* mod) {
  const DWORD before = GetTickCount();
  mod->Stop();
  PrintEvent("stopped");
  PrintEvent("stop-ms %lu", static_cast<unsigned long>(GetTickCount() - before));
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

struct Action {
  int at;
  enum Kind { kSeek, kPause, kStop } kind;
  int value;
};

int PlayOne(const Options& o, bramble::InModule* mod, const std::string& source, const std::vector<Action>& actions);

int Play(const Options& o, HWND window) {
  std::unique_ptr<OutputDevice> device;
  if (o.out.empty() && !o.refuse_output)
    device = MakeWaveOutput();
  else
    device = std::make_unique<FileOutput>(o.out.empty() ? "-" : o.out, o.realtime, o.refuse_output);
  g_dsp_half = o.dsp_half;
  Plugin plugin;
  if (!LoadPlugin(o, window, BindOutput(device.get()), &plugin)) return 1;
  bramble::InModule* mod = plugin.mod;

  std::vector<Action> actions;
  if (o.seek_at >= 0) actions.push_back({o.seek_at, Action::kSeek, o.seek_to});
  if (o.pause_at >= 0) actions.push_back({o.pause_at, Action::kPause, o.resume_at});
  if (o.stop_at >= 0) actions.push_back({o.stop_at, Action::kStop, 0});
  std::stable_sort(actions.begin(), actions.end(), [](const Action& a, const Action& b) { return a.at < b.at; });

  std::vector<std::string> sources = {o.source};
  sources.insert(sources.end(), o.then.begin(), o.then.end());
  int rc = 0;
  for (size_t n = 0; n < sources.size() && rc == 0; ++n) {
    // Actions belong to the first source; the others play through.
    if (n > 0) actions.clear();
    rc = PlayOne(o, mod, sources[n], actions);
  }
  PrintEvent("written %lld", static_cast<long long>(device->bytes_written()));
  if (!device->Finish()) {
    std::fprintf(stderr, "jukebox: cannot write %s\n", o.out.c_str());
    rc = 1;
  }
  return rc;
}

int PlayOne(const Options& o, bramble::InModule* mod, const std::string& source, const std::vector<Action>& actions) {
  size_t next = 0;
  SetOutputHold(actions.empty() ? -1 : actions[0].at);
  MarkPlayStart();
  const int result = mod->Play(source.c_str());
  PrintEvent("play %d", result);
  if (result != 0) return 1;
  PrintEvent("length %d", mod->GetLength());

  const DWORD start = GetTickCount();
  DWORD resume_tick = 0;
  bool paused = false, done = false;
  int rc = 0;
  while (!done) {
    PumpMessages();
    if (TakeEndOfStream()) {
      PrintEvent("end-of-stream");
      SetOutputHold(-1);
      StopPlayback(mod);
      break;
    }
    if (paused && GetTickCount() - resume_tick < 0x80000000u) {
      paused = false;
      mod->UnPause();
      PrintEvent("resume at %d", mod->GetOutputTime());
      SetOutputHold(next < actions.size() ? actions[next].at : -1);
    }
    if (!paused && next < actions.size() && (mod->GetOutputTime() >= actions[next].at || OutputHeld())) {
      const Action a = actions[next++];
      SetOutputHold(next < actions.size() ? actions[next].at : -1);
      if (a.kind == Action::kSeek) {
        PrintEvent("seek %d at %d", a.value, mod->GetOutputTime());
        mod->SetOutputTime(a.value);
      } else if (a.kind == Action::kPause) {
        PrintEvent("pause at %d", mod->GetOutputTime());
        mod->Pause();
        if (a.value >= 0) {
          paused = true;
          resume_tick = GetTickCount() + DWORD(a.value - a.at);
        }
      } else {
        PrintEvent("stop at %d", mod->GetOutputTime());
        SetOutputHold(-1);
        StopPlayback(mod);
        done = true;
      }
    }
    if (!done && o.stop_after >= 0 && GetTickCount() - start >= DWORD(o.stop_after)) {
      PrintEvent("stop after %d", o.stop_after);
      SetOutputHold(-1);
      StopPlayback(mod);
      done = true;
    }
    if (!done && o.timeout_ms > 0 && GetTickCount() - start > DWORD(o.timeout_ms)) {
      PrintEvent("timeout");
      SetOutputHold(-1);
      mod->Stop();
      rc = 3;
      break;
    }
    if (!done) MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
  }
  return rc;
}

int Info(const Options& o, HWND window) {
  FileOutput device("-", false, true);
  Plugin plugin;
  if (!LoadPlugin(o, window, BindOutput(&device), &plugin)) return 1;
  char title[256] = {};
  int length = -1, rate = 0, channels = 0, bitrate = 0;
  // A stream is measured while it is open; the output refuses, so nothing plays.
  const bool stream = IsNetworkName(o.source);
  if (stream) PrintEvent("play %d", plugin.mod->Play(o.source.c_str()));
  plugin.mod->GetFileInfo(o.source.c_str(), title, &length);
  plugin.mod->GetAudioInfo(o.source.c_str(), &rate, &channels, &bitrate);
  if (stream) plugin.mod->Stop();
  char escaped[600];
  PrintEvent("title: %s", EscapeText(title, escaped, sizeof escaped));
  PrintEvent("length_ms: %d", length);
  PrintEvent("sample_rate: %d", rate);
  PrintEvent("channels: %d", channels);
  PrintEvent("bitrate: %d", bitrate);
  PrintEvent("claims: %d", plugin.mod->ClaimsName(o.source.c_str()));
  return 0;
}

int Dialog(const Options& o, HWND window) {
  FileOutput device("-", false, true);
  Plugin plugin;
  if (!LoadPlugin(o, window, BindOutput(&device), &plugin)) return 1;
  if (o.command == "config") {
    plugin.mod->Config(window);
  } else if (o.command == "about") {
    plugin.mod->About(window);
  } else {
    PrintEvent("infobox %d", plugin.mod->InfoBox(o.source.c_str(), window));
  }
  PrintEvent("%s done", o.command.c_str());
  return 0;
}

}  // namespace
}  // namespace jukebox

int main(int argc, char** argv) {
  using namespace jukebox;
  Options o;
  if (!ParseOptions(argc, argv, &o)) return Usage();
  HWND window = CreateHostWindow(GetModuleHandleA(nullptr));
  if (!window) {
    std::fprintf(stderr, "jukebox: cannot create the host window\n");
    return 1;
  }
  int rc = 2;
  if (o.command == "play") {
    rc = Play(o, window);
  } else if (o.command == "info") {
    rc = Info(o, window);
  } else if (o.command == "config" || o.command == "about" || o.command == "infobox") {
    rc = Dialog(o, window);
  } else {
    rc = Usage();
  }
  DestroyWindow(window);
  return rc;
}
