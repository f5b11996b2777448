// Request parsing, the event recorder and the fixture of the THTTPGet tests.
#include "tests/xHTTPGet/fetch_test_support.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace xkit::test {

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>(i * 7 + i / 256);
  return bytes;
}

ParsedRequest::ParsedRequest(const std::string& raw) {
  const std::size_t headEnd = raw.find("\r\n\r\n");
  const std::string head = raw.substr(0, headEnd);
  body = headEnd == std::string::npos ? "" : raw.substr(headEnd + 4);
  std::size_t start = 0;
  for (bool first = true; start <= head.size(); first = false) {
    std::size_t end = head.find("\r\n", start);
    if (end == std::string::npos) end = head.size();
    const std::string text = head.substr(start, end - start);
    (first ? line : headers.emplace_back()) = text;
    start = end + 2;
  }
}

std::optional<std::string> ParsedRequest::Value(std::string_view name) const {
  for (const std::string& header : headers) {
    const std::size_t colon = header.find(':');
    if (colon != name.size()) continue;
    if (!std::equal(name.begin(), name.end(), header.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) ==
                 std::tolower(static_cast<unsigned char>(b));
        })) {
      continue;
    }
    std::string value = header.substr(colon + 1);
    value.erase(0, value.find_first_not_of(' '));
    return value;
  }
  return std::nullopt;
}

void Recorder::Attach(THTTPGet& get) {
  get.OnProgress = [this](TObject* sender, std::int64_t total, std::int64_t readed) {
    events_.push_back({Event::kProgress, sender, dynamic_cast<THTTPGetThread*>(sender) != nullptr,
                       total, readed, ""});
  };
  get.OnDoneString = [this](TObject* sender, const std::string& result) {
    events_.push_back({Event::kDoneString, sender, false, 0, 0, result});
  };
  get.OnDoneFile = [this](TObject* sender, const std::string& fileName, std::int64_t size) {
    events_.push_back({Event::kDoneFile, sender, false, size, 0, fileName});
  };
  get.OnError = [this](TObject* sender) {
    events_.push_back({Event::kError, sender, false, 0, 0, ""});
  };
}

std::vector<Event> Recorder::Progress() const {
  std::vector<Event> progress;
  std::copy_if(events_.begin(), events_.end(), std::back_inserter(progress),
               [](const Event& event) { return event.kind == Event::kProgress; });
  return progress;
}

int Recorder::Completions() const {
  return static_cast<int>(std::count_if(events_.begin(), events_.end(), [](const Event& event) {
    return event.kind != Event::kProgress;
  }));
}

const Event& Recorder::Completion() const {
  static const Event kNone{Event::kProgress, nullptr, false, 0, 0, "no completion"};
  EXPECT_EQ(Completions(), 1);
  if (Completions() != 1 || events_.back().kind == Event::kProgress) return kNone;
  return events_.back();
}

void FetchTest::SetUp() {
  MainLoopTest::SetUp();
  get_ = std::make_unique<THTTPGet>(nullptr);
  recorder_.Attach(*get_);
}

void FetchTest::TearDown() {
  MainLoopTest::TearDown();
  get_.reset();
  server_.reset();
}

void FetchTest::Serve(loopback::Server::Handler handler) {
  server_ = std::make_unique<loopback::Server>(std::move(handler));
}

void FetchTest::ServeReply(std::string reply) {
  Serve([reply = std::move(reply)](loopback::Exchange& exchange) { exchange.Send(reply); });
}

void FetchTest::FetchString(std::string_view path) {
  get_->URL = server_->Url(path);
  get_->StartStringFetch();
  PumpUntil([this] { return recorder_.Completions() > 0; });
}

void FetchTest::FetchFile(std::string_view path) {
  get_->URL = server_->Url(path);
  if (get_->FileName.empty()) get_->FileName = TempPath("body");
  get_->StartFileFetch();
  PumpUntil([this] { return recorder_.Completions() > 0; });
}

}  // namespace xkit::test
