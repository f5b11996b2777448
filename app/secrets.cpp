// Secrets from files, the environment and the terminal, read into wiped buffers.
#include "app/secrets.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "app/cli.h"
#include "app/descriptor.h"
#include "app/interrupt.h"
#include "crypto/wipe.h"

namespace xkit::cli {

Secret::~Secret() {
  Wipe();
}

Secret::Secret(Secret&& other) noexcept
    : bytes_(std::move(other.bytes_)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

Secret& Secret::operator=(Secret&& other) noexcept {
  if (this != &other) {
    Wipe();
    bytes_ = std::move(other.bytes_);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

void Secret::Wipe() {
  detail::SecureWipe(bytes_.get(), capacity_);
}

void Secret::Append(const char* data, std::size_t count) {
  if (count == 0) return;  // an empty Secret has no buffer to copy into
  if (count > capacity_ - size_) {
    const std::size_t capacity = std::max<std::size_t>({64, 2 * capacity_, size_ + count});
    auto bytes = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ != 0) std::memcpy(bytes.get(), bytes_.get(), size_);
    Wipe();
    bytes_ = std::move(bytes);
    capacity_ = capacity;
  }
  std::memcpy(bytes_.get() + size_, data, count);
  size_ += count;
}

void Secret::Truncate(std::size_t size) {
  if (size >= size_) return;
  detail::SecureWipe(bytes_.get() + size, size_ - size);
  size_ = size;
}

bool SameSecret(const Secret& a, const Secret& b) {
  if (a.Size() != b.Size()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < a.Size(); ++i)
    difference |= static_cast<unsigned char>(a.Data()[i] ^ b.Data()[i]);
  return difference == 0;
}

namespace {

// Drops a final "\r", so that a file written on Windows gives the same line.
void DropCarriageReturn(Secret& line) {
  if (!line.Empty() && line.Data()[line.Size() - 1] == '\r') line.Truncate(line.Size() - 1);
}

}  // namespace

Secret ReadSecretLine(const std::string& path) {
  const Descriptor file(open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
  if (file.Get() < 0) throw Failure(path + ": " + std::strerror(errno));
  Secret line;
  char chunk[4096];
  struct WipeChunk {
    char* bytes;
    ~WipeChunk() { detail::SecureWipe(bytes, sizeof chunk); }
  } wipeChunk{chunk};
  for (;;) {
    const ssize_t count = read(file.Get(), chunk, sizeof chunk);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) throw Failure(path + ": " + std::strerror(errno));
    if (count == 0) break;
    const auto* end = static_cast<const char*>(std::memchr(chunk, '\n', count));
    line.Append(chunk, end ? static_cast<std::size_t>(end - chunk) : count);
    if (line.Size() > kMaxSecretLine + 1) break;  // + 1: the "\r" of a "\r\n"
    if (end) break;
  }
  DropCarriageReturn(line);
  if (line.Size() > kMaxSecretLine)
    throw Failure(path + ": the first line is longer than " + std::to_string(kMaxSecretLine) +
                  " bytes");
  return line;
}

Secret ReadSecretEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) throw UsageError("environment variable " + name + " is not set");
  Secret secret;
  secret.Append(value, std::strlen(value));
  return secret;
}

namespace {

// The terminal to ask on: the controlling terminal, or standard input when only that is one.
class PromptTerminal {
public:
  PromptTerminal() : fd_(open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    owned_ = fd_ >= 0;
    if (!owned_ && isatty(STDIN_FILENO)) fd_ = STDIN_FILENO;
  }
  ~PromptTerminal() {
    if (owned_) close(fd_);
  }
  PromptTerminal(const PromptTerminal&) = delete;
  PromptTerminal& operator=(const PromptTerminal&) = delete;

  bool Usable() const { return fd_ >= 0; }

  // Shows `prompt`, reads one line with echo off (the line end still echoes, so the next
  // output starts on a line of its own).
  Secret Ask(std::string_view prompt) {
    termios saved{};
    if (tcgetattr(fd_, &saved) != 0)
      throw Failure(std::string("terminal: ") + std::strerror(errno));
    Secret line;
    {
      const RestoreOnInterrupt restoreOnInterrupt(fd_, saved);
      termios quiet = saved;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      quiet.c_lflag |= ECHONL;
      // TCSAFLUSH: keys typed before the prompt showed do not count as the answer.
      if (tcsetattr(fd_, TCSAFLUSH, &quiet) != 0)
        throw Failure(std::string("terminal: ") + std::strerror(errno));
      Show(prompt);
      const bool ended = ReadLine(line);
      tcsetattr(fd_, TCSANOW, &saved);
      if (!ended) Show("\n");  // end of input: no line end was echoed
    }
    DropCarriageReturn(line);
    return line;
  }

private:
  void Show(std::string_view text) const {
    while (!text.empty()) {
      const ssize_t count = write(fd_, text.data(), text.size());
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) return;  // a prompt that cannot show does not stop the answer
      text.remove_prefix(static_cast<std::size_t>(count));
    }
  }

  // One byte at a time: what follows the line on standard input is the command's data. True
  // when the line ended with a line end, false at the end of input.
  bool ReadLine(Secret& line) const {
    char byte = 0;
    for (;;) {
      const ssize_t count = read(fd_, &byte, 1);
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) throw Failure(std::string("terminal: ") + std::strerror(errno));
      if (count == 0) return false;
      if (byte == '\n') return true;
      if (line.Size() == kMaxSecretLine)
        throw Failure("the line typed is longer than " + std::to_string(kMaxSecretLine) + " bytes");
      line.Append(&byte, 1);
      detail::SecureWipe(&byte, 1);
    }
  }

  int fd_;
  bool owned_ = false;
};

}  // namespace

std::optional<Secret> AskSecret(std::string_view prompt) {
  PromptTerminal terminal;
  if (!terminal.Usable()) return std::nullopt;
  return terminal.Ask(prompt);
}

}  // namespace xkit::cli
