// `xkit fetch`: one HTTP fetch with THTTPGet. The main thread runs the application's message
// loop while the worker fetches, as any host of the component does; the completion event ends
// the loop.
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "app/cli.h"
#include "app/progress.h"
#include "platform/application.h"
#include "platform/thread.h"
#include "xHTTPGet/xHTTPGet.h"

namespace xkit::cli {
namespace {

int RunFetch(Args& args, Io& io) {
  std::optional<std::string> output = args.Option("-o");
  if (const std::optional<std::string> named = args.Option("--output")) output = named;
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

  // A staged file is written by the component; anything else (standard output, a device,
  // a FIFO) gets the body from memory. Declared first: the component's events use it.
  Output target(output, io.out);
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

  // The events run on this thread, inside Application.Run; a completion ends the loop.
  bool succeeded = false;
  get.OnDoneString = [&](TObject*, const std::string& body) {
    target.Stream().write(body.data(), static_cast<std::streamsize>(body.size()));
    succeeded = true;
    Application.Terminate();
  };
  get.OnDoneFile = [&](TObject*, const std::string&, std::int64_t) {
    succeeded = true;
    Application.Terminate();
  };
  get.OnError = [&](TObject*) { Application.Terminate(); };

  ProgressBar bar(io.err, "fetch " + url, CommandProgressMode(target.IsStandardOutput()));
  if (bar.Active()) {
    get.OnProgress = [&bar](TObject*, std::int64_t total, std::int64_t received) {
      bar.Update(received, total > 0 ? total : -1);  // 0: no announced length
    };
  }

  if (const std::string* staged = target.StagedPath()) {
    get.FileName = *staged;
    get.StartFileFetch();
  } else {
    get.StartStringFetch();
  }
  Application.Run();
  detail::WaitUntilNoRunningThreads();  // the worker is gone, down to its OS thread

  if (!succeeded) throw Failure("cannot fetch " + url);
  target.Commit();
  bar.Finish();
  return kExitOk;
}

}  // namespace

extern const Command kFetchCommand = {
    "fetch",
    "fetch a URL over HTTP",
    "xkit fetch URL [-o FILE] [--post DATA] [--user U --password P] [--agent A] [--referer R] "
    "[--accept TYPES] [--binary] [--use-cache]",
    "Fetches URL (http://host[:port]/path) with an HTTP/1.0 request and writes the body to\n"
    "standard output, or to FILE. The body of an error page (404...) counts as the content.\n"
    "A fetch into memory fails on an empty body; any fetch fails on a body shorter or longer\n"
    "than its announced length (exit status 1).\n"
    "\n"
    "FILE is written under a temporary name and renamed when the whole body is in, keeping\n"
    "the mode of a file it replaces; a symbolic link is followed; a device, a FIFO or a\n"
    "socket is written directly. On a terminal, standard error shows a progress bar (unless\n"
    "the body goes to that terminal).\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE   write the body to FILE instead of standard output\n"
    "  --post DATA         send DATA as a form (POST, application/x-www-form-urlencoded)\n"
    "  --user U            user name, sent with --password P when the server asks (Basic)\n"
    "  --agent A           the User-Agent header (default \"Veltrane HTTPGet\"; empty: none)\n"
    "  --referer R         the Referer header\n"
    "  --accept TYPES      the Accept header (default */*; empty: none)\n"
    "  --binary            fail when the response announces no length\n"
    "  --use-cache         let caches on the way answer (no no-cache headers)\n"
    "\n"
    "Example:\n"
    "  xkit fetch http://127.0.0.1:8080/index.html -o index.html\n",
    RunFetch,
};

}  // namespace xkit::cli
