// `xkit encrypt`, `decrypt`, `base64`, `encrypt-string` and `decrypt-string` as users run
// them: round trips through files and standard input, wrong keys and damaged input, and the
// files a failed run must not leave behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "crypto/digests.h"
#include "crypto/streams.h"
#include "tests/app/run_xkit.h"

namespace xkit::test {
namespace {

namespace fs = std::filesystem;

const std::string kKeyHex = "000102030405060708090a0b0c0d0e0f";

// A fresh folder for one test's files, removed with everything in it.
class CipherCli : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("xkit-cipher-cli-" + std::to_string(std::random_device()()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  void Write(const std::string& name, const std::string& content) const {
    std::ofstream(PathOf(name), std::ios::binary) << content;
  }

  std::string Read(const std::string& name) const {
    std::ostringstream content;
    content << std::ifstream(PathOf(name), std::ios::binary).rdbuf();
    return content.str();
  }

  // The names in the folder, to see that nothing (not even a temporary file) was left.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  static std::string Binary() {
    std::string bytes;
    for (int i = 0; i < 1000; ++i)
      bytes.push_back(static_cast<char>((i * 37) & 0xFF));
    return bytes;
  }

  fs::path dir_;
};

TEST_F(CipherCli, FileRoundTripMatchesTheLibrary) {
  const std::string plain = Binary();
  Write("plain", plain);
  RunResult run = RunXkit({"encrypt", "--key-hex", kKeyHex, PathOf("plain"), PathOf("cipher")});
  ASSERT_EQ(run.status, 0) << run.err;
  std::istringstream in(plain);
  std::ostringstream expected;
  std::string key;
  for (char b = 0; b < 16; ++b)
    key.push_back(b);  // kKeyHex
  AesCryptStream(in, expected, key.data(), 16, true);
  EXPECT_TRUE(Read("cipher") == expected.str());
  run = RunXkit({"decrypt", "--key-hex", kKeyHex, PathOf("cipher"), PathOf("back")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Read("back") == plain);
}

TEST_F(CipherCli, StandardStreamsRoundTrip) {
  const std::string plain = Binary();
  const RunResult cipher = RunXkit({"encrypt", "--passphrase", "open sesame"}, plain);
  ASSERT_EQ(cipher.status, 0) << cipher.err;
  EXPECT_EQ(cipher.out.size(), (plain.size() / 16 + 1) * 16);
  const RunResult back = RunXkit({"decrypt", "--passphrase", "open sesame", "-", "-"}, cipher.out);
  ASSERT_EQ(back.status, 0) << back.err;
  EXPECT_EQ(back.out, plain);
}

TEST_F(CipherCli, PassphraseKeysWithItsPiDigest) {
  std::string key(16, '\0');
  PiDigestOfString(key.data(), 16, "open sesame");
  std::string hex;
  BytesToHex(key.data(), 16, hex);
  const RunResult byPhrase = RunXkit({"encrypt", "--passphrase", "open sesame"}, "text");
  const RunResult byKey = RunXkit({"encrypt", "--key-hex", hex}, "text");
  EXPECT_EQ(byPhrase.out, byKey.out);
}

TEST_F(CipherCli, WrongKeyFailsAndLeavesNoOutputFile) {
  Write("plain", Binary());
  ASSERT_EQ(RunXkit({"encrypt", "--passphrase", "right", PathOf("plain"), PathOf("cipher")}).status,
            0);
  // Find a wrong phrase whose final block the layout rejects (most do).
  for (int attempt = 0; attempt < 64; ++attempt) {
    const std::string wrong = "wrong " + std::to_string(attempt);
    const RunResult run =
        RunXkit({"decrypt", "--passphrase", wrong, PathOf("cipher"), PathOf("out")});
    if (run.status == 0) {
      fs::remove(PathOf("out"));
      continue;
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Invalid file format"), std::string::npos) << run.err;
    EXPECT_EQ(Files(), (std::vector<std::string>{"cipher", "plain"}));
    return;
  }
  FAIL() << "every wrong key decoded";
}

TEST_F(CipherCli, TruncatedInputFailsAndLeavesNoOutputFile) {
  Write("short", "fifteen bytes..");
  const RunResult run = RunXkit({"decrypt", "--key-hex", kKeyHex, PathOf("short"), PathOf("out")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Invalid file format"), std::string::npos) << run.err;
  EXPECT_EQ(Files(), std::vector<std::string>{"short"});
  const RunResult piped = RunXkit({"decrypt", "--key-hex", kKeyHex}, "fifteen bytes..");
  EXPECT_EQ(piped.status, 1);
  EXPECT_NE(piped.err.find("Invalid file format"), std::string::npos) << piped.err;
}

TEST_F(CipherCli, Base64BothWays) {
  const RunResult encoded = RunXkit({"base64"}, "foobar");
  EXPECT_EQ(encoded.status, 0);
  EXPECT_EQ(encoded.out, "Zm9vYmFy");
  const std::string plain = Binary();
  Write("bytes", plain);
  ASSERT_EQ(RunXkit({"base64", PathOf("bytes"), PathOf("text")}).status, 0);
  ASSERT_EQ(RunXkit({"base64", "--decode", PathOf("text"), PathOf("back")}).status, 0);
  EXPECT_EQ(Read("back"), plain);
  const RunResult bad = RunXkit({"base64", "-d", "-", PathOf("never")}, "Zm9v\nYmFy");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("Invalid Base64 Character"), std::string::npos) << bad.err;
  EXPECT_EQ(Files(), (std::vector<std::string>{"back", "bytes", "text"}));
}

TEST_F(CipherCli, StringsRoundTrip) {
  const RunResult cipher = RunXkit({"encrypt-string", "--passphrase", "pw", "meet at noon"});
  ASSERT_EQ(cipher.status, 0) << cipher.err;
  ASSERT_TRUE(cipher.out.ends_with("\n"));
  const std::string text = cipher.out.substr(0, cipher.out.size() - 1);
  EXPECT_EQ(text.size(), 24u);
  const RunResult back = RunXkit({"decrypt-string", "--passphrase", "pw", text});
  EXPECT_EQ(back.status, 0) << back.err;
  EXPECT_EQ(back.out, "meet at noon\n");
  const RunResult damaged = RunXkit({"decrypt-string", "--passphrase", "pw", text + "\n"});
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.err.find("Invalid Base64 Character"), std::string::npos) << damaged.err;
}

TEST_F(CipherCli, KeyOptionsAreRequiredAndChecked) {
  for (const std::vector<std::string>& args : {
           std::vector<std::string>{"encrypt"},
           {"decrypt", "--key-hex", kKeyHex, "--passphrase", "both"},
           {"encrypt", "--key-hex", "abc"},
           {"encrypt", "--key-hex", "zz"},
           {"encrypt-string", "--passphrase", "pw"},
           {"decrypt-string", "--passphrase", "pw", "a", "b"},
           {"base64", "--bogus"},
       }) {
    const RunResult run = RunXkit(args);
    EXPECT_EQ(run.status, 2) << args[0];
    EXPECT_NE(run.err.find("usage: xkit"), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace xkit::test
