// PCM sinks that write a file: a RIFF WAVE file (16-bit stereo, sizes
// patched at the end) or raw interleaved s16le. The file is created only
// when the first frame is synchronised.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "reader/DecodeSource.h"

namespace bramble {

class FilePcmSink : public PcmSink {
 public:
  // `path` "-" writes raw PCM to standard output; a name ending in ".wav"
  // gets a WAVE header.
  explicit FilePcmSink(std::string path);
  ~FilePcmSink() override;

  bool Start(int sample_rate) override;
  bool Write(const int16_t* pcm, int values, int channels) override;
  // Patches the header sizes and closes; false on a write error.
  bool Finish();

 private:
  bool WriteHeader(uint32_t data_bytes);

  static constexpr size_t kBufferBytes = 1 << 16;

  std::string path_;
  std::vector<char> buffer_;  // the file's stdio buffer, outliving it
  bool wav_ = false;
  std::FILE* file_ = nullptr;
  int sample_rate_ = 0;
  uint64_t data_bytes_ = 0;
  bool failed_ = false;
};

// True when `path` ends in ".wav" in any letter case.
bool IsWavPath(const std::string& path);

}  // namespace bramble
