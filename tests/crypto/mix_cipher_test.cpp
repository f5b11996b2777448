// The mix cipher: known answers from a plain model of the definition, round clamping, and the
// deciphering schedule undoing the enciphering one.
#include <gtest/gtest.h>

#include <cstring>

#include "crypto/digests.h"
#include "tests/crypto/digest_test_util.h"

namespace xkit::test {
namespace {

std::string Encipher(const std::string& key, std::int32_t rounds, bool encrypt, std::string block) {
  TMixCipherKey schedule;
  MixCipherInitKey(key.data(), schedule, rounds, encrypt);
  MixCipherBlock(schedule, block.data());
  return block;
}

TEST(MixCipher, KnownAnswers) {
  const std::vector<std::string> lines = DataLines("mix_cipher_vectors.txt");
  ASSERT_FALSE(lines.empty());
  for (const std::string& line : lines) {
    std::istringstream fields(line);
    std::string key, plain, cipher;
    std::int32_t rounds = 0;
    fields >> key >> rounds >> plain >> cipher;
    ASSERT_TRUE(fields) << line;
    EXPECT_EQ(Hex(Encipher(FromHex(key), rounds, true, FromHex(plain)).data(), 16), cipher) << line;
    EXPECT_EQ(Hex(Encipher(FromHex(key), rounds, false, FromHex(cipher)).data(), 16), plain)
        << line;
  }
}

TEST(MixCipher, RoundCountIsClampedToFourThroughSixteen) {
  const std::string key = "0123456789abcdef", block = "sixteen byte blk";
  const struct {
    std::int32_t requested, used;
  } cases[] = {{-1, 4}, {2, 4}, {4, 4}, {9, 9}, {16, 16}, {20, 16}, {1 << 30, 16}};
  for (const auto& c : cases) {
    TMixCipherKey schedule;
    MixCipherInitKey(key.data(), schedule, c.requested, true);
    EXPECT_EQ(schedule.Rounds, c.used) << c.requested;
    EXPECT_EQ(Encipher(key, c.requested, true, block), Encipher(key, c.used, true, block))
        << c.requested;
  }
  // The count matters, so the equalities above say something.
  EXPECT_NE(Encipher(key, 4, true, block), Encipher(key, 5, true, block));
  EXPECT_NE(Encipher(key, 15, true, block), Encipher(key, 16, true, block));
}

TEST(MixCipher, DecipherUndoesEncipher) {
  std::mt19937 rng(8);
  for (std::int32_t rounds = 4; rounds <= 16; ++rounds) {
    for (int trial = 0; trial < 20; ++trial) {
      const std::string key = RandomBytes(rng, 16), block = RandomBytes(rng, 16);
      const std::string cipher = Encipher(key, rounds, true, block);
      EXPECT_NE(cipher, block);
      EXPECT_EQ(Encipher(key, rounds, false, cipher), block) << "rounds " << rounds;
    }
  }
}

// Deciphering reverses the first Rounds sub-key pairs and leaves the rest in place.
TEST(MixCipher, DecipherScheduleReversesOnlyTheRoundsPairs) {
  const std::string key = "fedcba9876543210";
  TMixCipherKey forward, backward;
  MixCipherInitKey(key.data(), forward, 6, true);
  MixCipherInitKey(key.data(), backward, 6, false);
  EXPECT_TRUE(forward.Encrypt);
  EXPECT_FALSE(backward.Encrypt);
  for (int pair = 0; pair < 16; ++pair) {
    const int from = pair < 6 ? 5 - pair : pair;
    EXPECT_EQ(backward.SubKeys[pair][0], forward.SubKeys[from][0]) << pair;
    EXPECT_EQ(backward.SubKeys[pair][1], forward.SubKeys[from][1]) << pair;
  }
}

// A schedule whose round count was damaged after set-up is still never read past its pairs.
TEST(MixCipher, DamagedRoundCountIsClampedToo) {
  const std::string key = "0123456789abcdef";
  std::string a = "sixteen byte blk", b = a;
  TMixCipherKey schedule;
  MixCipherInitKey(key.data(), schedule, 16, true);
  MixCipherBlock(schedule, a.data());
  schedule.Rounds = 1000;
  MixCipherBlock(schedule, b.data());
  EXPECT_EQ(a, b);
}

}  // namespace
}  // namespace xkit::test
