// Strings longer than a signed 32-bit length reach the digests whole, in pieces.
#include "crypto/digest_words.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

namespace xkit::test {
namespace {

// Address space only: the pieces are counted, never read.
TEST(AbsorbInPieces, CoversAStringLongerThanInt32Max) {
  constexpr std::size_t kSize = (std::size_t{1} << 32) + 5;
  void* region =
      mmap(nullptr, kSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(region, MAP_FAILED);
  const auto* base = static_cast<const char*>(region);

  std::vector<std::pair<std::size_t, std::int32_t>> pieces;  // offset, length
  detail::AbsorbInPieces(std::string_view(base, kSize), [&](const char* data, std::int32_t length) {
    pieces.emplace_back(static_cast<std::size_t>(data - base), length);
  });
  munmap(region, kSize);

  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const std::vector<std::pair<std::size_t, std::int32_t>> expected = {
      {0, kMax}, {std::size_t{kMax}, kMax}, {2 * std::size_t{kMax}, 7}};
  EXPECT_EQ(pieces, expected);

  pieces.clear();
  detail::AbsorbInPieces(std::string_view(),
                         [&](const char*, std::int32_t length) { pieces.emplace_back(0, length); });
  EXPECT_TRUE(pieces.empty());
}

}  // namespace
}  // namespace xkit::test
