// Output plug-ins of the jukebox: a file writer and the sound device, both
// reached by the input plug-in through one OutModule record.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "abi/InModule.h"
#include "tools/WavWriter.h"

namespace jukebox {

class OutputDevice {
 public:
  virtual ~OutputDevice() = default;
  virtual int Open(int sample_rate, int channels, int bits) = 0;
  virtual void Close() = 0;
  // 0 queued, 1 refused.
  virtual int Write(const void* pcm, int bytes) = 0;
  virtual int CanWrite() = 0;
  virtual int IsPlaying() = 0;
  virtual void Pause(int pause) = 0;
  virtual void SetVolume(int) {}
  virtual void SetPan(int) {}
  virtual void Flush(int time_ms) = 0;
  virtual int GetOutputTime() = 0;
  virtual int GetWrittenTime() = 0;
  // Bytes accepted since the output opened.
  virtual int64_t bytes_written() const = 0;
  // Finishes the file (if any); false on a write error.
  virtual bool Finish() { return true; }
};

// The record handed to the plug-in, calling `device`. While a hold is set,
// the output reports no room once its written time reaches the hold, so
// that the host can act at an exact place.
bramble::OutModule* BindOutput(OutputDevice* device);
void SetOutputHold(int written_ms);  // -1: none
bool OutputHeld();                   // the plug-in is waiting at the hold
// From now, the first write prints "first-write-ms T": milliseconds since.
void MarkPlayStart();

// Writes exactly the bytes it is given: raw PCM, or a WAVE file when the
// name ends in ".wav". Immediate, or paced like a device in real time.
class FileOutput : public OutputDevice {
 public:
  FileOutput(std::string path, bool realtime, bool refuse_open);
  int Open(int sample_rate, int channels, int bits) override;
  void Close() override {}
  int Write(const void* pcm, int bytes) override;
  int CanWrite() override;
  int IsPlaying() override;
  void Pause(int pause) override;
  void Flush(int time_ms) override;
  int GetOutputTime() override;
  int GetWrittenTime() override;
  int64_t bytes_written() const override { return total_bytes_; }
  bool Finish() override;

 private:
  static constexpr int64_t kDeviceBufferBytes = 65536;
  void Advance();
  int BytesToMs(int64_t bytes) const;

  bramble::FilePcmSink sink_;
  bool realtime_;
  bool refuse_open_;
  bool opened_ = false;
  CRITICAL_SECTION lock_;
  int sample_rate_ = 0;
  bool paused_ = false;
  int base_ms_ = 0;
  int64_t written_ = 0;  // since the last flush
  int64_t played_ = 0;
  int64_t total_bytes_ = 0;
  LARGE_INTEGER last_ = {};
  LARGE_INTEGER frequency_ = {};
  double carry_ = 0.0;

 public:
  ~FileOutput() override { DeleteCriticalSection(&lock_); }
};

// The waveOut sound device.
std::unique_ptr<OutputDevice> MakeWaveOutput();

}  // namespace jukebox
