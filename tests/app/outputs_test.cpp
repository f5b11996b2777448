// Named outputs as users meet them: a file replaced keeps its mode and owner, secrets land
// in private new files, links are written through, devices, FIFOs and sockets are written in
// place, decrypting never overwrites its own input, and an interrupted command leaves no
// temporary file behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "support/loopback_server.h"
#include "tests/app/run_xkit.h"
#include "tests/platform/scratch_dir.h"

namespace xkit::test {
namespace {

namespace fs = std::filesystem;

const std::string kKeyHex = "000102030405060708090a0b0c0d0e0f";

// Reads everything from `fd` until its end, then closes it.
std::string Drain(int fd) {
  std::string bytes;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
    bytes.append(buffer, static_cast<std::size_t>(n));
  close(fd);
  return bytes;
}

class Outputs : public ::testing::Test {
protected:
  std::string Write(const std::string& name, const std::string& content) const {
    const std::string path = scratch_.Path(name);
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  static struct stat Status(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
    return status;
  }

  static mode_t Mode(const std::string& path) { return Status(path).st_mode & 07777; }

  // The cipher of "secret text" under kKeyHex, in a file.
  std::string Cipher(const std::string& name) const {
    const std::string path = scratch_.Path(name);
    const RunResult run = RunXkit({"encrypt", "--key-hex", kKeyHex, "-", path}, "secret text");
    EXPECT_EQ(run.status, 0) << run.err;
    return path;
  }

  // Waits until a temporary file shows in the scratch directory.
  bool TemporaryFileAppears() const {
    for (int attempt = 0; attempt < 1000; ++attempt) {
      for (const auto& entry : fs::directory_iterator(scratch_.Path("")))
        if (entry.path().filename().string().find(".tmp-") != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  ScratchDir scratch_;
};

TEST_F(Outputs, AReplacedFileKeepsItsModeAndOwner) {
  const bool root = geteuid() == 0;
  const std::string in = Cipher("cipher");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"decrypt", "--key-hex", kKeyHex, in},
        {"base64", in},
        {"encrypt", "--key-hex", kKeyHex, in}}) {
    const std::string out = Write("out", "earlier");
    ASSERT_EQ(chmod(out.c_str(), 0640), 0);
    if (root) {
      ASSERT_EQ(chown(out.c_str(), 1234, 5678), 0);
    }
    std::vector<std::string> command = args;
    command.push_back(out);
    const RunResult run = RunXkit(command);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(ScratchDir::Contents(out), "earlier");
    EXPECT_EQ(Mode(out), 0640u) << args[0];
    if (root) {
      EXPECT_EQ(Status(out).st_uid, 1234u) << args[0];
      EXPECT_EQ(Status(out).st_gid, 5678u) << args[0];
    }
  }
  EXPECT_EQ(scratch_.FileCount(), 2u);
}

TEST_F(Outputs, NewFilesHoldingSecretsAreTheOwnersOnly) {
  const mode_t previous = umask(022);
  const std::string in = Cipher("cipher");
  const std::string key = Write("key", "n=3233\ne=2753\n");
  const std::string block = Write("block", std::string("\x00\x03", 2));
  std::string line = RunXkit({"encrypt-string", "--key-hex", kKeyHex, "text"}).out;
  line.pop_back();
  struct Case {
    std::vector<std::string> args;
    mode_t mode;
  };
  const Case cases[] = {
      {{"decrypt", "--key-hex", kKeyHex, in}, 0600},
      {{"decrypt-string", "--key-hex", kKeyHex, line, "-o"}, 0600},
      {{"rsa", "--key", key, block}, 0600},
      {{"encrypt", "--key-hex", kKeyHex, in}, 0644},
      {{"encrypt-string", "--key-hex", kKeyHex, "text", "--output"}, 0644},
      {{"base64", in}, 0644},
  };
  for (const Case& c : cases) {
    const std::string out = scratch_.Path("new-" + c.args[0]);
    std::vector<std::string> args = c.args;
    args.push_back(out);
    const RunResult run = RunXkit(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Mode(out), c.mode) << c.args[0];
  }
  EXPECT_EQ(ScratchDir::Contents(scratch_.Path("new-decrypt-string")), "text\n");
  EXPECT_EQ(ScratchDir::Contents(scratch_.Path("new-rsa")), "A");
  umask(previous);
}

TEST_F(Outputs, SymbolicLinksAreWrittenThrough) {
  fs::create_directories(scratch_.Path("dir"));
  const std::string target = Write("target", "earlier");
  ASSERT_EQ(chmod(target.c_str(), 0600), 0);
  fs::create_symlink("../target", scratch_.Path("dir/link"));  // relative to its directory
  fs::create_symlink(scratch_.Path("dir/link"), scratch_.Path("chain"));
  fs::create_symlink("absent", scratch_.Path("dangling"));
  for (const char* link : {"dir/link", "chain", "dangling"}) {
    const RunResult run = RunXkit({"base64", "-", scratch_.Path(link)}, link);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(S_ISLNK(Status(scratch_.Path(link)).st_mode)) << link;
    EXPECT_EQ(ScratchDir::Contents(scratch_.Path(link)), RunXkit({"base64"}, link).out);
  }
  EXPECT_EQ(Mode(target), 0600u);
  EXPECT_TRUE(S_ISREG(Status(scratch_.Path("absent")).st_mode));
  EXPECT_EQ(scratch_.FileCount(), 5u);  // dir, target, chain, dangling, absent: no temporary file
}

TEST_F(Outputs, DevicesFifosAndSocketsAreWrittenInPlace) {
  // A character device: the far end of a pseudo-terminal, raw so the bytes come through.
  int controller = -1, device = -1;
  ASSERT_EQ(openpty(&controller, &device, nullptr, nullptr, nullptr), 0);
  termios raw{};
  tcgetattr(device, &raw);
  cfmakeraw(&raw);
  tcsetattr(device, TCSANOW, &raw);
  const std::string devicePath = ttyname(device);
  RunResult run = RunXkit({"base64", "-", devicePath}, "foobar");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(S_ISCHR(Status(devicePath).st_mode));
  close(device);
  EXPECT_EQ(Drain(controller), "Zm9vYmFy");

  const std::string fifo = scratch_.Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  auto fromFifo =
      std::async(std::launch::async, [&] { return Drain(open(fifo.c_str(), O_RDONLY)); });
  run = RunXkit({"base64", "-", fifo}, "foobar");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(fromFifo.get(), "Zm9vYmFy");
  EXPECT_TRUE(S_ISFIFO(Status(fifo).st_mode));

  const std::string socketPath = scratch_.Path("socket");
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  auto fromSocket =
      std::async(std::launch::async, [&] { return Drain(accept(listener, nullptr, nullptr)); });
  run = RunXkit({"base64", "-", socketPath}, "foobar");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(fromSocket.get(), "Zm9vYmFy");
  close(listener);
  EXPECT_TRUE(S_ISSOCK(Status(socketPath).st_mode));

  EXPECT_EQ(scratch_.FileCount(), 2u);  // the FIFO and the socket, no temporary file
}

TEST_F(Outputs, FetchWritesThroughLinksAndIntoFifos) {
  loopback::Server server(
      [](loopback::Exchange& exchange) { exchange.Send(loopback::OkReply("the body")); });
  const std::string target = Write("target", "earlier");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  fs::create_symlink(target, scratch_.Path("link"));
  RunResult run = RunXkit({"fetch", server.Url("/"), "-o", scratch_.Path("link")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ScratchDir::Contents(target), "the body");
  EXPECT_EQ(Mode(target), 0640u);
  EXPECT_TRUE(S_ISLNK(Status(scratch_.Path("link")).st_mode));

  const std::string fifo = scratch_.Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  auto fromFifo =
      std::async(std::launch::async, [&] { return Drain(open(fifo.c_str(), O_RDONLY)); });
  run = RunXkit({"fetch", server.Url("/"), "-o", fifo});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(fromFifo.get(), "the body");
  EXPECT_EQ(scratch_.FileCount(), 3u);
}

TEST_F(Outputs, ADirectoryIsNoOutput) {
  const RunResult run = RunXkit({"base64", "-", scratch_.Path("")}, "foobar");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(": Is a directory"), std::string::npos) << run.err;
  EXPECT_EQ(scratch_.FileCount(), 0u);
}

TEST_F(Outputs, DecryptingNeverOverwritesItsInput) {
  const std::string in = Cipher("cipher");
  const std::string original = ScratchDir::Contents(in);
  fs::create_hard_link(in, scratch_.Path("hard"));
  fs::create_symlink(in, scratch_.Path("soft"));
  const std::string key = Write("key", "n=3233\ne=2753\n");
  const std::vector<std::vector<std::string>> commands = {
      {"decrypt", "--key-hex", kKeyHex, in, in},
      {"decrypt", "--key-hex", kKeyHex, in, scratch_.Path("hard")},
      {"decrypt", "--key-hex", kKeyHex, in, scratch_.Path("soft")},
      {"rsa", "--key", key, in, in},
  };
  for (const std::vector<std::string>& args : commands) {
    const RunResult run = RunXkit(args);
    EXPECT_EQ(run.status, 2) << args.back();
    EXPECT_NE(run.err.find(in + " and " + args.back() +
                           " are the same file: write the output to another file"),
              std::string::npos)
        << run.err;
  }
  // Standard input redirected from the file it would replace.
  const RunResult redirected = XkitProcess({"decrypt", "--key-hex", kKeyHex, "-", in}, in).Finish();
  EXPECT_EQ(redirected.status, 2);
  EXPECT_NE(redirected.err.find("standard input and " + in + " are the same file"),
            std::string::npos)
      << redirected.err;
  EXPECT_EQ(ScratchDir::Contents(in), original);
  EXPECT_EQ(scratch_.FileCount(), 4u);
}

// A command interrupted while it waits for its input leaves nothing and says which signal.
class InterruptedOutputs : public Outputs, public ::testing::WithParamInterface<int> {};

TEST_P(InterruptedOutputs, RemoveTheTemporaryFile) {
  XkitProcess encrypt({"encrypt", "--key-hex", kKeyHex, "-", scratch_.Path("out")});
  ASSERT_TRUE(TemporaryFileAppears());
  encrypt.Signal(GetParam());
  EXPECT_EQ(encrypt.Finish().status, 128 + GetParam());
  EXPECT_EQ(scratch_.FileCount(), 0u);
}

TEST_P(InterruptedOutputs, RemoveTheTemporaryFileOfAFetch) {
  loopback::Server server([](loopback::Exchange& exchange) {
    exchange.Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\nthe start of the body");
    exchange.WaitUntilClientCloses();
  });
  XkitProcess fetch({"fetch", server.Url("/"), "-o", scratch_.Path("out")});
  server.WaitForRequests(1);
  ASSERT_TRUE(TemporaryFileAppears());
  fetch.Signal(GetParam());
  EXPECT_EQ(fetch.Finish().status, 128 + GetParam());
  EXPECT_EQ(scratch_.FileCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptedOutputs, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(sigabbrev_np(info.param));
                         });

}  // namespace
}  // namespace xkit::test
