// The HTTP section of `xkit demo`: a loopback server started for the occasion, one document
// fetched into memory and into a file with THTTPGet, a progress bar fed by its OnProgress
// event, the main thread dispatching the component's events meanwhile.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/demo.h"
#include "support/loopback_server.h"
#include "app/progress.h"
#include "platform/application.h"
#include "platform/thread.h"
#include "xHTTPGet/xHTTPGet.h"

namespace xkit::demo {
namespace {

constexpr std::size_t kDocumentSize = 1 << 20;

std::string Document() {
  std::string text;
  for (int line = 1; text.size() < kDocumentSize; ++line)
    text += "line " + std::to_string(line) + " of a document served over loopback\n";
  return text;
}

struct Outcome {
  bool succeeded = false;
  std::string body;           // into memory
  std::int64_t fileSize = 0;  // into a file
};

// Starts the fetch and dispatches messages until its completion event has run.
Outcome Fetch(std::ostream& out, THTTPGet& get, bool toFile) {
  Outcome outcome;
  bool done = false;
  cli::ProgressBar bar(out, toFile ? "  into a file" : "  into memory",
                       cli::ReportProgressMode(out));
  get.OnProgress = [&bar](TObject*, std::int64_t total, std::int64_t received) {
    bar.Update(received, total);
  };
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
  bar.Finish();
  return outcome;
}

}  // namespace

bool DemoHttp(std::ostream& out) {
  const std::string document = Document();
  const loopback::Server server(
      [&](loopback::Exchange& exchange) { exchange.Send(loopback::OkReply(document)); });
  THTTPGet get(nullptr);
  get.URL = server.Url("/document.txt");
  get.FileName =
      (std::filesystem::temp_directory_path() / ("xkit-demo-" + std::to_string(getpid()) + ".txt"))
          .string();
  out << "  a server listens on 127.0.0.1:" << server.Port() << "; fetching " << get.URL << "\n";

  const Outcome inMemory = Fetch(out, get, false);
  const Outcome inFile = Fetch(out, get, true);
  std::ifstream file(get.FileName, std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(file)), {});
  file.close();
  std::filesystem::remove(get.FileName);
  detail::WaitUntilNoRunningThreads();  // both workers are gone, down to their OS threads
  const bool identical = inMemory.body == document && written == document;
  out << "  " << (identical ? "both copies equal" : "a copy DIFFERS from") << " the "
      << document.size() << " bytes served\n";

  return inMemory.succeeded && inFile.succeeded && identical &&
         inFile.fileSize == static_cast<std::int64_t>(document.size());
}

}  // namespace xkit::demo
