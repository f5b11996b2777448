// The pull-driven libcurl exchange behind the HTTP client.
#include "platform/http_transfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace xkit::detail {
namespace {

// libcurl's process-wide set-up, once, before the first handle.
bool CurlReady() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view Trim(std::string_view text) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && space(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && space(text.back()))
    text.remove_suffix(1);
  return text;
}

// A Content-Length value: decimal digits only, within 64 bits.
std::optional<std::uint64_t> ParseLength(std::string_view text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');  // 19 digits < 2^64
  }
  return value;
}

// Milliseconds as a person reads them: "30 s", "1.5 s", "0.25 s".
std::string Seconds(std::chrono::milliseconds span) {
  const long long ms = span.count();
  std::string text = std::to_string(ms / 1000);
  if (ms % 1000 != 0) {
    std::string fraction = std::to_string(1000 + ms % 1000).substr(1);  // three digits
    fraction.erase(fraction.find_last_not_of('0') + 1);
    text += "." + fraction;
  }
  return text + " s";
}

bool HasHeader(const std::vector<std::string>& headers, std::string_view name) {
  return std::any_of(headers.begin(), headers.end(), [&](const std::string& header) {
    const std::size_t colon = header.find(':');
    return colon != std::string::npos && EqualsNoCase(Trim(header.substr(0, colon)), name);
  });
}

}  // namespace

HttpTransfer::HttpTransfer() {
  if (!CurlReady()) return;
  multi_ = curl_multi_init();
  easy_ = curl_easy_init();
}

HttpTransfer::~HttpTransfer() {
  if (multi_ != nullptr && easy_ != nullptr && begun_) curl_multi_remove_handle(multi_, easy_);
  if (easy_ != nullptr) curl_easy_cleanup(easy_);
  if (multi_ != nullptr) curl_multi_cleanup(multi_);
  curl_slist_free_all(headerList_);
}

bool HttpTransfer::Configure(const HttpRequestPlan& plan) {
  static_assert(sizeof curlError_ >= CURL_ERROR_SIZE);
  plan_ = plan;
  std::vector<std::string> headers = plan_.headers;
  // libcurl's own defaults that the caller did not ask for.
  if (!HasHeader(headers, "Accept")) headers.emplace_back("Accept:");
  if (!HasHeader(headers, "Expect")) headers.emplace_back("Expect:");
  if (plan_.verb == "POST" && !HasHeader(headers, "Content-Type")) {
    headers.emplace_back("Content-Type:");
  }
  for (const std::string& header : headers) {
    curl_slist* extended = curl_slist_append(headerList_, header.c_str());
    if (extended == nullptr) return false;
    headerList_ = extended;
  }

  bool ok = true;
  const auto set = [&](CURLoption option, auto value) {
    ok = ok && curl_easy_setopt(easy_, option, value) == CURLE_OK;
  };
  set(CURLOPT_URL, plan_.url.c_str());
  set(CURLOPT_ERRORBUFFER, curlError_);
  // Redirects may raise http to https, never lower https to http.
  const char* const protocols = plan_.secure ? "https" : "http,https";
  set(CURLOPT_PROTOCOLS_STR, protocols);
  set(CURLOPT_REDIR_PROTOCOLS_STR, protocols);
  set(CURLOPT_FOLLOWLOCATION, 1L);
  set(CURLOPT_MAXREDIRS, 10L);
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_PATH_AS_IS, 1L);
  set(CURLOPT_HTTP_VERSION,
      static_cast<long>(plan_.http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1));
  // The body runs to the end of the connection or of its announced length, whichever shows
  // first (OnBody), so that one longer than announced shows.
  set(CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
  if (plan_.connectTimeout.count() > 0) {
    set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(plan_.connectTimeout.count()));
  }
  set(CURLOPT_BUFFERSIZE, 64L * 1024);
  set(CURLOPT_HEADERFUNCTION, &HttpTransfer::OnHeader);
  set(CURLOPT_HEADERDATA, static_cast<void*>(this));
  set(CURLOPT_WRITEFUNCTION, &HttpTransfer::OnBody);
  set(CURLOPT_WRITEDATA, static_cast<void*>(this));
  set(CURLOPT_HTTPHEADER, headerList_);
  if (plan_.agent) set(CURLOPT_USERAGENT, plan_.agent->c_str());
  if (!plan_.referrer.empty()) set(CURLOPT_REFERER, plan_.referrer.c_str());
  if (plan_.userName) {
    // Basic only, and only once the server has asked: the first request goes without. libcurl
    // drops them when a redirect leads to another scheme, host or port.
    set(CURLOPT_USERNAME, plan_.userName->c_str());
    set(CURLOPT_PASSWORD, plan_.password.c_str());
    set(CURLOPT_HTTPAUTH, static_cast<unsigned long>(CURLAUTH_BASIC | CURLAUTH_ONLY));
  }
  // The system's store stays in use beside a file of further certificates: the file replaces
  // libcurl's default bundle, its default directory (the same certificates) remains.
  if (!plan_.caFile.empty()) set(CURLOPT_CAINFO, plan_.caFile.c_str());
  set(CURLOPT_SSL_VERIFYPEER, plan_.verifyPeer ? 1L : 0L);
  set(CURLOPT_SSL_VERIFYHOST, plan_.verifyHost ? 2L : 0L);
  if (plan_.verb == "POST") {
    set(CURLOPT_POST, 1L);
    set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(plan_.body.size()));
    set(CURLOPT_POSTFIELDS, plan_.body.data());
  } else if (plan_.verb != "GET") {
    set(CURLOPT_CUSTOMREQUEST, plan_.verb.c_str());
  }
  if (plan_.direct) set(CURLOPT_PROXY, "");
  return ok;
}

