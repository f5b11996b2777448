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
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <stdexcept>

extern char** environ;

namespace xkit::test {
namespace {

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

// Both ends of a pipe, closed on every exit path.
struct Pipe {
  int fd[2] = {-1, -1};
  Pipe() {
    if (pipe2(fd, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  }
  ~Pipe() {
    CloseEnd(0);
    CloseEnd(1);
  }
  void CloseEnd(int end) {
    if (fd[end] >= 0) close(fd[end]);
    fd[end] = -1;
  }
};

}  // namespace

RunResult RunXkit(const std::vector<std::string>& args, const std::string& input) {
  std::signal(SIGPIPE, SIG_IGN);
  Pipe in, out, err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.fd[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out.fd[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err.fd[1], 2);

  ChildArguments argv(args);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, XKIT_BINARY, &actions, nullptr, argv.Argv(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " XKIT_BINARY);
  in.CloseEnd(0);
  out.CloseEnd(1);
  err.CloseEnd(1);

  RunResult result;
  std::size_t written = 0;
  if (input.empty()) in.CloseEnd(1);
  while (out.fd[0] >= 0 || err.fd[0] >= 0) {
    std::array<pollfd, 3> fds = {
        {{out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}, {in.fd[1], POLLOUT, 0}}};
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[2].revents != 0) {
      const ssize_t n = write(in.fd[1], input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n <= 0 || written == input.size()) in.CloseEnd(1);
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) continue;
      Pipe& pipe = i == 0 ? out : err;
      char buffer[65536];
      const ssize_t n = read(pipe.fd[0], buffer, sizeof buffer);
      if (n <= 0) {
        pipe.CloseEnd(0);
      } else {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
      }
    }
  }
  in.CloseEnd(1);
  result.status = WaitForExit(pid, &result.peakKiB);
  return result;
}

RunResult RunXkitOnTerminal(const std::vector<std::string>& args) {
  ChildArguments argv(args);
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid < 0) throw std::runtime_error("forkpty failed");
  if (pid == 0) {
    execv(XKIT_BINARY, argv.Argv());
    _exit(127);
  }
  RunResult result;
  char buffer[65536];
  for (;;) {
    // The read fails with EIO once the child has closed the terminal's last open end.
    const ssize_t n = read(terminal, buffer, sizeof buffer);
    if (n > 0) {
      result.out.append(buffer, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  close(terminal);
  result.status = WaitForExit(pid);
  return result;
}

}  // namespace xkit::test
