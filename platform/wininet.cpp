// The handles of the HTTP client: a session and a connection only collect settings; a request
// owns one HttpTransfer, which does the work.
#include "platform/wininet.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/http_transfer.h"

namespace xkit {
namespace {

using detail::HttpRequestPlan;
using detail::HttpTransfer;

enum class HandleKind { kSession, kConnection, kRequest };

// Settings that a handle passes on to the handles opened from it.
struct Inherited {
  std::optional<std::string> agent;
  bool direct = false;
  std::chrono::milliseconds connectTimeout = detail::kDefaultConnectTimeout;
  std::chrono::milliseconds stallTimeout = detail::kDefaultStallTimeout;
};

struct Handle {
  static constexpr std::uint32_t kAlive = 0x494E4554;  // tells our handles from stray pointers

  explicit Handle(HandleKind handleKind) : kind(handleKind) {}
  virtual ~Handle() { tag = 0; }

  std::uint32_t tag = kAlive;
  HandleKind kind;
  Inherited settings;
};

struct Session : Handle {
  Session() : Handle(HandleKind::kSession) {}
};

struct Connection : Handle {
  Connection() : Handle(HandleKind::kConnection) {}
  std::string host;
  INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
  std::optional<std::string> userName;
  std::string password;
};

struct Request : Handle {
  Request() : Handle(HandleKind::kRequest) {}
  HttpRequestPlan plan;  // completed by HttpSendRequestA
  HttpTransfer transfer;
};

template <typename T>
T* As(HINTERNET handle, HandleKind kind) {
  auto* base = static_cast<Handle*>(handle);
  if (base == nullptr || base->tag != Handle::kAlive || base->kind != kind) return nullptr;
  return static_cast<T*>(base);
}

Handle* AnyHandle(HINTERNET handle) {
  auto* base = static_cast<Handle*>(handle);
  return base != nullptr && base->tag == Handle::kAlive ? base : nullptr;
}

// A host name, IPv4 address or bracketed IPv6 address: nothing that could change the URL
// it is put into.
bool IsHostName(std::string_view host) {
  if (host.empty()) return false;
  if (host.front() == '[') {
    return host.size() > 2 && host.back() == ']' &&
           std::all_of(host.begin() + 1, host.end() - 1, [](char c) {
             return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
           });
  }
  return std::all_of(host.begin(), host.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
  });
}

// Printable and without spaces: it goes on the request line as written.
bool IsObjectName(std::string_view object) {
  return std::all_of(object.begin(), object.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > 0x20 && byte != 0x7F;
  });
}

// Header lines of a CRLF-separated block; empty lines dropped.
void AppendHeaderLines(std::string_view block, std::vector<std::string>& lines) {
  while (!block.empty()) {
    const std::size_t end = block.find_first_of("\r\n");
    const std::string_view line = block.substr(0, end);
    if (!line.empty()) lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    block.remove_prefix(end + 1);
  }
}

}  // namespace

HINTERNET InternetOpenA(LPCSTR lpszAgent, DWORD dwAccessType, LPCSTR, LPCSTR, DWORD) {
  auto session = std::make_unique<Session>();
  if (lpszAgent != nullptr) session->settings.agent = lpszAgent;
  session->settings.direct = dwAccessType == INTERNET_OPEN_TYPE_DIRECT;
  return session.release();
}

HINTERNET InternetConnectA(HINTERNET hInternet, LPCSTR lpszServerName, INTERNET_PORT nServerPort,
                           LPCSTR lpszUserName, LPCSTR lpszPassword, DWORD dwService, DWORD,
                           DWORD_PTR) {
  const Session* session = As<Session>(hInternet, HandleKind::kSession);
  if (session == nullptr || lpszServerName == nullptr || dwService != INTERNET_SERVICE_HTTP ||
      !IsHostName(lpszServerName)) {
    return nullptr;
  }
  auto connection = std::make_unique<Connection>();
  connection->settings = session->settings;
  connection->host = lpszServerName;
  connection->port =
      nServerPort == INTERNET_INVALID_PORT_NUMBER ? INTERNET_DEFAULT_HTTP_PORT : nServerPort;
  if (lpszUserName != nullptr && *lpszUserName != '\0') {
    connection->userName = lpszUserName;
    connection->password = lpszPassword != nullptr ? lpszPassword : "";
  }
  return connection.release();
}

HINTERNET HttpOpenRequestA(HINTERNET hConnect, LPCSTR lpszVerb, LPCSTR lpszObjectName,
                           LPCSTR lpszVersion, LPCSTR lpszReferrer, LPCSTR* lplpszAcceptTypes,
                           DWORD dwFlags, DWORD_PTR) {
  const Connection* connection = As<Connection>(hConnect, HandleKind::kConnection);
  if (connection == nullptr) return nullptr;
  std::string object = lpszObjectName != nullptr ? lpszObjectName : "/";
  if (object.empty() || object.front() != '/') object = "/" + object;
  const std::string version = lpszVersion != nullptr ? lpszVersion : "HTTP/1.1";
  if (!IsObjectName(object) || (version != "HTTP/1.0" && version != "HTTP/1.1")) return nullptr;

  auto request = std::make_unique<Request>();
  if (!request->transfer.Valid()) return nullptr;
  request->settings = connection->settings;
  HttpRequestPlan& plan = request->plan;
  plan.url = "http://" + connection->host + ":" + std::to_string(connection->port) + object;
  plan.verb = lpszVerb != nullptr && *lpszVerb != '\0' ? lpszVerb : "GET";
  plan.http10 = version == "HTTP/1.0";
  plan.referrer = lpszReferrer != nullptr ? lpszReferrer : "";
  plan.userName = connection->userName;
  plan.password = connection->password;

  std::string accept;
  for (LPCSTR* type = lplpszAcceptTypes; type != nullptr && *type != nullptr; ++type) {
    if (**type == '\0') continue;
    if (!accept.empty()) accept += ", ";
    accept += *type;
  }
  if (!accept.empty()) plan.headers.push_back("Accept: " + accept);
  if ((dwFlags & INTERNET_FLAG_RELOAD) != 0) {
    plan.headers.emplace_back("Cache-Control: no-cache");
    plan.headers.emplace_back("Pragma: no-cache");
  }
  return request.release();
}

