// The path-driven server, resource levels and fetch tallies of the load and fault tests.
#include "tests/xHTTPGet/load_support.h"

#include <malloc.h>

#include <filesystem>
#include <sstream>

namespace xkit::test {
namespace {

constexpr const char* kKindNames[] = {"ok", "nolength", "reset", "resetnolength", "stall"};

std::size_t EntriesIn(const char* directory) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory))
    ++count;
  return count;
}

std::string Head(bool announce, std::size_t size) {
  std::ostringstream head;
  head << "HTTP/1.0 200 OK\r\n";
  if (announce) head << "Content-Length: " << size << "\r\n";
  head << "\r\n";
  return head.str();
}

}  // namespace

std::string Body(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>(i * 131 + seed * 7 + (i >> 8));  // 131 odd: all 256 values
  return bytes;
}

std::string ReplyPath(ReplyKind kind, std::size_t size, std::uint32_t seed, std::size_t sent) {
  std::ostringstream path;
  path << '/' << kKindNames[static_cast<int>(kind)] << '/' << size << '/' << seed;
  if (kind != ReplyKind::kOk && kind != ReplyKind::kNoLength) path << '/' << sent;
  return path.str();
}

void ServeByPath(Connection& connection) {
  std::istringstream fields(connection.Path());
  std::string kindName;
  std::size_t size = 0;
  std::uint32_t seed = 0;
  std::size_t sent = 0;
  std::getline(fields, kindName, '/');  // the empty text before the first "/"
  std::getline(fields, kindName, '/');
  char slash = 0;
  fields >> size >> slash >> seed >> slash >> sent;
  const std::string body = Body(size, seed);
  if (kindName == "ok") {
    connection.Send(Head(true, size) + body);
  } else if (kindName == "nolength") {
    connection.Send(Head(false, size) + body);
  } else if (kindName == "reset" || kindName == "resetnolength") {
    connection.Send(Head(kindName == "reset", size) + body.substr(0, sent));
    connection.Reset();
  } else if (kindName == "stall") {
    connection.Send(Head(true, size) + body.substr(0, sent));
    connection.WaitUntilClientCloses();
  }
}

ResourceLevel MeasureResources() {
  ResourceLevel level{EntriesIn("/proc/self/fd"), EntriesIn("/proc/self/task"), 0};
  if (!kSanitized) {
    const struct mallinfo2 heap = mallinfo2();
    level.heapBytes = heap.uordblks + heap.hblkhd;  // chunks in use, small and mapped
  }
  return level;
}

::testing::AssertionResult BackTo(const ResourceLevel& before, const ResourceLevel& after) {
  if (after.descriptors != before.descriptors) {
    return ::testing::AssertionFailure()
           << "open descriptors " << before.descriptors << " -> " << after.descriptors;
  }
  if (after.threads != before.threads) {
    return ::testing::AssertionFailure() << "threads " << before.threads << " -> " << after.threads;
  }
  if (after.heapBytes > before.heapBytes + kHeapSlack) {
    return ::testing::AssertionFailure()
           << "heap in use " << before.heapBytes << " -> " << after.heapBytes << " bytes";
  }
  return ::testing::AssertionSuccess();
}

TrackedFetch::TrackedFetch(std::string fileName)
    : fileName_(std::move(fileName)), get_(std::make_unique<THTTPGet>(nullptr)) {
  Attach();
}

void TrackedFetch::Attach() {
  get_->FileName = fileName_;
  get_->OnProgress = [this](TObject*, std::int64_t, std::int64_t readed) {
    ++outcome_.progress;
    outcome_.lastReaded = readed;
  };
  get_->OnDoneString = [this](TObject*, const std::string& result) {
    ++outcome_.doneString;
    outcome_.result = result;
  };
  get_->OnDoneFile = [this](TObject*, const std::string&, std::int64_t size) {
    ++outcome_.doneFile;
    outcome_.fileSize = size;
  };
  get_->OnError = [this](TObject*) { ++outcome_.errors; };
}

void TrackedFetch::Start(const std::string& url, bool toFile) {
  outcome_ = Outcome();
  get_->URL = url;
  if (toFile) {
    get_->StartFileFetch();
  } else {
    get_->StartStringFetch();
  }
}

void TrackedFetch::Replace() {
  get_ = std::make_unique<THTTPGet>(nullptr);
  outcome_ = Outcome();
  Attach();
}

void Settle(ConcurrentServer& server) {
  DrainAndJoinThreads();
  server.WaitIdle();
}

ResourceLevel SettleAndMeasure(ConcurrentServer& server,
                               const std::vector<std::unique_ptr<TrackedFetch>>& fetches) {
  Settle(server);
  for (const auto& fetch : fetches)
    fetch->Forget();
  return MeasureResources();
}

}  // namespace xkit::test
