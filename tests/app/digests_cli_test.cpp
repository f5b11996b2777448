// `xkit md5` and `xkit pidigest` as users meet them: files, standard input, and inputs that
// cannot be read.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "crypto/digests.h"
#include "tests/app/run_xkit.h"

namespace xkit::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kMd5Abc = "900150983CD24FB0D6963F7D28E17F72";
constexpr const char* kMd5Empty = "D41D8CD98F00B204E9800998ECF8427E";
constexpr const char* kPiAbc = "2AA17BAA76A4C4CD4B73A5F934B4CC1A";

// A fresh directory for the test's files, removed afterwards.
class DigestCli : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("xkit-digests-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string File(const std::string& name, const std::string& content) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  fs::path dir_;
};

TEST_F(DigestCli, Md5PrintsOneLinePerFile) {
  const std::string abc = File("abc.txt", "abc"), empty = File("empty", "");
  const RunResult run = RunXkit({"md5", abc, empty});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, std::string(kMd5Abc) + "  " + abc + "\n" + kMd5Empty + "  " + empty + "\n");
  EXPECT_EQ(run.err, "");
}

TEST_F(DigestCli, NoFileOrDashReadsStandardInput) {
  for (const auto& args : {std::vector<std::string>{"md5"}, {"md5", "-"}}) {
    const RunResult run = RunXkit(args, "abc");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, std::string(kMd5Abc) + "  -\n");
  }
  const RunResult run = RunXkit({"pidigest"}, "abc");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, std::string(kPiAbc) + "  -\n");
}

// Large enough to take several reads, with every byte value; the library is the oracle.
TEST_F(DigestCli, LongInputFromFileAndStandardInput) {
  std::string content;
  for (int i = 0; i < 300000; ++i)
    content.push_back(static_cast<char>(i * 7 % 256));
  const std::string path = File("long.bin", content);

  TMd5Digest md5;
  Md5OfString(md5, content);
  std::uint8_t pi[40];
  PiDigestOfString(pi, sizeof pi, content);
  std::string md5Hex, piHex;
  BytesToHex(md5.data(), 16, md5Hex);
  BytesToHex(pi, sizeof pi, piHex);

  EXPECT_EQ(RunXkit({"md5", path}).out, md5Hex + "  " + path + "\n");
  EXPECT_EQ(RunXkit({"md5"}, content).out, md5Hex + "  -\n");
  EXPECT_EQ(RunXkit({"pidigest", "--size", "40", path}).out, piHex + "  " + path + "\n");
  EXPECT_EQ(RunXkit({"pidigest", "--size", "40"}, content).out, piHex + "  -\n");
}

TEST_F(DigestCli, UnreadableInputsAreReportedAndTheOthersStillDone) {
  const std::string abc = File("abc.txt", "abc");
  const std::string missing = (dir_ / "missing").string();
  const std::string directory = dir_.string();
  for (const char* command : {"md5", "pidigest"}) {
    const RunResult run = RunXkit({command, missing, abc, directory, "-"}, "abc");
    EXPECT_EQ(run.status, 1) << command;
    const std::string digest = command == std::string("md5") ? kMd5Abc : kPiAbc;
    EXPECT_EQ(run.out, digest + "  " + abc + "\n" + digest + "  -\n") << command;
    EXPECT_EQ(run.err, "xkit " + std::string(command) + ": " + missing +
                           ": No such file or directory\n" + "xkit " + command + ": " + directory +
                           ": read error\n");
  }
}

TEST_F(DigestCli, PiDigestSize) {
  const std::string abc = File("abc.txt", "abc");
  RunResult run = RunXkit({"pidigest", "--size", "1", abc});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "2A  " + abc + "\n");

  run = RunXkit({"pidigest", "--size=256", abc});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.size(), 512 + 2 + abc.size() + 1);
  EXPECT_TRUE(run.out.starts_with(kPiAbc));

  for (const char* size : {"0", "257", "-1", "16x", ""}) {
    run = RunXkit({"pidigest", "--size", size, abc});
    EXPECT_EQ(run.status, 2) << size;
    EXPECT_EQ(run.out, "") << size;
    EXPECT_NE(run.err.find("usage: xkit pidigest"), std::string::npos) << size;
  }
}

TEST_F(DigestCli, HelpShowsAnExample) {
  for (const char* command : {"md5", "pidigest"}) {
    const RunResult run = RunXkit({command, "--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Example"), std::string::npos) << command;
  }
}

}  // namespace
}  // namespace xkit::test
