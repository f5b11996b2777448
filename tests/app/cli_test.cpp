// The command frame: the command list and every command's help, usage errors, the files a
// named output leaves (or does not), and the demo's tour.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/app/run_xkit.h"
#include "tests/platform/scratch_dir.h"

namespace xkit::test {
namespace {

// The command names that `xkit --help` lists, one per line after "commands:".
std::vector<std::string> ListedCommands() {
  std::istringstream lines(RunXkit({"--help"}).out);
  std::vector<std::string> names;
  bool inList = false;
  for (std::string line; std::getline(lines, line);) {
    if (line == "commands:") {
      inList = true;
    } else if (inList && line.starts_with("  ")) {
      std::istringstream words(line);
      names.emplace_back();
      words >> names.back();
    } else if (inList) {
      break;
    }
  }
  return names;
}

TEST(Cli, HelpListsEveryCommand) {
  const RunResult run = RunXkit({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ListedCommands(),
            (std::vector<std::string>{"demo", "md5", "pidigest", "encrypt", "decrypt", "base64",
                                      "encrypt-string", "decrypt-string", "big", "rsa", "fetch"}));
}

TEST(Cli, EveryCommandExplainsItselfWithAnExample) {
  for (const std::string& name : ListedCommands()) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{name, "--help"}, {name, "-h"}, {"help", name}}) {
      const RunResult run = RunXkit(args);
      EXPECT_EQ(run.status, 0) << name;
      EXPECT_EQ(run.err, "") << name;
      EXPECT_TRUE(run.out.starts_with("usage: xkit " + name)) << run.out;
      const std::size_t example = run.out.find("\nExample:\n");
      ASSERT_NE(example, std::string::npos) << run.out;
      EXPECT_NE(run.out.find("xkit " + name, example), std::string::npos) << run.out;
    }
  }
}

TEST(Cli, UsageErrorsExitTwoWithUsageOnStderr) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                               {"no-such-command"},
                                               {"help", "no-such-command"},
                                               {"demo", "extra"},
                                               {"demo", "--bogus"},
                                               {"md5", "--bogus"}}) {
    const RunResult run = RunXkit(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find("usage: xkit"), std::string::npos) << run.err;
  }
}

TEST(Cli, VersionIsPrinted) {
  const RunResult run = RunXkit({"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out.starts_with("xkit ")) << run.out;
}

// A named output appears only when complete: a failed run keeps an earlier file of that name
// as it was and leaves no temporary file; an output that cannot be created is an error with
// the system's message.
TEST(Cli, NamedOutputsAreReplacedOnlyOnSuccess) {
  ScratchDir scratch;
  const std::string target = scratch.Path("out");
  std::ofstream(target) << "earlier contents";
  const RunResult bad = RunXkit({"base64", "--decode", "-", target}, "Zm9v\nYmFy");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(ScratchDir::Contents(target), "earlier contents");
  EXPECT_EQ(scratch.FileCount(), 1u);

  const RunResult good = RunXkit({"base64", "--decode", "-", target}, "Zm9vYmFy");
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_EQ(ScratchDir::Contents(target), "foobar");
  EXPECT_EQ(scratch.FileCount(), 1u);

  const std::string nowhere = scratch.Path("missing/out");
  const RunResult missing = RunXkit({"base64", "-", nowhere}, "foobar");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "xkit base64: " + nowhere + ": No such file or directory\n");
}

TEST(Cli, MissingInputFileFailsWithTheSystemsMessage) {
  ScratchDir scratch;
  const std::string missing = scratch.Path("missing");
  for (const std::string command : {"encrypt", "decrypt"}) {
    const RunResult run = RunXkit({command, "--passphrase", "pw", missing});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "xkit " + command + ": " + missing + ": No such file or directory\n");
  }
}

TEST(Cli, DemoTakesEveryFacilityInTurn) {
  const RunResult run = RunXkit({"demo"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.err, "");
  for (const char* shown :
       {"pi digest of \"abc\"", "2AA17BAA76A4C4CD4B73A5F934B4CC1A", "MD5 of",
        "enciphered, in Base64", "enciphering  [####", "] 100%",
        "50! = 30414093201713378043612608166064768844377641568960512000000000000",
        "$ xkit rsa decrypt --key key.pem note.rsa back.txt",
        "RsaDecrypt by the Chinese remainder theorem"}) {
    EXPECT_NE(run.out.find(shown), std::string::npos) << shown;
  }
  EXPECT_EQ(run.out.find("FAILED"), std::string::npos);
  EXPECT_TRUE(run.out.ends_with("sections passed\n")) << run.out;
}

}  // namespace
}  // namespace xkit::test
