// The files a command reads and writes: inputs, and named outputs staged beside a regular
// file or written straight into a device, a FIFO or a socket (see Output in cli.h).
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <streambuf>
#include <utility>

#include "app/cli.h"
#include "app/descriptor.h"
#include "app/interrupt.h"

namespace xkit::cli {
namespace {

std::string Reason(int error) {
  return std::strerror(error);
}

std::optional<FileIdentity> RegularFileIdentity(const struct stat& status) {
  if (!S_ISREG(status.st_mode)) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                      static_cast<std::uint64_t>(status.st_ino)};
}

// An input with an identity (a regular file) that `output` shares.
bool SameRegularFile(const Input* input, const std::optional<FileIdentity>& output) {
  return input != nullptr && input->Identity() && input->Identity() == output;
}

std::optional<FileIdentity> DescriptorIdentity(int fd) {
  struct stat status {};
  if (fstat(fd, &status) != 0) return std::nullopt;
  return RegularFileIdentity(status);
}

}  // namespace

Input::Input(const std::optional<std::string>& path, std::istream& standardInput)
    : stream_(&standardInput), name_(path.value_or("-")) {
  if (name_ == "-") {
    identity_ = DescriptorIdentity(STDIN_FILENO);
    return;
  }
  file_ = std::make_unique<std::ifstream>(name_, std::ios::binary);
  if (!*file_) throw Failure(name_ + ": " + Reason(errno));
  stream_ = file_.get();
  struct stat status {};
  if (stat(name_.c_str(), &status) == 0) identity_ = RegularFileIdentity(status);
}

namespace {

// An output stream's buffer over a descriptor: writes of at least a buffer's size go straight
// through. Remembers the first write error, for the message.
class DescriptorBuffer : public std::streambuf {
public:
  static constexpr std::size_t kSize = 64 * 1024;

  DescriptorBuffer() : buffer_(std::make_unique_for_overwrite<char[]>(kSize)) {
    setp(buffer_.get(), buffer_.get() + kSize);
  }
  void Attach(int fd) { fd_ = fd; }
  int Error() const { return error_; }

protected:
  int_type overflow(int_type c) override {
    if (!Drain()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
  }

  std::streamsize xsputn(const char* data, std::streamsize count) override {
    const auto size = static_cast<std::size_t>(count);
    if (size > static_cast<std::size_t>(epptr() - pptr()) && !Drain()) return 0;
    if (size >= kSize) return WriteAll(data, size) ? count : 0;
    std::memcpy(pptr(), data, size);  // fits: the buffer was drained if it had to be
    pbump(static_cast<int>(count));
    return count;
  }

  int sync() override { return Drain() ? 0 : -1; }

private:
  bool Drain() {
    const auto pending = static_cast<std::size_t>(pptr() - pbase());
    setp(buffer_.get(), buffer_.get() + kSize);
    return WriteAll(buffer_.get(), pending);
  }

  bool WriteAll(const char* data, std::size_t size) {
    if (error_ != 0) return false;
    while (size > 0) {
      const ssize_t written = write(fd_, data, size);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        error_ = written < 0 ? errno : EIO;
        return false;
      }
      data += written;
      size -= static_cast<std::size_t>(written);
    }
    return true;
  }

  std::unique_ptr<char[]> buffer_;
  int fd_ = -1;
  int error_ = 0;
};

// Where a name leads once its symbolic links are followed (as the system follows them:
// a relative link from the link's own directory), and what is there, if anything.
struct Destination {
  std::string path;
  bool exists = false;
  struct stat status {};
};

Destination Follow(const std::string& name) {
  constexpr int kMaxLinks = 40;  // the system's own limit on a chain of links
  Destination destination{name};
  for (int links = 0; links <= kMaxLinks; ++links) {
    if (lstat(destination.path.c_str(), &destination.status) != 0) {
      if (errno != ENOENT) throw Failure(name + ": " + Reason(errno));
      return destination;
    }
    if (!S_ISLNK(destination.status.st_mode)) {
      destination.exists = true;
      return destination;
    }
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(destination.path, error);
    if (error) throw Failure(name + ": " + error.message());
    // Not normalised: ".." after a linked directory is that directory's parent on disk.
    destination.path = std::filesystem::path(destination.path).parent_path() / target;
  }
  throw Failure(name + ": " + Reason(ELOOP));
}

int ConnectSocket(const std::string& name, const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) throw Failure(name + ": " + Reason(ENAMETOOLONG));
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw Failure(name + ": " + Reason(errno));
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    close(fd);
    throw Failure(name + ": " + Reason(error));
  }
  return fd;
}

// Holds SIGINT, SIGTERM and SIGHUP back while it lives, so that a temporary file and its
// entry in the interrupt handler's list come into being together.
class SignalsHeld {
public:
  SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
      sigaddset(&held, signal);
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
  sigset_t previous_;
};

}  // namespace

// A staged file's temporary name, listed for the interrupt handler while it lives, and
// removed unless `Keep` was called (once it has been renamed onto its target).
class Temporary {
public:
  explicit Temporary(std::string path) : path_(std::move(path)), removeOnInterrupt_(path_) {}
  ~Temporary() {
    if (!kept_) unlink(path_.c_str());
  }
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;

