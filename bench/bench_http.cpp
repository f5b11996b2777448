// Fetching a 256 MiB body from a loopback server in this process: THTTPGet into memory
// without and with a progress handler, and into a file, each beside libcurl's easy interface
// doing the same (into a buffer sized beforehand, or into a file). Then the same body from a
// local nginx into memory, over HTTPS and over plain HTTP, both sides verifying the server's
// certificate against the same private authority.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/application.h"
#include "support/local_nginx.h"
#include "support/loopback_server.h"
#include "xHTTPGet/xHTTPGet.h"

namespace {

constexpr std::size_t kBodySize = std::size_t{256} << 20;

// Serves the body from one 1 MiB block sent over and over.
xkit::loopback::Server& BodyServer() {
  static xkit::loopback::Server server([](xkit::loopback::Exchange& exchange) {
    static const std::string block = [] {
      std::string bytes(std::size_t{1} << 20, '\0');
      for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 131);
      return bytes;
    }();
    if (!exchange.Send(xkit::loopback::Reply(
            "200 OK", {"Content-Length: " + std::to_string(kBodySize)}, ""))) {
      return;
    }
    for (std::size_t sent = 0; sent < kBodySize; sent += block.size())
      if (!exchange.Send(block)) return;
  });
  return server;
}

// The nginx of the HTTPS and HTTP cases, started at their first run and stopped at exit. Its
// document is a sparse file: the server reads zeros from the page cache, never from a disk.
const xkit::support::LocalNginx& Nginx() {
  static const xkit::support::LocalNginx nginx;
  static const bool written = [] {
    const std::string path = nginx.Documents() + "/big";
    std::ofstream(path, std::ios::binary).close();
    std::filesystem::resize_file(path, kBodySize);
    return true;
  }();
  (void)written;
  return nginx;
}

std::string TargetFile() {
  return (std::filesystem::temp_directory_path() / ("xkit-bench-http-" + std::to_string(getpid())))
      .string();
}

// kFreshMemory: the libcurl peer into memory that a fetch has not used before, as each
// THTTPGet fetch must (it hands over a new string); the gap to kMemory is the cost of the
// first touch of 256 MiB, which varies a lot between machines.
// kHttps, kHttp: into memory from the local nginx.
enum class Mode { kMemory, kFreshMemory, kProgress, kFile, kHttps, kHttp };

std::string UrlFor(Mode mode) {
  if (mode == Mode::kHttps) return Nginx().HttpsUrl("/big");
  if (mode == Mode::kHttp) return Nginx().HttpUrl("/big");
  return BodyServer().Url("/body");
}

void FetchXkit(benchmark::State& state, Mode mode) {
  xkit::THTTPGet get(nullptr);
  get.URL = UrlFor(mode);
  if (mode == Mode::kHttps) get.CAFile = Nginx().CaFile();
  get.FileName = TargetFile();
  bool done = false;
  std::int64_t size = -1;
  std::int64_t reported = 0;
  get.OnDoneString = [&](xkit::TObject*, const std::string& result) {
    size = static_cast<std::int64_t>(result.size());
    done = true;
  };
  get.OnDoneFile = [&](xkit::TObject*, const std::string&, std::int64_t fileSize) {
    size = fileSize;
    done = true;
  };
  get.OnError = [&](xkit::TObject*) { done = true; };
  if (mode == Mode::kProgress) {
    get.OnProgress = [&](xkit::TObject*, std::int64_t, std::int64_t readed) { reported = readed; };
  }
  for (auto _ : state) {
    done = false;
    size = -1;
    if (mode == Mode::kFile) {
      get.StartFileFetch();
    } else {
      get.StartStringFetch();
    }
    while (!done)
      xkit::Application.HandleMessage();
    if (size != static_cast<std::int64_t>(kBodySize)) {
      state.SkipWithError("the fetch failed");
      break;
    }
  }
  benchmark::DoNotOptimize(reported);
  std::filesystem::remove(get.FileName);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBodySize));
}

