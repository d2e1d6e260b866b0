// The module table shared word for word with the jukebox host, and the
// host's output plug-in record. Every slot is one pointer-sized word (32 bits
// in the shipped i686 DLL); host and plug-in are always built for the same
// width, so the 64-bit test build simply has wider slots.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#define BRAMBLE_CDECL __cdecl
#else
#define BRAMBLE_CDECL
#endif

namespace bramble {

using WindowHandle = void*;
using InstanceHandle = void*;

// Output plug-in of the host. The plug-in calls slots 9 to 19 only.
struct OutModule {
  void* reserved[9];
  int(BRAMBLE_CDECL* Open)(int sample_rate, int channels, int bits, int buffer_ms, int prebuffer_ms);
  void(BRAMBLE_CDECL* Close)();
  int(BRAMBLE_CDECL* Write)(const void* pcm, int bytes);
  int(BRAMBLE_CDECL* CanWrite)();
  int(BRAMBLE_CDECL* IsPlaying)();
  void(BRAMBLE_CDECL* Pause)(int pause);
  void(BRAMBLE_CDECL* SetVolume)(int volume);
  void(BRAMBLE_CDECL* SetPan)(int pan);
  void(BRAMBLE_CDECL* Flush)(int time_ms);
  int(BRAMBLE_CDECL* GetOutputTime)();
  int(BRAMBLE_CDECL* GetWrittenTime)();
};

using HostVoidFn = void(BRAMBLE_CDECL*)();

struct InModule {
  intptr_t version;                 // 0x100
  const char* description;
  WindowHandle host_window;         // host
  InstanceHandle library_instance;  // host
  const char* extension_list;       // "MP3\0MPEG Layer 3 File\0\0"
  intptr_t seekable;
  intptr_t uses_output_plugin;      // 1

  void(BRAMBLE_CDECL* Config)(WindowHandle parent);
  void(BRAMBLE_CDECL* About)(WindowHandle parent);
  int(BRAMBLE_CDECL* Init)();
  void(BRAMBLE_CDECL* Quit)();
  void(BRAMBLE_CDECL* GetFileInfo)(const char* name, char* title, int* length_ms);
  int(BRAMBLE_CDECL* InfoBox)(const char* name, WindowHandle parent);
  int(BRAMBLE_CDECL* ClaimsName)(const char* name);
  int(BRAMBLE_CDECL* Play)(const char* name);
  void(BRAMBLE_CDECL* Pause)();
  void(BRAMBLE_CDECL* UnPause)();
  int(BRAMBLE_CDECL* IsPaused)();
  void(BRAMBLE_CDECL* Stop)();
  int(BRAMBLE_CDECL* GetLength)();
  int(BRAMBLE_CDECL* GetOutputTime)();
  void(BRAMBLE_CDECL* SetOutputTime)(int time_ms);
  void(BRAMBLE_CDECL* SetVolume)(int volume);
  void(BRAMBLE_CDECL* SetPan)(int pan);

  // Host functions.
  void(BRAMBLE_CDECL* PcmFeedInit)(int open_result, int sample_rate);
  void(BRAMBLE_CDECL* PcmFeedDeinit)();
  void(BRAMBLE_CDECL* PcmFeedA)(const void* pcm, int channels, int bits, int time_ms);
  HostVoidFn host_unused27;
  HostVoidFn host_unused28;
  void(BRAMBLE_CDECL* PcmFeedB)(const void* pcm, int channels, int bits, int time_ms);
  HostVoidFn host_unused30;
  HostVoidFn host_unused31;
  void(BRAMBLE_CDECL* PcmFeedSetInfo)(int sample_rate, int channels);
  int(BRAMBLE_CDECL* DspIsActive)();
  int(BRAMBLE_CDECL* DspProcess)(void* pcm, int sample_frames, int bits, int channels, int sample_rate);