BOOL HttpSendRequestA(HINTERNET hRequest, LPCSTR lpszHeaders, DWORD dwHeadersLength,
                      void* lpOptional, DWORD dwOptionalLength) {
  Request* request = As<Request>(hRequest, HandleKind::kRequest);
  if (request == nullptr) return FALSE;
  HttpRequestPlan& plan = request->plan;
  if (lpszHeaders != nullptr) {
    const std::size_t length =
        dwHeadersLength == static_cast<DWORD>(-1) ? std::strlen(lpszHeaders) : dwHeadersLength;
    AppendHeaderLines(std::string_view(lpszHeaders, length), plan.headers);
  }
  if (lpOptional != nullptr)
    plan.body.assign(static_cast<const char*>(lpOptional), dwOptionalLength);
  plan.agent = request->settings.agent;
  plan.direct = request->settings.direct;
  plan.connectTimeout = request->settings.connectTimeout;
  plan.stallTimeout = request->settings.stallTimeout;
  return request->transfer.Begin(plan) ? TRUE : FALSE;
}

BOOL HttpQueryInfoA(HINTERNET hRequest, DWORD dwInfoLevel, void* lpBuffer, DWORD* lpdwBufferLength,
                    DWORD* lpdwIndex) {
  const Request* request = As<Request>(hRequest, HandleKind::kRequest);
  if (request == nullptr || lpdwBufferLength == nullptr || !request->transfer.HeadersIn() ||
      dwInfoLevel != HTTP_QUERY_CONTENT_LENGTH) {
    return FALSE;
  }
  const std::size_t index = lpdwIndex != nullptr ? *lpdwIndex : 0;
  const std::optional<std::string> value = request->transfer.Header("Content-Length", index);
  if (!value) return FALSE;
  if (lpBuffer == nullptr || *lpdwBufferLength < value->size() + 1) {
    *lpdwBufferLength = static_cast<DWORD>(value->size() + 1);
    return FALSE;
  }
  std::memcpy(lpBuffer, value->c_str(), value->size() + 1);
  *lpdwBufferLength = static_cast<DWORD>(value->size());
  if (lpdwIndex != nullptr) ++*lpdwIndex;
  return TRUE;
}

BOOL InternetReadFile(HINTERNET hFile, void* lpBuffer, DWORD dwNumberOfBytesToRead,
                      DWORD* lpdwNumberOfBytesRead) {
  if (lpdwNumberOfBytesRead != nullptr) *lpdwNumberOfBytesRead = 0;
  Request* request = As<Request>(hFile, HandleKind::kRequest);
  if (request == nullptr || lpdwNumberOfBytesRead == nullptr ||
      (lpBuffer == nullptr && dwNumberOfBytesToRead > 0)) {
    return FALSE;
  }
  std::size_t got = 0;
  const bool ok = request->transfer.Read(static_cast<char*>(lpBuffer), dwNumberOfBytesToRead, got);
  *lpdwNumberOfBytesRead = static_cast<DWORD>(got);
  return ok ? TRUE : FALSE;
}

BOOL InternetCloseHandle(HINTERNET hInternet) {
  Handle* handle = AnyHandle(hInternet);
  if (handle == nullptr) return FALSE;
  delete handle;
  return TRUE;
}

BOOL InternetSetOptionA(HINTERNET hInternet, DWORD dwOption, void* lpBuffer, DWORD dwBufferLength) {
  Handle* handle = AnyHandle(hInternet);
  if (handle == nullptr || lpBuffer == nullptr || dwBufferLength != sizeof(DWORD)) return FALSE;
  DWORD milliseconds = 0;
  std::memcpy(&milliseconds, lpBuffer, sizeof milliseconds);
  switch (dwOption) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
      handle->settings.connectTimeout = std::chrono::milliseconds(milliseconds);
      return TRUE;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
      handle->settings.stallTimeout = std::chrono::milliseconds(milliseconds);
      return TRUE;
    default:
      return FALSE;
  }
}

namespace detail {

void InternetInterrupt(HINTERNET hRequest) {
  if (Request* request = As<Request>(hRequest, HandleKind::kRequest)) request->transfer.Interrupt();
}

std::size_t InternetBufferedBytes(HINTERNET hRequest) {
  const Request* request = As<Request>(hRequest, HandleKind::kRequest);
  return request != nullptr ? request->transfer.Buffered() : 0;
}

}  // namespace detail
}  // namespace xkit
