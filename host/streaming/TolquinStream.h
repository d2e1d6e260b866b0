// The library's one streaming object.
#pragma once

#include "abi/Streaming.h"
#include "host/streaming/StreamPump.h"
#include "host/streaming/StreamSettings.h"

class TolquinStream final : public bramble::StreamingObject {
 public:
  TolquinStream();

  int Prepare() override;
  int Finish() override;
  int Open(const char* address) override;
  int Close() override;
  int Read(void* buffer, int count) override;
  int Seek(uint32_t offset) override;
  int IsSeekable(const char* address) override;
  int Unused() override;
  int ShowSettings(void* owner_window) override;
  int Prefetch(void* buffer, int count) override;

 private:
  // The reply head may take a connect and a read time-out.
  DWORD ReplyWaitMs() const { return settings_.ConnectMs() + settings_.ReadMs(); }
  StreamPump* Current();                 // with a reference, or null
  void Replace(StreamPump* pump);        // abandons the previous one
  // The open started beside the seekability probe, if it was for `address`.
  StreamPump* TakePending(const char* address, DWORD* waited_ms);
  void FillRecord(const char* address, const ReplyInfo& reply);
  int Deliver(void* buffer, int count, bool consume);

  StreamSettings settings_;
  SRWLOCK lock_;
  StreamPump* pump_ = nullptr;
  StreamPump* pending_ = nullptr;        // host's thread only
  std::string pending_address_;
  ULONGLONG pending_since_ = 0;
  std::string address_;
  bramble::StreamInfoRecord record_ = {};
  char first_text_[HttpRequest::kMaxText + 1] = {};
  char second_text_[HttpRequest::kMaxText + 1] = {};
};
