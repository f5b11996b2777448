// THTTPGetThread: the request sequence of one fetch, on the worker's own thread.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <new>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/exceptions.h"
#include "platform/file.h"
#include "platform/memory.h"
#include "xHTTPGet/xHTTPGet.h"

namespace xkit {
namespace {

constexpr char kFormContentType[] = "Content-Type: application/x-www-form-urlencoded";
static_assert(sizeof kFormContentType - 1 == 47);

// Memory reserved up front for an announced body; a larger announcement grows as it arrives,
// so a lying header cannot claim memory the body never fills.
constexpr std::int64_t kMaxReserve = std::int64_t{1} << 30;

// The text of a signed 64-bit integer, as the length header must hold; EConvertError otherwise.
std::int64_t StrToInt64(std::string_view text) {
  const std::string_view digits = text.starts_with('+') ? text.substr(1) : text;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  const bool twoSigns = digits != text && digits.starts_with('-');
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || twoSigns) {
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  }
  return value;
}

bool StartsWithNoCase(std::string_view text, std::string_view lowerPrefix) {
  return text.size() >= lowerPrefix.size() &&
         std::equal(lowerPrefix.begin(), lowerPrefix.end(), text.begin(), [](char prefix, char c) {
           return prefix == std::tolower(static_cast<unsigned char>(c));
         });
}

constexpr std::string_view kHttp = "http://";
constexpr std::string_view kHttps = "https://";

// "%41" is "A"; a "%" not followed by two hexadecimal digits stands for itself.
std::string PercentDecoded(std::string_view text) {
  const auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
  };
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      decoded += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

// What a server name says: credentials before an "@", then the host, then a port after a
// ":". A port that is not one leaves the whole rest as the host, which the connection then
// refuses with its reason.
struct ServerAddress {
  std::string host;
  INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
  std::optional<std::string> userName;  // percent-decoded
  std::string password;
};

ServerAddress ParseServerName(std::string_view serverName, INTERNET_PORT defaultPort) {
  ServerAddress address;
  if (const std::size_t at = serverName.rfind('@'); at != std::string_view::npos) {
    const std::string_view userInfo = serverName.substr(0, at);
    const std::size_t colon = userInfo.find(':');
    address.userName = PercentDecoded(userInfo.substr(0, colon));
    if (colon != std::string_view::npos)
      address.password = PercentDecoded(userInfo.substr(colon + 1));
    serverName.remove_prefix(at + 1);
  }
  address.host = std::string(serverName);
  address.port = defaultPort;
  const std::size_t colon = serverName.rfind(':');
  const std::size_t bracket = serverName.rfind(']');
  if (colon == std::string_view::npos || (bracket != std::string_view::npos && bracket > colon)) {
    return address;
  }
  const std::string_view digits = serverName.substr(colon + 1);
  unsigned port = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || port == 0 ||
      port > 65535) {
    return address;
  }
  address.host = std::string(serverName.substr(0, colon));
  address.port = static_cast<INTERNET_PORT>(port);
  return address;
}

// A header value that would end its line early or be cut at a NUL.
bool BreaksAHeader(std::string_view value) {
  return value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The HTTP client's reason for this thread's last failed call.
std::string LastInternetReason() {
  std::string text(256, '\0');
  DWORD code = 0;
  DWORD size = static_cast<DWORD>(text.size());
  if (!InternetGetLastResponseInfoA(&code, text.data(), &size)) {
    text.assign(size, '\0');
    if (!InternetGetLastResponseInfoA(&code, text.data(), &size)) return "The fetch failed";
  }
  text.resize(size);
  return text.empty() ? "The fetch failed" : text;
}

}  // namespace

THTTPGetThread::THTTPGetThread(std::string AcceptTypes, std::string Agent, std::string URL,
                               std::string FileName, std::string UserName, std::string Password,
                               std::string PostQuery, std::string Referer, bool BinaryData,
                               bool UseCache, TOnProgressEvent OnProgress, bool ToFile)
    : reportProgress_([this] { ReportProgress(); }) {
  FreeOnTerminate = true;
  FAcceptTypes = std::move(AcceptTypes);
  FAgent = std::move(Agent);
  FURL = std::move(URL);
  FFileName = std::move(FileName);
  FUserName = std::move(UserName);
  FPassword = std::move(Password);
  FPostQuery = std::move(PostQuery);
  FReferer = std::move(Referer);
  FOnProgress = std::move(OnProgress);
  FBinaryData = BinaryData;
  FUseCache = UseCache;
  FToFile = ToFile;
}

