// The sound device through waveOut: a ring of blocks, each queued when
// full enough or when the plug-in writes.
#include <windows.h>
#include <mmsystem.h>

#include <cstring>
#include <vector>

#include "host/Output.h"

namespace jukebox {

namespace {
constexpr int kBlocks = 8;
constexpr int kBlockBytes = 16384;

class WaveOutput : public OutputDevice {
 public:
  ~WaveOutput() override { Close(); }

  int Open(int sample_rate, int channels, int bits) override {
    Close();
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = WORD(channels);
    format.nSamplesPerSec = DWORD(sample_rate);
    format.wBitsPerSample = WORD(bits);
    format.nBlockAlign = WORD(channels * bits / 8);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    if (waveOutOpen(&device_, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
      device_ = nullptr;
      return -1;
    }
    bytes_per_second_ = int(format.nAvgBytesPerSec);
    for (auto& b : blocks_) {
      b.data.assign(kBlockBytes, 0);
      b.header = {};
      b.header.lpData = reinterpret_cast<LPSTR>(b.data.data());
      b.header.dwBufferLength = kBlockBytes;
      waveOutPrepareHeader(device_, &b.header, sizeof b.header);
      b.header.dwFlags |= WHDR_DONE;
    }
    base_ms_ = 0;
    written_ = 0;
    return 0;
  }

  void Close() override {
    if (!device_) return;
    waveOutReset(device_);
    for (auto& b : blocks_) waveOutUnprepareHeader(device_, &b.header, sizeof b.header);
    waveOutClose(device_);
    device_ = nullptr;
  }

  int Write(const void* pcm, int bytes) override {
    if (!device_ || bytes < 0) return 1;
    const uint8_t* p = static_cast<const uint8_t*>(pcm);
    while (bytes > 0) {
      Block* b = FreeBlock();
      if (!b) return 1;
      const int n = bytes < kBlockBytes ? bytes : kBlockBytes;
      std::memcpy(b->data.data(), p, size_t(n));
      b->header.dwBufferLength = DWORD(n);
      b->header.dwFlags &= ~WHDR_DONE;
      waveOutWrite(device_, &b->header, sizeof b->header);
      p += n;
      bytes -= n;
      written_ += n;
      total_ += n;
    }
    return 0;
  }

  int CanWrite() override {
    int room = 0;
    for (auto& b : blocks_)
      if (b.header.dwFlags & WHDR_DONE) room += kBlockBytes;
    return room;
  }

  int IsPlaying() override {
    for (auto& b : blocks_)
      if (!(b.header.dwFlags & WHDR_DONE)) return 1;
    return 0;
  }

  void Pause(int pause) override {
    if (!device_) return;
    if (pause)
      waveOutPause(device_);
    else
      waveOutRestart(device_);
  }

  void Flush(int time_ms) override {
    if (!device_) return;
    waveOutReset(device_);
    base_ms_ = time_ms;
    written_ = 0;
  }

  int GetOutputTime() override {
    if (!device_) return base_ms_;
    MMTIME t = {};
    t.wType = TIME_BYTES;
    waveOutGetPosition(device_, &t, sizeof t);
    return base_ms_ + int(int64_t(t.u.cb) * 1000 / bytes_per_second_);
  }

  int GetWrittenTime() override {
    return base_ms_ + (bytes_per_second_ ? int(written_ * 1000 / bytes_per_second_) : 0);
  }

  int64_t bytes_written() const override { return total_; }

 private:
  struct Block {
    std::vector<uint8_t> data;
    WAVEHDR header;
  };
  Block* FreeBlock() {
    for (auto& b : blocks_)
      if (b.header.dwFlags & WHDR_DONE) return &b;
    return nullptr;
  }

  HWAVEOUT device_ = nullptr;
  Block blocks_[kBlocks];
  int bytes_per_second_ = 1;
  int base_ms_ = 0;
  int64_t written_ = 0;
  int64_t total_ = 0;
};
}  // namespace

std::unique_ptr<OutputDevice> MakeWaveOutput() { return std::make_unique<WaveOutput>(); }

}  // namespace jukebox
