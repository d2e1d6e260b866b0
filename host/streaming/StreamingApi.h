// The streaming object as the player sees it: a table of virtual operations
// in a fixed slot order, one spare word, then the stream information record.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
typedef void* HWND;
#endif

// Filled by a successful Open; the pointer to it is null while no stream is open.
struct StreamInfoRecord {
  uint32_t size;               // sizeof this record
  uint32_t status;             // final HTTP status of the open
  uint32_t redirects;          // redirects followed by the open
  uint32_t flags;              // StreamInfoFlags
  char content_type[48];       // NUL-terminated, cut to fit
  uint32_t bitrate_kbps;       // from "icy-br", 0 when absent
  uint32_t content_length;     // bytes, 0 when the reply gives none
  uint32_t read_offset;        // stream offset of the next Read
  uint32_t reserved;
  const char* first_text;      // station name or file name, may be null
  char pad[16 - sizeof(const char*)];
  const char* second_text;     // description or genre, may be null
};

enum StreamInfoFlags : uint32_t {
  kStreamHasLength = 0x01,     // the reply carried a content length
  kStreamIcy = 0x02,           // the reply carried icy-* fields
};

// Offsets the player relies on; the 64-bit build keeps them too.
static_assert(offsetof(StreamInfoRecord, content_length) == 68, "content length at 68");
static_assert(offsetof(StreamInfoRecord, first_text) == 80, "first text at 80");
static_assert(offsetof(StreamInfoRecord, second_text) == 96, "second text at 96");

// Slots 0..9 in this order. No virtual destructor: it would take slots.
class StreamingApi {
 public:
  virtual int Prepare() = 0;
  virtual int Finish() = 0;
  virtual int Open(const char* address) = 0;
  virtual int Close() = 0;
  virtual int Read(void* buffer, int count) = 0;
  virtual int Seek(uint32_t offset) = 0;
  virtual int IsSeekable(const char* address) = 0;
  virtual int Unused() = 0;
  virtual int ShowSettings(HWND owner) = 0;
  virtual int Prefetch(void* buffer, int count) = 0;

 protected:
  StreamingApi() = default;
  ~StreamingApi() = default;

  intptr_t spare_ = 0;                  // second word
  StreamInfoRecord* info_ = nullptr;    // third word
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(StreamInfoRecord) == 100, "32-bit record size");
#endif
