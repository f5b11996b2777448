// Writing a file of bytes front to back: create or truncate, write, close, each failure an
// exception.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/exceptions.h"

namespace xkit {

// A file that cannot be created, written or closed.
class EInOutError : public Exception {
public:
  using Exception::Exception;
  ~EInOutError() override;
};

namespace detail {

// Raises EInOutError, with the system's reason, when fileName could not be created or
// rewritten: a directory, a folder that does not exist or may not be written. Nothing is
// created or changed.
void CheckCreatable(const std::string& fileName);

// Writes go through a buffer; Close flushes it and reports what the flush or the close met.
// The destructor closes a file still open and ignores errors (the caller is leaving on
// another error already).
class OutputFile {
public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // Creates the file, or truncates an existing one to empty. Raises EInOutError.
  void Rewrite(const std::string& fileName);

  // Appends count bytes. Raises EInOutError when the bytes cannot all be written.
  void Write(const char* data, std::size_t count);

  // Writes what is buffered and closes. Raises EInOutError; the file is closed either way.
  void Close();

  bool IsOpen() const { return fd_ >= 0; }

private:
  void WriteThrough(const char* data, std::size_t count);

  static constexpr std::size_t kBufferSize = 256 * 1024;

  int fd_ = -1;
  std::string name_;
  std::unique_ptr<char[]> buffer_;
  std::size_t buffered_ = 0;  // bytes at the front of buffer_, not yet written
};

}  // namespace detail
}  // namespace xkit
