// One HTTP exchange over libcurl's multi interface, driven by its reader: the reader's calls
// run the transfer just far enough to give them what they ask for, with a bounded read-ahead
// in between, and a blocked call can be woken from another thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ring_buffer.h"

typedef void CURL;
typedef void CURLM;
struct curl_slist;

namespace xkit::detail {

inline constexpr std::chrono::milliseconds kDefaultConnectTimeout{30000};
inline constexpr std::chrono::milliseconds kDefaultStallTimeout{60000};

// How far the transfer may run ahead of its reader. Past it the transfer pauses and the
// peer is held back by TCP flow control, so memory does not grow with the body.
inline constexpr std::size_t kReadAhead = 1 << 20;

struct HttpRequestPlan {
  std::string url;   // http[s]://host:port/object
  std::string host;  // of the url, for the reasons of failures
  std::uint16_t port = 80;
  bool secure = false;  // https: redirects to https only
  std::string verb = "GET";
  bool http10 = true;
  std::optional<std::string> agent;
  std::string referrer;
  std::optional<std::string> userName;  // Basic credentials, offered when challenged
  std::string password;
  std::vector<std::string> headers;  // "Name: value" to send, "Name:" to suppress one
  std::string body;
  bool direct = false;  // no proxy, whatever the environment says
  std::chrono::milliseconds connectTimeout = kDefaultConnectTimeout;
  std::chrono::milliseconds stallTimeout = kDefaultStallTimeout;  // no byte for this long: fail
  std::chrono::milliseconds maxTime{0};  // the whole exchange from Begin on; 0: no limit
  std::string caFile;                    // further trusted certificates (PEM); empty: none
  bool verifyPeer = true;                // the chain up to a trusted root, and its dates
  bool verifyHost = true;                // the certificate names the host
};

// Why an exchange failed: what the caller can act on, in kinds, with a plain-words text that
// names the host, the seconds or the sizes involved.
enum class HttpFailure {
  kNone,
  kCannotConnect,
  kNameNotResolved,
  kTimeout,
  kCertificateUntrusted,
  kCertificateName,
  kCertificateFile,
  kSecureChannel,
  kRedirectRefused,
  kTooManyRedirects,
  kInvalidResponse,  // not HTTP, cut inside its head, two different lengths
  kLength,           // a body shorter or longer than announced
  kConnectionReset,
  kCancelled,
  kOther,
};

struct HttpError {
  HttpFailure kind = HttpFailure::kNone;
  std::string text;
};
// Used by one thread, except Interrupt, which any thread may call while the object lives.
class HttpTransfer {
public:
  HttpTransfer();
  ~HttpTransfer();
  HttpTransfer(const HttpTransfer&) = delete;
  HttpTransfer& operator=(const HttpTransfer&) = delete;

  // False when libcurl could not set up the handles.
  bool Valid() const { return multi_ != nullptr && easy_ != nullptr; }

  // Sends the request; returns once the final response's headers are in (true), or when the
  // exchange failed before that (false). Follows redirects. At most once.
  bool Begin(const HttpRequestPlan& plan);

  // Reads exactly `want` body bytes into out, fewer only at the end of the body. True with
  // got > 0 for data, true with got == 0 at a clean end; false on a transfer error, a body
  // that disagrees with the announced Content-Length, a stall, the time limit or an
  // interrupt. Bytes that arrived before an error are delivered first.
  bool Read(char* out, std::size_t want, std::size_t& got);

  // The index-th value of a header of the final response (name without letter case), trimmed.
  std::optional<std::string> Header(std::string_view name, std::size_t index) const;

  bool HeadersIn() const { return headersIn_; }
  // The status code of the last response that arrived; 0 before one did.
  int StatusCode() const { return statusCode_; }
  // Why the exchange failed; kind kNone while it has not.
  const HttpError& Error() const { return error_; }

  // Makes the current or next blocking call return false promptly. Thread-safe.
  void Interrupt();

  std::size_t Buffered() const { return buffer_.Size(); }

private:
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);

  bool Configure(const HttpRequestPlan& plan);
  // Runs the exchange until ready() holds or it has ended; false when it has failed.
  template <typename Ready>
  bool Pump(Ready&& ready);
  void CollectResult();
  void Resume();
  // Ends the exchange as failed; the first reason given stays.
  void Fail(HttpFailure kind, std::string text);
  void FailFromCurl(int result);
  // At the end of the head of a response: its announced length, or a conflict.
  bool HeadEnded();
  // Ends an exchange whose announced body is all in, or that ended on its own, with the
  // verdict on the body's length.
  void EndBody();
  bool PastDeadline();
  std::string Where() const;

  CURLM* multi_ = nullptr;
  CURL* easy_ = nullptr;
  curl_slist* headerList_ = nullptr;
  HttpRequestPlan plan_;  // kept: libcurl reads its strings and the body while it runs
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
  char curlError_[256] = {};  // libcurl's own words on a failure (CURL_ERROR_SIZE)

  bool begun_ = false;
  bool headersIn_ = false;  // set by the first body byte or by the end of the exchange
  bool headEnded_ = false;  // the latest response's head was ended by its blank line
  bool ended_ = false;
  bool failed_ = false;
  bool paused_ = false;                     // OnBody refused a chunk for lack of room
  bool bodyIn_ = false;                     // the announced length has arrived: the body ends here
  int statusCode_ = 0;                      // of the latest response
  std::optional<std::uint64_t> announced_;  // the latest head's Content-Length, when it counts
  std::uint64_t activity_ = 0;              // bumped by every header line and body chunk
  std::uint64_t bodyBytes_ = 0;             // body bytes accepted from libcurl
  std::vector<std::string> responseHeaders_;  // of the latest response, without status line
  HttpError error_;
  RingBuffer buffer_{kReadAhead};
  std::atomic<bool> interrupted_{false};
};

}  // namespace xkit::detail
