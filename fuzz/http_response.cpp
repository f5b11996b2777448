// The HTTP worker reading any raw response, served over loopback: a fetch into memory or into
// a file ends in exactly one completion event, with no crash and no hang. Progress rises one
// chunk at a time to what was delivered, and a success delivers bytes the server really sent
// (unless the response chunked them) and never comes from an unannounced length that
// BinaryData refuses; a failure always has its reason.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/application.h"
#include "platform/thread.h"
#include "support/loopback_server.h"
#include "xHTTPGet/xHTTPGet.h"

namespace {

using namespace xkit;

std::mutex gReplyLock;
std::string gReply;  // what the server sends to every connection

loopback::Server& Server() {
  static loopback::Server server([](loopback::Exchange& exchange) {
    std::string reply;
    {
      std::lock_guard<std::mutex> lock(gReplyLock);
      reply = gReply;
    }
    exchange.Send(reply);
  });
  return server;
}

bool ContainsNoCase(const std::string& text, const std::string& lowerWord) {
  const auto at =
      std::search(text.begin(), text.end(), lowerWord.begin(), lowerWord.end(),
                  [](char c, char w) { return std::tolower(static_cast<unsigned char>(c)) == w; });
  return at != text.end();
}

// No redirect may lead anywhere: every "location" loses a letter.
std::string WithoutRedirects(std::string reply) {
  static const std::string kWord = "location";
  for (auto at = reply.begin();;) {
    at = std::search(at, reply.end(), kWord.begin(), kWord.end(), [](char c, char w) {
      return std::tolower(static_cast<unsigned char>(c)) == w;
    });
    if (at == reply.end()) return reply;
    *at = 'x';
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Tally {
  int done = 0;
  bool succeeded = false;
  std::string result;
  std::int64_t fileSize = -1;
  std::vector<std::int64_t> readed;
  std::vector<std::int64_t> totals;
  std::string reason;  // ErrorMessage when OnError ran
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A second guard besides WithoutRedirects: any other host would be reached through this
  // same loopback server as a proxy, so nothing leaves the machine.
  const std::string proxy = Server().Url("");
  for (const char* name :
       {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
    setenv(name, proxy.c_str(), 1);
  }
  setenv("no_proxy", "127.0.0.1", 1);
  setenv("NO_PROXY", "127.0.0.1", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const std::uint8_t settings = input.Byte();
  const std::string reply = WithoutRedirects(input.Rest());
  {
    std::lock_guard<std::mutex> lock(gReplyLock);
    gReply = reply;
  }
  static const std::string target = "/tmp/xkit-fuzz-http-" + std::to_string(getpid());
  const bool toFile = (settings & 2) != 0;

  Tally tally;
  {
    THTTPGet get(nullptr);
    get.URL = Server().Url("/");
    get.FileName = target;
    get.BinaryData = (settings & 1) != 0;
    get.OnProgress = [&](TObject*, std::int64_t total, std::int64_t readed) {
      tally.totals.push_back(total);
      tally.readed.push_back(readed);
    };
    get.OnDoneString = [&](TObject*, const std::string& result) {
      ++tally.done;
      tally.succeeded = true;
      tally.result = result;
    };
    get.OnDoneFile = [&](TObject*, const std::string&, std::int64_t fileSize) {
      ++tally.done;
      tally.succeeded = true;
      tally.fileSize = fileSize;
    };
    get.OnError = [&](TObject*) {
      ++tally.done;
      tally.reason = get.ErrorMessage();
    };
    if (toFile) {
      get.StartFileFetch();
    } else {
      get.StartStringFetch();
    }
    while (tally.done == 0)
      Application.HandleMessage();
  }
  detail::WaitUntilNoRunningThreads();
  Application.ProcessMessages();
  FUZZ_CHECK(tally.done == 1);
  // Every failure says why: never only the component's last resort.
  FUZZ_CHECK(tally.succeeded == tally.reason.empty() && tally.reason != "The fetch failed");

  std::int64_t previous = 0;
  for (std::size_t i = 0; i < tally.readed.size(); ++i) {
    FUZZ_CHECK(tally.readed[i] > previous && tally.readed[i] - previous <= 1025);
    FUZZ_CHECK(tally.totals[i] == tally.totals[0]);
    previous = tally.readed[i];
  }
  if (toFile) {
    tally.result = ReadFile(target);
    std::remove(target.c_str());
    if (tally.succeeded)
      FUZZ_CHECK(static_cast<std::int64_t>(tally.result.size()) == tally.fileSize);
  }
  if (!tally.succeeded) return 0;
  FUZZ_CHECK(static_cast<std::int64_t>(tally.result.size()) == previous);
  if (!toFile) FUZZ_CHECK(!tally.result.empty());
  if (!ContainsNoCase(reply, "chunked")) FUZZ_CHECK(reply.find(tally.result) != std::string::npos);
  if ((settings & 1) != 0) FUZZ_CHECK(ContainsNoCase(reply, "content-length"));
  return 0;
}
