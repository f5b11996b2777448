// THTTPGetThread: the request sequence of one fetch, on the worker's own thread.
#include <algorithm>
#include <cctype>
#include <charconv>
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

// The connection takes the port from a server name written "host:port"; any other server
// name is used whole, with the default port (an unusable one then fails to connect).
std::pair<std::string, INTERNET_PORT> ServerAddress(const std::string& serverName) {
  const std::size_t colon = serverName.rfind(':');
  const std::size_t bracket = serverName.rfind(']');
  if (colon == std::string::npos || (bracket != std::string::npos && bracket > colon)) {
    return {serverName, INTERNET_DEFAULT_HTTP_PORT};
  }
  const std::string_view digits = std::string_view(serverName).substr(colon + 1);
  unsigned port = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || port == 0 ||
      port > 65535) {
    return {serverName, INTERNET_DEFAULT_HTTP_PORT};
  }
  return {serverName.substr(0, colon), static_cast<INTERNET_PORT>(port)};
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
  constexpr std::string_view kScheme = "http://";
  std::string_view rest = URL;
  if (rest.size() >= kScheme.size() &&
      std::equal(kScheme.begin(), kScheme.end(), rest.begin(), [](char scheme, char c) {
        return scheme == std::tolower(static_cast<unsigned char>(c));
      })) {
    rest.remove_prefix(kScheme.size());
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

    internet_ = InternetOpenA(FAgent.empty() ? nullptr : FAgent.c_str(),
                              INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    const auto [host, port] = ServerAddress(serverName);
    connection_ = InternetConnectA(internet_, host.c_str(), port, FUserName.c_str(),
                                   FPassword.c_str(), INTERNET_SERVICE_HTTP, 0, 0);
    LPCSTR acceptTypes[] = {FAcceptTypes.c_str(), nullptr};
    WatchRequest(HttpOpenRequestA(connection_, FPostQuery.empty() ? "GET" : "POST",
                                  objectName.c_str(), "HTTP/1.0", FReferer.c_str(), acceptTypes,
                                  FUseCache ? 0 : INTERNET_FLAG_RELOAD, 0));
    if (FPostQuery.empty()) {
      HttpSendRequestA(request_, nullptr, 0, nullptr, 0);
    } else {
      HttpSendRequestA(request_, kFormContentType, sizeof kFormContentType - 1, FPostQuery.data(),
                       static_cast<DWORD>(FPostQuery.size()));
    }
    if (StopRequested()) return;

    char lengthText[1024];
    DWORD lengthSize = sizeof lengthText;
    DWORD headerIndex = 0;
    const bool lengthKnown = HttpQueryInfoA(request_, HTTP_QUERY_CONTENT_LENGTH, lengthText,
                                            &lengthSize, &headerIndex) != FALSE;
    FSucceeded = lengthKnown;
    if (StopRequested()) return;
    if (!lengthKnown && FBinaryData) {
      FSucceeded = false;
      return;
    }
    if (lengthKnown) FTotalSize = StrToInt64(lengthText);
    FReceived = 0;

    if (FToFile) {
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
        readFailed = true;
        break;
      }
      if (FLastRead == 0) break;
      if (FToFile) {
        file.Write(chunk, FLastRead);
      } else {
        FResultText.append(chunk, FLastRead);
      }
      FReceived += FLastRead;
      if (FOnProgress) Synchronize(reportProgress_);
    }

    // Complete: read to its clean end, and as long as announced when a length was announced.
    // Memory mode also wants at least one byte.
    const bool complete = !readFailed && (!lengthKnown || FReceived == FTotalSize);
    FSucceeded = FToFile ? complete : complete && FReceived != 0;
    if (FToFile) file.Close();
  } catch (...) {
    // A bad length header, a file that cannot be created, written or closed, an exception
    // from the progress handler, exhausted memory: the fetch fails, and the guards release
    // the file and the handles.
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
