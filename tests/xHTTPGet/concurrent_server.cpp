// The concurrent loopback server: an accepting thread and one thread per connection, all
// woken by one stop pipe.
#include "tests/xHTTPGet/concurrent_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <list>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace xkit::test {
namespace {

// Waits until fd is ready for `events`; false when the stop pipe fires first.
bool WaitReady(int fd, short events, int stopFd) {
  pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) continue;  // EINTR
    if (fds[1].revents != 0) return false;
    if (fds[0].revents != 0) return true;
  }
}

// Reads up to the blank line that ends a request head; false when the client leaves first.
bool ReadHead(int fd, int stopFd, std::string& head) {
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos) {
    if (!WaitReady(fd, POLLIN, stopFd)) return false;
    const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    head.append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

}  // namespace

std::string Connection::Path() const {
  const std::size_t start = request_.find(' ');
  const std::size_t end = request_.find(' ', start + 1);
  if (start == std::string::npos || end == std::string::npos) return "";
  return request_.substr(start + 1, end - start - 1);
}

bool Connection::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    if (reset_ || !WaitReady(fd_, POLLOUT, stopFd_)) return false;
    const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

void Connection::Reset() {
  // Closing with a zero linger time discards unsent data and sends RST.
  const linger abort{1, 0};
  setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  reset_ = true;
}

void Connection::WaitUntilClientCloses() {
  char buffer[4096];
  while (!reset_ && WaitReady(fd_, POLLIN, stopFd_)) {
    if (recv(fd_, buffer, sizeof buffer, 0) <= 0) return;
  }
}

struct ConcurrentServer::State {
  Handler handler;
  int listenFd = -1;
  int stopPipe[2] = {-1, -1};
  std::uint16_t port = 0;

  mutable std::mutex mutex;
  std::condition_variable changed;
  std::size_t accepted = 0;
  std::size_t served = 0;
  std::list<std::thread> workers;  // one per accepted connection, joined by WaitIdle or ~
  std::thread acceptor;

  void Accept() {
    for (;;) {
      if (!WaitReady(listenFd, POLLIN, stopPipe[0])) return;
      const int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::lock_guard<std::mutex> lock(mutex);
      ++accepted;
      workers.emplace_back([this, fd] { Serve(fd); });
      changed.notify_all();
    }
  }

  void Serve(int fd) {
    Connection connection(fd, stopPipe[0]);
    if (ReadHead(fd, stopPipe[0], connection.request_)) handler(connection);
    close(fd);
    std::lock_guard<std::mutex> lock(mutex);
    ++served;
    changed.notify_all();
  }
};

ConcurrentServer::ConcurrentServer(Handler handler) : state_(std::make_unique<State>()) {
  state_->handler = std::move(handler);
  state_->listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (state_->listenFd < 0 || pipe2(state_->stopPipe, O_CLOEXEC) != 0 ||
      bind(state_->listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(state_->listenFd, SOMAXCONN) != 0 ||
      getsockname(state_->listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("concurrent server: cannot listen on 127.0.0.1");
  }
  state_->port = ntohs(address.sin_port);
  state_->acceptor = std::thread([state = state_.get()] { state->Accept(); });
}

ConcurrentServer::~ConcurrentServer() {
  const char stop = 1;
  (void)!write(state_->stopPipe[1], &stop, 1);
  state_->acceptor.join();
  for (std::thread& worker : state_->workers)
    worker.join();
  for (const int fd : {state_->listenFd, state_->stopPipe[0], state_->stopPipe[1]})
    close(fd);
}

std::string ConcurrentServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(state_->port) + std::string(path);
}

void ConcurrentServer::WaitForAccepted(std::size_t count) const {
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->changed.wait(lock, [&] { return state_->accepted >= count; });
}

void ConcurrentServer::WaitIdle() {
  std::list<std::thread> finished;
  {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->changed.wait(lock, [this] { return state_->served == state_->accepted; });
    finished.swap(state_->workers);
  }
  for (std::thread& worker : finished)
    worker.join();
}

}  // namespace xkit::test
