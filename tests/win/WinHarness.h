// Test harness for the plug-in under Wine: synthetic streams, a recording
// host (output plug-in, host functions, host window with its interfaces),
// the plug-in DLL loaded afresh for each test, and a driver that works real
// dialogs from a second thread the way a user would.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "abi/HostInterfaces.h"
#include "abi/InModule.h"

namespace wintest {

// MPEG-1 Layer II, 128 kbit/s, 48 kHz, stereo, no CRC: 384-byte frames of
// 24 ms. An all-zero body allocates no bits and decodes to silence.
constexpr int kFrameBytes = 384;
constexpr int kFrameMs = 24;
constexpr int kBlockBytes = 4608;
std::vector<uint8_t> SilentFrames(int frames);
std::string TempPath(const std::string& name);
std::string BesideProgram(const char* name);

// Everything the plug-in did to the host, recorded.
struct HostLog {
  std::mutex lock;
  std::vector<std::string> calls;  // in order: "open 48000 2 16 -1 -1", "flush 61500", "pause 1", ...
  std::vector<int> write_bytes;
  std::vector<int> feed_times;  // PcmFeedA time stamps
  int open_thread_priority = -999;
  DWORD open_thread_id = 0;

  void Add(const std::string& call);
  bool Has(const std::string& call);
  int Count(const std::string& prefix);
  size_t Writes();
  template <typename T>
  T Copy(const T& member) {  // of a member above, taken under the lock
    std::lock_guard<std::mutex> g(lock);
    return member;
  }
};

// The fake output plug-in and host functions. One per process. Like a
// device, the output is paused only once it is open.
struct FakeHost {
  std::atomic<bool> refuse_open{false}, paused{false};
  std::atomic<bool> hold_open{false};   // Open waits while set
  std::atomic<bool> hold_drain{false};  // IsPlaying answers 1 while set
  std::atomic<bool> realtime{false};    // plays a short queue at the sample rate
  std::atomic<int> writes_allowed{1 << 30};  // CanWrite reports room while > 0
  std::atomic<int> output_time{0}, written_time{0}, can_write_calls{0}, is_playing_calls{0};
  std::atomic<int> dsp_result{0};  // 0: no sample processor; -1: it halves the block
  std::atomic<int> opens_entered{0}, open_outputs{0};  // outputs opened and not closed
  std::atomic<bool> idle{false};  // no playback: an open or a write is logged "unexpected"
  HostLog log;

  void Reset();
  void Attach(bramble::InModule* mod, HWND window);  // fills the host slots
};
FakeHost& Host();

// The plug-in DLL beside the program, loaded for one test.
class PluginDll {
 public:
  PluginDll();
  ~PluginDll() { FreeLibrary(library_); }
  bramble::InModule* mod() const { return mod_; }
  bool ok() const { return mod_ != nullptr; }

 private:
  HMODULE library_;
  bramble::InModule* mod_ = nullptr;
};

// A window of the host's class on the calling thread, whose interfaces
// record every call in Host().log ("notify-5 0 [abc] 0 1", ...).
class HostWindow {
 public:
  HostWindow();
  ~HostWindow();
  HWND hwnd() const { return hwnd_; }
  int end_of_stream_messages() const;

 private:
  HWND hwnd_;
};

// Dispatches this thread's messages until `done` (true) or the time-out.
bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms);
void PumpFor(DWORD ms);
int ThreadCount();
// Play's result for a source that cannot be opened: -100 while the streaming
// library (Plugins\Tolquin.DLL beside the program) is loaded, else -1.
int OpenFailureResult();
// The plug-in's settings: both trees removed; a user value set, or read as
// text ("<absent>" when missing).
void ClearSettings();
void SetUserString(const char* subkey, const char* name, const char* value);
std::string UserSetting(const char* subkey, const char* name);

HWND WaitForWindow(DWORD thread, const std::string& caption);  // visible, top-level
std::string Text(HWND window);  // asked across threads, with a time-out

// The plug-in loaded, attached to the recording host and initialised, with
// the settings cleared; files made by File() are deleted afterwards.
class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Afresh, with or without the streaming library; not initialised if `init` is false.
  void Load(bool streaming = true, bool init = true);
  void Unload();
  std::string File(const std::string& name, const std::vector<uint8_t>& bytes);
  bool WaitForEnds(int n);
  bool WaitForThreadsBack();
  // Opens a window with `modal` and runs `drive` on it, which must close it.
  void Driven(const std::function<void()>& modal, const std::string& caption,
              const std::function<void(HWND)>& drive);

  HostWindow window_;
  std::unique_ptr<PluginDll> dll_;
  bramble::InModule* mod_ = nullptr;
  int threads_ = 0;
  std::vector<std::string> files_;
};

}  // namespace wintest
