// The concurrent loopback server: an accepting thread and one thread per connection, all
// woken by the listener's stop pipe.
#include "tests/xHTTPGet/concurrent_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>

#include "support/loopback_server.h"

namespace xkit::test {
namespace {

using loopback::WaitReady;

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
  loopback::Listener listener{SOMAXCONN};

  mutable std::mutex mutex;
  std::condition_variable changed;
  std::size_t accepted = 0;
  std::size_t served = 0;
  std::list<std::thread> workers;  // one per accepted connection, joined by WaitIdle or ~
  std::thread acceptor;

  void Accept() {
    for (;;) {
      if (!WaitReady(listener.Fd(), POLLIN, listener.StopFd())) return;
      const int fd = accept4(listener.Fd(), nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::lock_guard<std::mutex> lock(mutex);
      ++accepted;
      workers.emplace_back([this, fd] { Serve(fd); });
      changed.notify_all();
    }
  }

  void Serve(int fd) {
    Connection connection(fd, listener.StopFd());
    if (ReadHead(fd, listener.StopFd(), connection.request_)) handler(connection);
    close(fd);
    std::lock_guard<std::mutex> lock(mutex);
    ++served;
    changed.notify_all();
  }
};

ConcurrentServer::ConcurrentServer(Handler handler) : state_(std::make_unique<State>()) {
  state_->handler = std::move(handler);
  state_->acceptor = std::thread([state = state_.get()] { state->Accept(); });
}

// The listener closes with the state, after every thread has ended.
ConcurrentServer::~ConcurrentServer() {
  state_->listener.Stop();
  state_->acceptor.join();
  for (std::thread& worker : state_->workers)
    worker.join();
}

std::string ConcurrentServer::Url(std::string_view path) const {
  return state_->listener.Url(path);
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
