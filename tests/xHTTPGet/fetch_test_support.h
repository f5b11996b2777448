// Test support for THTTPGet: a scripted loopback server per test, a recorder of every event in
// the order it arrived, reply builders and a reader of the raw request.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/loopback_server.h"
#include "tests/platform/main_loop_support.h"
#include "tests/platform/scratch_dir.h"
#include "xHTTPGet/xHTTPGet.h"

namespace xkit::test {

using loopback::Reply;
inline std::string Ok(std::string_view body) {
  return loopback::OkReply(body);
}
// Bytes 0..255 repeated, for bodies whose every byte value matters.
std::string Pattern(std::size_t size);

// A request as the server received it.
struct ParsedRequest {
  explicit ParsedRequest(const std::string& raw);
  std::string line;                  // "GET / HTTP/1.0"
  std::vector<std::string> headers;  // "Name: value", as sent
  std::string body;
  // The value of a header (name without letter case); nullopt when absent.
  std::optional<std::string> Value(std::string_view name) const;
};

struct Event {
  enum Kind { kProgress, kDoneString, kDoneFile, kError };
  Kind kind;
  TObject* sender;          // compare only: a worker is gone once its fetch has ended
  bool fromWorker = false;  // sender was a THTTPGetThread when the event ran
  std::int64_t total = 0;   // progress: TotalSize; done file: FileSize
  std::int64_t readed = 0;  // progress: Readed
  std::string text;         // done string: Result; done file: FileName
};

// Collects the events of the components it is attached to.
class Recorder {
public:
  void Attach(THTTPGet& get);
  const std::vector<Event>& Events() const { return events_; }
  std::vector<Event> Progress() const;
  int Completions() const;
  // The one completion event; fails the test when there is not exactly one.
  const Event& Completion() const;

  std::vector<Event> events_;
};

class FetchTest : public MainLoopTest {
protected:
  void SetUp() override;
  void TearDown() override;

  // Serves every connection with the handler, or with the same reply bytes.
  void Serve(loopback::Server::Handler handler);
  void ServeReply(std::string reply);

  // Starts a fetch of path from the server and pumps until its completion event.
  void FetchString(std::string_view path = "/");
  void FetchFile(std::string_view path = "/");

  std::string TempPath(std::string_view name) const { return scratch_.Path(name); }
  static std::string ReadFile(const std::string& path) { return ScratchDir::Contents(path); }

  ScratchDir scratch_;
  std::unique_ptr<loopback::Server> server_;
  std::unique_ptr<THTTPGet> get_;
  Recorder recorder_;
};

}  // namespace xkit::test
