// The two COM-style interfaces the host window hands out on message 1125,
// and the stream information record passed through one of them. Shared by
// the plug-in and the jukebox host.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace bramble {

constexpr UINT kHostQueryMessage = 1125;
constexpr char kHostWindowClass[] = "Bramblecot Jubora JukeBox";

// {94B1C11B-7FFA-4D08-AAC3-AEEBFE17E782}
constexpr GUID kJukeboxNotifyId = {0x94B1C11B, 0x7FFA, 0x4D08, {0xAA, 0xC3, 0xAE, 0xEB, 0xFE, 0x17, 0xE7, 0x82}};
// {279906AA-6584-4BFF-B692-F3A04ADB4CF2}
constexpr GUID kJukeboxStreamInfoId = {0x279906AA, 0x6584, 0x4BFF, {0xB6, 0x92, 0xF3, 0xA0, 0x4A, 0xDB, 0x4C, 0xF2}};

struct JukeboxNotify;
struct JukeboxNotifyVtbl {
  void* unused0;
  void* unused1;
  ULONG(STDMETHODCALLTYPE* Release)(JukeboxNotify* self);
  HRESULT(STDMETHODCALLTYPE* SourceEnded)(JukeboxNotify* self);
  void* unused4;
  HRESULT(STDMETHODCALLTYPE* InfoText)(JukeboxNotify* self, int time_ms, const char* text, int is_url, int auto_switch);
  HRESULT(STDMETHODCALLTYPE* SourceEndedAfter)(JukeboxNotify* self);
};
struct JukeboxNotify {
  const JukeboxNotifyVtbl* vtbl;
};

constexpr uint32_t kStreamItemKind = 92;  // the host's item kind of a network stream

// The record handed to SetItemInfo: 27 words in the i686 build.
struct StreamItemInfo {
  uint32_t size;      // sizeof(StreamItemInfo): 108
  uint32_t kind;      // kStreamItemKind
  uint32_t flags;     // kStreamInfo*
  const char* first_text;
  uint32_t unused16[7];
  const char* second_text;
  uint32_t unused48[3];
  uint32_t duration_s;
  uint32_t unused64[11];
};
constexpr uint32_t kStreamInfoBase = 0x20;
constexpr uint32_t kStreamInfoFirstText = 0x01;
constexpr uint32_t kStreamInfoSecondText = 0x10;
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(StreamItemInfo) == 108, "108-byte record");
static_assert(offsetof(StreamItemInfo, first_text) == 12, "first text");
static_assert(offsetof(StreamItemInfo, second_text) == 44, "second text");
static_assert(offsetof(StreamItemInfo, duration_s) == 60, "duration");
#endif

struct JukeboxStreamInfo;
struct JukeboxStreamInfoVtbl {
  void* unused0;
  void* unused1;
  ULONG(STDMETHODCALLTYPE* Release)(JukeboxStreamInfo* self);
  void* unused3_8[6];
  HRESULT(STDMETHODCALLTYPE* SetItemInfo)(JukeboxStreamInfo* self, int item, const StreamItemInfo* info);
  HRESULT(STDMETHODCALLTYPE* GetItem)(JukeboxStreamInfo* self, int* item);
};
struct JukeboxStreamInfo {
  const JukeboxStreamInfoVtbl* vtbl;
};
static_assert(offsetof(JukeboxNotifyVtbl, InfoText) == 5 * sizeof(void*), "notify slot 5");
static_assert(offsetof(JukeboxNotifyVtbl, SourceEndedAfter) == 6 * sizeof(void*), "notify slot 6");
static_assert(offsetof(JukeboxStreamInfoVtbl, SetItemInfo) == 9 * sizeof(void*), "stream info slot 9");
static_assert(offsetof(JukeboxStreamInfoVtbl, GetItem) == 10 * sizeof(void*), "stream info slot 10");

}  // namespace bramble
