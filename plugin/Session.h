// The plug-in's process-wide state, one copy owned by the module: what the
// open source is (stream mode, name, a stream's rates and layout), the
// length cache, the paused and notify-once flags, the one PCM buffer and
// the scanner. No platform calls: the streaming object's content length
// comes in through a callback. One playback at a time.
#pragma once

#include <atomic>
#include <cstdint>

#include "reader/FrameReader.h"
#include "reader/SourceLayout.h"

namespace bramble {

class Session {
 public:
  static constexpr int kSourceNameBytes = 260;
  // Twice the largest block, so that the host's sample processor may
  // lengthen a block up to 2304 sample frames.
  static constexpr int kPcmBufferBytes = 9216;
  static_assert(kPcmBufferBytes >= FrameReader::kPcmBufferBytes, "the reader's PCM destination");

  // The open network stream's content length in bytes (0 when unknown);
  // false when there is no streaming object to ask.
  using ContentLengthQuery = bool (*)(uint32_t* bytes);

  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Name of the open source; kept to 259 characters.
  void SetSourceName(const char* name);
  const char* source_name() const { return source_name_; }

  void SetContentLengthQuery(ContentLengthQuery query) { content_length_ = query; }
  // Size in bytes of `name`: the content length when it is the open
  // network stream, else the local file's size (1 when it cannot be opened).
  uint32_t QuerySourceSize(const char* name) const;

  // What the scan of a local file found (FrameReader::GetInfo); `found`
  // is false when it holds no frame.
  struct FileScan {
    bool found = false;
    int bitrate = 0;      // bit/s
    int sample_rate = 0;  // Hz
    SourceLayout layout;
  };
  // The scan of the local file `name` of `bytes` bytes: the last file
  // scanned is answered from the cache while its name, size and first and
  // last bytes stay, so that a walk over its frames runs once.
  const FileScan& ScanFile(const char* name, uint32_t bytes);

  // Length of `name` in ms; the last name asked is answered from the cache.
  int GetLength(const char* name);
  void InvalidateLengthCache() {
    cached_length_ = -1;
    scanned_ = false;
  }

  uint8_t* pcm() { return pcm_; }

  // Set while a network stream is the open source.
  bool stream_mode = false;
  int stream_bitrate = 0;      // bit/s of the open stream, for its length
  int stream_sample_rate = 0;  // Hz
  SourceLayout stream_layout;  // what the stream's first bytes showed
  int paused = 0;              // 1 between Pause and UnPause or Stop
  // Set once a text of the source went to the host: only the first may
  // switch the host's view. Shared with the playback thread.
  std::atomic<int> notify_once{0};
  // Scans files for rates and layouts; on the host's thread only.
  FrameReader scanner;

 private:
  char source_name_[kSourceNameBytes] = {};
  ContentLengthQuery content_length_ = nullptr;
  // One entry: the name last measured, its length, and its scan.
  char cached_name_[kSourceNameBytes] = {};
  int cached_length_ = -1;
  bool scanned_ = false;
  uint32_t scanned_bytes_ = 0;
  uint64_t scanned_print_ = 0;
  FileScan scan_;
  alignas(16) uint8_t pcm_[kPcmBufferBytes] = {};
};

}  // namespace bramble
