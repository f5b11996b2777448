// Writing files of bytes: create or truncate, every byte written, each failure an exception.
#include "platform/file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/platform/scratch_dir.h"

namespace xkit {
namespace {

class OutputFileTest : public ::testing::Test {
protected:
  std::string Path(const char* name) const { return scratch_.Path(name); }
  static std::string Contents(const std::string& path) { return test::ScratchDir::Contents(path); }

  test::ScratchDir scratch_;
};

TEST_F(OutputFileTest, WritesSmallAndLargePiecesInOrder) {
  std::string expected;
  detail::OutputFile file;
  file.Rewrite(Path("out"));
  for (std::size_t size : {1u, 1025u, 300000u, 7u, 262144u, 0u, 5000u}) {
    const std::string piece(size, static_cast<char>('a' + expected.size() % 26));
    file.Write(piece.data(), piece.size());
    expected += piece;
  }
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(Contents(Path("out")), expected);
}

TEST_F(OutputFileTest, RewriteTruncatesAnExistingFile) {
  std::ofstream(Path("out")) << "older, longer content";
  detail::OutputFile file;
  file.Rewrite(Path("out"));
  file.Write("new", 3);
  file.Close();
  EXPECT_EQ(Contents(Path("out")), "new");
}

TEST_F(OutputFileTest, DestructorKeepsWhatWasWritten) {
  {
    detail::OutputFile file;
    file.Rewrite(Path("out"));
    file.Write("partial", 7);
  }
  EXPECT_EQ(Contents(Path("out")), "partial");
}

TEST_F(OutputFileTest, FailuresRaiseInOutError) {
  detail::OutputFile file;
  EXPECT_THROW(file.Rewrite(Path("missing/out")), EInOutError);
  EXPECT_THROW(file.Write("x", 1), EInOutError);
  if (std::filesystem::exists("/dev/full")) {
    file.Rewrite("/dev/full");
    file.Write("x", 1);  // buffered
    EXPECT_THROW(file.Close(), EInOutError);
    EXPECT_FALSE(file.IsOpen());
  }
}

}  // namespace
}  // namespace xkit
