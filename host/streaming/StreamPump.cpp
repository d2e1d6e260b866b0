#include "host/streaming/StreamPump.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD kChunkBytes = 16 * 1024;

ULONGLONG DeadlineAfter(DWORD ms) { return GetTickCount64() + ms; }

}  // namespace

StreamPump::StreamPump(const std::string& address, uint32_t offset, Mode mode,
                       const StreamSettings& s)
    : address_(address), offset_(offset), mode_(mode), settings_(s) {
  InitializeSRWLock(&lock_);
  InitializeConditionVariable(&changed_);
}

StreamPump* StreamPump::Start(const std::string& address, uint32_t offset, Mode mode,
                              const StreamSettings& settings) {
  StreamPump* pump = new StreamPump(address, offset, mode, settings);
  if (mode == Mode::kBody) pump->ring_.resize(kRingBytes);
  pump->AddRef();   // the worker's reference
  HANDLE thread = CreateThread(nullptr, 0, ThreadMain, pump, 0, nullptr);
  if (!thread) {
    pump->Release();
    pump->Release();
    return nullptr;
  }
  CloseHandle(thread);
  return pump;
}

void StreamPump::AddRef() { InterlockedIncrement(&refs_); }

void StreamPump::Release() {
  if (InterlockedDecrement(&refs_) == 0) delete this;
}

void StreamPump::Abandon() {
  AcquireSRWLockExclusive(&lock_);
  cancelled_ = true;
  ReleaseSRWLockExclusive(&lock_);
  WakeAllConditionVariable(&changed_);
  request_.Cancel();
  Release();
}

DWORD WINAPI StreamPump::ThreadMain(void* self) {
  // Keep this library loaded until the worker is done, even if the host
  // frees it while a stalled request is still timing out.
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCSTR>(&StreamPump::ThreadMain), &module);
  StreamPump* pump = static_cast<StreamPump*>(self);
  pump->Run();
  pump->Release();
  if (module) FreeLibraryAndExitThread(module, 0);
  return 0;
}

void StreamPump::SetPhase(Phase p) {
  AcquireSRWLockExclusive(&lock_);
  phase_ = p;
  ReleaseSRWLockExclusive(&lock_);
  WakeAllConditionVariable(&changed_);
}

void StreamPump::Run() {
  char range[40];
  const char* range_header = nullptr;
  if (mode_ == Mode::kProbe) {
    range_header = "bytes=0-0";
  } else if (offset_ > 0) {
    wsprintfA(range, "bytes=%lu-", static_cast<unsigned long>(offset_));
    range_header = range;
  }
  ReplyInfo reply;
  bool sent = request_.Send(address_, range_header, settings_, &reply);
  AcquireSRWLockExclusive(&lock_);
  reply_ = reply;
  phase_ = sent && reply.Ok() && mode_ == Mode::kBody ? Phase::kStreaming : Phase::kFailed;
  bool go = phase_ == Phase::kStreaming && !cancelled_;
  ReleaseSRWLockExclusive(&lock_);
  WakeAllConditionVariable(&changed_);
  if (!go) {
    request_.Close();
    return;
  }

  // A server that ignored the range sends from the start: drop the head.
  uint64_t skip = (offset_ > 0 && reply.status != 206) ? offset_ : 0;
  std::vector<uint8_t> chunk(kChunkBytes);
  for (;;) {
    DWORD room = kChunkBytes;
    AcquireSRWLockExclusive(&lock_);
    while (!cancelled_ && count_ == ring_.size()) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    if (!cancelled_ && skip == 0) room = static_cast<DWORD>(std::min<size_t>(room, ring_.size() - count_));
    bool stop = cancelled_;
    ReleaseSRWLockExclusive(&lock_);
    if (stop) break;

    DWORD got = 0;
    if (!request_.ReadSome(chunk.data(), skip ? static_cast<DWORD>(std::min<uint64_t>(skip, kChunkBytes)) : room, &got)) {
      SetPhase(Phase::kFailed);
      break;
    }
    if (got == 0) {
      SetPhase(Phase::kEnded);
      break;
    }
    if (skip) {
      skip -= got;
      continue;
    }
    AcquireSRWLockExclusive(&lock_);
    size_t tail = (head_ + count_) % ring_.size();
    size_t first = std::min<size_t>(got, ring_.size() - tail);
    memcpy(ring_.data() + tail, chunk.data(), first);
    memcpy(ring_.data(), chunk.data() + first, got - first);
    count_ += got;
    ReleaseSRWLockExclusive(&lock_);
    WakeAllConditionVariable(&changed_);
  }
  request_.Close();
}

bool StreamPump::Wait(ULONGLONG deadline) {
  ULONGLONG now = GetTickCount64();
  if (now >= deadline) return false;
  SleepConditionVariableSRW(&changed_, &lock_, static_cast<DWORD>(deadline - now), 0);
  return true;
}

bool StreamPump::WaitForReply(DWORD ms, ReplyInfo* reply) {
  ULONGLONG deadline = DeadlineAfter(ms);
  AcquireSRWLockExclusive(&lock_);
  bool known = true;
  while (phase_ == Phase::kConnecting && !cancelled_) {
    if (!Wait(deadline)) {
      known = false;
      break;
    }
  }
  known = known && phase_ != Phase::kConnecting;
  if (known) *reply = reply_;
  ReleaseSRWLockExclusive(&lock_);
  return known;
}

size_t StreamPump::Take(void* buffer, size_t count, DWORD ms, bool consume) {
  ULONGLONG deadline = DeadlineAfter(ms);
  AcquireSRWLockExclusive(&lock_);
  count = std::min(count, ring_.size());
  while (!cancelled_ && count_ < count &&
         (phase_ == Phase::kConnecting || phase_ == Phase::kStreaming)) {
    if (!Wait(deadline)) break;
  }
  size_t n = std::min(count, count_);
  size_t first = ring_.empty() ? 0 : std::min(n, ring_.size() - head_);
  auto* out = static_cast<uint8_t*>(buffer);
  if (n) {
    memcpy(out, ring_.data() + head_, first);
    memcpy(out + first, ring_.data(), n - first);
  }
  bool woke_writer = false;
  if (consume && n) {
    head_ = (head_ + n) % ring_.size();
    count_ -= n;
    woke_writer = true;
  }
  ReleaseSRWLockExclusive(&lock_);
  if (woke_writer) WakeAllConditionVariable(&changed_);
  return n;
}
