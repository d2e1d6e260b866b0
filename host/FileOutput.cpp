#include "host/Output.h"

#include "host/Events.h"

namespace jukebox {

namespace {
OutputDevice* g_device = nullptr;
std::atomic<int> g_hold{-1};
std::atomic<bool> g_held{false};
// Performance-counter ticks at Play, until the first write reports them.
std::atomic<long long> g_play_start{0};

void ReportFirstWrite() {
  const long long start = g_play_start.exchange(0);
  if (start == 0) return;
  LARGE_INTEGER now, rate;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&rate);
  PrintEvent("first-write-ms %.2f", double(now.QuadPart - start) * 1000.0 / double(rate.QuadPart));
}

int __cdecl OutOpen(int rate, int channels, int bits, int, int) { return g_device->Open(rate, channels, bits); }
void __cdecl OutClose() { g_device->Close(); }
int __cdecl OutWrite(const void* pcm, int bytes) {
  ReportFirstWrite();
  return g_device->Write(pcm, bytes);
}
int __cdecl OutCanWrite() {
  const int hold = g_hold;
  if (hold >= 0 && g_device->GetWrittenTime() >= hold) {
    g_held = true;
    return 0;
  }
  g_held = false;
  return g_device->CanWrite();
}
int __cdecl OutIsPlaying() { return g_device->IsPlaying(); }
void __cdecl OutPause(int pause) { g_device->Pause(pause); }
void __cdecl OutSetVolume(int v) { g_device->SetVolume(v); }
void __cdecl OutSetPan(int p) { g_device->SetPan(p); }
void __cdecl OutFlush(int ms) { g_device->Flush(ms); }
int __cdecl OutGetOutputTime() { return g_device->GetOutputTime(); }
int __cdecl OutGetWrittenTime() { return g_device->GetWrittenTime(); }

bramble::OutModule g_module = {{}, OutOpen, OutClose, OutWrite, OutCanWrite, OutIsPlaying, OutPause,
                               OutSetVolume, OutSetPan, OutFlush, OutGetOutputTime, OutGetWrittenTime};
}  // namespace

bramble::OutModule* BindOutput(OutputDevice* device) {
  g_device = device;
  return &g_module;
}

void MarkPlayStart() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  g_play_start = now.QuadPart;
}

void SetOutputHold(int written_ms) {
  g_hold = written_ms;
  g_held = false;
}

bool OutputHeld() { return g_held; }

FileOutput::FileOutput(std::string path, bool realtime, bool refuse_open)
    : sink_(std::move(path)), realtime_(realtime), refuse_open_(refuse_open) {
  InitializeCriticalSection(&lock_);
  QueryPerformanceFrequency(&frequency_);
}

int FileOutput::Open(int sample_rate, int channels, int bits) {
  if (refuse_open_ || sample_rate <= 0 || channels != 2 || bits != 16) return -1;
  EnterCriticalSection(&lock_);
  bool ok = true;
  if (!opened_) {
    ok = sink_.Start(sample_rate);
    opened_ = ok;
  }
  sample_rate_ = sample_rate;
  written_ = played_ = 0;
  base_ms_ = 0;
  QueryPerformanceCounter(&last_);
  LeaveCriticalSection(&lock_);
  return ok ? 0 : -1;
}

int FileOutput::BytesToMs(int64_t bytes) const {
  return sample_rate_ > 0 ? int(bytes / 4 * 1000 / sample_rate_) : 0;
}

// Moves the device clock on: queued audio plays at the sample rate.
void FileOutput::Advance() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const double seconds = double(now.QuadPart - last_.QuadPart) / double(frequency_.QuadPart);
  last_ = now;
  if (!realtime_) {
    played_ = written_;
    return;
  }
  if (paused_ || sample_rate_ <= 0) return;
  carry_ += seconds * sample_rate_ * 4.0;
  const int64_t consume = int64_t(carry_) & ~int64_t(3);
  carry_ -= double(consume);
  played_ += consume;
  if (played_ > written_) {
    played_ = written_;
    carry_ = 0.0;
  }
}

int FileOutput::Write(const void* pcm, int bytes) {
  if (!opened_ || bytes < 0 || (bytes & 3)) return 1;
  if (bytes > 0 && !sink_.Write(static_cast<const int16_t*>(pcm), bytes / 2, 2)) return 1;
  EnterCriticalSection(&lock_);
  Advance();
  written_ += bytes;
  total_bytes_ += bytes;
  LeaveCriticalSection(&lock_);
  return 0;
}

int FileOutput::CanWrite() {
  EnterCriticalSection(&lock_);
  Advance();
  int room = 0;
  if (!paused_) room = realtime_ ? int(kDeviceBufferBytes - (written_ - played_)) : (1 << 20);
  LeaveCriticalSection(&lock_);
  return room < 0 ? 0 : room;
}

int FileOutput::IsPlaying() {
  EnterCriticalSection(&lock_);
  Advance();
  const bool queued = written_ > played_;
  LeaveCriticalSection(&lock_);
  return queued ? 1 : 0;
}

void FileOutput::Pause(int pause) {
  EnterCriticalSection(&lock_);
  Advance();
  paused_ = pause != 0;
  LeaveCriticalSection(&lock_);
}

void FileOutput::Flush(int time_ms) {
  EnterCriticalSection(&lock_);
  Advance();
  base_ms_ = time_ms;
  written_ = played_ = 0;
  carry_ = 0.0;
  LeaveCriticalSection(&lock_);
}

int FileOutput::GetOutputTime() {
  EnterCriticalSection(&lock_);
  Advance();
  const int t = base_ms_ + BytesToMs(played_);
  LeaveCriticalSection(&lock_);
  return t;
}

int FileOutput::GetWrittenTime() {
  EnterCriticalSection(&lock_);
  const int t = base_ms_ + BytesToMs(written_);
  LeaveCriticalSection(&lock_);
  return t;
}

bool FileOutput::Finish() { return opened_ ? sink_.Finish() : true; }

}  // namespace jukebox
