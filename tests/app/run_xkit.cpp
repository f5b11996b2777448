// Child-process plumbing for the CLI tests: pipes for the three standard streams, drained
// with poll so that neither side can block the other however much is written; or a
// pseudo-terminal for all three, as in an interactive shell.
#include "tests/app/run_xkit.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <stdexcept>
#include <utility>

extern char** environ;

namespace xkit::test {
namespace {

constexpr int kSignalsUsed[] = {SIGINT, SIGTERM, SIGHUP};

// argv for the child, built before it is started: the child may only exec.
class ChildArguments {
public:
  explicit ChildArguments(const std::vector<std::string>& args) : strings_{XKIT_BINARY} {
    strings_.insert(strings_.end(), args.begin(), args.end());
    for (std::string& arg : strings_)
      pointers_.push_back(arg.data());
    pointers_.push_back(nullptr);
  }
  char** Argv() { return pointers_.data(); }

private:
  std::vector<std::string> strings_;
  std::vector<char*> pointers_;
};

int WaitForExit(pid_t pid, long* peakKiB = nullptr) {
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  if (peakKiB != nullptr) *peakKiB = usage.ru_maxrss;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// Both ends of a pipe until the child has been started, then the test's end alone.
struct Pipe {
  int fd[2] = {-1, -1};
  Pipe() {
    if (pipe2(fd, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  }
  ~Pipe() {
    CloseFd(fd[0]);
    CloseFd(fd[1]);
  }
  int Take(int end) { return std::exchange(fd[end], -1); }
};

constexpr auto kPatience = std::chrono::seconds(10);

}  // namespace

XkitProcess::XkitProcess(const std::vector<std::string>& args, const std::string& inputFile) {
  std::signal(SIGPIPE, SIG_IGN);
  Pipe in, out, err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (inputFile.empty()) {
    posix_spawn_file_actions_adddup2(&actions, in.fd[0], 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, inputFile.c_str(), O_RDONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&actions, out.fd[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err.fd[1], 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal : kSignalsUsed)
    sigaddset(&defaults, signal);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF);

  ChildArguments argv(args);
  const int spawned = posix_spawn(&pid_, XKIT_BINARY, &actions, &attributes, argv.Argv(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " XKIT_BINARY);
  if (inputFile.empty()) in_ = in.Take(1);
  out_ = out.Take(0);
  err_ = err.Take(0);
}

XkitProcess::~XkitProcess() {
  CloseFd(in_);
  CloseFd(out_);
  CloseFd(err_);
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    WaitForExit(pid_);
  }
}

void XkitProcess::Signal(int signal) const {
  kill(pid_, signal);
}

RunResult XkitProcess::Finish(const std::string& input) {
  RunResult result;
  std::size_t written = 0;
  if (input.empty()) CloseFd(in_);
  while (out_ >= 0 || err_ >= 0) {
    std::array<pollfd, 3> fds = {{{out_, POLLIN, 0}, {err_, POLLIN, 0}, {in_, POLLOUT, 0}}};
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[2].revents != 0) {
      const ssize_t n = write(in_, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n <= 0 || written == input.size()) CloseFd(in_);
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) continue;
      int& fd = i == 0 ? out_ : err_;
      char buffer[65536];
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n <= 0) {
        CloseFd(fd);
      } else {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
      }
    }
  }
  CloseFd(in_);
  result.status = WaitForExit(std::exchange(pid_, -1), &result.peakKiB);
  return result;
}

RunResult RunXkit(const std::vector<std::string>& args, const std::string& input) {
  return XkitProcess(args).Finish(input);
}

XkitTerminal::XkitTerminal(const std::vector<std::string>& args, const std::string& inputFile) {
  ChildArguments argv(args);
  const char* input = inputFile.empty() ? nullptr : inputFile.c_str();
  pid_ = forkpty(&terminal_, nullptr, nullptr, nullptr);
  if (pid_ < 0) throw std::runtime_error("forkpty failed");
  if (pid_ == 0) {  // only async-signal-safe calls from here to exec
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    for (const int signal : kSignalsUsed)
      sigaction(signal, &defaultAction, nullptr);
    if (input != nullptr) {
      const int fd = open(input, O_RDONLY);
      if (fd < 0 || dup2(fd, 0) < 0) _exit(126);
    }
    execv(XKIT_BINARY, argv.Argv());
    _exit(127);
  }
}

XkitTerminal::~XkitTerminal() {
  CloseFd(terminal_);
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    WaitForExit(pid_);
  }
}

bool XkitTerminal::ReadMore(Clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd fd = {terminal_, POLLIN, 0};
    if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[4096];
    // The read fails with EIO once the child has closed the terminal's last open end.
    const ssize_t n = read(terminal_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    shown_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
}

bool XkitTerminal::WaitFor(const std::string& text) {
  const auto deadline = Clock::now() + kPatience;
  for (;;) {
    const std::size_t found = shown_.find(text, seen_);
    if (found != std::string::npos) {
      seen_ = found + text.size();
      return true;
    }
    if (!ReadMore(deadline)) return false;
  }
}

void XkitTerminal::Type(const std::string& keys) {
  std::size_t written = 0;
  while (written < keys.size()) {
    const ssize_t n = write(terminal_, keys.data() + written, keys.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("cannot type at the terminal");
    written += static_cast<std::size_t>(n);
  }
}

bool XkitTerminal::Echoes() const {
  termios settings{};
  return tcgetattr(terminal_, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
}

RunResult XkitTerminal::Finish() {
  // A whole command's run, which may be long under the sanitizers.
  while (ReadMore(Clock::now() + 30 * kPatience)) {
  }
  RunResult result;
  result.out = shown_;
  result.status = WaitForExit(std::exchange(pid_, -1));
  return result;
}

RunResult RunXkitOnTerminal(const std::vector<std::string>& args) {
  return XkitTerminal(args).Finish();
}

}  // namespace xkit::test
