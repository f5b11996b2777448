// A file descriptor owned by one object and closed on every exit path.
#pragma once

#include <unistd.h>

#include <utility>

namespace xkit::cli {

class Descriptor {
public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { Reset(); }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.fd_, -1));
    return *this;
  }

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now, for a caller that wants close's own result (a write error reported late).
  int Close() { return ::close(std::exchange(fd_, -1)); }

private:
  int fd_ = -1;
};

}  // namespace xkit::cli
