// What a fetch makes of each kind of response, into memory and into a file: the body, the
// completion event, and the progress reports.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/xHTTPGet/fetch_test_support.h"

namespace xkit::test {
namespace {

// One response and what each destination must make of it.
struct ResponseCase {
  const char* name;
  std::string reply;
  bool binaryData;
  bool memoryOk;  // OnDoneString with the body (else OnError)
  bool fileOk;    // OnDoneFile, the file holding the body (else OnError)
  std::string body;
};

void PrintTo(const ResponseCase& c, std::ostream* out) {
  *out << c.name;
}

std::vector<ResponseCase> ResponseCases() {
  return {
      {"WithLength", Ok("hello"), false, true, true, "hello"},
      {"WithoutLength", Reply("200 OK", {}, "hello"), false, true, true, "hello"},
      {"WithoutLengthBinary", Reply("200 OK", {}, "hello"), true, false, false, ""},
      {"WithLengthBinary", Ok("hello"), true, true, true, "hello"},
      {"NotFoundBodyIsContent", Reply("404 Not Found", {"Content-Length: 9"}, "not found"), false,
       true, true, "not found"},
      {"ServerErrorWithoutLength", Reply("500 Oops", {}, "oops"), false, true, true, "oops"},
      {"EmptyWithLength", Ok(""), false, false, true, ""},
      {"EmptyWithoutLength", Reply("200 OK", {}, ""), false, false, true, ""},
      {"Truncated", Reply("200 OK", {"Content-Length: 10"}, "hello"), false, false, false, ""},
      {"LongerThanAnnounced", Reply("200 OK", {"Content-Length: 5"}, "hello, world"), false, false,
       false, ""},
      {"LengthNotANumber", Reply("200 OK", {"Content-Length: 5x"}, "hello"), false, false, false,
       ""},
      {"NegativeLength", Reply("200 OK", {"Content-Length: -5"}, "hello"), false, false, false, ""},
      {"ClosedBeforeReplying", "", false, false, false, ""},
      {"ClosedInsideHeaders", "HTTP/1.0 200 OK\r\nContent-Le", false, false, false, ""},
      {"NotHttp", "SSH-2.0-OpenSSH_9.2\r\n", false, false, false, ""},
      {"Chunked",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
       "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n",
       false, true, true, "hello world"},
      {"ZeroBytes", Ok(std::string("a\0b\0\0c\0", 7)), false, true, true,
       std::string("a\0b\0\0c\0", 7)},
      {"EveryByteValue", Ok(Pattern(5000)), false, true, true, Pattern(5000)},
  };
}

class ResponseTest : public FetchTest, public ::testing::WithParamInterface<ResponseCase> {};

TEST_P(ResponseTest, IntoMemory) {
  const ResponseCase& c = GetParam();
  ServeReply(c.reply);
  get_->BinaryData = c.binaryData;
  FetchString();
  const Event& done = recorder_.Completion();
  EXPECT_EQ(done.sender, get_.get());
  if (c.memoryOk) {
    ASSERT_EQ(done.kind, Event::kDoneString);
    EXPECT_EQ(done.text, c.body);
  } else {
    EXPECT_EQ(done.kind, Event::kError);
  }
}

TEST_P(ResponseTest, IntoFile) {
  const ResponseCase& c = GetParam();
  ServeReply(c.reply);
  get_->BinaryData = c.binaryData;
  FetchFile();
  const Event& done = recorder_.Completion();
  EXPECT_EQ(done.sender, get_.get());
  if (c.fileOk) {
    ASSERT_EQ(done.kind, Event::kDoneFile);
    EXPECT_EQ(done.text, get_->FileName);
    EXPECT_EQ(done.total, static_cast<std::int64_t>(c.body.size()));
    EXPECT_EQ(ReadFile(get_->FileName), c.body);
  } else {
    EXPECT_EQ(done.kind, Event::kError);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ResponseTest, ::testing::ValuesIn(ResponseCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FetchTest, ProgressAfterEveryChunkWithTheRunningCount) {
  const std::string body = Pattern(2600);
  ServeReply(Ok(body));
  FetchString();
  const std::vector<Event> progress = recorder_.Progress();
  ASSERT_EQ(progress.size(), 3u);
  const std::int64_t expected[] = {1025, 2050, 2600};
  for (std::size_t i = 0; i < progress.size(); ++i) {
    EXPECT_EQ(progress[i].total, 2600);
    EXPECT_EQ(progress[i].readed, expected[i]);
    // Progress comes from the worker, the completion from the component.
    EXPECT_NE(progress[i].sender, get_.get());
    EXPECT_TRUE(progress[i].fromWorker);
  }
  EXPECT_EQ(recorder_.Completion().kind, Event::kDoneString);
  EXPECT_EQ(recorder_.Completion().sender, get_.get());
}

TEST_F(FetchTest, ProgressWithoutLengthReportsTotalZero) {
  ServeReply(Reply("200 OK", {}, Pattern(2050)));
  FetchFile();
  const std::vector<Event> progress = recorder_.Progress();
  ASSERT_EQ(progress.size(), 2u);
  EXPECT_EQ(progress[0].total, 0);
  EXPECT_EQ(progress[0].readed, 1025);
  EXPECT_EQ(progress[1].total, 0);
  EXPECT_EQ(progress[1].readed, 2050);
  EXPECT_EQ(recorder_.Completion().kind, Event::kDoneFile);
}

TEST_F(FetchTest, BinaryDataWithoutLengthFailsBeforeReading) {
  ServeReply(Reply("200 OK", {}, Pattern(3000)));
  get_->BinaryData = true;
  FetchString();
  EXPECT_TRUE(recorder_.Progress().empty());
  EXPECT_EQ(recorder_.Completion().kind, Event::kError);
}

TEST_F(FetchTest, LengthsBeyond32BitsAreReportedWhole) {
  // 2^32 + 5: a 32-bit count would wrap to 5 and take this short body for complete.
  ServeReply(Reply("200 OK", {"Content-Length: 4294967301"}, "hello"));
  FetchString();
  const std::vector<Event> progress = recorder_.Progress();
  ASSERT_EQ(progress.size(), 1u);
  EXPECT_EQ(progress[0].total, 4294967301);
  EXPECT_EQ(progress[0].readed, 5);
  EXPECT_EQ(recorder_.Completion().kind, Event::kError);
}

TEST_F(FetchTest, RefusedConnectionFails) {
  ServeReply("");
  const std::string url = server_->Url("/");
  server_.reset();  // nothing listens on that port any more
  get_->URL = url;
  get_->StartStringFetch();
  PumpUntil([this] { return recorder_.Completions() > 0; });
  EXPECT_EQ(recorder_.Completion().kind, Event::kError);
}

TEST_F(FetchTest, UnusableServerNameFails) {
  for (const char* url : {"http://bad host/", "http://host:99999/", "http://host:/", "http:///x"}) {
    recorder_.events_.clear();
    get_->URL = url;
    get_->StartStringFetch();
    PumpUntil([this] { return recorder_.Completions() > 0; });
    EXPECT_EQ(recorder_.Completion().kind, Event::kError) << url;
  }
}

TEST_F(FetchTest, TargetFileThatCannotBeCreatedFails) {
  ServeReply(Ok("hello"));
  get_->FileName = TempPath("no-such-directory/body");
  FetchFile();
  EXPECT_EQ(recorder_.Completion().kind, Event::kError);
  EXPECT_FALSE(std::filesystem::exists(get_->FileName));
}

TEST_F(FetchTest, FileFetchReplacesAnExistingFile) {
  ServeReply(Ok("new"));
  get_->FileName = TempPath("body");
  {
    std::ofstream old(get_->FileName);
    old << "an older and longer content";
  }
  FetchFile();
  EXPECT_EQ(recorder_.Completion().kind, Event::kDoneFile);
  EXPECT_EQ(ReadFile(get_->FileName), "new");
}

TEST_F(FetchTest, ExceptionFromProgressHandlerFailsTheFetch) {
  ServeReply(Ok(Pattern(3000)));
  int reports = 0;
  get_->OnProgress = [&](TObject*, std::int64_t, std::int64_t) {
    ++reports;
    throw std::runtime_error("progress handler failed");
  };
  FetchString();
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(recorder_.Completion().kind, Event::kError);
}

TEST_F(FetchTest, RedirectIsFollowed) {
  Serve([](loopback::Exchange& exchange) {
    if (exchange.Request().starts_with("GET /old ")) {
      exchange.Send(Reply("302 Found", {"Location: /new", "Content-Length: 5"}, "moved"));
    } else {
      exchange.Send(Ok("the new place"));
    }
  });
  FetchString("/old");
  EXPECT_EQ(recorder_.Completion().text, "the new place");
  ASSERT_EQ(server_->Requests().size(), 2u);
  EXPECT_EQ(ParsedRequest(server_->Requests()[1]).line, "GET /new HTTP/1.0");
}

}  // namespace
}  // namespace xkit::test
