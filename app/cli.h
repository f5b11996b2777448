// The command-line frame of the xkit host program: one table of subcommands, one option
// style, one help format, and the exit codes every subcommand shares.
#pragma once

#include <cstdio>
#include <fstream>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace xkit::cli {

// Exit codes: success, the operation failed, the command line was wrong.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// A wrong command line; main prints the message and the command's usage line, exit 2.
class UsageError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// An operation that failed for a reason the user should read; main prints it, exit 1.
class Failure : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The arguments after the subcommand's name. A command takes its options out first
// (`Flag`, `Option`), then its positionals (`Positionals`), which rejects any option left
// over. Options may stand anywhere; "--name=value" equals "--name value"; "--" ends options;
// "-" alone is a positional (standard input or output), and so is a negative number ("-7").
class Args {
public:
  explicit Args(std::vector<std::string> tokens);

  bool Flag(std::string_view name);
  std::optional<std::string> Option(std::string_view name);
  std::vector<std::string> Positionals(std::size_t min, std::size_t max);

private:
  std::vector<std::string> tokens_;
  std::size_t optionsEnd_;  // index of "--", or tokens_.size()
};

// The streams a command talks to; tests and main pass the process's own.
struct Io {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
};

struct Command {
  std::string_view name;
  std::string_view summary;  // one line, for `xkit --help`
  std::string_view usage;    // "xkit NAME ARGS...", printed with usage errors
  std::string_view help;     // what it does, its options, and an example
  int (*run)(Args& args, Io& io);
};

// Every subcommand, in the order `xkit --help` lists them (defined in main.cpp).
std::span<const Command* const> Commands();

// An input named on the command line: a file, or standard input for "-" or no name.
class Input {
public:
  Input(const std::optional<std::string>& path, std::istream& standardInput);
  std::istream& Stream() { return *stream_; }
  const std::string& Name() const { return name_; }

private:
  std::unique_ptr<std::ifstream> file_;
  std::istream* stream_;
  std::string name_;
};

// A file written under a temporary name beside its target (`Path`) and renamed onto the
// target by `Commit`. A file that is never committed (an error, an exception) is removed, so a
// failed run leaves no file that looks complete, and an earlier file of that name stays.
class StagedFile {
public:
  explicit StagedFile(std::string target);
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  const std::string& Path() const { return temporary_; }
  const std::string& Target() const { return target_; }
  void Commit();

private:
  std::string target_;
  std::string temporary_;
  bool committed_ = false;
};

// An output named on the command line: standard output for "-" or no name; otherwise a
// staged file that `Commit` puts in place.
class Output {
public:
  Output(const std::optional<std::string>& path, std::ostream& standardOutput);

  std::ostream& Stream() { return *stream_; }
  bool IsStandardOutput() const { return !staged_; }
  void Commit();

private:
  std::optional<StagedFile> staged_;
  std::unique_ptr<std::ofstream> file_;
  std::ostream* stream_;
};

}  // namespace xkit::cli
