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
};

RunResult RunXkit(const std::vector<std::string>& args, const std::string& input = "");

}  // namespace xkit::test
