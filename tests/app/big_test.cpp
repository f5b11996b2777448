// `xkit big` as users meet it: each operation's output, and its errors.
#include <gtest/gtest.h>

#include "tests/app/run_xkit.h"

namespace xkit::test {
namespace {

TEST(BigCommand, OperationsPrintDecimalResults) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{"big", "bits", "5"}, "101\n"},
      {{"big", "bits", "0"}, "0\n"},
      {{"big", "bytes-hex", "65535"}, "FFFF\n"},
      {{"big", "bytes-hex", "256"}, "0100\n"},
      {{"big", "from-base64", "aAbB"}, "001083\n4227\n"},
      {{"big", "add", "5", "--", "-5"}, "0\n"},
      {{"big", "sub", "3", "--", "-4"}, "7\n"},
      {{"big", "mul", "123456789012345678901234567890", "--", "-987654321"},
       "-121932631124828532112482853211126352690\n"},
      {{"big", "divmod", "-7", "2"}, "-4\n1\n"},
      {{"big", "mod", "--", "-7", "-2"}, "1\n"},
      {{"big", "addmod", "5", "9", "7"}, "0\n"},
      {{"big", "mulmod", "--", "-3", "5", "7"}, "6\n"},
  };
  for (const Case& c : cases) {
    const RunResult run = RunXkit(c.args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.out) << c.args[1];
  }
}

TEST(BigCommand, FailuresExitOneWithTheMessage) {
  RunResult run = RunXkit({"big", "mod", "5", "0"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Division by zero"), std::string::npos);
  run = RunXkit({"big", "add", "12a4", "1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("'12a4' n'est pas une valeur enti"), std::string::npos);
}

TEST(BigCommand, BadCommandLinesExitTwo) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"big"},
                                               {"big", "pow", "2", "3"},
                                               {"big", "add", "1"},
                                               {"big", "bits", "1", "2"},
                                               {"big", "--bogus", "bits", "1"}}) {
    const RunResult run = RunXkit(args);
    EXPECT_EQ(run.status, 2) << args.size();
    EXPECT_NE(run.err.find("usage: xkit big"), std::string::npos);
  }
}

}  // namespace
}  // namespace xkit::test
