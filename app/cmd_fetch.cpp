// `xkit fetch`: one HTTP fetch with THTTPGet. The main thread runs the application's message
// loop while the worker fetches, as any host of the component does; the completion event ends
// the loop.
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>
#include <random>
#include <string>

#include "app/cli.h"
#include "platform/application.h"
#include "platform/thread.h"
#include "xHTTPGet/xHTTPGet.h"

namespace xkit::cli {
namespace {

// "12.3 MiB"
std::string Size(double bytes) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (bytes >= 1024 && unit < 4) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
  return text;
}

// One line on a terminal, redrawn in place at most ten times a second: the bytes received,
// the announced total and share when there is one, and the mean rate.
class ProgressBar {
public:
  explicit ProgressBar(std::ostream& out) : out_(out) {}

  void Update(std::int64_t total, std::int64_t received) {
    const Clock::time_point now = Clock::now();
    if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100) && received != total) return;
    lastDraw_ = now;
    drawn_ = true;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::string line = "\r";
    line += Size(static_cast<double>(received));
    if (total > 0) {
      line += " / " + Size(static_cast<double>(total));
      char share[16];
      std::snprintf(share, sizeof share, "  %3d%%", static_cast<int>(received * 100 / total));
      line += share;
    }
    if (seconds > 0) line += "  " + Size(static_cast<double>(received) / seconds) + "/s";
    line += "\x1b[K";  // clears what a longer earlier line left
    out_ << line << std::flush;
  }

  void Finish() {
    if (drawn_) out_ << "\n" << std::flush;
  }

private:
  using Clock = std::chrono::steady_clock;
  std::ostream& out_;
  Clock::time_point start_ = Clock::now();
  Clock::time_point lastDraw_;
  bool drawn_ = false;
};

// The file a fetch writes before it is renamed onto the target, beside it.
std::string PartName(const std::string& target) {
  std::random_device entropy;
  return target + ".tmp-" + std::to_string(entropy());
}

int RunFetch(Args& args, Io& io) {
  const std::optional<std::string> output = args.Option("-o");
  const std::optional<std::string> post = args.Option("--post");
  const std::optional<std::string> user = args.Option("--user");
  const std::optional<std::string> password = args.Option("--password");
  const std::optional<std::string> agent = args.Option("--agent");
  const std::optional<std::string> referer = args.Option("--referer");
  const std::optional<std::string> accept = args.Option("--accept");
  const bool binary = args.Flag("--binary");
  const bool useCache = args.Flag("--use-cache");
  const std::string url = args.Positionals(1, 1).front();
  if (password && !user) throw UsageError("--password needs --user");

  THTTPGet get(nullptr);
  get.URL = url;
  get.PostQuery = post.value_or("");
  get.UserName = user.value_or("");
  get.Password = password.value_or("");
  if (agent) get.Agent = *agent;
  get.Referer = referer.value_or("");
  if (accept) get.AcceptTypes = *accept;
  get.BinaryData = binary;
  get.UseCache = useCache;

  bool succeeded = false;
  get.OnDoneString = [&](TObject*, const std::string& body) {
    io.out.write(body.data(), static_cast<std::streamsize>(body.size()));
    succeeded = true;
    Application.Terminate();
  };
  get.OnDoneFile = [&](TObject*, const std::string&, std::int64_t) {
    succeeded = true;
    Application.Terminate();
  };
  get.OnError = [&](TObject*) { Application.Terminate(); };
  ProgressBar bar(io.err);
  if (isatty(STDERR_FILENO)) {
    get.OnProgress = [&](TObject*, std::int64_t total, std::int64_t received) {
      bar.Update(total, received);
    };
  }

  const bool toFile = output && *output != "-";
  if (toFile) {
    get.FileName = PartName(*output);
    get.StartFileFetch();
  } else {
    get.StartStringFetch();
  }
  Application.Run();
  bar.Finish();
  detail::WaitUntilNoRunningThreads();  // the worker is gone, down to its OS thread

  if (toFile) {
    std::error_code error;
    if (succeeded) std::filesystem::rename(get.FileName, *output, error);
    if (!succeeded || error) std::filesystem::remove(get.FileName);
    if (error) throw Failure(*output + ": " + error.message());
  }
  if (!succeeded) throw Failure("cannot fetch " + url);
  io.out.flush();
  if (!io.out) throw Failure("cannot write to standard output");
  return kExitOk;
}

}  // namespace

extern const Command kFetchCommand = {
    "fetch",
    "fetch a URL over HTTP",
    "xkit fetch URL [-o FILE] [--post DATA] [--user U --password P] [--agent A] [--referer R] "
    "[--accept TYPES] [--binary] [--use-cache]",
    "Fetches URL (http://host[:port]/path) with an HTTP/1.0 request and writes the body to\n"
    "standard output, or to FILE with -o (the file appears only once the whole body is in).\n"
    "The body of an error page (404...) counts as the content. A fetch into memory fails on an\n"
    "empty body; any fetch fails on a body shorter or longer than its announced length.\n"
    "\n"
    "  --post DATA      send DATA as a form (POST, application/x-www-form-urlencoded)\n"
    "  --user U         user name, sent with --password P when the server asks (Basic)\n"
    "  --agent A        the User-Agent header (default \"Veltrane HTTPGet\"; empty: none)\n"
    "  --referer R      the Referer header\n"
    "  --accept TYPES   the Accept header (default */*; empty: none)\n"
    "  --binary         fail when the response announces no length\n"
    "  --use-cache      let caches on the way answer (no no-cache headers)\n"
    "\n"
    "On a terminal, standard error shows the bytes received, the total and the rate.\n"
    "Exit status 1 when the fetch fails.\n"
    "\n"
    "Example:\n"
    "  xkit fetch http://127.0.0.1:8080/index.html -o index.html\n",
    RunFetch,
};

}  // namespace xkit::cli
