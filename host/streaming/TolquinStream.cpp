#include "host/streaming/TolquinStream.h"

#include <algorithm>
#include <cstring>

#include "host/streaming/SettingsDialog.h"

using bramble::StreamInfoRecord;
using bramble::kStreamHasLength;
using bramble::kStreamIcy;

namespace {

bool StartsWithHttp(const char* s) { return s && _strnicmp(s, "http://", 7) == 0; }

void CopyText(char* dst, size_t size, const std::string& src) {
  size_t n = src.size() < size - 1 ? src.size() : size - 1;
  memcpy(dst, src.data(), n);
  dst[n] = 0;
}

// The address's last path segment, without query or fragment.
std::string LastSegment(const std::string& address) {
  size_t start = address.find("//");
  start = start == std::string::npos ? 0 : start + 2;
  size_t end = address.find_first_of("?#", start);
  if (end == std::string::npos) end = address.size();
  size_t slash = address.rfind('/', end == 0 ? 0 : end - 1);
  if (slash == std::string::npos || slash < start) return std::string();
  return address.substr(slash + 1, end - slash - 1);
}

uint32_t Clamp32(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }

}  // namespace

TolquinStream::TolquinStream() { InitializeSRWLock(&lock_); }

StreamPump* TolquinStream::Current() {
  AcquireSRWLockShared(&lock_);
  StreamPump* pump = pump_;
  if (pump) pump->AddRef();
  ReleaseSRWLockShared(&lock_);
  return pump;
}

void TolquinStream::Replace(StreamPump* pump) {
  AcquireSRWLockExclusive(&lock_);
  StreamPump* old = pump_;
  pump_ = pump;
  ReleaseSRWLockExclusive(&lock_);
  if (old) old->Abandon();
}

int TolquinStream::Prepare() {
  settings_ = StreamSettings::Load();
  return 1;
}

int TolquinStream::Finish() {
  Close();
  address_.clear();
  return 0;
}

StreamPump* TolquinStream::TakePending(const char* address, DWORD* waited_ms) {
  StreamPump* pump = pending_;
  pending_ = nullptr;
  if (pump && address && pending_address_ == address) {
    *waited_ms = static_cast<DWORD>(std::min<ULONGLONG>(GetTickCount64() - pending_since_, ReplyWaitMs()));
    return pump;
  }
  if (pump) pump->Abandon();
  return nullptr;
}

int TolquinStream::Open(const char* address) {
  DWORD waited = 0;
  StreamPump* pump = TakePending(address, &waited);
  Close();
  if (!StartsWithHttp(address)) return 0;
  if (!pump) {
    settings_ = StreamSettings::Load();
    pump = StreamPump::Start(address, 0, StreamPump::Mode::kBody, settings_);
  }
  if (!pump) return 0;
  ReplyInfo reply;
  if (!pump->WaitForReply(ReplyWaitMs() - waited, &reply) || !reply.Ok()) {
    pump->Abandon();
    // Why, for the caller: a time-out, the server's refusal or a coded body.
    SetLastError(reply.error ? reply.error : reply.status ? ERROR_HTTP_INVALID_SERVER_RESPONSE : ERROR_INTERNET_TIMEOUT);
    return 0;
  }
  address_ = address;
  FillRecord(address, reply);
  Replace(pump);
  info_ = &record_;
  return 1;
}

void TolquinStream::FillRecord(const char* address, const ReplyInfo& reply) {
  record_ = StreamInfoRecord();
  record_.size = sizeof(record_);
  record_.status = reply.status;
  record_.redirects = reply.redirects;
  record_.flags = (reply.has_length ? uint32_t{kStreamHasLength} : 0u) | (reply.icy ? uint32_t{kStreamIcy} : 0u);
  CopyText(record_.content_type, sizeof(record_.content_type), reply.content_type);
  record_.bitrate_kbps = reply.icy_br;
  record_.content_length = reply.has_length ? Clamp32(reply.content_length) : 0;

  CopyText(first_text_, sizeof(first_text_),
           reply.icy_name.empty() ? LastSegment(address) : reply.icy_name);
  CopyText(second_text_, sizeof(second_text_),
           reply.icy_description.empty() ? reply.icy_genre : reply.icy_description);
  record_.first_text = first_text_[0] ? first_text_ : nullptr;
  record_.second_text = second_text_[0] ? second_text_ : nullptr;
}

int TolquinStream::Close() {
  info_ = nullptr;
  Replace(nullptr);
  DWORD waited = 0;
  TakePending(nullptr, &waited);
  return 0;
}

int TolquinStream::Deliver(void* buffer, int count, bool consume) {
  if (!buffer || count <= 0) return 0;
  StreamPump* pump = Current();
  if (!pump) return 0;
  size_t n = pump->Take(buffer, static_cast<size_t>(count), settings_.ReadMs(), consume);
  pump->Release();
  if (consume) record_.read_offset += static_cast<uint32_t>(n);
  return static_cast<int>(n);
}

int TolquinStream::Read(void* buffer, int count) { return Deliver(buffer, count, true); }

int TolquinStream::Prefetch(void* buffer, int count) { return Deliver(buffer, count, false); }

int TolquinStream::Seek(uint32_t offset) {
  if (address_.empty() || !info_) return 0;
  StreamPump* pump = StreamPump::Start(address_, offset, StreamPump::Mode::kBody, settings_);
  // Our own reference across the wait: a Close meanwhile drops the stream's.
  if (pump) pump->AddRef();
  Replace(pump);
  record_.read_offset = offset;
  if (!pump) return 0;
  // A failed request leaves a pump whose Read gives 0: the stream ends there.
  ReplyInfo reply;
  const bool moved = pump->WaitForReply(ReplyWaitMs(), &reply) && reply.Ok();
  pump->Release();
  return moved ? 1 : 0;
}

int TolquinStream::IsSeekable(const char* address) {
  DWORD waited = 0;
  TakePending(nullptr, &waited);
  if (!StartsWithHttp(address)) return 0;
  settings_ = StreamSettings::Load();
  // The open that follows a probe starts now, beside it: a silent server
  // costs one time-out, not one for each.
  pending_ = StreamPump::Start(address, 0, StreamPump::Mode::kBody, settings_);
  pending_address_ = address;
  pending_since_ = GetTickCount64();
  StreamPump* pump = StreamPump::Start(address, 0, StreamPump::Mode::kProbe, settings_);
  if (!pump) return 0;
  ReplyInfo reply;
  bool known = pump->WaitForReply(ReplyWaitMs(), &reply);
  pump->Abandon();
  return known && reply.status == 206 && reply.range_total_known && reply.range_total > 0 ? 1 : 0;
}

int TolquinStream::Unused() { return 0; }

int TolquinStream::ShowSettings(void* owner_window) {
  return ShowSettingsDialog(static_cast<HWND>(owner_window), &settings_);
}
