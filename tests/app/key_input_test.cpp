// Keys that stay off the command line, as users give them: a pass phrase file, an
// environment variable, a key file, or the prompt on the terminal (driven through a
// pseudo-terminal), and what each says when it cannot give a key.
#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <fstream>

#include "crypto/digests.h"
#include "tests/app/run_xkit.h"
#include "tests/platform/scratch_dir.h"

namespace xkit::test {
namespace {

class KeyInput : public ::testing::Test {
protected:
  std::string Write(const std::string& name, const std::string& content) const {
    const std::string path = scratch_.Path(name);
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  // The Base64 line that encrypt-string prints for "meet at noon" under pass phrase `phrase`.
  static std::string CipherLine(const std::string& phrase) {
    const RunResult run = RunXkit({"encrypt-string", "--passphrase", phrase, "meet at noon"});
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out;
  }

  static std::string LowerCase(std::string text) {
    for (char& c : text)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  }

  ScratchDir scratch_;
};

TEST_F(KeyInput, EverySourceGivesThePassPhrasesKey) {
  std::string key(16, '\0'), hex;
  PiDigestOfString(key.data(), 16, "open sesame");
  BytesToHex(key.data(), 16, hex);
  setenv("XKIT_TEST_PHRASE", "open sesame", 1);
  const std::vector<std::vector<std::string>> sources = {
      {"--passphrase-file", Write("lf", "open sesame\nsecond line ignored\n")},
      {"--passphrase-file", Write("crlf", "open sesame\r\n")},
      {"--passphrase-file", Write("no-line-end", "open sesame")},
      {"--passphrase-env", "XKIT_TEST_PHRASE"},
      {"--key-hex-file", Write("key", " " + hex + "\n")},
      {"--key-hex-file=" + Write("lower-case", std::string("\t").append(LowerCase(hex)) + " \r\n")},
  };
  const std::string expected = CipherLine("open sesame");
  for (const std::vector<std::string>& source : sources) {
    std::vector<std::string> args = {"encrypt-string", "meet at noon"};
    args.insert(args.begin() + 1, source.begin(), source.end());
    const RunResult run = RunXkit(args);
    EXPECT_EQ(run.status, 0) << source[0] << ": " << run.err;
    EXPECT_EQ(run.out, expected) << source[0];
  }
  // A stream round trip, keyed two other ways.
  const std::string plain = Write("plain", std::string(1000, 'p'));
  RunResult run =
      RunXkit({"encrypt", "--passphrase-env", "XKIT_TEST_PHRASE", plain, scratch_.Path("cipher")});
  ASSERT_EQ(run.status, 0) << run.err;
  run = RunXkit({"decrypt", "--key-hex-file", scratch_.Path("key"), scratch_.Path("cipher")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, std::string(1000, 'p'));
}

TEST_F(KeyInput, SourcesThatGiveNoKeyAreReported) {
  unsetenv("XKIT_TEST_UNSET");
  const std::string secretDigits = "00112233445566778899aabbccddeefg";
  struct Case {
    std::vector<std::string> key;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {{"--passphrase-file", scratch_.Path("missing")},
       1,
       scratch_.Path("missing") + ": No such file or directory"},
      {{"--passphrase-file", Write("empty", "\nnot the first line\n")}, 2, "pass phrase is empty"},
      {{"--passphrase-file", Write("long", std::string(70000, 'x'))},
       1,
       "first line is longer than 65536 bytes"},
      {{"--passphrase-env", "XKIT_TEST_UNSET"}, 2, "XKIT_TEST_UNSET is not set"},
      {{"--key-hex-file", Write("bad-hex", secretDigits)}, 2, "hexadecimal digits only"},
      {{"--key-hex-file", Write("odd-hex", "abc\n")}, 2, "an even number of digits"},
      {{"--key-hex-file", Write("blank", "  \n")}, 2, "the key is empty"},
      {{"--passphrase-env", "HOME", "--key-hex", "00"}, 2, "one way only"},
      {{}, 2, "no key: give --passphrase-file FILE"},  // and no terminal to ask on
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"encrypt-string"};
    args.insert(args.end(), c.key.begin(), c.key.end());
    args.push_back("text");
    const RunResult run = RunXkit(args);
    EXPECT_EQ(run.status, c.status) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(secretDigits), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

// The prompt, as a user at a terminal meets it.

TEST_F(KeyInput, EncryptAsksTwiceWithoutEcho) {
  XkitTerminal terminal({"encrypt-string", "meet at noon"});
  ASSERT_TRUE(terminal.WaitFor("Pass phrase: "));
  EXPECT_FALSE(terminal.Echoes());
  terminal.Type("open sesame\n");
  ASSERT_TRUE(terminal.WaitFor("Pass phrase again: "));
  terminal.Type("open sesame\n");
  const RunResult run = terminal.Finish();
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(terminal.Echoes());
  EXPECT_EQ(run.out.find("sesame"), std::string::npos) << run.out;
  std::string line = CipherLine("open sesame");
  line.back() = '\r';  // the line end as the terminal shows it
  EXPECT_TRUE(run.out.ends_with("Pass phrase again: \r\n" + line + "\n")) << run.out;
}

TEST_F(KeyInput, EncryptRefusesTwoDifferentAnswers) {
  XkitTerminal terminal({"encrypt", "-", scratch_.Path("never")});
  ASSERT_TRUE(terminal.WaitFor("Pass phrase: "));
  terminal.Type("open sesame\n");
  ASSERT_TRUE(terminal.WaitFor("Pass phrase again: "));
  terminal.Type("open sesamE\n");
  const RunResult run = terminal.Finish();
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("xkit encrypt: the pass phrases differ"), std::string::npos) << run.out;
  EXPECT_EQ(scratch_.FileCount(), 0u);
}

TEST_F(KeyInput, DecryptAsksOnce) {
  std::string cipher = CipherLine("open sesame");
  cipher.pop_back();
  XkitTerminal terminal({"decrypt-string", cipher});
  ASSERT_TRUE(terminal.WaitFor("Pass phrase: "));
  terminal.Type("open sesame\n");
  const RunResult run = terminal.Finish();
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out, "Pass phrase: \r\nmeet at noon\r\n");
}

TEST_F(KeyInput, AsksOnTheTerminalWhileTheDataComesFromAFile) {
  const std::string plain = Write("plain", "the data, on standard input");
  XkitTerminal terminal({"encrypt", "-", scratch_.Path("cipher")}, plain);
  for (const char* prompt : {"Pass phrase: ", "Pass phrase again: "}) {
    ASSERT_TRUE(terminal.WaitFor(prompt));
    terminal.Type("open sesame\n");
  }
  EXPECT_EQ(terminal.Finish().status, 0);
  const RunResult back =
      RunXkit({"decrypt", "--passphrase", "open sesame", scratch_.Path("cipher")});
  EXPECT_EQ(back.out, "the data, on standard input");
}

TEST_F(KeyInput, InterruptAtThePromptTurnsEchoBackOn) {
  XkitTerminal terminal({"decrypt", "-", scratch_.Path("out")});
  ASSERT_TRUE(terminal.WaitFor("Pass phrase: "));
  EXPECT_FALSE(terminal.Echoes());
  terminal.Type("\x03");  // Ctrl-C: the terminal sends SIGINT
  EXPECT_EQ(terminal.Finish().status, 128 + SIGINT);
  EXPECT_TRUE(terminal.Echoes());
  EXPECT_EQ(scratch_.FileCount(), 0u);
}

}  // namespace
}  // namespace xkit::test
