// A loopback HTTP server for load and fault tests: every connection is served on a thread of
// its own, so many clients are answered at once and one stalled connection holds up no
// other. A handler decides, per connection, what goes back: exact bytes, a reset in the
// middle of them, or silence until the client gives up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace xkit::test {

// One accepted connection, as its handler sees it.
class Connection {
public:
  // The request head, up to and including its blank line.
  const std::string& Request() const { return request_; }
  // The object name of the request line ("/a/b" of "GET /a/b HTTP/1.0").
  std::string Path() const;

  // Writes all the bytes; false when the client has gone or the server is stopping.
  bool Send(std::string_view bytes);
  // Ends the connection with a TCP reset instead of an orderly close.
  void Reset();
  // Returns when the client closes its side or the server is stopping; sends nothing.
  void WaitUntilClientCloses();

private:
  friend class ConcurrentServer;
  Connection(int fd, int stopFd) : fd_(fd), stopFd_(stopFd) {}

  int fd_;
  int stopFd_;
  bool reset_ = false;
  std::string request_;
};

class ConcurrentServer {
public:
  using Handler = std::function<void(Connection&)>;

  // Listens on 127.0.0.1 at once. The handler runs once per connection, on that connection's
  // thread, after the request head has been read; it must be safe to call concurrently. The
  // connection closes when the handler returns.
  explicit ConcurrentServer(Handler handler);
  // Stops: handlers blocked in Send or WaitUntilClientCloses return, and every thread ends.
  ~ConcurrentServer();
  ConcurrentServer(const ConcurrentServer&) = delete;
  ConcurrentServer& operator=(const ConcurrentServer&) = delete;

  // "http://127.0.0.1:PORT" followed by path.
  std::string Url(std::string_view path) const;
  // Blocks until at least `count` connections have been accepted.
  void WaitForAccepted(std::size_t count) const;
  // Blocks until every connection accepted so far has been served and its thread has ended.
  void WaitIdle();

private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace xkit::test
