// The command-line frame of the xkit host program: one table of subcommands, one option
// style, one help format, and the exit codes every subcommand shares.
#pragma once

#include <cstdint>
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

  // Takes the first argument when it is one of `verbs` (a command's sub-command, which
  // comes right after the command's name) and returns it; nothing otherwise.
  std::optional<std::string> Verb(std::span<const std::string_view> verbs);
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

// The device and inode of a regular file: the same file under any name.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// An input named on the command line: a file, or standard input for "-" or no name.
class Input {
public:
  Input(const std::optional<std::string>& path, std::istream& standardInput);
  std::istream& Stream() { return *stream_; }
  const std::string& Name() const { return name_; }
  // Set when the input is a regular file (named, or standard input redirected from one).
  const std::optional<FileIdentity>& Identity() const { return identity_; }

private:
  std::unique_ptr<std::ifstream> file_;
  std::istream* stream_;
  std::string name_;
  std::optional<FileIdentity> identity_;
};

// How every command writes a named OUT, by what the name is when the command starts:
// - a regular file, or a name that does not exist yet, is staged: written under a temporary
//   name beside it (OUT.tmp-NNN) and renamed onto it by `Commit`. A failed or interrupted run
//   leaves no file that looks complete, and an earlier file of that name stays as it was. A
//   replaced file keeps its mode (and, for root, its owner); a new one gets 0666 less the
//   umask, or 0600 for a secret output. The temporary file is removed on every other way
//   out, SIGINT, SIGTERM and SIGHUP included (app/interrupt.h);
// - a symbolic link is followed, and its target is written as above; the link stays;
// - a device, a FIFO or a socket (connected to) is written directly, since it cannot be
//   replaced; what was written before a failure stays written, as on standard output;
// - a directory is an error.
// Standard output ("-" or no name) is written as it is.
struct OutputOptions {
  // The output holds secrets (plaintext, private keys): a new file is created 0600. Set by
  // decrypt, decrypt-string and the RSA operation; a key file's writer sets it too.
  bool secret = false;
  // An input this output must not overwrite: an OUT that is the same file (same device and
  // inode, under any name or through a link, or standard output redirected onto it) is a
  // usage error. Set where a wrong key can "succeed" with garbage (decrypt, the RSA
  // operation), which would otherwise destroy the only copy of the input.
  const Input* distinctFrom = nullptr;
  // A new file only (a key that must not replace anything): an OUT that exists, even as a
  // link, is refused (Failure), and a file that appears at that name while the command
  // runs is not replaced either.
  bool newFileOnly = false;
  // Readable by its owner only (0600) even when it replaces a file (a private key's mode
  // never comes from what was there before).
  bool ownerOnly = false;
};

// An output named on the command line: standard output for "-" or no name, otherwise a
// named OUT written as described above.
class Output {
public:
  Output(const std::optional<std::string>& path, std::ostream& standardOutput,
         const OutputOptions& options = {});
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  std::ostream& Stream() { return *stream_; }
  bool IsStandardOutput() const { return !file_; }
  // A staged output: a temporary file that `Commit` puts in place, so that nothing of a
  // failed command reaches the name.
  bool IsStaged() const;
  // "NAME: the system's reason" when a write to the named output failed, else empty.
  std::string WriteError() const;
  // Flushes, and for a staged output puts the file in place (synced to disk first). Throws
  // Failure with the system's reason when a write failed.
  void Commit();

private:
  class File;  // the named output: its descriptor, buffer and staging (files.cpp)
  std::unique_ptr<File> file_;
  std::ostream* stream_;
};

}  // namespace xkit::cli
