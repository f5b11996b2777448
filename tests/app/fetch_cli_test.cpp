// `xkit fetch` against a scripted loopback server: where the body goes, how the options shape
// the request, and what a failure looks like.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "support/local_nginx.h"
#include "support/loopback_server.h"
#include "tests/app/run_xkit.h"
#include "tests/platform/scratch_dir.h"

namespace xkit::test {
namespace {

using loopback::OkReply;

class FetchCliTest : public ::testing::Test {
protected:
  ScratchDir scratch_;
};

const std::string kBody = std::string("binary\0body\r\n\xff", 14) + std::string(5000, 'x');

TEST_F(FetchCliTest, BodyGoesToStandardOutput) {
  loopback::Server server([](loopback::Exchange& exchange) { exchange.Send(OkReply(kBody)); });
  const RunResult run = RunXkit({"fetch", server.Url("/data")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, kBody);
  EXPECT_EQ(run.err, "");  // no progress bar when standard error is not a terminal
}

TEST_F(FetchCliTest, BodyGoesToTheOutputFile) {
  loopback::Server server([](loopback::Exchange& exchange) { exchange.Send(OkReply(kBody)); });
  const RunResult run = RunXkit({"fetch", server.Url("/data"), "-o", scratch_.Path("data.bin")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(ScratchDir::Contents(scratch_.Path("data.bin")), kBody);
  EXPECT_EQ(scratch_.FileCount(), 1u);
}

TEST_F(FetchCliTest, FailureExitsOneAndLeavesNoFile) {
  loopback::Server server([](loopback::Exchange& exchange) {
    exchange.Send("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\ntruncated");
  });
  const std::string url = server.Url("/short");
  for (const bool toFile : {false, true}) {
    std::vector<std::string> args = {"fetch", url};
    if (toFile) args.insert(args.end(), {"-o", scratch_.Path("short")});
    const RunResult run = RunXkit(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, toFile ? "" : "truncated");  // standard output has what arrived
    EXPECT_EQ(run.err, "xkit fetch: cannot fetch " + url +
                           ": The body is shorter than announced: 9 of 100 bytes arrived\n");
  }
  EXPECT_EQ(scratch_.FileCount(), 0u);
}

TEST_F(FetchCliTest, RefusedConnectionSaysSoWithoutThePassword) {
  std::uint16_t port = 0;
  {
    loopback::Server server([](loopback::Exchange&) {});
    port = server.Port();
  }
  const std::string where = "127.0.0.1:" + std::to_string(port);
  const RunResult run = RunXkit({"fetch", "http://me:secret@" + where + "/"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "xkit fetch: cannot fetch http://me@" + where +
                         "/: Connection refused by 127.0.0.1 port " + std::to_string(port) + "\n");
}

TEST_F(FetchCliTest, AHostNameThatDoesNotResolveSaysSo) {
  // A reserved name that never resolves; one short try if the resolver does not answer.
  setenv("RES_OPTIONS", "timeout:1 attempts:1", 1);
  const RunResult run = RunXkit({"fetch", "http://no-such-host.invalid/"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "xkit fetch: cannot fetch http://no-such-host.invalid/: "
                     "Cannot resolve the host name no-such-host.invalid\n");
}

TEST_F(FetchCliTest, UnwritableTargetFailsBeforeTheRequest) {
  loopback::Server server([](loopback::Exchange& exchange) { exchange.Send(OkReply("x")); });
  const std::string missing = scratch_.Path("no-such-folder/out");
  for (const auto& [target, why] : {std::pair{scratch_.Path(""), "Is a directory"},
                                    std::pair{missing, "No such file or directory"}}) {
    const RunResult run = RunXkit({"fetch", server.Url("/"), "-o", target});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "xkit fetch: cannot fetch " + server.Url("/") + ": " + target + ": " + why + "\n");
  }
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(FetchCliTest, AFailedWriteGivesTheSystemsReason) {
  loopback::Server server([](loopback::Exchange& exchange) { exchange.Send(OkReply(kBody)); });
  const RunResult run = RunXkit({"fetch", server.Url("/"), "-o", "/dev/full"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "xkit fetch: cannot fetch " + server.Url("/") +
                         ": /dev/full: No space left on device\n");
}

TEST_F(FetchCliTest, StandardOutputTakesTheBodyAsItArrives) {
  // Held whole, 64 MiB would take 64 MiB more memory than 1 MiB does.
  loopback::Server server([](loopback::Exchange& exchange) {
    const std::size_t size = exchange.Request().starts_with("GET /big ") ? 64 << 20 : 1 << 20;
    const std::string block(1 << 20, 'z');
    if (!exchange.Send(loopback::Reply("200 OK", {"Content-Length: " + std::to_string(size)}, "")))
      return;
    for (std::size_t sent = 0; sent < size && exchange.Send(block); sent += block.size()) {
    }
  });
  const RunResult small = RunXkit({"fetch", server.Url("/small")});
  const RunResult big = RunXkit({"fetch", server.Url("/big")});
  EXPECT_EQ(big.status, 0) << big.err;
  EXPECT_EQ(big.out.size(), std::size_t{64} << 20);
  EXPECT_LT(big.peakKiB, small.peakKiB + (16 << 10));
}

TEST_F(FetchCliTest, FailNamesAnErrorStatusAndWritesNothing) {
  loopback::Server server([](loopback::Exchange& exchange) {
    exchange.Send(loopback::Reply("404 Not Found", {"Content-Length: 9"}, "not found"));
  });
  EXPECT_EQ(RunXkit({"fetch", server.Url("/gone")}).out, "not found");
  for (const bool toFile : {false, true}) {
    std::vector<std::string> args = {"fetch", "--fail", server.Url("/gone")};
    if (toFile) args.insert(args.end(), {"-o", scratch_.Path("gone")});
    const RunResult run = RunXkit(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "xkit fetch: cannot fetch " + server.Url("/gone") +
                           ": The server answered with status 404\n");
  }
  EXPECT_EQ(scratch_.FileCount(), 0u);
  EXPECT_EQ(RunXkit({"fetch", "--fail", "http://127.0.0.1:1/"}).status, 1);
}

TEST_F(FetchCliTest, MaxTimeEndsADrippingServer) {
  loopback::Server server([](loopback::Exchange& exchange) {
    if (!exchange.Send("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n")) return;
    for (int i = 0; i < 1000 && exchange.Send("x"); ++i)
      usleep(20000);
  });
  const RunResult run = RunXkit({"fetch", "--max-time", "0.3", server.Url("/")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(": The fetch did not complete within 0.3 s\n"), std::string::npos)
      << run.err;
}

TEST_F(FetchCliTest, HttpsWithTheAuthorityCertificateIntoAFile) {
  support::LocalNginx nginx;
  const std::string document = std::string(1 << 20, 'h') + std::string("\0\r\n\xff", 4);
  nginx.WriteDocument("file", document);
  const std::string out = scratch_.Path("out");
  RunResult run =
      RunXkit({"fetch", "--cacert", nginx.CaFile(), nginx.HttpsUrl("/file"), "-o", out});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(ScratchDir::Contents(out) == document);

  run = RunXkit({"fetch", nginx.HttpsUrl("/file")});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.err.starts_with("xkit fetch: cannot fetch " + nginx.HttpsUrl("/file") +
                                  ": The server's certificate is not trusted"))
      << run.err;

  run = RunXkit({"fetch", "--insecure", nginx.HttpsUrl("/file")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.out == document);
  EXPECT_EQ(run.err, "xkit fetch: warning: --insecure: the server's certificate is not checked\n");
}

TEST_F(FetchCliTest, OptionsShapeTheRequest) {
  loopback::Server server([](loopback::Exchange& exchange) {
    if (exchange.Request().find("Authorization: Basic dTpw\r\n") == std::string::npos) {
      exchange.Send("HTTP/1.0 401 No\r\nWWW-Authenticate: Basic realm=\"r\"\r\n\r\n");
    } else {
      exchange.Send(OkReply("in"));
    }
  });
  const RunResult run = RunXkit({"fetch", server.Url("/form"), "--post", "a=1&b=2", "--user", "u",
                                 "--password", "p", "--agent", "Tester/1", "--referer",
                                 "http://from/", "--accept", "text/plain", "--use-cache"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "in");
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  const std::string& request = requests[1];
  EXPECT_TRUE(request.starts_with("POST /form HTTP/1.0\r\n")) << request;
  for (const char* line :
       {"\r\nUser-Agent: Tester/1\r\n", "\r\nReferer: http://from/\r\n",
        "\r\nAccept: text/plain\r\n", "\r\nContent-Type: application/x-www-form-urlencoded\r\n"}) {
    EXPECT_NE(request.find(line), std::string::npos) << line << " in " << request;
  }
  EXPECT_EQ(request.find("no-cache"), std::string::npos);
  EXPECT_TRUE(request.ends_with("\r\n\r\na=1&b=2"));
}

TEST_F(FetchCliTest, BinaryFailsWithoutAnnouncedLength) {
  loopback::Server server(
      [](loopback::Exchange& exchange) { exchange.Send("HTTP/1.0 200 OK\r\n\r\nno length"); });
  EXPECT_EQ(RunXkit({"fetch", server.Url("/")}).out, "no length");
  EXPECT_EQ(RunXkit({"fetch", "--binary", server.Url("/")}).status, 1);
}

TEST_F(FetchCliTest, BadCommandLinesExitTwo) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"fetch"},
                                               {"fetch", "a", "b"},
                                               {"fetch", "--password", "p", "u"},
                                               {"fetch", "--bogus", "u"},
                                               {"fetch", "--max-time", "soon", "u"},
                                               {"fetch", "--connect-timeout", "-1", "u"}}) {
    const RunResult run = RunXkit(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("usage: xkit fetch URL"), std::string::npos);
  }
}

}  // namespace
}  // namespace xkit::test