struct CurlSink {
  std::vector<char>* buffer = nullptr;  // memory: pre-sized, filled from the front
  std::string* fresh = nullptr;         // memory: a new string per fetch, reserved up front
  int fd = -1;                          // file
  std::size_t received = 0;
};

std::size_t CurlWrite(char* data, std::size_t size, std::size_t count, void* context) {
  auto& sink = *static_cast<CurlSink*>(context);
  const std::size_t total = size * count;
  if (sink.buffer != nullptr) {
    if (sink.received + total > sink.buffer->size()) return 0;
    std::memcpy(sink.buffer->data() + sink.received, data, total);
  } else if (sink.fresh != nullptr) {
    sink.fresh->append(data, total);
  } else if (write(sink.fd, data, total) != static_cast<ssize_t>(total)) {
    return 0;
  }
  sink.received += total;
  return total;
}

int CurlProgress(void* context, curl_off_t, curl_off_t now, curl_off_t, curl_off_t) {
  *static_cast<curl_off_t*>(context) = now;
  return 0;
}

void FetchCurl(benchmark::State& state, Mode mode) {
  const std::string url = UrlFor(mode);
  const std::string fileName = TargetFile();
  std::vector<char> buffer;
  if (mode != Mode::kFreshMemory && mode != Mode::kFile) {
    buffer.assign(kBodySize, '\0');  // sized and touched beforehand
  }
  curl_off_t reported = 0;
  CURL* easy = curl_easy_init();
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  if (mode == Mode::kHttps || mode == Mode::kHttp) {
    // As THTTPGet asks: HTTP/1.0, the certificate checked (libcurl's default) against the
    // same authority, the system's store beside it.
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(easy, CURLOPT_CAINFO, Nginx().CaFile().c_str());
  }
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlWrite);
  if (mode == Mode::kProgress) {
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &CurlProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &reported);
  }
  for (auto _ : state) {
    CurlSink sink;
    std::string fresh;
    if (mode == Mode::kFile) {
      sink.fd = open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } else if (mode == Mode::kFreshMemory) {
      fresh.reserve(kBodySize);
      sink.fresh = &fresh;
    } else {
      sink.buffer = &buffer;
    }
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &sink);
    const CURLcode result = curl_easy_perform(easy);
    if (sink.fd >= 0) close(sink.fd);
    if (result != CURLE_OK || sink.received != kBodySize) {
      state.SkipWithError("the fetch failed");
      break;
    }
  }
  curl_easy_cleanup(easy);
  benchmark::DoNotOptimize(reported);
  std::filesystem::remove(fileName);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBodySize));
}

void Register(const char* name, void (*fetch)(benchmark::State&, Mode), Mode mode) {
  // Wall-clock time and a fixed count: the work runs on other threads than the measuring one.
  benchmark::RegisterBenchmark(name, fetch, mode)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(4);
}

const bool registered = [] {
  Register("HttpGet256MiB/memory/xkit", &FetchXkit, Mode::kMemory);
  Register("HttpGet256MiB/memory/libcurl", &FetchCurl, Mode::kMemory);
  Register("HttpGet256MiB/memory/libcurl_fresh", &FetchCurl, Mode::kFreshMemory);
  Register("HttpGet256MiB/progress/xkit", &FetchXkit, Mode::kProgress);
  Register("HttpGet256MiB/progress/libcurl", &FetchCurl, Mode::kProgress);
  Register("HttpGet256MiB/file/xkit", &FetchXkit, Mode::kFile);
  Register("HttpGet256MiB/file/libcurl", &FetchCurl, Mode::kFile);
  Register("HttpsGet256MiB/nginx/xkit", &FetchXkit, Mode::kHttps);
  Register("HttpsGet256MiB/nginx/libcurl", &FetchCurl, Mode::kHttps);
  Register("HttpGet256MiB/nginx/xkit", &FetchXkit, Mode::kHttp);
  Register("HttpGet256MiB/nginx/libcurl", &FetchCurl, Mode::kHttp);
  return true;
}();

}  // namespace