void THTTPGetThread::SplitUrl(const std::string& URL, std::string& ServerName,
                              std::string& ObjectName) {
  std::string_view rest = URL;
  if (StartsWithNoCase(rest, kHttp)) {
    rest.remove_prefix(kHttp.size());
  } else if (StartsWithNoCase(rest, kHttps)) {
    rest.remove_prefix(kHttps.size());
  }
  const std::size_t slash = rest.find('/');
  ServerName = std::string(rest.substr(0, slash));
  ObjectName = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
}

void THTTPGetThread::Execute() {
  RunRequest();
}

bool THTTPGetThread::StopRequested() {
  if (!Terminated()) return false;
  FSucceeded = false;
  return true;
}

void THTTPGetThread::NoteFailure(std::string reason) {
  if (!FErrorMessage.empty()) return;
  FErrorMessage = reason.empty() ? LastInternetReason() : std::move(reason);
}

void THTTPGetThread::RunRequest() {
  // Every way out closes the target file (if open), then the handles.
  struct HandleCloser {
    THTTPGetThread& worker;
    ~HandleCloser() { worker.CloseHandles(); }
  } closeHandles{*this};
  detail::OutputFile file;

  try {
    std::string serverName, objectName;
    SplitUrl(FURL, serverName, objectName);
    if (StopRequested()) return;  // nothing opened yet

    const bool secure = StartsWithNoCase(FURL, kHttps);
    const ServerAddress server = ParseServerName(
        serverName, secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
    const bool urlCredentials = FUserName.empty() && server.userName.has_value();
    const std::string& userName = urlCredentials ? *server.userName : FUserName;
    const std::string& password = urlCredentials ? server.password : FPassword;
    // Nothing may add a line to the request or be cut short on its way there.
    const std::pair<const char*, const std::string*> values[] = {{"The URL", &FURL},
                                                                 {"AcceptTypes", &FAcceptTypes},
                                                                 {"Agent", &FAgent},
                                                                 {"Referer", &FReferer},
                                                                 {"UserName", &FUserName},
                                                                 {"Password", &FPassword},
                                                                 {"The URL's user name", &userName},
                                                                 {"The URL's password", &password}};
    for (const auto& [name, value] : values) {
      if (!BreaksAHeader(*value)) continue;
      NoteFailure(std::string(name) + " holds a CR, LF or NUL character; nothing was sent");
      FSucceeded = false;
      return;
    }
    // A target that cannot be written fails now, not after the download; nothing is created.
    if (FToFile && FStream == nullptr) detail::CheckCreatable(FFileName);

    internet_ = InternetOpenA(FAgent.empty() ? nullptr : FAgent.c_str(),
                              INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (internet_ == nullptr) NoteFailure();
    DWORD connectTimeout = static_cast<DWORD>(std::max<std::int32_t>(FConnectTimeout, 0));
    DWORD receiveTimeout = static_cast<DWORD>(std::max<std::int32_t>(FReceiveTimeout, 0));
    InternetSetOptionA(internet_, INTERNET_OPTION_CONNECT_TIMEOUT, &connectTimeout,
                       sizeof connectTimeout);
    InternetSetOptionA(internet_, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeout,
                       sizeof receiveTimeout);
    detail::InternetSetMaxTime(internet_, static_cast<DWORD>(std::max<std::int32_t>(FMaxTime, 0)));
    detail::InternetSetCAFile(internet_, FCAFile.c_str());
    connection_ = InternetConnectA(internet_, server.host.c_str(), server.port, userName.c_str(),
                                   password.c_str(), INTERNET_SERVICE_HTTP, 0, 0);
    if (connection_ == nullptr) NoteFailure();
    LPCSTR acceptTypes[] = {FAcceptTypes.c_str(), nullptr};
    WatchRequest(HttpOpenRequestA(
        connection_, FPostQuery.empty() ? "GET" : "POST", objectName.c_str(), "HTTP/1.0",
        FReferer.c_str(), acceptTypes,
        (FUseCache ? 0 : INTERNET_FLAG_RELOAD) | (secure ? INTERNET_FLAG_SECURE : 0), 0));
    if (request_ == nullptr) NoteFailure();
    if (FIgnoreCertificateErrors) {
      DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                    SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
      InternetSetOptionA(request_, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
    }
    const BOOL sent =
        FPostQuery.empty()
            ? HttpSendRequestA(request_, nullptr, 0, nullptr, 0)
            : HttpSendRequestA(request_, kFormContentType, sizeof kFormContentType - 1,
                               FPostQuery.data(), static_cast<DWORD>(FPostQuery.size()));
    if (!sent) NoteFailure();
    if (StopRequested()) return;

    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (HttpQueryInfoA(request_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                       &statusSize, nullptr)) {
      FStatusCode = static_cast<int>(status);
    }
    char lengthText[1024];
    DWORD lengthSize = sizeof lengthText;
    DWORD headerIndex = 0;
    const bool lengthKnown = HttpQueryInfoA(request_, HTTP_QUERY_CONTENT_LENGTH, lengthText,
                                            &lengthSize, &headerIndex) != FALSE;
    FSucceeded = lengthKnown;
    if (StopRequested()) return;
    if (!lengthKnown && FBinaryData) {
      NoteFailure(sent ? "The response announces no length, which BinaryData requires" : "");
      FSucceeded = false;
      return;
    }
    if (lengthKnown) {
      try {
        FTotalSize = StrToInt64(lengthText);
      } catch (const EConvertError&) {
        NoteFailure("The server announced an invalid length: \"" + std::string(lengthText) + "\"");
        throw;
      }
    }
    FReceived = 0;

    if (FStream != nullptr) {
      // The caller's stream: written as the body arrives.
    } else if (FToFile) {
      file.Rewrite(FFileName);
    } else {
      FResultText.clear();
      FResultText.reserve(
          static_cast<std::size_t>(std::clamp<std::int64_t>(FTotalSize, 0, kMaxReserve)));
      detail::AdviseHugePages(FResultText.data(), FResultText.capacity());
    }

    char chunk[1025];
    bool readFailed = false;
    for (;;) {
      if (StopRequested()) return;  // the file keeps what was written
      if (!InternetReadFile(request_, chunk, sizeof chunk, &FLastRead)) {
        NoteFailure();
        readFailed = true;
        break;
      }
      if (FLastRead == 0) break;
      if (FStream != nullptr) {
        if (!FStream->write(chunk, FLastRead)) {
          NoteFailure("Cannot write the body to its stream");
          FSucceeded = false;
          return;
        }
      } else if (FToFile) {
        file.Write(chunk, FLastRead);
      } else {
        FResultText.append(chunk, FLastRead);
      }
      FReceived += FLastRead;
      if (FOnProgress) {
        try {
          Synchronize(reportProgress_);
        } catch (const std::exception& error) {
          NoteFailure(std::string("OnProgress raised an exception: ") + error.what());
          throw;
        } catch (...) {
          NoteFailure("OnProgress raised an exception");
          throw;
        }
      }
    }

    // Complete: read to its clean end, and as long as announced when a length was announced.
    // Memory mode also wants at least one byte.
    const bool complete = !readFailed && (!lengthKnown || FReceived == FTotalSize);
    if (!readFailed && !complete) {
      NoteFailure("The body is " + std::string(FReceived < FTotalSize ? "shorter" : "longer") +
                  " than announced: " + std::to_string(FReceived) + " bytes arrived, " +
                  std::to_string(FTotalSize) + " announced");
    }
    if (complete && !FToFile && FReceived == 0) NoteFailure("The response has an empty body");
    FSucceeded = FToFile ? complete : complete && FReceived != 0;
    if (FStream != nullptr && FSucceeded && !FStream->flush()) {
      NoteFailure("Cannot write the body to its stream");
      FSucceeded = false;
    }
    if (file.IsOpen()) file.Close();
  } catch (const EInOutError& error) {
    NoteFailure(error.Message());
    FSucceeded = false;
  } catch (const std::bad_alloc&) {
    NoteFailure("Out of memory");
    FSucceeded = false;
  } catch (...) {
    // A bad length header, an exception from the progress handler: the fetch fails, and the
    // guards release the file and the handles.
    NoteFailure("The fetch failed");
    FSucceeded = false;
  }
}

void THTTPGetThread::ReportProgress() {
  if (Terminated()) return;  // nothing more reaches the application after a cancel
  FOnProgress(this, FTotalSize, FReceived);
}

void THTTPGetThread::WatchRequest(HINTERNET request) {
  std::lock_guard<std::mutex> lock(requestLock_);
  request_ = request;
  // A cancel that came before the request existed could not wake it.
  if (request_ != nullptr && Terminated()) detail::InternetInterrupt(request_);
}

void THTTPGetThread::TerminatedSet() {
  std::lock_guard<std::mutex> lock(requestLock_);
  if (request_ != nullptr) detail::InternetInterrupt(request_);
}

void THTTPGetThread::CloseHandles() {
  HINTERNET request = nullptr;
  {
    std::lock_guard<std::mutex> lock(requestLock_);
    std::swap(request, request_);
  }
  for (HINTERNET* handle : {&request, &connection_, &internet_}) {
    if (*handle != nullptr) InternetCloseHandle(*handle);
    *handle = nullptr;
  }
}

}  // namespace xkit
