// The HTTP client's calls on their own, against a scripted loopback server: what each call
// returns, the bounded read-ahead, timeouts and waking a blocked call.
#include "platform/wininet.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/http_transfer.h"
#include "support/loopback_server.h"

namespace xkit {
namespace {

std::string Body(std::size_t size) {
  std::string body(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    body[i] = static_cast<char>('a' + i % 26);
  return body;
}

using loopback::OkReply;

// The three handles of one request, closed in reverse order.
struct Request {
  Request(const loopback::Server& server, const char* object = "/") {
    internet = InternetOpenA("probe", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    connection =
        InternetConnectA(internet, "127.0.0.1", server.Port(), "", "", INTERNET_SERVICE_HTTP, 0, 0);
    request = HttpOpenRequestA(connection, "GET", object, "HTTP/1.0", "", nullptr, 0, 0);
  }
  ~Request() {
    InternetCloseHandle(request);
    InternetCloseHandle(connection);
    InternetCloseHandle(internet);
  }
  void SetOption(DWORD option, DWORD milliseconds) {
    ASSERT_TRUE(InternetSetOptionA(request, option, &milliseconds, sizeof milliseconds));
  }
  BOOL Send() { return HttpSendRequestA(request, nullptr, 0, nullptr, 0); }

  HINTERNET internet, connection, request;
};

TEST(WinInet, ReadsFullCountsThenZeroAtTheCleanEnd) {
  const std::string body = Body(3000);
  loopback::Server server([&](loopback::Exchange& exchange) { exchange.Send(OkReply(body)); });
  Request r(server);
  ASSERT_TRUE(r.Send());
  std::string received;
  char chunk[1025];
  DWORD read = 0;
  for (const DWORD expected : {1025u, 1025u, 950u, 0u}) {
    ASSERT_TRUE(InternetReadFile(r.request, chunk, sizeof chunk, &read));
    EXPECT_EQ(read, expected);
    received.append(chunk, read);
  }
  EXPECT_TRUE(InternetReadFile(r.request, chunk, sizeof chunk, &read));
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(received, body);
}

TEST(WinInet, QueryInfoCopiesTheLengthTextOrSaysWhatItNeeds) {
  loopback::Server server([](loopback::Exchange& exchange) {
    exchange.Send("HTTP/1.0 200 OK\r\nContent-Length:   12345 \r\nContent-Length: 12345\r\n\r\n");
  });
  Request r(server);
  ASSERT_TRUE(r.Send());
  char text[16];
  DWORD size = 3;
  DWORD index = 0;
  EXPECT_FALSE(HttpQueryInfoA(r.request, HTTP_QUERY_CONTENT_LENGTH, text, &size, &index));
  EXPECT_EQ(size, 6u);  // "12345" and its terminating zero
  size = sizeof text;
  ASSERT_TRUE(HttpQueryInfoA(r.request, HTTP_QUERY_CONTENT_LENGTH, text, &size, &index));
  EXPECT_STREQ(text, "12345");
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(index, 1u);
  size = sizeof text;
  ASSERT_TRUE(HttpQueryInfoA(r.request, HTTP_QUERY_CONTENT_LENGTH, text, &size, &index));
  EXPECT_STREQ(text, "12345");
  size = sizeof text;
  EXPECT_FALSE(HttpQueryInfoA(r.request, HTTP_QUERY_CONTENT_LENGTH, text, &size, &index));
}

TEST(WinInet, QueryInfoFailsWithoutTheHeader) {
  loopback::Server server(
      [](loopback::Exchange& exchange) { exchange.Send("HTTP/1.0 200 OK\r\n\r\nbody"); });
  Request r(server);
  ASSERT_TRUE(r.Send());
  char text[16];
  DWORD size = sizeof text;
  EXPECT_FALSE(HttpQueryInfoA(r.request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr));
}

TEST(WinInet, CallsOnMissingOrWrongHandlesFail) {
  char buffer[8];
  DWORD size = sizeof buffer;
  DWORD read = 99;
  EXPECT_EQ(InternetConnectA(nullptr, "host", 80, "", "", INTERNET_SERVICE_HTTP, 0, 0), nullptr);
  EXPECT_EQ(HttpOpenRequestA(nullptr, "GET", "/", "HTTP/1.0", "", nullptr, 0, 0), nullptr);
  EXPECT_FALSE(HttpSendRequestA(nullptr, nullptr, 0, nullptr, 0));
  EXPECT_FALSE(HttpQueryInfoA(nullptr, HTTP_QUERY_CONTENT_LENGTH, buffer, &size, nullptr));
  EXPECT_FALSE(InternetReadFile(nullptr, buffer, sizeof buffer, &read));
  EXPECT_EQ(read, 0u);
  EXPECT_FALSE(InternetCloseHandle(nullptr));

  HINTERNET internet = InternetOpenA(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  ASSERT_NE(internet, nullptr);
  // A session where a request belongs, and a request that was never sent.
  EXPECT_FALSE(HttpSendRequestA(internet, nullptr, 0, nullptr, 0));
  HINTERNET connection =
      InternetConnectA(internet, "127.0.0.1", 1, "", "", INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET request =
      HttpOpenRequestA(connection, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0);
  ASSERT_NE(request, nullptr);
  EXPECT_FALSE(InternetReadFile(request, buffer, sizeof buffer, &read));
  EXPECT_FALSE(HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, buffer, &size, nullptr));
  for (HINTERNET handle : {request, connection, internet})
    EXPECT_TRUE(InternetCloseHandle(handle));
}

TEST(WinInet, NamesThatWouldChangeTheRequestAreRefused) {
  HINTERNET internet = InternetOpenA(nullptr, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  for (const char* host : {"", "a b", "host/x", "user@host", "host:80", "[::1", "h\r\nX: y"}) {
    EXPECT_EQ(InternetConnectA(internet, host, 80, "", "", INTERNET_SERVICE_HTTP, 0, 0), nullptr)
        << host;
  }
  HINTERNET connection =
      InternetConnectA(internet, "[::1]", 80, "", "", INTERNET_SERVICE_HTTP, 0, 0);
  ASSERT_NE(connection, nullptr);
  for (const char* object : {"/a b", "/a\r\nX: y", "/\t", "/\x7f"}) {
    EXPECT_EQ(HttpOpenRequestA(connection, "GET", object, "HTTP/1.0", "", nullptr, 0, 0), nullptr)
        << object;
  }
  InternetCloseHandle(connection);
  InternetCloseHandle(internet);
}

TEST(WinInet, RefusedConnectionFailsTheSend) {
  std::uint16_t port = 0;
  {
    loopback::Server server([](loopback::Exchange&) {});
    port = server.Port();
  }
  HINTERNET internet = InternetOpenA(nullptr, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET connection =
      InternetConnectA(internet, "127.0.0.1", port, "", "", INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET request = HttpOpenRequestA(connection, "GET", "/", "HTTP/1.0", "", nullptr, 0, 0);
  EXPECT_FALSE(HttpSendRequestA(request, nullptr, 0, nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_CANNOT_CONNECT);
  const std::string reason = "Connection refused by 127.0.0.1 port " + std::to_string(port);
  DWORD code = 0;
  char text[64];
  DWORD size = 10;
  EXPECT_FALSE(InternetGetLastResponseInfoA(&code, text, &size));
  EXPECT_EQ(size, reason.size() + 1);
  size = sizeof text;
  ASSERT_TRUE(InternetGetLastResponseInfoA(&code, text, &size));
  EXPECT_EQ(code, ERROR_INTERNET_CANNOT_CONNECT);
  EXPECT_EQ(std::string(text, size), reason);
  for (HINTERNET handle : {request, connection, internet})
    InternetCloseHandle(handle);
}

TEST(WinInet, StatusCodeAsTextOrNumber) {
  loopback::Server server([](loopback::Exchange& exchange) {
    exchange.Send("HTTP/1.0 404 Not Found\r\nContent-Length: 4\r\n\r\ngone");
  });
  Request r(server);
  ASSERT_TRUE(r.Send());
  char text[8];
  DWORD size = sizeof text;
  ASSERT_TRUE(HttpQueryInfoA(r.request, HTTP_QUERY_STATUS_CODE, text, &size, nullptr));
  EXPECT_STREQ(text, "404");
  DWORD status = 0;
  size = sizeof status;
  ASSERT_TRUE(HttpQueryInfoA(r.request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                             &size, nullptr));
  EXPECT_EQ(status, 404u);
}

TEST(WinInet, HeaderValuesWithLineBreaksAreRefused) {
  EXPECT_EQ(InternetOpenA("a\r\nX: y", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_HTTP_INVALID_HEADER);
  HINTERNET internet = InternetOpenA(nullptr, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  EXPECT_EQ(InternetConnectA(internet, "host", 80, "u\n", "", INTERNET_SERVICE_HTTP, 0, 0),
            nullptr);
  EXPECT_EQ(InternetConnectA(internet, "host", 80, "u", "p\r", INTERNET_SERVICE_HTTP, 0, 0),
            nullptr);
  HINTERNET connection =
      InternetConnectA(internet, "host", 80, "", "", INTERNET_SERVICE_HTTP, 0, 0);
  LPCSTR badAccept[] = {"text/html", "a\nb", nullptr};
  EXPECT_EQ(HttpOpenRequestA(connection, "GET", "/", "HTTP/1.0", "r\r\n", nullptr, 0, 0), nullptr);
  EXPECT_EQ(HttpOpenRequestA(connection, "GET", "/", "HTTP/1.0", "", badAccept, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_HTTP_INVALID_HEADER);
  InternetCloseHandle(connection);
  InternetCloseHandle(internet);
}

TEST(WinInet, ReadAheadStaysBoundedWhileTheReaderLags) {
  const std::string body = Body(24 << 20);
  loopback::Server server([&](loopback::Exchange& exchange) { exchange.Send(OkReply(body)); });
  Request r(server);
  ASSERT_TRUE(r.Send());
  std::size_t total = 0;
  std::size_t peak = 0;
  std::string chunk(1025, '\0');
  DWORD read = 0;
  while (InternetReadFile(r.request, chunk.data(), 1025, &read) && read > 0) {
    ASSERT_EQ(chunk.compare(0, read, body, total, read), 0) << "at " << total;
    total += read;
    peak = std::max(peak, detail::InternetBufferedBytes(r.request));
  }
  EXPECT_EQ(total, body.size());
  EXPECT_LE(peak, detail::kReadAhead);
  EXPECT_GT(peak, 0u);
}

TEST(WinInet, SilentServerFailsAtTheReceiveTimeout) {
  loopback::Server server([](loopback::Exchange& exchange) { exchange.WaitUntilClientCloses(); });
  Request r(server);
  r.SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 200);
  EXPECT_FALSE(r.Send());
}

TEST(WinInet, StallInsideTheBodyFailsTheRead) {
  loopback::Server server([](loopback::Exchange& exchange) {
    exchange.Send("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nfirst");
    exchange.WaitUntilClientCloses();
  });
  Request r(server);
  r.SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 200);
  ASSERT_TRUE(r.Send());
  char chunk[1025];
  DWORD read = 0;
  ASSERT_TRUE(InternetReadFile(r.request, chunk, sizeof chunk, &read));  // what came first
  EXPECT_EQ(std::string(chunk, read), "first");
  EXPECT_FALSE(InternetReadFile(r.request, chunk, sizeof chunk, &read));
}

TEST(WinInet, InterruptWakesABlockedSend) {
  loopback::Server server([](loopback::Exchange& exchange) { exchange.WaitUntilClientCloses(); });
  Request r(server);
  std::atomic<int> sent{-1};
  std::thread sender([&] { sent = r.Send(); });
  server.WaitForRequests(1);
  detail::InternetInterrupt(r.request);
  sender.join();
  EXPECT_EQ(sent, FALSE);
}

TEST(WinInet, InterruptBeforeTheSendFailsItAtOnce) {
  loopback::Server server([](loopback::Exchange& exchange) { exchange.Send(OkReply("x")); });
  Request r(server);
  detail::InternetInterrupt(r.request);
  EXPECT_FALSE(r.Send());
}

}  // namespace
}  // namespace xkit
