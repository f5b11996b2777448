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
  std::string url;  // http://host:port/object
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
  // that disagrees with the announced Content-Length, a stall or an interrupt. Bytes that
  // arrived before an error are delivered first.
  bool Read(char* out, std::size_t want, std::size_t& got);

  // The index-th value of a header of the final response (name without letter case), trimmed.
  std::optional<std::string> Header(std::string_view name, std::size_t index) const;

  bool HeadersIn() const { return headersIn_; }

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
  void Fail();
  bool EndedWell() const;

  CURLM* multi_ = nullptr;
  CURL* easy_ = nullptr;
  curl_slist* headerList_ = nullptr;
  HttpRequestPlan plan_;  // kept: libcurl reads its strings and the body while it runs
  std::chrono::milliseconds stallTimeout_ = kDefaultStallTimeout;

  bool begun_ = false;
  bool headersIn_ = false;  // set by the first body byte or by the end of the exchange
  bool headEnded_ = false;  // the latest response's head was ended by its blank line
  bool ended_ = false;
  bool failed_ = false;
  bool paused_ = false;                       // OnBody refused a chunk for lack of room
  std::uint64_t activity_ = 0;                // bumped by every header line and body chunk
  std::uint64_t bodyBytes_ = 0;               // body bytes accepted from libcurl
  std::vector<std::string> responseHeaders_;  // of the latest response, without status line
  RingBuffer buffer_{kReadAhead};
  std::atomic<bool> interrupted_{false};
};

}  // namespace xkit::detail
