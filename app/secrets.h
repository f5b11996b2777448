// Key material that never passes through the command line: the first line of a file, an
// environment variable, or a line typed at a prompt that does not echo. Every copy the
// program makes lives in a `Secret`, wiped when released.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace xkit::cli {

// Bytes that are wiped when released, and whenever a longer buffer replaces a shorter one
// (so no copy is left behind in freed memory, as a growing std::string would leave).
class Secret {
public:
  Secret() = default;
  ~Secret();
  Secret(Secret&& other) noexcept;
  Secret& operator=(Secret&& other) noexcept;

  const char* Data() const { return bytes_.get(); }
  std::size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }
  std::string_view View() const { return {bytes_.get(), size_}; }

  void Append(const char* data, std::size_t count);
  // Drops the bytes from `size` on, wiping them.
  void Truncate(std::size_t size);

private:
  void Wipe();

  std::unique_ptr<char[]> bytes_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Equal sizes and bytes; the time taken does not depend on where the bytes differ.
bool SameSecret(const Secret& a, const Secret& b);

// The longest line a key file, the environment or the prompt may give: far more than any
// pass phrase, and a bound on what a wrong FILE (a device, a huge file) makes us read.
inline constexpr std::size_t kMaxSecretLine = 65536;

// The first line of `path` without its line end ("\n" or "\r\n"). Throws Failure when the
// file cannot be read or the line is longer than kMaxSecretLine.
Secret ReadSecretLine(const std::string& path);

// The value of the environment variable `name`; UsageError when it is not set.
Secret ReadSecretEnvironment(const std::string& name);

// Asks for a line on the controlling terminal (/dev/tty, or standard input when only that is
// a terminal) with echo off, and turns echo back on, also when the program is interrupted.
// Returns nothing when there is no terminal to ask on.
std::optional<Secret> AskSecret(std::string_view prompt);

}  // namespace xkit::cli
