// The plug-in's side of the host's streaming library: loading it, its
// object, and a byte source that reads through the object.
#pragma once

#include "abi/Streaming.h"
#include "reader/ByteSource.h"

namespace bramble {

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
