// BytesToHex: uppercase, high nibble first, the result replaced rather than appended to.
#include <gtest/gtest.h>

#include "crypto/digests.h"

namespace xkit::test {
namespace {

TEST(BytesToHex, Cases) {
  const struct {
    std::string bytes;
    std::int32_t count;
    std::string text;
  } cases[] = {
      {"", 0, ""},
      {"\x0A", 1, "0A"},
      {std::string("\x00\xFF\xAB\x12\x9c", 5), 5, "00FFAB129C"},
      {"abc", 2, "6162"},
      {"abc", -1, ""},
  };
  for (const auto& c : cases) {
    std::string result = "previous content";
    BytesToHex(c.bytes.data(), c.count, result);
    EXPECT_EQ(result, c.text);
  }
  std::string result = "x";
  BytesToHex(nullptr, 0, result);
  EXPECT_EQ(result, "");
}

}  // namespace
}  // namespace xkit::test
