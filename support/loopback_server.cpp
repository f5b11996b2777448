// The loopback server's sockets: a listening socket, one thread that accepts and serves, and
// a pipe that tells every blocking wait to give up when the server stops.
#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace xkit::loopback {
namespace {

constexpr std::size_t kMaxRequest = 16 << 20;

std::size_t RequestBodyLength(const std::string& head) {
  std::string lower(head);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const std::size_t at = lower.find("\r\ncontent-length:");
  if (at == std::string::npos) return 0;
  return std::strtoull(head.c_str() + at + 17, nullptr, 10);
}

// Reads the head and the announced body; false when the client went away first.
bool ReadRequest(int fd, int stopFd, std::string& request) {
  std::size_t wanted = 0;
  char buffer[16384];
  for (;;) {
    if (wanted == 0) {
      const std::size_t end = request.find("\r\n\r\n");
      if (end != std::string::npos)
        wanted = end + 4 + RequestBodyLength(request.substr(0, end + 2));
    }
    if (wanted != 0 && request.size() >= wanted) return true;
    if (request.size() > kMaxRequest || !WaitReady(fd, POLLIN, stopFd)) return false;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    request.append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace

Listener::Listener(int backlog) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (fd_ < 0 || pipe2(stopPipe_, O_CLOEXEC) != 0 ||
      bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd_, backlog) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const int error = errno;
    CloseAll();
    throw std::runtime_error(std::string("loopback server: ") + std::strerror(error));
  }
  port_ = ntohs(address.sin_port);
}

Listener::~Listener() {
  CloseAll();
}

void Listener::CloseAll() {
  for (const int fd : {fd_, stopPipe_[0], stopPipe_[1]})
    if (fd >= 0) close(fd);
}

std::string Listener::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

void Listener::Stop() {
  const char stop = 1;
  while (write(stopPipe_[1], &stop, 1) < 0 && errno == EINTR) {
  }
}

bool WaitReady(int fd, short events, int stopFd) {
  for (;;) {
    pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (fds[1].revents != 0) return false;
    if (fds[0].revents != 0) return true;
  }
}

std::string Reply(std::string_view status, const std::vector<std::string>& headers,
                  std::string_view body) {
  std::string reply = "HTTP/1.0 ";
  reply += status;
  reply += "\r\n";
  for (const std::string& header : headers)
    reply += header + "\r\n";
  reply += "\r\n";
  reply += body;
  return reply;
}

std::string OkReply(std::string_view body) {
  return Reply("200 OK", {"Content-Length: " + std::to_string(body.size())}, body);
}

struct Server::State {
  Handler handler;
  Listener listener{16};
  std::thread thread;
  mutable std::mutex mutex;
  mutable std::condition_variable received;
  std::vector<std::string> requests;  // guarded by mutex

  void Serve() {
    for (;;) {
      if (!WaitReady(listener.Fd(), POLLIN, listener.StopFd())) return;
      const int fd = accept4(listener.Fd(), nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      Exchange exchange(fd, listener.StopFd());
      if (ReadRequest(fd, listener.StopFd(), exchange.request_)) {
        {
          std::lock_guard<std::mutex> lock(mutex);
          requests.push_back(exchange.request_);
        }
        received.notify_all();
        try {
          handler(exchange);
        } catch (...) {
          // A failing script closes the connection like any other.
        }
      }
      // An orderly end: our side first, then whatever the client still sends, until it
      // closes, so that nothing unread turns the close into a reset.
      shutdown(fd, SHUT_WR);
      exchange.WaitUntilClientCloses();
      close(fd);
    }
  }
};

bool Exchange::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    if (!WaitReady(fd_, POLLOUT, stopFd_)) return false;
    const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void Exchange::WaitUntilClientCloses() {
  char buffer[16384];
  while (WaitReady(fd_, POLLIN, stopFd_)) {
    const ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return;
  }
}

Server::Server(Handler handler) : state_(std::make_unique<State>()) {
  state_->handler = std::move(handler);
  state_->thread = std::thread([state = state_.get()] { state->Serve(); });
}

// The listener closes with the state, after the thread has ended.
Server::~Server() {
  state_->listener.Stop();
  state_->thread.join();
}

std::uint16_t Server::Port() const {
  return state_->listener.Port();
}

std::string Server::Url(std::string_view path) const {
  return state_->listener.Url(path);
}

std::vector<std::string> Server::Requests() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->requests;
}

void Server::WaitForRequests(std::size_t count) const {
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->received.wait(lock, [&] { return state_->requests.size() >= count; });
}

}  // namespace xkit::loopback