bool HttpTransfer::Begin(const HttpRequestPlan& plan) {
  if (!Valid() || begun_) {
    Fail(HttpFailure::kOther,
         Valid() ? "The request was sent already" : "The HTTP library could not be set up");
    return false;
  }
  if (!Configure(plan) || curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
    Fail(HttpFailure::kOther, "The HTTP library refused the request's settings");
    return false;
  }
  begun_ = true;
  if (plan_.maxTime.count() > 0) deadline_ = std::chrono::steady_clock::now() + plan_.maxTime;
  return Pump([this] { return headersIn_; }) && headersIn_;
}

template <typename Ready>
bool HttpTransfer::Pump(Ready&& ready) {
  using Clock = std::chrono::steady_clock;
  using std::chrono::milliseconds;
  const milliseconds stall = plan_.stallTimeout;
  std::uint64_t seen = activity_;
  Clock::time_point lastActivity = Clock::now();
  for (;;) {
    if (ended_) return !failed_;
    if (interrupted_.load(std::memory_order_acquire)) {
      Fail(HttpFailure::kCancelled, "Cancelled");
      return false;
    }
    int running = 0;
    if (curl_multi_perform(multi_, &running) != CURLM_OK) {
      Fail(HttpFailure::kOther, "The HTTP library failed");
      return false;
    }
    CollectResult();
    if (ready()) return true;
    if (ended_) continue;
    if (PastDeadline()) return false;
    const Clock::time_point now = Clock::now();
    if (activity_ != seen) {
      seen = activity_;
      lastActivity = now;
    }
    // libcurl may ask to be called again sooner than any socket event; a bounded wait covers it.
    milliseconds wait{100};
    if (stall.count() > 0) {
      const auto quiet = std::chrono::duration_cast<milliseconds>(now - lastActivity);
      if (quiet >= stall) {
        Fail(HttpFailure::kTimeout, "No data from " + Where() + " for " + Seconds(stall));
        return false;
      }
      wait = std::min(wait, stall - quiet);
    }
    if (deadline_ != Clock::time_point::max()) {
      wait = std::min(wait, std::chrono::duration_cast<milliseconds>(deadline_ - now));
    }
    const int waitMs = static_cast<int>(std::max<long long>(wait.count(), 1));
    if (curl_multi_poll(multi_, nullptr, 0, waitMs, nullptr) != CURLM_OK) {
      Fail(HttpFailure::kOther, "The HTTP library failed");
      return false;
    }
  }
}

