// The request a fetch puts on the wire, byte for byte where it matters.
#include <gtest/gtest.h>

#include "tests/xHTTPGet/fetch_test_support.h"

namespace xkit::test {
namespace {

class RequestTest : public FetchTest {
protected:
  // Fetches path and returns the one request the server received.
  ParsedRequest FetchOnce(std::string_view path = "/") {
    ServeReply(Ok("body"));
    FetchString(path);
    EXPECT_EQ(recorder_.Completion().kind, Event::kDoneString);
    const std::vector<std::string> requests = server_->Requests();
    EXPECT_EQ(requests.size(), 1u);
    return ParsedRequest(requests.empty() ? "" : requests.front());
  }
};

TEST_F(RequestTest, DefaultGet) {
  const ParsedRequest request = FetchOnce("/page?x=1&y=%2F");
  EXPECT_EQ(request.line, "GET /page?x=1&y=%2F HTTP/1.0");
  std::vector<std::string> headers = request.headers;
  std::sort(headers.begin(), headers.end());
  EXPECT_EQ(headers, (std::vector<std::string>{
                         "Accept: */*",
                         "Cache-Control: no-cache",
                         "Host: 127.0.0.1:" + std::to_string(server_->Port()),
                         "Pragma: no-cache",
                         "User-Agent: Veltrane HTTPGet",
                     }));
  EXPECT_EQ(request.body, "");
}

TEST_F(RequestTest, PostSendsTheFormBytesUnchanged) {
  const std::string form = std::string("a=1&b=%20x+y&raw=\x01\xff\0end", 21);
  get_->PostQuery = form;
  const ParsedRequest request = FetchOnce("/form");
  EXPECT_EQ(request.line, "POST /form HTTP/1.0");
  EXPECT_EQ(request.Value("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(request.Value("Content-Length"), std::to_string(form.size()));
  EXPECT_EQ(request.body, form);
}

TEST_F(RequestTest, UrlWithoutPathFetchesTheRoot) {
  ServeReply(Ok("root"));
  get_->URL = "HTTP://127.0.0.1:" + std::to_string(server_->Port());
  get_->StartStringFetch();
  PumpUntil([this] { return recorder_.Completions() > 0; });
  EXPECT_EQ(recorder_.Completion().text, "root");
  EXPECT_EQ(ParsedRequest(server_->Requests().at(0)).line, "GET / HTTP/1.0");
}

// A property setting and the header it must give (nullopt: the header must be absent).
struct HeaderCase {
  const char* name;
  void (*set)(THTTPGet&);
  const char* header;
  std::optional<std::string> value;
};

void PrintTo(const HeaderCase& c, std::ostream* out) {
  *out << c.name;
}

class HeaderTest : public RequestTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(HeaderTest, PropertyShapesHeader) {
  GetParam().set(*get_);
  const ParsedRequest request = FetchOnce();
  EXPECT_EQ(request.Value(GetParam().header), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderTest,
    ::testing::Values(
        HeaderCase{"AcceptTypes", [](THTTPGet& g) { g.AcceptTypes = "text/html, image/*;q=0.5"; },
                   "Accept", "text/html, image/*;q=0.5"},
        HeaderCase{"EmptyAcceptTypes", [](THTTPGet& g) { g.AcceptTypes = ""; }, "Accept",
                   std::nullopt},
        HeaderCase{"Agent", [](THTTPGet& g) { g.Agent = "Probe/2.1"; }, "User-Agent", "Probe/2.1"},
        HeaderCase{"EmptyAgent", [](THTTPGet& g) { g.Agent = ""; }, "User-Agent", std::nullopt},
        HeaderCase{"Referer", [](THTTPGet& g) { g.Referer = "http://from.example/list"; },
                   "Referer", "http://from.example/list"},
        HeaderCase{"NoReferer", [](THTTPGet&) {}, "Referer", std::nullopt},
        HeaderCase{"UseCacheDropsCacheControl", [](THTTPGet& g) { g.UseCache = true; },
                   "Cache-Control", std::nullopt},
        HeaderCase{"UseCacheDropsPragma", [](THTTPGet& g) { g.UseCache = true; }, "Pragma",
                   std::nullopt},
        HeaderCase{"GetHasNoContentType", [](THTTPGet&) {}, "Content-Type", std::nullopt},
        HeaderCase{"CredentialsNotSentUnasked",
                   [](THTTPGet& g) {
                     g.UserName = "user";
                     g.Password = "pass";
                   },
                   "Authorization", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RequestTest, BasicCredentialsAnswerAChallenge) {
  Serve([](loopback::Exchange& exchange) {
    if (ParsedRequest(exchange.Request()).Value("Authorization")) {
      exchange.Send(Ok("welcome"));
    } else {
      exchange.Send(Reply("401 Unauthorized",
                          {"WWW-Authenticate: Basic realm=\"test\"", "Content-Length: 6"},
                          "denied"));
    }
  });
  get_->UserName = "Aladdin";
  get_->Password = "open sesame";
  FetchString("/private");
  EXPECT_EQ(recorder_.Completion().text, "welcome");
  const std::vector<std::string> requests = server_->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(ParsedRequest(requests[0]).Value("Authorization"), std::nullopt);
  EXPECT_EQ(ParsedRequest(requests[1]).line, "GET /private HTTP/1.0");
  EXPECT_EQ(ParsedRequest(requests[1]).Value("Authorization"),
            "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}

TEST_F(RequestTest, ChallengeWithoutCredentialsDeliversTheErrorPage) {
  ServeReply(Reply("401 Unauthorized", {"WWW-Authenticate: Basic realm=\"x\"", "Content-Length: 6"},
                   "denied"));
  FetchString();
  EXPECT_EQ(recorder_.Completion().text, "denied");
  EXPECT_EQ(server_->Requests().size(), 1u);
}

}  // namespace
}  // namespace xkit::test
