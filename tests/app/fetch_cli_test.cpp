// `xkit fetch` against a scripted loopback server: where the body goes, how the options shape
// the request, and what a failure looks like.
#include <gtest/gtest.h>

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
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "xkit fetch: cannot fetch " + url + "\n");
  }
  EXPECT_EQ(scratch_.FileCount(), 0u);
}

TEST_F(FetchCliTest, RefusedConnectionExitsOne) {
  std::string url;
  {
    loopback::Server server([](loopback::Exchange&) {});
    url = server.Url("/");
  }
  EXPECT_EQ(RunXkit({"fetch", url}).status, 1);
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
                                               {"fetch", "--bogus", "u"}}) {
    const RunResult run = RunXkit(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("usage: xkit fetch URL"), std::string::npos);
  }
}

}  // namespace
}  // namespace xkit::test