bool HttpTransfer::PastDeadline() {
  if (deadline_ == std::chrono::steady_clock::time_point::max() ||
      std::chrono::steady_clock::now() < deadline_) {
    return false;
  }
  Fail(HttpFailure::kTimeout, "The fetch did not complete within " + Seconds(plan_.maxTime));
  return true;
}

void HttpTransfer::CollectResult() {
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
    if (message->msg != CURLMSG_DONE) continue;
    if (message->data.result != CURLE_OK) {
      FailFromCurl(message->data.result);
    } else if (!headEnded_) {
      // A response cut off inside its head is no response, whatever libcurl makes of it.
      Fail(HttpFailure::kInvalidResponse,
           statusCode_ == 0 ? "The server closed the connection without a response"
                            : "The server closed the connection inside the response's head");
    } else {
      headersIn_ = true;
      EndBody();
    }
  }
}

void HttpTransfer::EndBody() {
  if (ended_) return;
  ended_ = true;
  const std::optional<std::string> announced = Header("Content-Length", 0);
  if (!announced) return;
  const std::optional<std::uint64_t> length = ParseLength(*announced);
  if (!length) {
    Fail(HttpFailure::kInvalidResponse,
         "The server announced an invalid length: \"" + *announced + "\"");
  } else if (bodyBytes_ < *length) {
    Fail(HttpFailure::kLength, "The body is shorter than announced: " + std::to_string(bodyBytes_) +
                                   " of " + std::to_string(*length) + " bytes arrived");
  } else if (bodyBytes_ > *length) {
    Fail(HttpFailure::kLength, "The body is longer than announced: " + std::to_string(bodyBytes_) +
                                   " bytes arrived, " + std::to_string(*length) + " announced");
  }
}

void HttpTransfer::Fail(HttpFailure kind, std::string text) {
  ended_ = true;
  failed_ = true;
  if (error_.kind == HttpFailure::kNone) error_ = {kind, std::move(text)};
}

