// POSIX file output for OutputFile.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace xkit {

EInOutError::~EInOutError() = default;

namespace detail {
namespace {

[[noreturn]] void RaiseIoError(const std::string& what, const std::string& name, int error) {
  throw EInOutError(what + " " + name + ": " + std::strerror(error));
}

}  // namespace

void CheckCreatable(const std::string& fileName) {
  struct stat info {};
  if (::stat(fileName.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) RaiseIoError("Cannot create", fileName, EISDIR);
    if (::access(fileName.c_str(), W_OK) != 0) RaiseIoError("Cannot create", fileName, errno);
    return;
  }
  if (errno != ENOENT || fileName.empty()) RaiseIoError("Cannot create", fileName, errno);
  const std::size_t slash = fileName.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : fileName.substr(0, slash);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) RaiseIoError("Cannot create", fileName, errno);
}

OutputFile::~OutputFile() {
  if (fd_ < 0) return;
  try {
    Close();
  } catch (const EInOutError&) {
  }
}

void OutputFile::Rewrite(const std::string& fileName) {
  if (fd_ >= 0) Close();
  name_ = fileName;
  const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) RaiseIoError("Cannot create", name_, errno);
  fd_ = fd;
  if (!buffer_) buffer_ = std::make_unique<char[]>(kBufferSize);
  buffered_ = 0;
}

void OutputFile::Write(const char* data, std::size_t count) {
  if (fd_ < 0) throw EInOutError("file not open");
  if (buffered_ + count > kBufferSize) {
    WriteThrough(buffer_.get(), buffered_);
    buffered_ = 0;
    if (count >= kBufferSize) {
      WriteThrough(data, count);
      return;
    }
  }
  std::memcpy(buffer_.get() + buffered_, data, count);
  buffered_ += count;
}

void OutputFile::Close() {
  if (fd_ < 0) return;
  int error = 0;
  try {
    WriteThrough(buffer_.get(), buffered_);
  } catch (const EInOutError&) {
    ::close(fd_);
    fd_ = -1;
    throw;
  }
  buffered_ = 0;
  if (::close(fd_) != 0) error = errno;
  fd_ = -1;
  if (error != 0) RaiseIoError("Cannot close", name_, error);
}

void OutputFile::WriteThrough(const char* data, std::size_t count) {
  while (count > 0) {
    const ssize_t written = ::write(fd_, data, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) RaiseIoError("Cannot write", name_, written < 0 ? errno : EIO);
    data += written;
    count -= static_cast<std::size_t>(written);
  }
}

}  // namespace detail
}  // namespace xkit
