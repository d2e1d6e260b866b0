// The playback object: its frame reader bound to a local file or network
// stream, a decoder, the host's output plug-in, and a playback thread that
// decodes one frame per pass under the player's mutex.
#pragma once

#include <windows.h>

#include <atomic>
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
  enum Command { kRun = 0, kStopCommand = 2 };

  // The session (borrowed) gives the stream mode, the notify-once flag and
  // the PCM buffer.
  explicit Mp3Player(Session& session);
  ~Mp3Player();
  Mp3Player(const Mp3Player&) = delete;
  Mp3Player& operator=(const Mp3Player&) = delete;

  // Binds a source: the file length in bytes (0 for a stream), or -1.
  long Open(const char* name, InModule* module);
  int Close();

  // The settings of the next playback (read while no thread runs); the
  // open source's decoder takes its accuracy from them.
  void UseSettings(const Settings& settings);

  // Stores the thread priority and applies it to a running thread. 1.
  int SetPriority(int priority);

  int Start();
  int Stop();
  // Posts a seek request that the playback thread carries out.
  void Seek(int ms);
  int decode_time() const { return decode_time_; }

  // One pass of the play loop's work: the byte position, or -1.
  int PlayFrame();

  bool running() const { return thread_id_ != 0; }
  // True between a successful Open and Close: a file is playing.
  bool has_source() const { return decoder_ != nullptr; }
  long seek_target() const { return seek_target_; }
  int seek_time() const { return seek_time_; }

  // The frame reader of the open source. Its gapless switch and the
  // source's layout are set here while no thread runs.
  FrameReader& reader() { return reader_; }
  const FrameReader& reader() const { return reader_; }

 private:
  // The reader locked on to the source: the output opens.
  bool LockedOn(const FrameReader& reader) override;
  int OpenOutput();
  static DWORD WINAPI ThreadMain(void* self);
  // Text and URL blocks of the embedded data channel go to the host window.
  static void NotifyInfoBlock(void* self, const char* text, int url_flag, int32_t time_ms);
  void PlayLoop();
  void CarryOutSeek();
  void WriteBlock(int bytes);
  // Waits for room for a block; false when Stop asked the thread to end.
  bool WaitForRoom(OutModule* out);
  // Closes the open network stream, once.
  void CloseStream();
  void Lock();
  void Unlock();
  OutModule* output() const { return module_ ? module_->out_module : nullptr; }

  Session& session_;
  FrameReader reader_;
  FileSource file_;
  StreamSource stream_;
  std::unique_ptr<MpegDecoder> decoder_;
  InfoBlockReader info_blocks_;
  InModule* module_ = nullptr;
  Settings settings_;
  long file_length_ = 0;

  HANDLE mutex_ = nullptr;
  // The thread handle has a guard of its own, so that a priority change
  // never waits for a pass that waits for output room.
  CRITICAL_SECTION handle_guard_;
  HANDLE thread_ = nullptr;
  std::atomic<bool> stream_open_{false};
  std::atomic<DWORD> thread_id_{0};
  std::atomic<int> command_{kRun};
  // Set by Stop: ends the waits for output room and for the drain.
  std::atomic<bool> stop_requested_{false};
  std::atomic<long> seek_target_{-1};
  std::atomic<int> seek_time_{-1};
  std::atomic<int> decode_time_{0};
  int opening_time_ = 0;  // ms the output starts at when it opens (a seek before the first frame)
  int priority_ = 0;
};

// Platform thread priority for a stored priority step.
int PriorityForStep(int step);

}  // namespace bramble
