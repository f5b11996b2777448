// The handles of the HTTP client: a session and a connection only collect settings; a request
// owns one HttpTransfer, which does the work.
#include "platform/wininet.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/http_transfer.h"

namespace xkit {
namespace {

using detail::HttpFailure;
using detail::HttpRequestPlan;
using detail::HttpTransfer;

// This thread's last failure, as GetLastError and InternetGetLastResponseInfoA give it.
struct LastFailure {
  DWORD code = 0;
  std::string text;
};
thread_local LastFailure tLastFailure;

template <typename Result>
Result Failed(Result result, DWORD code, std::string text) {
  tLastFailure = {code, std::move(text)};
  return result;
}

DWORD CodeOf(HttpFailure kind) {
  switch (kind) {
    case HttpFailure::kNone:
      return 0;
    case HttpFailure::kCannotConnect:
      return ERROR_INTERNET_CANNOT_CONNECT;
    case HttpFailure::kNameNotResolved:
      return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case HttpFailure::kTimeout:
      return ERROR_INTERNET_TIMEOUT;
    case HttpFailure::kCertificateUntrusted:
      return ERROR_INTERNET_INVALID_CA;
    case HttpFailure::kCertificateName:
      return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    case HttpFailure::kCertificateFile:
      return ERROR_INTERNET_SEC_INVALID_CERT;
    case HttpFailure::kSecureChannel:
      return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case HttpFailure::kRedirectRefused:
      return ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR;
    case HttpFailure::kTooManyRedirects:
      return ERROR_HTTP_REDIRECT_FAILED;
    case HttpFailure::kInvalidResponse:
      return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case HttpFailure::kLength:
      return ERROR_INTERNET_CONNECTION_ABORTED;
    case HttpFailure::kConnectionReset:
      return ERROR_INTERNET_CONNECTION_RESET;
    case HttpFailure::kCancelled:
      return ERROR_INTERNET_OPERATION_CANCELLED;
    case HttpFailure::kOther:
      return ERROR_INTERNET_INTERNAL_ERROR;
  }
  return ERROR_INTERNET_INTERNAL_ERROR;
}

template <typename Result>
Result TransferFailed(Result result, const HttpTransfer& transfer) {
  const detail::HttpError& error = transfer.Error();
  if (error.kind == HttpFailure::kNone) {
    return Failed(result, ERROR_INTERNET_INCORRECT_HANDLE_STATE, "The request has no response");
  }
  return Failed(result, CodeOf(error.kind), error.text);
}

enum class HandleKind { kSession, kConnection, kRequest };

// Settings that a handle passes on to the handles opened from it.
struct Inherited {
  std::optional<std::string> agent;
  bool direct = false;
  std::chrono::milliseconds connectTimeout = detail::kDefaultConnectTimeout;
  std::chrono::milliseconds stallTimeout = detail::kDefaultStallTimeout;
  std::chrono::milliseconds maxTime{0};
  DWORD securityFlags = 0;
  std::string caFile;
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
  INTERNET_PORT port = INTERNET_INVALID_PORT_NUMBER;  // the service's default, per request
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

// A header value must stay on its own line.
bool IsOneLine(LPCSTR text) {
  return text == nullptr || std::strpbrk(text, "\r\n") == nullptr;
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
  if (!IsOneLine(lpszAgent)) {
    return Failed<HINTERNET>(nullptr, ERROR_HTTP_INVALID_HEADER,
                             "The agent holds a line break: it would end its header");
  }
  auto session = std::make_unique<Session>();
  if (lpszAgent != nullptr) session->settings.agent = lpszAgent;
  session->settings.direct = dwAccessType == INTERNET_OPEN_TYPE_DIRECT;
  return session.release();
}

HINTERNET InternetConnectA(HINTERNET hInternet, LPCSTR lpszServerName, INTERNET_PORT nServerPort,
                           LPCSTR lpszUserName, LPCSTR lpszPassword, DWORD dwService, DWORD,
                           DWORD_PTR) {
  const Session* session = As<Session>(hInternet, HandleKind::kSession);
  if (session == nullptr) {
    return Failed<HINTERNET>(nullptr, ERROR_INVALID_HANDLE, "No internet session");
  }
  if (dwService != INTERNET_SERVICE_HTTP) {
    return Failed<HINTERNET>(nullptr, ERROR_INTERNET_INVALID_OPTION, "Only HTTP is served");
  }
  if (lpszServerName == nullptr || !IsHostName(lpszServerName)) {
    return Failed<HINTERNET>(
        nullptr, ERROR_INTERNET_INVALID_URL,
        "Not a valid server name: \"" + std::string(lpszServerName ? lpszServerName : "") + "\"");
  }
  if (!IsOneLine(lpszUserName) || !IsOneLine(lpszPassword)) {
    return Failed<HINTERNET>(nullptr, ERROR_HTTP_INVALID_HEADER,
                             "The user name or password holds a line break");
  }
  auto connection = std::make_unique<Connection>();
  connection->settings = session->settings;
  connection->host = lpszServerName;
  connection->port = nServerPort;
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
  if (connection == nullptr) {
    return Failed<HINTERNET>(nullptr, ERROR_INVALID_HANDLE, "No connection");
  }
  std::string object = lpszObjectName != nullptr ? lpszObjectName : "/";
  if (object.empty() || object.front() != '/') object = "/" + object;
  const std::string version = lpszVersion != nullptr ? lpszVersion : "HTTP/1.1";
  if (!IsObjectName(object)) {
    return Failed<HINTERNET>(nullptr, ERROR_INTERNET_INVALID_URL,
                             "The URL's path holds a space or a control character");
  }
  if (version != "HTTP/1.0" && version != "HTTP/1.1") {
    return Failed<HINTERNET>(nullptr, ERROR_INTERNET_INVALID_OPTION,
                             "Unknown HTTP version \"" + version + "\"");
  }
  bool oneLine = IsOneLine(lpszReferrer);
  for (LPCSTR* type = lplpszAcceptTypes; type != nullptr && *type != nullptr; ++type)
    oneLine = oneLine && IsOneLine(*type);
  if (!oneLine) {
    return Failed<HINTERNET>(nullptr, ERROR_HTTP_INVALID_HEADER,
                             "The referrer or an accept type holds a line break");
  }

  auto request = std::make_unique<Request>();
  if (!request->transfer.Valid()) {
    return Failed<HINTERNET>(nullptr, ERROR_INTERNET_OUT_OF_HANDLES,
                             "The HTTP library could not be set up");
  }
  request->settings = connection->settings;
  HttpRequestPlan& plan = request->plan;
  plan.secure = (dwFlags & INTERNET_FLAG_SECURE) != 0;
  plan.host = connection->host;
  plan.port = connection->port != INTERNET_INVALID_PORT_NUMBER ? connection->port
              : plan.secure                                    ? INTERNET_DEFAULT_HTTPS_PORT
                                                               : INTERNET_DEFAULT_HTTP_PORT;
  plan.url =
      (plan.secure ? "https://" : "http://") + plan.host + ":" + std::to_string(plan.port) + object;
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
  if (request == nullptr) return Failed(FALSE, ERROR_INVALID_HANDLE, "No request");
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
  plan.maxTime = request->settings.maxTime;
  plan.caFile = request->settings.caFile;
  const DWORD flags = request->settings.securityFlags;
  plan.verifyPeer =
      (flags & (SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID)) == 0;
  plan.verifyHost = (flags & SECURITY_FLAG_IGNORE_CERT_CN_INVALID) == 0;
  if (!request->transfer.Begin(plan)) return TransferFailed(FALSE, request->transfer);
  return TRUE;
}

BOOL HttpQueryInfoA(HINTERNET hRequest, DWORD dwInfoLevel, void* lpBuffer, DWORD* lpdwBufferLength,
                    DWORD* lpdwIndex) {
  const Request* request = As<Request>(hRequest, HandleKind::kRequest);
  if (request == nullptr || lpdwBufferLength == nullptr) {
    return Failed(FALSE, ERROR_INVALID_HANDLE, "No request");
  }
  const HttpTransfer& transfer = request->transfer;
  const DWORD level = dwInfoLevel & ~HTTP_QUERY_FLAG_NUMBER;
  const bool number = (dwInfoLevel & HTTP_QUERY_FLAG_NUMBER) != 0;
  if (level != HTTP_QUERY_CONTENT_LENGTH && level != HTTP_QUERY_STATUS_CODE) {
    return Failed(FALSE, ERROR_INTERNET_INVALID_OPTION, "Unknown header query");
  }
  const std::size_t index = lpdwIndex != nullptr ? *lpdwIndex : 0;
  std::optional<std::string> value;
  if (level == HTTP_QUERY_STATUS_CODE) {
    // Also after a failed send: a refused redirect still had its status.
    if (transfer.StatusCode() != 0 && index == 0) value = std::to_string(transfer.StatusCode());
  } else if (transfer.HeadersIn()) {
    value = transfer.Header("Content-Length", index);
  }
  if (!value) return Failed(FALSE, ERROR_HTTP_HEADER_NOT_FOUND, "The response has no such header");
  if (number) {
    DWORD parsed = 0;
    const auto [end, error] = std::from_chars(value->data(), value->data() + value->size(), parsed);
    if (error != std::errc() || end != value->data() + value->size()) {
      return Failed(FALSE, ERROR_HTTP_INVALID_HEADER, "The header is not a number");
    }
    if (lpBuffer == nullptr || *lpdwBufferLength < sizeof parsed) {
      *lpdwBufferLength = sizeof parsed;
      return Failed(FALSE, ERROR_INSUFFICIENT_BUFFER, "The buffer is too small");
    }
    std::memcpy(lpBuffer, &parsed, sizeof parsed);
    *lpdwBufferLength = sizeof parsed;
    if (lpdwIndex != nullptr) ++*lpdwIndex;
    return TRUE;
  }
  if (lpBuffer == nullptr || *lpdwBufferLength < value->size() + 1) {
    *lpdwBufferLength = static_cast<DWORD>(value->size() + 1);
    return Failed(FALSE, ERROR_INSUFFICIENT_BUFFER, "The buffer is too small");
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
    return Failed(FALSE, ERROR_INVALID_HANDLE, "No request");
  }
  std::size_t got = 0;
  const bool ok = request->transfer.Read(static_cast<char*>(lpBuffer), dwNumberOfBytesToRead, got);
  *lpdwNumberOfBytesRead = static_cast<DWORD>(got);
  if (!ok) return TransferFailed(FALSE, request->transfer);
  return TRUE;
}

BOOL InternetCloseHandle(HINTERNET hInternet) {
  Handle* handle = AnyHandle(hInternet);
  if (handle == nullptr) return Failed(FALSE, ERROR_INVALID_HANDLE, "No handle");
  delete handle;
  return TRUE;
}

BOOL InternetSetOptionA(HINTERNET hInternet, DWORD dwOption, void* lpBuffer, DWORD dwBufferLength) {
  Handle* handle = AnyHandle(hInternet);
  if (handle == nullptr) return Failed(FALSE, ERROR_INVALID_HANDLE, "No handle");
  if (lpBuffer == nullptr || dwBufferLength != sizeof(DWORD)) {
    return Failed(FALSE, ERROR_INSUFFICIENT_BUFFER, "The option takes a DWORD");
  }
  DWORD value = 0;
  std::memcpy(&value, lpBuffer, sizeof value);
  switch (dwOption) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
      handle->settings.connectTimeout = std::chrono::milliseconds(value);
      return TRUE;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
      handle->settings.stallTimeout = std::chrono::milliseconds(value);
      return TRUE;
    case INTERNET_OPTION_SECURITY_FLAGS:
      handle->settings.securityFlags = value;
      return TRUE;
    default:
      return Failed(FALSE, ERROR_INTERNET_INVALID_OPTION, "Unknown option");
  }
}

DWORD GetLastError() {
  return tLastFailure.code;
}

BOOL InternetGetLastResponseInfoA(DWORD* lpdwError, char* lpszBuffer, DWORD* lpdwBufferLength) {
  if (lpdwError != nullptr) *lpdwError = tLastFailure.code;
  if (lpdwBufferLength == nullptr) return FALSE;
  const std::string& text = tLastFailure.text;
  if (lpszBuffer == nullptr || *lpdwBufferLength < text.size() + 1) {
    *lpdwBufferLength = static_cast<DWORD>(text.size() + 1);
    return FALSE;
  }
  std::memcpy(lpszBuffer, text.c_str(), text.size() + 1);
  *lpdwBufferLength = static_cast<DWORD>(text.size());
  return TRUE;
}

namespace detail {

void InternetInterrupt(HINTERNET hRequest) {
  if (Request* request = As<Request>(hRequest, HandleKind::kRequest)) request->transfer.Interrupt();
}

std::size_t InternetBufferedBytes(HINTERNET hRequest) {
  const Request* request = As<Request>(hRequest, HandleKind::kRequest);
  return request != nullptr ? request->transfer.Buffered() : 0;
}

BOOL InternetSetCAFile(HINTERNET hInternet, LPCSTR lpszFile) {
  Handle* handle = AnyHandle(hInternet);
  if (handle == nullptr) return Failed(FALSE, ERROR_INVALID_HANDLE, "No handle");
  handle->settings.caFile = lpszFile != nullptr ? lpszFile : "";
  return TRUE;
}

BOOL InternetSetMaxTime(HINTERNET hInternet, DWORD dwMilliseconds) {
  Handle* handle = AnyHandle(hInternet);
  if (handle == nullptr) return Failed(FALSE, ERROR_INVALID_HANDLE, "No handle");
  handle->settings.maxTime = std::chrono::milliseconds(dwMilliseconds);
  return TRUE;
}

}  // namespace detail
}  // namespace xkit
