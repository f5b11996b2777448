// `xkit rsa` and the modular operations of `xkit big` as users meet them: the RSA operation
// on files and standard streams with a key file for each path, and the exit status and
// message of every malformed key file and of a key outside the domain.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/app/run_xkit.h"

namespace xkit::test {
namespace {

namespace fs = std::filesystem;

// A fresh directory for one test's files, removed afterwards.
class RsaCommand : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           ("xkit_rsa_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& content) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }
  std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fs::path dir_;
};

// The textbook key n = 61 * 53, e = 17, d = 2753. The message 1857 is 111 followed by the
// bits of 'A'; its cipher 1857^17 mod 3233 is 3.
const std::string kCipher("\x00\x03", 2);

TEST_F(RsaCommand, DirectAndChineseRemainderKeysRecoverTheMessage) {
  const std::string direct = Write("direct.key", "# textbook key\nn=3233\ne = 2753\r\n\n");
  const std::string crt = Write("crt.key", "n=3233\np=61\nq=53\ndp=53\ndq=49\n");
  const std::string cipher = Write("cipher.bin", kCipher);
  const std::string plain = (dir_ / "plain.bin").string();

  RunResult run = RunXkit({"rsa", "--key", direct, cipher, plain});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Read(plain), "A");
  run = RunXkit({"rsa", "--key", crt}, kCipher);  // standard input and output
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "A");
  run = RunXkit({"rsa", "--key=" + crt, "-", "-"}, kCipher);
  EXPECT_EQ(run.out, "A");
  // A whole key takes the Chinese-remainder path.
  const std::string full = Write("full.key", "n=3233\ne=17\nd=2753\np=61\nq=53\ndp=53\ndq=49\n");
  run = RunXkit({"rsa", "--key", full}, kCipher);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "A");
}

TEST_F(RsaCommand, MalformedKeyFilesExitTwoWithTheReason) {
  struct Case {
    std::string content, reason;
  };
  const Case cases[] = {
      {"n=3233\n", "either e"},
      {"e=17\n", "n is missing"},
      {"n=3233\np=61\nq=53\n", "go together"},
      {"n=3233\ne=17\ne=17\n", "given twice"},
      {"n=3233\nd=17\n", "either e"},
      {"n=3233\nzz=17\n", "unknown name 'zz'"},
      {"n=3233\ne 17\n", "line 2: expected name=decimal"},
      {"n=3233\ne=-17\n", "not a decimal number"},
      {"n=0x1F\ne=17\n", "not a decimal number"},
      {"n=3233\ne=\n", "not a decimal number"},
  };
  const std::string cipher = Write("cipher.bin", kCipher);
  for (const Case& c : cases) {
    const std::string key = Write("bad.key", c.content);
    const RunResult run = RunXkit({"rsa", "--key", key, cipher});
    EXPECT_EQ(run.status, 2) << c.content;
    EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty());
  }
  const RunResult run = RunXkit({"rsa", cipher});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--key FILE is required"), std::string::npos);
}

TEST_F(RsaCommand, KeysOutsideTheDomainAndMissingFilesExitOne) {
  const std::string cipher = Write("cipher.bin", kCipher);
  const std::string plain = (dir_ / "plain.bin").string();
  RunResult run = RunXkit({"rsa", "--key", Write("even.key", "n=3234\ne=17\n"), cipher, plain});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("the modulus must be odd"), std::string::npos);
  EXPECT_FALSE(fs::exists(plain));  // no output file on failure
  run = RunXkit({"rsa", "--key", Write("shared.key", "n=3233\np=61\nq=61\ndp=1\ndq=1\n"), cipher});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("coprime"), std::string::npos);
  run = RunXkit({"rsa", "--key", (dir_ / "missing.key").string(), cipher});
  EXPECT_EQ(run.status, 1);
}

TEST(BigModularCommands, PowModGcdInvMod) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{"big", "powmod", "4", "13", "497"}, "445\n"},
      {{"big", "powmod", "0", "0", "7"}, "0\n"},
      {{"big", "powmod", "--", "-2", "3", "7"}, "6\n"},
      {{"big", "powmod", "3", "1000", "1048576"}, "547617\n"},  // an even modulus
      {{"big", "gcd", "--", "-12", "18"}, "6\n"},
      {{"big", "gcd", "0", "0"}, "0\n"},
      {{"big", "invmod", "3", "7"}, "5\n"},
      {{"big", "invmod", "--", "-1", "7"}, "6\n"},
  };
  for (const Case& c : cases) {
    const RunResult run = RunXkit(c.args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.out) << c.args[1];
  }
  RunResult run = RunXkit({"big", "invmod", "2", "4"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("2 has no inverse modulo 4"), std::string::npos);
  run = RunXkit({"big", "powmod", "2", "3", "0"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Division by zero"), std::string::npos);
  run = RunXkit({"big", "powmod", "2", "3"});
  EXPECT_EQ(run.status, 2);
}

}  // namespace
}  // namespace xkit::test
