// The playback object: its frame reader bound to a local file or network
// stream, a decoder, the host's output plug-in, and a playback thread that
// decodes one frame per pass. While the thread runs it alone touches the
// reader, the decoder and the output; the host's thread posts requests
// (seek, pause, stop) and reads what the thread publishes.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "abi/InModule.h"
#include "config/Settings.h"
#include "plugin/Session.h"
#include "plugin/Streaming.h"
#include "reader/ByteSource.h"
#include "reader/FrameReader.h"
#include "tags/InfoBlocks.h"

namespace bramble {

class MpegDecoder;

// The longest block the host's sample processor may return (the session's buffer).
constexpr int kMaxDspSampleFrames = Session::kPcmBufferBytes / 4;
// Room the output must report before a block is written.
constexpr int kOutputRoomBytes = 8192;

class Mp3Player final : private LockOnListener {
 public:
  // The session (borrowed) gives the stream mode, the notify-once flag and
  // the PCM buffer.
  explicit Mp3Player(Session& session);
  ~Mp3Player();
  Mp3Player(const Mp3Player&) = delete;
  Mp3Player& operator=(const Mp3Player&) = delete;

  // Binds a source: the file length in bytes (0 for a stream), or -1.
  long Open(const char* name, InModule* module);
  // What the file's scan or a stream's first bytes showed, and their bit/s
  // (for a seek before the first frame); between Open and Start.
  void SetLayout(const SourceLayout& layout, int bitrate);
  int Close();
  // True between a successful Open and Close.
  bool has_source() const { return decoder_ != nullptr; }

  // The settings of the next playback (read while no thread runs); the
  // open source's decoder takes its accuracy from them.
  void UseSettings(const Settings& settings);

  // Stores the thread priority and applies it to a running thread. 1.
  int SetPriority(int priority);

  // Starts the playback thread: 0, or -1 when it cannot be created.
  int Start();
  // Ends the thread and waits for it; afterwards no end-of-stream message
  // of this playback is queued or will be posted. -1 when no thread ran
  // (none was started, or its stream had ended by itself).
  int Stop();

  // Requests, carried out by the playback thread on its next pass or wait.
  void Seek(int ms);
  void Pause(bool paused) { pause_request_ = paused; }

  // Published by the playback thread: the position being heard (ms) and
  // the header of the frame last played (its four bytes, first byte
  // highest; 0 before the first). The average bit rate of a Xing or VBRI
  // source (bit/s, else 0) is known at Start.
  int output_time() const { return output_time_; }
  uint32_t header_word() const { return header_word_; }
  int average_bitrate() const { return average_bitrate_; }

 private:
  enum class DrainEnd { kDrained, kSeek, kStop };
  static constexpr int kNoSeek = -1;

  // The reader locked on to the source: the output opens.
  bool LockedOn(const FrameReader& reader) override;
  static DWORD WINAPI ThreadMain(void* self);
  // Text and URL blocks of the embedded data channel go to the host window.
  static void NotifyInfoBlock(void* self, const char* text, int url_flag, int32_t time_ms);
  void PlayLoop();
  // One frame read, decoded and written: the byte position, or -1.
  int PlayFrame();
  void CarryOutSeek(int ms);
  void WriteBlock(int bytes);
  // Waits for room for a block; false when Stop asked the thread to end.
  bool WaitForRoom(OutModule* out);
  // Waits until the output has played what it holds.
  DrainEnd Drain();
  void ApplyPause();
  void PublishOutputTime();
  // Undoes the thread's pause, flushes after a stop, closes: once per open.
  void CloseOutput(bool stopped);
  // Takes a queued end-of-stream message off the host window's queue.
  void DropEndMessage();
  // Closes the open network stream, once.
  void CloseStream();
  OutModule* output() const { return module_ ? module_->out_module : nullptr; }

  Session& session_;
  FrameReader reader_;
  FileSource file_;
  StreamSource stream_;
  std::unique_ptr<MpegDecoder> decoder_;
  InfoBlockReader info_blocks_;
  InModule* module_ = nullptr;
  Settings settings_;  // of this playback, copied at Play
  int priority_ = 0;
  HANDLE thread_ = nullptr;  // from Start until Stop

  // Posted by the host's thread.
  std::atomic<bool> stop_{false};
  std::atomic<int> seek_request_{kNoSeek};
  std::atomic<bool> pause_request_{false};
  std::atomic<bool> stream_open_{false};

  // The playback thread's own.
  int decode_time_ = 0;
  int opening_time_ = 0;
  int scanned_byte_rate_ = 0;  // until the reader has read a frame  // ms the output starts at when it opens (a seek before the first frame)
  bool pause_applied_ = false;

  // Published for the host's thread.
  std::atomic<int> output_time_{0};
  std::atomic<uint32_t> header_word_{0};
  int average_bitrate_ = 0;
};

// Platform thread priority for a stored priority step.
int PriorityForStep(int step);

}  // namespace bramble
