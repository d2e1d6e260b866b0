// Test harness for the plug-in under Wine: synthetic streams, a recording
// host (output plug-in, host functions, host window with its interfaces)
// and the plug-in DLL loaded afresh for each test.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
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
constexpr int kByteRate = 16000;
std::vector<uint8_t> SilentFrames(int frames);
std::string TempPath(const std::string& name);
std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes);

// Everything the plug-in did to the host, recorded.
struct HostLog {
  std::mutex lock;
  std::vector<std::string> calls;  // in order: "open", "flush 61500", "pause 1", ...
  std::vector<int> write_bytes;
  std::vector<int> feed_times;     // PcmFeedA time stamps
  std::vector<std::string> setinfo;
  int open_thread_priority = -999;
  DWORD open_thread_id = 0;
  std::vector<int> dsp_frames;

  void Add(const std::string& call);
  bool Has(const std::string& call);
  int Count(const std::string& prefix);
  size_t Writes();
};

// The fake output plug-in and host functions. One per process.
struct FakeHost {
  std::atomic<bool> refuse_open{false};
  std::atomic<int> writes_allowed{1 << 30};  // CanWrite reports room while > 0
  std::atomic<bool> paused{false};
  std::atomic<int> output_time{0};
  std::atomic<int> written_time{0};
  std::atomic<bool> dsp_active{false};
  std::atomic<int> dsp_result{-1};           // -1: halve the block
  std::atomic<int> can_write_calls{0};
  HostLog log;

  void Reset();
  // Fills the host slots of `mod` with this host and `window`.
  void Attach(bramble::InModule* mod, HWND window);
};
FakeHost& Host();

// The plug-in DLL, loaded for one test and unloaded after it.
class PluginDll {
 public:
  PluginDll();
  ~PluginDll();
  bramble::InModule* mod() const { return mod_; }
  bool ok() const { return mod_ != nullptr; }

 private:
  HMODULE library_ = nullptr;
  bramble::InModule* mod_ = nullptr;
};

// A top-level window of the host's class on the calling thread, whose
// interfaces record every call in Host().log ("text 0 abc 0 1", ...).
class HostWindow {
 public:
  HostWindow();
  ~HostWindow();
  HWND hwnd() const { return hwnd_; }
  int end_of_stream_messages() const;

 private:
  HWND hwnd_ = nullptr;
};

// Dispatches this thread's messages until `done` or the time-out; true
// when `done` became true.
bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms);
void PumpFor(DWORD ms);

int ThreadCount();
// Play's result for a source that cannot be opened: -100 while the streaming
// library (Plugins\Tolquin.DLL beside the program) is loaded, else -1.
int OpenFailureResult();
// Settings of the plug-in in the user tree: removes both trees' values used
// by the tests.
void ClearSettings();
void SetUserString(const char* subkey, const char* name, const char* value);

}  // namespace wintest
