// The host's streaming library: the object it hands out, the record of the
// stream being played, and a byte source that reads through the object.
#pragma once

#include <cstddef>
#include <cstdint>

#include "reader/ByteSource.h"

namespace bramble {

// Information about the open stream, owned by the streaming library. The
// offsets are the library's on every build, also where pointers take 8 bytes.
struct StreamingInfo {
  uint32_t unused0[17];
  uint32_t content_length;  // bytes
  uint32_t unused72[2];
  const char* first_text;
  char unused_after_first[16 - sizeof(const char*)];
  const char* second_text;
};
static_assert(offsetof(StreamingInfo, content_length) == 68, "content length");
static_assert(offsetof(StreamingInfo, first_text) == 80, "first text");
static_assert(offsetof(StreamingInfo, second_text) == 96, "second text");

// Operations in the library's table order; the library owns the object.
class StreamingObject {
 public:
  virtual void Prepare() = 0;
  virtual void Finish() = 0;
  virtual int Open(const char* address) = 0;
  virtual void Close() = 0;
  virtual int Read(void* buffer, int bytes) = 0;
  virtual void Seek(int offset) = 0;
  virtual int IsSeekable(const char* address) = 0;
  virtual void Unused7() = 0;
  virtual void ShowSettings(void* main_window) = 0;
  virtual int Prefetch(void* buffer, int bytes) = 0;

  void* reserved;
  StreamingInfo* info;

 protected:
  ~StreamingObject() = default;
};

extern StreamingObject* g_pStreaming;

// Loads "Plugins\Tolquin.DLL" and asks it for its object; without it,
// network streams fail to open.
void LoadStreamingLibrary();
void ReleaseStreamingLibrary();

// The open stream's content length from its record (0 without one); false
// without the streaming object.
bool StreamContentLength(uint32_t* bytes);


// Reads the open network stream through g_pStreaming.
class StreamSource : public ByteSource {
 public:
  void Reset() { position_ = 0; }
  int Read(void* dst, int n) override;
  long Tell() override { return position_; }
  bool Seek(long offset) override;
  long Size() override { return 0; }
  bool IsStream() const override { return true; }

 private:
  long position_ = 0;
};

}  // namespace bramble
