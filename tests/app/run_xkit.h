// Runs the real xkit binary as a child process, feeding standard input and collecting
// standard output, standard error and the exit status.
#pragma once

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

}  // namespace xkit::test
