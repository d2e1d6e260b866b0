// One HTTP GET through WinINet, with redirects followed by hand so that
// their number is bounded, and the reply fields the stream needs.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

#include "host/streaming/StreamSettings.h"

// WinINet's ERROR_INTERNET_DECODING_FAILED (12175), not in every SDK's
// headers: a reply body in a content coding the stream cannot read.
constexpr DWORD kErrorContentEncoding = 12175;

struct ReplyInfo {
  DWORD status = 0;              // 0: no reply at all
  DWORD error = 0;               // WinINet / Win32 error: no reply, or one refused
  unsigned redirects = 0;
  bool has_length = false;
  uint64_t content_length = 0;   // of this reply's body
  bool range_total_known = false;  // 206 with "Content-Range: bytes a-b/N"
  uint64_t range_first = 0;
  uint64_t range_total = 0;
  bool icy = false;
  DWORD icy_br = 0;
  std::string icy_name, icy_description, icy_genre, content_type;

  bool Ok() const { return status >= 200 && status <= 299 && error == 0; }
};

class HttpRequest {
 public:
  static constexpr unsigned kMaxRedirects = 5;
  static constexpr size_t kMaxText = 255;   // header texts are cut to this

  HttpRequest();
  ~HttpRequest();
  HttpRequest(const HttpRequest&) = delete;
  HttpRequest& operator=(const HttpRequest&) = delete;

  // Sends the request (with `range`, e.g. "bytes=0-", when not null) and
  // reads the reply head. False when no final reply arrived.
  bool Send(const std::string& address, const char* range, const StreamSettings& settings,
            ReplyInfo* reply);
  // Waits for body bytes; *got == 0 with true means the body ended.
  bool ReadSome(void* buffer, DWORD max, DWORD* got);
  // From any thread: makes the blocked call fail and every later one too.
  void Cancel();
  void Close();

 private:
  bool Hop(const std::string& url, const char* range, const StreamSettings& settings,
           ReplyInfo* reply, std::string* location);
  void ReadReply(ReplyInfo* reply);
  void CloseHop();
  bool Cancelled();
  // Runs `call` on the request handle, which Cancel may close meanwhile.
  template <class Call>
  bool Blocking(Call call);

  SRWLOCK lock_;
  bool cancelled_ = false;
  bool request_closed_ = false;   // by Cancel, during a blocking call
  bool in_call_ = false;
  HINTERNET session_ = nullptr;
  HINTERNET connect_ = nullptr;
  HINTERNET request_ = nullptr;
};
