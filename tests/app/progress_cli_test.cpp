// The progress bar of long stream work as a user at a terminal sees it: drawn on standard
// error when that is a terminal, ended before an error message, absent when standard error
// is a pipe or when the output itself goes to the terminal.
#include <gtest/gtest.h>

#include "support/loopback_server.h"
#include "tests/app/run_xkit.h"
#include "tests/platform/scratch_dir.h"

namespace xkit::test {
namespace {

const std::string kKeyHex = "000102030405060708090A0B0C0D0E0F";

class ProgressCli : public ::testing::Test {
protected:
  std::string WriteInput(const std::string& name, std::size_t size) const {
    const std::string path = scratch_.Path(name);
    std::ofstream file(path, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i)
      file.put(static_cast<char>(i * 131 % 256));
    return path;
  }

  ScratchDir scratch_;
};

TEST_F(ProgressCli, StreamCommandsDrawABarOnATerminal) {
  const std::string in = WriteInput("in.bin", 300000);
  const std::string cipher = scratch_.Path("cipher"), text = scratch_.Path("text");
  struct Case {
    std::vector<std::string> args;
    std::string label;
  };
  const Case cases[] = {
      {{"encrypt", "--key-hex", kKeyHex, in, cipher}, "encrypt " + in},
      {{"decrypt", "--key-hex", kKeyHex, cipher, scratch_.Path("back")}, "decrypt " + cipher},
      {{"base64", in, text}, "base64 " + in},
      {{"base64", "--decode", text, scratch_.Path("decoded")}, "base64 " + text},
  };
  for (const Case& c : cases) {
    const RunResult run = RunXkitOnTerminal(c.args);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("\r" + c.label + "  [####"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("] 100%  "), std::string::npos) << run.out;
    EXPECT_TRUE(run.out.ends_with("\r\n")) << run.out;  // the bar's line is ended
  }
  EXPECT_EQ(ScratchDir::Contents(scratch_.Path("back")), ScratchDir::Contents(in));
  EXPECT_EQ(ScratchDir::Contents(scratch_.Path("decoded")), ScratchDir::Contents(in));
}

TEST_F(ProgressCli, NoBarWhenStandardErrorIsNotATerminal) {
  const std::string in = WriteInput("in.bin", 300000);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"encrypt", "--key-hex", kKeyHex, in, scratch_.Path("c")},
        {"base64", in, scratch_.Path("t")}}) {
    const RunResult run = RunXkit(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
  }
}

TEST_F(ProgressCli, NoBarWhenTheOutputGoesToTheTerminal) {
  const std::string in = WriteInput("in.bin", 3000);
  const RunResult run = RunXkitOnTerminal({"base64", in});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.find('['), std::string::npos) << run.out;
  EXPECT_EQ(run.out.size(), 4000u);  // the text alone
}

TEST_F(ProgressCli, AnErrorStartsOnALineOfItsOwn) {
  const std::string in = WriteInput("in.bin", 300000);
  ASSERT_EQ(RunXkit({"encrypt", "--passphrase", "right", in, scratch_.Path("cipher")}).status, 0);
  // A wrong key is found at the final block, after the bar has been drawn.
  for (int attempt = 0; attempt < 64; ++attempt) {
    const RunResult run =
        RunXkitOnTerminal({"decrypt", "--passphrase", "wrong " + std::to_string(attempt),
                           scratch_.Path("cipher"), scratch_.Path("out")});
    if (run.status == 0) continue;
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("[####"), std::string::npos) << run.out;
    EXPECT_TRUE(run.out.ends_with("\r\nxkit decrypt: Invalid file format\r\n")) << run.out;
    return;
  }
  FAIL() << "every wrong key decoded";
}

TEST_F(ProgressCli, FetchDrawsABarFromItsProgressEvents) {
  const std::string body(200000, 'x');
  loopback::Server server(
      [&](loopback::Exchange& exchange) { exchange.Send(loopback::OkReply(body)); });
  const std::string url = server.Url("/body");
  RunResult run = RunXkitOnTerminal({"fetch", url, "--output=" + scratch_.Path("body")});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("\rfetch " + url + "  [####"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("] 100%  195.3 KiB of 195.3 KiB"), std::string::npos) << run.out;
  EXPECT_EQ(ScratchDir::Contents(scratch_.Path("body")), body);

  run = RunXkitOnTerminal({"fetch", url});  // the body goes to the terminal: no bar
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, body);
}

}  // namespace
}  // namespace xkit::test
