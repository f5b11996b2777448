// The command frame: help, unknown commands and bad arguments.
#include <gtest/gtest.h>

#include "tests/app/run_xkit.h"

namespace xkit::test {
namespace {

TEST(Cli, HelpListsCommands) {
  const RunResult run = RunXkit({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("demo"), std::string::npos);
}

TEST(Cli, CommandHelpShowsUsageAndExample) {
  const RunResult run = RunXkit({"demo", "--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("usage: xkit demo"), std::string::npos);
  EXPECT_NE(run.out.find("Example"), std::string::npos);
}

TEST(Cli, UsageErrorsExitTwoWithUsageOnStderr) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"no-such-command"}, {"demo", "extra"}, {"demo", "--bogus"}}) {
    const RunResult run = RunXkit(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find("usage: xkit"), std::string::npos);
  }
}

TEST(Cli, DemoPasses) {
  const RunResult run = RunXkit({"demo"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("sections passed"), std::string::npos);
}

}  // namespace
}  // namespace xkit::test