  void(BRAMBLE_CDECL* NoOpEntry)();  // the plug-in's own; callers may pass anything
  void(BRAMBLE_CDECL* SetInfo)(int kbps, int khz, int channels, int one);  // host
  OutModule* out_module;                                                    // host
  void(BRAMBLE_CDECL* GetAudioInfo)(const char* name, int* sample_rate, int* channels, int* bitrate);
  intptr_t reserved[3];
};

constexpr int kInModuleSlots = 42;
constexpr int kInModuleVersion = 0x100;

// Slot positions do not depend on the width.
#define BRAMBLE_SLOT(field, slot) \
  static_assert(offsetof(InModule, field) == (slot) * sizeof(void*), #field " slot")
BRAMBLE_SLOT(version, 0);
BRAMBLE_SLOT(description, 1);
BRAMBLE_SLOT(host_window, 2);
BRAMBLE_SLOT(library_instance, 3);
BRAMBLE_SLOT(extension_list, 4);
BRAMBLE_SLOT(seekable, 5);
BRAMBLE_SLOT(uses_output_plugin, 6);
BRAMBLE_SLOT(Config, 7);
BRAMBLE_SLOT(About, 8);
BRAMBLE_SLOT(Init, 9);
BRAMBLE_SLOT(Quit, 10);
BRAMBLE_SLOT(GetFileInfo, 11);
BRAMBLE_SLOT(InfoBox, 12);
BRAMBLE_SLOT(ClaimsName, 13);
BRAMBLE_SLOT(Play, 14);
BRAMBLE_SLOT(Pause, 15);
BRAMBLE_SLOT(UnPause, 16);
BRAMBLE_SLOT(IsPaused, 17);
BRAMBLE_SLOT(Stop, 18);
BRAMBLE_SLOT(GetLength, 19);
BRAMBLE_SLOT(GetOutputTime, 20);
BRAMBLE_SLOT(SetOutputTime, 21);
BRAMBLE_SLOT(SetVolume, 22);
BRAMBLE_SLOT(SetPan, 23);
BRAMBLE_SLOT(PcmFeedInit, 24);
BRAMBLE_SLOT(PcmFeedDeinit, 25);
BRAMBLE_SLOT(PcmFeedA, 26);
BRAMBLE_SLOT(host_unused27, 27);
BRAMBLE_SLOT(host_unused28, 28);
BRAMBLE_SLOT(PcmFeedB, 29);
BRAMBLE_SLOT(host_unused30, 30);
BRAMBLE_SLOT(host_unused31, 31);
BRAMBLE_SLOT(PcmFeedSetInfo, 32);
BRAMBLE_SLOT(DspIsActive, 33);
BRAMBLE_SLOT(DspProcess, 34);
BRAMBLE_SLOT(NoOpEntry, 35);
BRAMBLE_SLOT(SetInfo, 36);
BRAMBLE_SLOT(out_module, 37);
BRAMBLE_SLOT(GetAudioInfo, 38);
BRAMBLE_SLOT(reserved, 39);
#undef BRAMBLE_SLOT
static_assert(sizeof(InModule) == kInModuleSlots * sizeof(void*), "42 words");

static_assert(offsetof(OutModule, Open) == 9 * sizeof(void*), "Open slot");
static_assert(offsetof(OutModule, GetWrittenTime) == 19 * sizeof(void*), "GetWrittenTime slot");

// The shipped layout: 32-bit words, 168 bytes.
#if UINTPTR_MAX == 0xFFFFFFFFu
#define BRAMBLE_OFFSET(field, bytes) static_assert(offsetof(InModule, field) == (bytes), #field " offset")
BRAMBLE_OFFSET(version, 0);
BRAMBLE_OFFSET(description, 4);
BRAMBLE_OFFSET(host_window, 8);
BRAMBLE_OFFSET(library_instance, 12);
BRAMBLE_OFFSET(extension_list, 16);
BRAMBLE_OFFSET(seekable, 20);
BRAMBLE_OFFSET(uses_output_plugin, 24);
BRAMBLE_OFFSET(Config, 28);
BRAMBLE_OFFSET(About, 32);
BRAMBLE_OFFSET(Init, 36);
BRAMBLE_OFFSET(Quit, 40);
BRAMBLE_OFFSET(GetFileInfo, 44);
BRAMBLE_OFFSET(InfoBox, 48);
BRAMBLE_OFFSET(ClaimsName, 52);
BRAMBLE_OFFSET(Play, 56);
BRAMBLE_OFFSET(Pause, 60);
BRAMBLE_OFFSET(UnPause, 64);
BRAMBLE_OFFSET(IsPaused, 68);
BRAMBLE_OFFSET(Stop, 72);
BRAMBLE_OFFSET(GetLength, 76);
BRAMBLE_OFFSET(GetOutputTime, 80);
BRAMBLE_OFFSET(SetOutputTime, 84);
BRAMBLE_OFFSET(SetVolume, 88);
BRAMBLE_OFFSET(SetPan, 92);
BRAMBLE_OFFSET(PcmFeedInit, 96);
BRAMBLE_OFFSET(PcmFeedDeinit, 100);
BRAMBLE_OFFSET(PcmFeedA, 104);
BRAMBLE_OFFSET(host_unused27, 108);
BRAMBLE_OFFSET(host_unused28, 112);
BRAMBLE_OFFSET(PcmFeedB, 116);
BRAMBLE_OFFSET(host_unused30, 120);
BRAMBLE_OFFSET(host_unused31, 124);
BRAMBLE_OFFSET(PcmFeedSetInfo, 128);
BRAMBLE_OFFSET(DspIsActive, 132);
BRAMBLE_OFFSET(DspProcess, 136);
BRAMBLE_OFFSET(NoOpEntry, 140);
BRAMBLE_OFFSET(SetInfo, 144);
BRAMBLE_OFFSET(out_module, 148);
BRAMBLE_OFFSET(GetAudioInfo, 152);
BRAMBLE_OFFSET(reserved, 156);
#undef BRAMBLE_OFFSET
static_assert(sizeof(InModule) == 168, "168 bytes");
static_assert(offsetof(OutModule, Open) == 36 && offsetof(OutModule, GetWrittenTime) == 76, "output slots");
#endif

// Window message posted to the host window at the end of a stream.
constexpr unsigned kEndOfStreamMessage = 1026;

}  // namespace bramble
