// The plug-in's side of the host's streaming library: loading it, its
// object, and a byte source that reads through the object.
#pragma once

#include "abi/Streaming.h"
#include "plugin/reader/ByteSource.h"

namespace bramble {

extern StreamingObject* g_pStreaming;

// Loads "Plugins\Tolquin.DLL" and asks it for its object; without it,
// network streams fail to open.
void LoadStreamingLibrary();
void ReleaseStreamingLibrary();

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