void HttpTransfer::FailFromCurl(int code) {
  const auto result = static_cast<CURLcode>(code);
  const std::string said = curlError_[0] != '\0' ? curlError_ : curl_easy_strerror(result);
  switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
      return Fail(HttpFailure::kNameNotResolved, "Cannot resolve the host name " + plan_.host);
    case CURLE_COULDNT_CONNECT: {
      long osError = 0;
      curl_easy_getinfo(easy_, CURLINFO_OS_ERRNO, &osError);
      if (osError == ECONNREFUSED) {
        return Fail(HttpFailure::kCannotConnect, "Connection refused by " + Where());
      }
      return Fail(
          HttpFailure::kCannotConnect,
          "Cannot connect to " + Where() +
              (osError != 0 ? ": " + std::string(std::strerror(static_cast<int>(osError))) : ""));
    }
    case CURLE_OPERATION_TIMEDOUT: {  // only the connect timeout is libcurl's (300 s its own)
      const std::chrono::milliseconds limit =
          plan_.connectTimeout.count() > 0 ? plan_.connectTimeout : std::chrono::seconds(300);
      return Fail(HttpFailure::kTimeout,
                  "Cannot connect to " + Where() + " within " + Seconds(limit));
    }
    case CURLE_PEER_FAILED_VERIFICATION:
      if (said.find("host name") != std::string::npos ||
          said.find("subject name") != std::string::npos) {
        return Fail(HttpFailure::kCertificateName,
                    "The server's certificate does not match the host name " + plan_.host + " (" +
                        said + ")");
      }
      return Fail(HttpFailure::kCertificateUntrusted,
                  "The server's certificate is not trusted (" + said + ")");
    case CURLE_SSL_CACERT_BADFILE:
      return Fail(HttpFailure::kCertificateFile,
                  "Cannot use the certificates in " + plan_.caFile + " (" + said + ")");
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_SHUTDOWN_FAILED:
      return Fail(HttpFailure::kSecureChannel,
                  "The secure connection to " + Where() + " failed (" + said + ")");
    case CURLE_UNSUPPORTED_PROTOCOL:
      if (statusCode_ / 100 == 3) {
        if (const std::optional<std::string> location = Header("Location", 0)) {
          return Fail(HttpFailure::kRedirectRefused,
                      "Refused to follow the redirect from https to " + *location +
                          ", which is not secure");
        }
      }
      return Fail(HttpFailure::kInvalidResponse, "The server's reply is not HTTP (" + said + ")");
    case CURLE_TOO_MANY_REDIRECTS:
      return Fail(HttpFailure::kTooManyRedirects, "More than 10 redirects");
    case CURLE_GOT_NOTHING:
      return Fail(HttpFailure::kInvalidResponse,
                  "The server closed the connection without a response");
    case CURLE_WEIRD_SERVER_REPLY:
      return Fail(HttpFailure::kInvalidResponse, "The server's reply is not HTTP (" + said + ")");
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
      return Fail(HttpFailure::kConnectionReset,
                  "The connection to " + Where() + " broke (" + said + ")");
    default:
      return Fail(HttpFailure::kOther, "The exchange with " + Where() + " failed (" + said + ")");
  }
}

// The server the exchange is with now: after a redirect, maybe another than the plan's.
std::string HttpTransfer::Where() const {
  std::string host = plan_.host;
  std::uint16_t port = plan_.port;
  char* url = nullptr;
  if (easy_ != nullptr && curl_easy_getinfo(easy_, CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK &&
      url != nullptr) {
    if (CURLU* parsed = curl_url()) {
      char* text = nullptr;
      if (curl_url_set(parsed, CURLUPART_URL, url, 0) == CURLUE_OK) {
        if (curl_url_get(parsed, CURLUPART_HOST, &text, 0) == CURLUE_OK) {
          host = text;
          curl_free(text);
        }
        if (curl_url_get(parsed, CURLUPART_PORT, &text, CURLU_DEFAULT_PORT) == CURLUE_OK) {
          port = static_cast<std::uint16_t>(std::strtoul(text, nullptr, 10));
          curl_free(text);
        }
      }
      curl_url_cleanup(parsed);
    }
  }
  return host + " port " + std::to_string(port);
}

void HttpTransfer::Resume() {
  paused_ = false;
  // libcurl hands the chunk it holds to OnBody from inside this call, which may pause again.
  if (curl_easy_pause(easy_, CURLPAUSE_CONT) != CURLE_OK) {
    Fail(HttpFailure::kOther, "The HTTP library failed");
  }
}

bool HttpTransfer::Read(char* out, std::size_t want, std::size_t& got) {
  got = 0;
  if (!headersIn_) return false;
  while (got < want) {
    if (interrupted_.load(std::memory_order_acquire)) {
      Fail(HttpFailure::kCancelled, "Cancelled");
      return false;
    }
    if (PastDeadline()) return false;
    got += buffer_.Read(out + got, want - got);
    if (paused_ && buffer_.Size() <= buffer_.Capacity() / 2) Resume();
    if (got == want) break;
    if (buffer_.Size() > 0) continue;  // Resume brought more
    if (bodyIn_ && !ended_) {
      // All that was announced is in: the body ends here, without waiting for the server to
      // close. Bytes already on their way still show a body longer than announced.
      int running = 0;
      if (curl_multi_perform(multi_, &running) == CURLM_OK) CollectResult();
      EndBody();
    }
    if (ended_) break;
    const std::size_t target = std::min(want - got, buffer_.Capacity() / 2);
    Pump([&] { return buffer_.Size() >= target || bodyIn_; });
  }
  return got > 0 || !failed_;
}

std::optional<std::string> HttpTransfer::Header(std::string_view name, std::size_t index) const {
  for (const std::string& line : responseHeaders_) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos ||
        !EqualsNoCase(Trim(std::string_view(line).substr(0, colon)), name)) {
      continue;
    }
    if (index-- == 0) return std::string(Trim(std::string_view(line).substr(colon + 1)));
  }
  return std::nullopt;
}

