// Runs the real xkit binary as a child process: to completion with pipes on its standard
// streams, in the background for a test that acts while it runs (a signal), or on a
// pseudo-terminal driven as a user at the keyboard would.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace xkit::test {

struct RunResult {
  int status = -1;  // exit code; -1 when the child did not exit normally
  std::string out;
  std::string err;
  long peakKiB = 0;  // the child's largest resident set (RunXkit only)
};

RunResult RunXkit(const std::vector<std::string>& args, const std::string& input = "");

// Runs xkit with its standard streams on a pseudo-terminal, as from an interactive shell:
// `out` is what the terminal received (standard output and standard error together, line
// breaks as the terminal shows them, "\r\n"); `err` stays empty.
RunResult RunXkitOnTerminal(const std::vector<std::string>& args);

// xkit started in a session of its own, so it has no terminal to ask on, with the system's
// default actions for SIGINT, SIGTERM and SIGHUP whatever the test runner ignores. Standard
// input is the file `inputFile`, or a pipe the test writes; standard output and standard
// error are pipes. A child still running when the object goes is killed.
class XkitProcess {
public:
  explicit XkitProcess(const std::vector<std::string>& args, const std::string& inputFile = "");
  ~XkitProcess();
  XkitProcess(const XkitProcess&) = delete;
  XkitProcess& operator=(const XkitProcess&) = delete;

  void Signal(int signal) const;
  // Writes `input` (unless standard input is a file), ends standard input, collects both
  // outputs and waits for the exit.
  RunResult Finish(const std::string& input = "");

private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;  // the test's ends of the pipes
};

// xkit on a pseudo-terminal, its controlling terminal, as from an interactive shell (with
// standard input from `inputFile` instead when given); the test reads what the terminal
// shows and types at it. Every wait gives up after ten seconds.
class XkitTerminal {
public:
  explicit XkitTerminal(const std::vector<std::string>& args, const std::string& inputFile = "");
  ~XkitTerminal();
  XkitTerminal(const XkitTerminal&) = delete;
  XkitTerminal& operator=(const XkitTerminal&) = delete;

  // Reads until the terminal has shown `text` since the last call; false if the program ended
  // (or the wait gave up) first.
  bool WaitFor(const std::string& text);
  void Type(const std::string& keys);
  // Whether the terminal echoes what is typed now.
  bool Echoes() const;
  // Reads the rest and waits for the exit: `out` is everything the terminal showed. The
  // terminal stays open (its settings can still be read) until the object goes.
  RunResult Finish();

private:
  using Clock = std::chrono::steady_clock;
  // Appends what the terminal shows next; false once it has ended or at the deadline.
  bool ReadMore(Clock::time_point deadline);

  pid_t pid_ = -1;
  int terminal_ = -1;
  std::string shown_;
  std::size_t seen_ = 0;  // shown_ up to here was matched by WaitFor
};

}  // namespace xkit::test
