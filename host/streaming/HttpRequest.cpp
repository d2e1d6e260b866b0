#include "host/streaming/HttpRequest.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char kUserAgent[] = "Bramblecot/1.3";
// A header longer than this is treated as absent; longer texts are cut anyway.
constexpr DWORD kMaxHeaderBytes = 256 * 1024;

void SetTimeouts(HINTERNET h, const StreamSettings& s) {
  DWORD connect = s.ConnectMs(), read = s.ReadMs(), retries = 1;
  InternetSetOptionA(h, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
  InternetSetOptionA(h, INTERNET_OPTION_CONNECT_RETRIES, &retries, sizeof(retries));
  InternetSetOptionA(h, INTERNET_OPTION_SEND_TIMEOUT, &read, sizeof(read));
  InternetSetOptionA(h, INTERNET_OPTION_RECEIVE_TIMEOUT, &read, sizeof(read));
  InternetSetOptionA(h, INTERNET_OPTION_DATA_SEND_TIMEOUT, &read, sizeof(read));
  InternetSetOptionA(h, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &read, sizeof(read));
}

// A header's text, or false when absent. `name` only for HTTP_QUERY_CUSTOM.
bool QueryText(HINTERNET request, DWORD level, const char* name, std::string* out) {
  std::vector<char> buf(1024);
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (name) {
      size_t n = strlen(name);
      if (n + 1 > buf.size()) return false;
      memcpy(buf.data(), name, n + 1);
    }
    DWORD size = static_cast<DWORD>(buf.size());
    if (HttpQueryInfoA(request, level, buf.data(), &size, nullptr)) {
      out->assign(buf.data(), strnlen(buf.data(), buf.size()));
      return true;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size > kMaxHeaderBytes) return false;
    buf.assign(size + 2, 0);
  }
  return false;
}

bool ParseUnsigned(const char* s, uint64_t* value) {
  while (*s == ' ' || *s == '\t') ++s;
  if (*s < '0' || *s > '9') return false;
  uint64_t v = 0;
  for (; *s >= '0' && *s <= '9'; ++s) {
    if (v > (UINT64_MAX - 9) / 10) return false;
    v = v * 10 + static_cast<unsigned>(*s - '0');
  }
  *value = v;
  return true;
}

std::string Cut(std::string s) {
  if (s.size() > HttpRequest::kMaxText) s.resize(HttpRequest::kMaxText);
  return s;
}

bool IsRedirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

HttpRequest::HttpRequest() { InitializeSRWLock(&lock_); }

HttpRequest::~HttpRequest() { Close(); }

bool HttpRequest::Cancelled() {
  AcquireSRWLockExclusive(&lock_);
  bool c = cancelled_;
  ReleaseSRWLockExclusive(&lock_);
  return c;
}

template <class Call>
bool HttpRequest::Blocking(Call call) {
  AcquireSRWLockExclusive(&lock_);
  if (cancelled_ || !request_) {
    ReleaseSRWLockExclusive(&lock_);
    SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
    return false;
  }
  HINTERNET h = request_;
  in_call_ = true;
  ReleaseSRWLockExclusive(&lock_);
  bool ok = call(h);
  DWORD err = GetLastError();
  AcquireSRWLockExclusive(&lock_);
  in_call_ = false;
  if (cancelled_) ok = false, err = ERROR_INTERNET_OPERATION_CANCELLED;
  ReleaseSRWLockExclusive(&lock_);
  SetLastError(err);
  return ok;
}

void HttpRequest::Cancel() {
  AcquireSRWLockExclusive(&lock_);
  cancelled_ = true;
  // Only a handle in use by a call is closed here: the owning thread closes
  // the rest, so no handle value is ever used after it was closed.
  if (in_call_ && request_ && !request_closed_) {
    InternetCloseHandle(request_);
    request_closed_ = true;
  }
  ReleaseSRWLockExclusive(&lock_);
}

void HttpRequest::CloseHop() {
  AcquireSRWLockExclusive(&lock_);
  HINTERNET request = request_closed_ ? nullptr : request_;
  HINTERNET connect = connect_;
  request_ = connect_ = nullptr;
  request_closed_ = false;
  ReleaseSRWLockExclusive(&lock_);
  if (request) InternetCloseHandle(request);
  if (connect) InternetCloseHandle(connect);
}

void HttpRequest::Close() {
  CloseHop();
  if (session_) InternetCloseHandle(session_);
  session_ = nullptr;
}

bool HttpRequest::Send(const std::string& address, const char* range,
                       const StreamSettings& settings, ReplyInfo* reply) {
  *reply = ReplyInfo();
  if (!session_) {
    session_ = InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session_) {
      reply->error = GetLastError();
      return false;
    }
    SetTimeouts(session_, settings);
  }
  std::string url = address;
  for (unsigned hop = 0;; ++hop) {
    std::string location;
    if (!Hop(url, range, settings, reply, &location)) return false;
    if (!IsRedirect(reply->status)) return true;
    CloseHop();
    if (hop == kMaxRedirects || location.empty()) {
      reply->error = ERROR_HTTP_REDIRECT_FAILED;
      reply->status = 0;
      return false;
    }
    // Resolve a relative location against the address that gave it.
    std::vector<char> combined(4096);
    DWORD size = static_cast<DWORD>(combined.size());
    if (!InternetCombineUrlA(url.c_str(), location.c_str(), combined.data(), &size, 0)) {
      reply->error = GetLastError();
      reply->status = 0;
      return false;
    }
    url.assign(combined.data(), size);
    reply->redirects = hop + 1;
  }
}

