// The HTTP section of `xkit demo`: a loopback server started for the occasion, one fetch into
// memory and one into a file, the main thread dispatching the component's events meanwhile.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/demo.h"
#include "app/loopback_server.h"
#include "platform/application.h"
#include "platform/thread.h"
#include "xHTTPGet/xHTTPGet.h"

namespace xkit::demo {
namespace {

const std::string kGreeting = "Hello from a loopback server.";

std::string Document() {
  std::string text;
  for (int line = 1; text.size() < 100000; ++line)
    text += "line " + std::to_string(line) + " of a document fetched into a file\n";
  return text;
}

struct Outcome {
  bool succeeded = false;
  std::string body;           // into memory
  std::int64_t fileSize = 0;  // into a file
  int progressReports = 0;
};

// Starts the fetch and dispatches messages until its completion event has run.
Outcome Fetch(THTTPGet& get, bool toFile) {
  Outcome outcome;
  bool done = false;
  get.OnProgress = [&](TObject*, std::int64_t, std::int64_t) { ++outcome.progressReports; };
  get.OnDoneString = [&](TObject*, const std::string& body) {
    outcome.body = body;
    done = outcome.succeeded = true;
  };
  get.OnDoneFile = [&](TObject*, const std::string&, std::int64_t size) {
    outcome.fileSize = size;
    done = outcome.succeeded = true;
  };
  get.OnError = [&](TObject*) { done = true; };
  if (toFile) {
    get.StartFileFetch();
  } else {
    get.StartStringFetch();
  }
  while (!done)
    Application.HandleMessage();
  return outcome;
}

}  // namespace

bool DemoHttp(std::ostream& out) {
  const std::string document = Document();
  const loopback::Server server([&](loopback::Exchange& exchange) {
    const std::string& body = exchange.Request().starts_with("GET /hello ") ? kGreeting : document;
    exchange.Send(loopback::OkReply(body));
  });
  out << "  a server listens on 127.0.0.1:" << server.Port() << "\n";

  THTTPGet get(nullptr);
  get.URL = server.Url("/hello");
  const Outcome greeting = Fetch(get, false);
  out << "  " << get.URL << " into memory: \"" << greeting.body << "\"\n";

  get.URL = server.Url("/document.txt");
  get.FileName =
      (std::filesystem::temp_directory_path() / ("xkit-demo-" + std::to_string(getpid()) + ".txt"))
          .string();
  const Outcome saved = Fetch(get, true);
  std::ifstream file(get.FileName, std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(file)), {});
  file.close();
  std::filesystem::remove(get.FileName);
  detail::WaitUntilNoRunningThreads();  // both workers are gone, down to their OS threads
  out << "  " << get.URL << " into a file: " << saved.fileSize << " bytes after "
      << saved.progressReports << " progress reports\n";

  return greeting.succeeded && greeting.body == kGreeting && saved.succeeded &&
         written == document && saved.fileSize == static_cast<std::int64_t>(document.size());
}

}  // namespace xkit::demo
