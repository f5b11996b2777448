// A small scripted HTTP server on 127.0.0.1 at a port of the system's choosing: it records
// each raw request and lets a handler write exactly the reply bytes it wants. Used by the
// demo, the tests and the benchmarks; it serves one connection at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace xkit::loopback {

// A listening socket on 127.0.0.1 at a port of the system's choosing, with the pipe that
// tells every wait on it and on its connections to give up. Closes both when destroyed.
class Listener {
public:
  // Throws std::runtime_error when the socket or the pipe cannot be set up.
  explicit Listener(int backlog);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  int Fd() const { return fd_; }
  // Readable once Stop has been called.
  int StopFd() const { return stopPipe_[0]; }
  std::uint16_t Port() const { return port_; }
  // "http://127.0.0.1:PORT" followed by path.
  std::string Url(std::string_view path) const;
  // Thread-safe: makes every WaitReady on StopFd return false from now on.
  void Stop();

private:
  void CloseAll();

  int fd_ = -1;
  int stopPipe_[2] = {-1, -1};
  std::uint16_t port_ = 0;
};

// Waits until fd is ready for `events`; false once stopFd is readable (or poll fails).
bool WaitReady(int fd, short events, int stopFd);

// "HTTP/1.0 <status>", the header lines, a blank line, then the body.
std::string Reply(std::string_view status, const std::vector<std::string>& headers,
                  std::string_view body);
// A 200 reply that announces its exact length.
std::string OkReply(std::string_view body);

// One accepted connection, as its handler sees it.
class Exchange {
public:
  // The raw request: its head, and as many body bytes as its Content-Length announces.
  const std::string& Request() const { return request_; }

  // Writes all the bytes; false when the client has gone or the server is stopping.
  bool Send(std::string_view bytes);

  // Blocks until the client closes its side or the server is stopping; sends nothing.
  void WaitUntilClientCloses();

private:
  friend class Server;
  Exchange(int fd, int stopFd) : fd_(fd), stopFd_(stopFd) {}

  int fd_;
  int stopFd_;
  std::string request_;
};

class Server {
public:
  using Handler = std::function<void(Exchange&)>;

  // Listens at once; the handler runs on the server's thread, once per connection, after
  // the request has been read. The connection is closed when the handler returns.
  explicit Server(Handler handler);
  // Stops: a handler blocked in Send or WaitUntilClientCloses returns, and the thread ends.
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  std::uint16_t Port() const;
  // "http://127.0.0.1:PORT" followed by path.
  std::string Url(std::string_view path = "/") const;

  // The requests received so far, in order.
  std::vector<std::string> Requests() const;
  // Blocks until at least count requests have been received.
  void WaitForRequests(std::size_t count) const;

private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace xkit::loopback