bool HttpRequest::Hop(const std::string& url, const char* range, const StreamSettings& settings,
                      ReplyInfo* reply, std::string* location) {
  unsigned redirects = reply->redirects;
  *reply = ReplyInfo();
  reply->redirects = redirects;
  if (Cancelled()) {
    reply->error = ERROR_INTERNET_OPERATION_CANCELLED;
    return false;
  }
  char host[256], path[4096], extra[4096];
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof(host);
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = sizeof(path);
  parts.lpszExtraInfo = extra;
  parts.dwExtraInfoLength = sizeof(extra);
  if (url.size() >= 4096 || !InternetCrackUrlA(url.c_str(), 0, 0, &parts) ||
      (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) ||
      parts.dwHostNameLength == 0) {
    reply->error = ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    return false;
  }
  // The fragment stays with the client.
  std::string object = std::string(path, parts.dwUrlPathLength) +
                       std::string(extra, parts.dwExtraInfoLength);
  object = object.substr(0, object.find('#'));
  if (object.empty()) object = "/";

  HINTERNET connect = InternetConnectA(session_, host, parts.nPort, nullptr, nullptr,
                                       INTERNET_SERVICE_HTTP, 0, 0);
  if (!connect) {
    reply->error = GetLastError();
    return false;
  }
  DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD |
                INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  const char* accept[] = {"*/*", nullptr};
  HINTERNET request =
      HttpOpenRequestA(connect, "GET", object.c_str(), nullptr, nullptr, accept, flags, 0);
  AcquireSRWLockExclusive(&lock_);
  connect_ = connect;
  request_ = request;
  request_closed_ = false;
  ReleaseSRWLockExclusive(&lock_);
  if (!request) {
    reply->error = GetLastError();
    return false;
  }
  SetTimeouts(request, settings);

  // Audio is sent as it is: a compressed body would reach the decoder as noise.
  std::string headers = "Accept-Encoding: identity\r\n";
  HttpAddRequestHeadersA(request, headers.c_str(), static_cast<DWORD>(headers.size()),
                         HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
  headers.clear();
  if (range) headers = std::string("Range: ") + range + "\r\n";
  bool sent = Blocking([&](HINTERNET h) {
    return HttpSendRequestA(h, headers.empty() ? nullptr : headers.c_str(),
                            static_cast<DWORD>(headers.size()), nullptr, 0) != FALSE;
  });
  if (!sent) {
    reply->error = GetLastError();
    return false;
  }
  bool read = Blocking([&](HINTERNET h) {
    DWORD status = 0, size = sizeof(status);
    if (!HttpQueryInfoA(h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr))
      return false;
    reply->status = status;
    if (IsRedirect(status)) QueryText(h, HTTP_QUERY_LOCATION, nullptr, location);
    return true;
  });
  if (!read || reply->status == 0) {
    reply->error = read ? ERROR_HTTP_INVALID_SERVER_RESPONSE : GetLastError();
    reply->status = 0;
    return false;
  }
  if (!IsRedirect(reply->status)) ReadReply(reply);
  return true;
}

void HttpRequest::ReadReply(ReplyInfo* reply) {
  Blocking([&](HINTERNET h) {
    std::string text;
    uint64_t v = 0;
    if (QueryText(h, HTTP_QUERY_CONTENT_LENGTH, nullptr, &text) && ParseUnsigned(text.c_str(), &v)) {
      reply->has_length = true;
      reply->content_length = v;
    }
    // "bytes first-last/total"; a total of "*" is an unknown length.
    if (reply->status == 206 && QueryText(h, HTTP_QUERY_CONTENT_RANGE, nullptr, &text)) {
      const char* s = text.c_str();
      if (_strnicmp(s, "bytes", 5) == 0) s += 5;
      uint64_t first = 0, total = 0;
      const char* slash = strchr(s, '/');
      if (ParseUnsigned(s, &first) && slash && ParseUnsigned(slash + 1, &total)) {
        reply->range_total_known = true;
        reply->range_first = first;
        reply->range_total = total;
      }
    }
    if (QueryText(h, HTTP_QUERY_CONTENT_ENCODING, nullptr, &text) && _stricmp(text.c_str(), "identity") != 0)
      reply->error = kErrorContentEncoding;
    if (QueryText(h, HTTP_QUERY_CONTENT_TYPE, nullptr, &text)) reply->content_type = text;
    if (QueryText(h, HTTP_QUERY_CUSTOM, "icy-name", &text)) {
      reply->icy = true;
      reply->icy_name = Cut(text);
    }
    if (QueryText(h, HTTP_QUERY_CUSTOM, "icy-description", &text)) {
      reply->icy = true;
      reply->icy_description = Cut(text);
    }
    if (QueryText(h, HTTP_QUERY_CUSTOM, "icy-genre", &text)) {
      reply->icy = true;
      reply->icy_genre = Cut(text);
    }
    if (QueryText(h, HTTP_QUERY_CUSTOM, "icy-br", &text) && ParseUnsigned(text.c_str(), &v)) {
      reply->icy = true;
      reply->icy_br = v > 100000 ? 0 : static_cast<DWORD>(v);
    }
    return true;
  });
}

bool HttpRequest::ReadSome(void* buffer, DWORD max, DWORD* got) {
  *got = 0;
  DWORD available = 0;
  if (!Blocking([&](HINTERNET h) { return InternetQueryDataAvailable(h, &available, 0, 0) != FALSE; }))
    return false;
  if (available == 0) return true;
  DWORD n = available < max ? available : max;
  return Blocking([&](HINTERNET h) { return InternetReadFile(h, buffer, n, got) != FALSE; });
}
