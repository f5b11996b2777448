// The pull-driven libcurl exchange behind the HTTP client.
#include "platform/http_transfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>

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
  plan_ = plan;
  stallTimeout_ = plan_.stallTimeout;
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
  set(CURLOPT_PROTOCOLS_STR, "http");
  set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  set(CURLOPT_FOLLOWLOCATION, 1L);
  set(CURLOPT_MAXREDIRS, 10L);
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_PATH_AS_IS, 1L);
  set(CURLOPT_HTTP_VERSION,
      static_cast<long>(plan_.http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1));
  // The body runs to the end of the connection, so that one longer than announced shows.
  set(CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
  set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(plan_.connectTimeout.count()));
  set(CURLOPT_BUFFERSIZE, 64L * 1024);
  set(CURLOPT_HEADERFUNCTION, &HttpTransfer::OnHeader);
  set(CURLOPT_HEADERDATA, static_cast<void*>(this));
  set(CURLOPT_WRITEFUNCTION, &HttpTransfer::OnBody);
  set(CURLOPT_WRITEDATA, static_cast<void*>(this));
  set(CURLOPT_HTTPHEADER, headerList_);
  if (plan_.agent) set(CURLOPT_USERAGENT, plan_.agent->c_str());
  if (!plan_.referrer.empty()) set(CURLOPT_REFERER, plan_.referrer.c_str());
  if (plan_.userName) {
    // Basic only, and only once the server has asked: the first request goes without.
    set(CURLOPT_USERNAME, plan_.userName->c_str());
    set(CURLOPT_PASSWORD, plan_.password.c_str());
    set(CURLOPT_HTTPAUTH, static_cast<unsigned long>(CURLAUTH_BASIC | CURLAUTH_ONLY));
  }
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
  if (!Valid() || begun_) return false;
  if (!Configure(plan) || curl_multi_add_handle(multi_, easy_) != CURLM_OK) return false;
  begun_ = true;
  return Pump([this] { return headersIn_; }) && headersIn_;
}

template <typename Ready>
bool HttpTransfer::Pump(Ready&& ready) {
  using Clock = std::chrono::steady_clock;
  std::uint64_t seen = activity_;
  Clock::time_point lastActivity = Clock::now();
  for (;;) {
    if (ended_) return !failed_;
    if (interrupted_.load(std::memory_order_acquire)) {
      Fail();
      return false;
    }
    int running = 0;
    if (curl_multi_perform(multi_, &running) != CURLM_OK) {
      Fail();
      return false;
    }
    CollectResult();
    if (ready()) return true;
    if (ended_) continue;
    const Clock::time_point now = Clock::now();
    if (activity_ != seen) {
      seen = activity_;
      lastActivity = now;
    }
    const auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(now - lastActivity);
    if (quiet >= stallTimeout_) {
      Fail();
      return false;
    }
    // libcurl may ask to be called again sooner than any socket event; a bounded wait covers it.
    const long waitMs = std::clamp<long>((stallTimeout_ - quiet).count(), 1, 100);
    if (curl_multi_poll(multi_, nullptr, 0, static_cast<int>(waitMs), nullptr) != CURLM_OK) {
      Fail();
      return false;
    }
  }
}

void HttpTransfer::CollectResult() {
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
    if (message->msg != CURLMSG_DONE) continue;
    ended_ = true;
    // A response cut off inside its head is no response, whatever libcurl makes of it.
    if (message->data.result != CURLE_OK || !headEnded_) {
      failed_ = true;
    } else {
      headersIn_ = true;
    }
  }
}

void HttpTransfer::Fail() {
  ended_ = true;
  failed_ = true;
}

void HttpTransfer::Resume() {
  paused_ = false;
  // libcurl hands the chunk it holds to OnBody from inside this call, which may pause again.
  if (curl_easy_pause(easy_, CURLPAUSE_CONT) != CURLE_OK) Fail();
}

bool HttpTransfer::EndedWell() const {
  if (!ended_ || failed_) return false;
  const std::optional<std::string> announced = Header("Content-Length", 0);
  if (!announced) return true;
  const std::optional<std::uint64_t> length = ParseLength(*announced);
  return length && *length == bodyBytes_;
}

bool HttpTransfer::Read(char* out, std::size_t want, std::size_t& got) {
  got = 0;
  if (!headersIn_) return false;
  while (got < want) {
    if (interrupted_.load(std::memory_order_acquire)) return false;
    got += buffer_.Read(out + got, want - got);
    if (paused_ && buffer_.Size() <= buffer_.Capacity() / 2) Resume();
    if (got == want) break;
    if (buffer_.Size() > 0) continue;  // Resume brought more
    if (ended_) break;
    const std::size_t target = std::min(want - got, buffer_.Capacity() / 2);
    Pump([&] { return buffer_.Size() >= target; });
  }
  return got > 0 || EndedWell();
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

std::size_t HttpTransfer::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
  auto& transfer = *static_cast<HttpTransfer*>(self);
  const std::size_t total = size * count;
  const std::string_view line = Trim(std::string_view(data, total));
  ++transfer.activity_;
  // Every response (a redirect, a challenge, the final one) starts with its status line.
  if (line.substr(0, 5) == "HTTP/") {
    transfer.responseHeaders_.clear();
    transfer.headEnded_ = false;
  } else if (line.empty()) {
    transfer.headEnded_ = true;
  } else {
    transfer.responseHeaders_.emplace_back(line);
  }
  return total;
}

std::size_t HttpTransfer::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
  auto& transfer = *static_cast<HttpTransfer*>(self);
  const std::size_t total = size * count;
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
  ++transfer.activity_;
  return total;
}

}  // namespace xkit::detail
