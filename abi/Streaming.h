// The host's streaming library "Plugins\Tolquin.DLL": its one export hands
// out a streaming object, a table of virtual operations in a fixed slot
// order, one spare word, then the address of the open stream's record. The
// plug-in, the library (host/streaming) and the tests' scripted library all
// use this declaration.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bramble {

// Filled by a successful Open; the object's pointer to it is null while no
// stream is open. The plug-in reads content_length, first_text and
// second_text at their fixed offsets; the other words are the library's own.
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

// The offsets are the same in every build, also where pointers take 8 bytes.
static_assert(offsetof(StreamInfoRecord, content_length) == 68, "content length at 68");
static_assert(offsetof(StreamInfoRecord, first_text) == 80, "first text at 80");
static_assert(offsetof(StreamInfoRecord, second_text) == 96, "second text at 96");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(StreamInfoRecord) == 100, "32-bit record size");
#endif

// Slots 0..9 in this order; the library owns the object. Every operation
// answers an int. The plug-in relies on Open (nonzero: open), Read and
// Prefetch (bytes delivered; fewer than asked from Read is a failure) and
// IsSeekable (the module table's seekable word); the other answers are the
// library's (Seek: 1 when the stream moved there, ShowSettings: 1 when a
// setting changed) and the plug-in ignores them. No virtual destructor: it
// would take slots.
class StreamingObject {
 public:
  virtual int Prepare() = 0;
  virtual int Finish() = 0;
  virtual int Open(const char* address) = 0;
  virtual int Close() = 0;
  virtual int Read(void* buffer, int count) = 0;
  virtual int Seek(uint32_t offset) = 0;  // bytes from the start of the stream
  virtual int IsSeekable(const char* address) = 0;
  virtual int Unused() = 0;
  virtual int ShowSettings(void* owner_window) = 0;
  virtual int Prefetch(void* buffer, int count) = 0;

  // The open stream's record, or null.
  const StreamInfoRecord* info() const { return info_; }

 protected:
  StreamingObject() = default;
  ~StreamingObject() = default;

  intptr_t spare_ = 0;                  // second word
  StreamInfoRecord* info_ = nullptr;    // third word
};

// The library's export "GetStreamingObject".
using GetStreamingObjectFn = StreamingObject* (*)();

}  // namespace bramble
