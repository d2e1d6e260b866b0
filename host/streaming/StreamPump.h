// A worker thread that runs one request and fills a bounded ring with the
// body, so that the caller's waits are bounded by its own deadlines whatever
// the network does. The caller may walk away at any time (Abandon); the
// worker then ends by itself within the WinINet time-outs, holding its own
// reference to the shared state and to this library.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/streaming/HttpRequest.h"

class StreamPump {
 public:
  static constexpr size_t kRingBytes = 256 * 1024;

  enum class Mode { kBody, kProbe };   // kProbe: reply head only

  // Starts the worker; null when no thread could be made. `offset` > 0
  // asks for a range and, if the server ignores it, skips that many bytes.
  static StreamPump* Start(const std::string& address, uint32_t offset, Mode mode,
                           const StreamSettings& settings);

  void AddRef();
  void Release();
  // Cancels the worker and drops the caller's reference.
  void Abandon();

  // Waits until the reply head is known or `ms` passed; false on time-out.
  bool WaitForReply(DWORD ms, ReplyInfo* reply);
  // Copies up to `count` bytes, waiting at most `ms` for all of them or the
  // end of the body. `consume` false leaves them to be read again.
  size_t Take(void* buffer, size_t count, DWORD ms, bool consume);

 private:
  enum class Phase { kConnecting, kStreaming, kEnded, kFailed };

  StreamPump(const std::string& address, uint32_t offset, Mode mode, const StreamSettings& s);
  ~StreamPump() = default;
  static DWORD WINAPI ThreadMain(void* self);
  void Run();
  bool Fill(std::vector<uint8_t>* chunk);
  void SetPhase(Phase p);
  bool Wait(ULONGLONG deadline);   // caller holds lock_; false when the deadline passed

  volatile LONG refs_ = 1;
  const std::string address_;
  const uint32_t offset_;
  const Mode mode_;
  const StreamSettings settings_;
  HttpRequest request_;

  SRWLOCK lock_;
  CONDITION_VARIABLE changed_;
  Phase phase_ = Phase::kConnecting;
  bool cancelled_ = false;
  ReplyInfo reply_;
  std::vector<uint8_t> ring_;
  size_t head_ = 0;    // first unread byte
  size_t count_ = 0;   // unread bytes
};