  const std::string& Path() const { return path_; }
  void Keep() { kept_ = true; }

private:
  std::string path_;
  RemoveOnInterrupt removeOnInterrupt_;
  bool kept_ = false;
};

class Output::File {
public:
  File(const std::string& name, const OutputOptions& options)
      : name_(name), newFileOnly_(options.newFileOnly) {
    struct stat status;
    if (options.newFileOnly && lstat(name.c_str(), &status) == 0) {
      throw Failure(name + ": " + Reason(EEXIST));
    }
    const Destination destination = Follow(name);
    if (destination.exists &&
        SameRegularFile(options.distinctFrom, RegularFileIdentity(destination.status))) {
      throw SameFile(*options.distinctFrom, name);
    }
    target_ = destination.path;
    const mode_t type = destination.status.st_mode & S_IFMT;
    if (!destination.exists || type == S_IFREG) {
      Stage(destination, options.secret, options.ownerOnly);
    } else if (type == S_IFDIR) {
      throw Failure(name + ": " + Reason(EISDIR));
    } else if (type == S_IFSOCK) {
      fd_.Reset(ConnectSocket(name, target_));
    } else {
      fd_.Reset(open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
      if (!fd_.Valid()) throw Failure(name + ": " + Reason(errno));
    }
    buffer_.Attach(fd_.Get());
  }

  static UsageError SameFile(const Input& input, const std::string& output) {
    const std::string in = input.Name() == "-" ? "standard input" : input.Name();
    return UsageError(in + " and " + output +
                      " are the same file: write the output to another file");
  }

  std::ostream& Stream() { return stream_; }
  bool IsStaged() const { return temporary_.has_value(); }
  std::string WriteError() const {
    return buffer_.Error() == 0 ? std::string() : name_ + ": " + Reason(buffer_.Error());
  }

  void Commit() {
    stream_.flush();
    if (buffer_.Error() != 0) throw Failure(WriteError());
    // Staged: the bytes reach the disk before the name does, so that after a crash the name
    // holds either the earlier file or the whole new one.
    if (temporary_ && fsync(fd_.Get()) != 0) throw Failure(name_ + ": " + Reason(errno));
    if (fd_.Close() != 0) throw Failure(name_ + ": " + Reason(errno));
    if (!temporary_) return;
    const unsigned flags = newFileOnly_ ? RENAME_NOREPLACE : 0;
    if (renameat2(AT_FDCWD, temporary_->Path().c_str(), AT_FDCWD, target_.c_str(), flags) != 0)
      throw Failure(name_ + ": " + Reason(errno));
    temporary_->Keep();
  }

private:
  // Creates the temporary file beside the target: with the mode (and for root the owner) of
  // the file it replaces, else 0666 less the umask, or 0600 for a secret; always 0600 when
  // only the owner may read it.
  void Stage(const Destination& destination, bool secret, bool ownerOnly) {
    const mode_t mode = destination.exists || secret || ownerOnly ? 0600 : 0666;
    std::random_device entropy;
    {
      const SignalsHeld held;
      for (;;) {
        temporary_.emplace(target_ + ".tmp-" + std::to_string(entropy()));
        fd_.Reset(open(temporary_->Path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (fd_.Valid()) break;
        const int error = errno;
        temporary_->Keep();  // someone else's file, or none
        temporary_.reset();
        if (error != EEXIST) throw Failure(name_ + ": " + Reason(error));
      }
    }
    if (!destination.exists) return;
    const struct stat& replaced = destination.status;
    // The owner first: changing it clears the set-user-ID and set-group-ID bits.
    if (geteuid() == 0 && fchown(fd_.Get(), replaced.st_uid, replaced.st_gid) != 0)
      throw Failure(name_ + ": " + Reason(errno));
    if (!ownerOnly && fchmod(fd_.Get(), replaced.st_mode & 07777) != 0)
      throw Failure(name_ + ": " + Reason(errno));
  }

  std::string name_;  // as the command line gave it, for messages
  bool newFileOnly_;
  std::string target_;                  // the name once links are followed
  std::optional<Temporary> temporary_;  // set exactly when staged
  Descriptor fd_;                       // after temporary_: closed before the file is removed
  DescriptorBuffer buffer_;
  std::ostream stream_{&buffer_};
};

Output::Output(const std::optional<std::string>& path, std::ostream& standardOutput,
               const OutputOptions& options)
    : stream_(&standardOutput) {
  if (!path || *path == "-") {
    const Input* input = options.distinctFrom;
    if (SameRegularFile(input, DescriptorIdentity(STDOUT_FILENO)))
      throw File::SameFile(*input, "standard output");
    return;
  }
  file_ = std::make_unique<File>(*path, options);
  stream_ = &file_->Stream();
}

Output::~Output() = default;

bool Output::IsStaged() const {
  return file_ && file_->IsStaged();
}

std::string Output::WriteError() const {
  return file_ ? file_->WriteError() : std::string();
}

void Output::Commit() {
  if (file_) {
    file_->Commit();
    return;
  }
  stream_->flush();
  if (!*stream_) throw Failure("cannot write to standard output");
}

}  // namespace xkit::cli