void HttpTransfer::Interrupt() {
  interrupted_.store(true, std::memory_order_release);
  if (multi_ != nullptr) curl_multi_wakeup(multi_);
}

bool HttpTransfer::HeadEnded() {
  headEnded_ = true;
  std::optional<std::string> first;
  for (std::size_t i = 0;; ++i) {
    const std::optional<std::string> value = Header("Content-Length", i);
    if (!value) break;
    if (!first) {
      first = value;
    } else if (*value != *first) {
      Fail(HttpFailure::kInvalidResponse,
           "The server announced two different lengths: " + *first + " and " + *value + " bytes");
      return false;
    }
  }
  // A chunked body ends with its last chunk, whatever a length says.
  if (!first || Header("Transfer-Encoding", 0)) return true;
  announced_ = ParseLength(*first);
  // An empty body ends with its head, unless libcurl is about to go on to another response:
  // the redirect it follows, the challenge it answers.
  const bool followed = (statusCode_ / 100 == 3 && Header("Location", 0)) ||
                        (statusCode_ == 401 && plan_.userName && Header("WWW-Authenticate", 0));
  if (announced_ == 0u && statusCode_ >= 200 && !followed) {
    bodyIn_ = true;
    headersIn_ = true;
  }
  return true;
}

std::size_t HttpTransfer::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
  auto& transfer = *static_cast<HttpTransfer*>(self);
  const std::size_t total = size * count;
  const std::string_view line = Trim(std::string_view(data, total));
  ++transfer.activity_;
  // Every response (a redirect, a challenge, the final one) starts with its status line.
  if (line.substr(0, 5) == "HTTP/") {
    transfer.responseHeaders_.clear();
    transfer.headEnded_ = false;
    transfer.announced_.reset();
    const std::size_t space = line.find(' ');
    const std::string_view code =
        space == std::string_view::npos ? std::string_view() : line.substr(space + 1, 3);
    transfer.statusCode_ = 0;
    if (code.size() == 3 &&
        std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      transfer.statusCode_ = (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
    }
  } else if (line.empty()) {
    if (!transfer.HeadEnded()) return 0;  // aborts the exchange; the reason is set
  } else {
    transfer.responseHeaders_.emplace_back(line);
  }
  return total;
}

std::size_t HttpTransfer::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
  auto& transfer = *static_cast<HttpTransfer*>(self);
  const std::size_t total = size * count;
  if (transfer.announced_ && total > *transfer.announced_ - transfer.bodyBytes_) {
    const std::uint64_t arrived = transfer.bodyBytes_ + total;
    transfer.Fail(HttpFailure::kLength,
                  "The body is longer than announced: " + std::to_string(arrived) +
                      " bytes arrived, " + std::to_string(*transfer.announced_) + " announced");
    return 0;  // aborts the exchange
  }
  if (total > transfer.buffer_.Free()) {
    if (transfer.buffer_.Size() > 0) {
      transfer.paused_ = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    transfer.buffer_.GrowEmpty(total);  // a single chunk larger than the whole read-ahead
  }
  transfer.buffer_.Write(data, total);
  transfer.bodyBytes_ += total;
  transfer.headersIn_ = true;
  if (transfer.announced_ && transfer.bodyBytes_ == *transfer.announced_) transfer.bodyIn_ = true;
  ++transfer.activity_;
  return total;
}

}  // namespace xkit::detail
