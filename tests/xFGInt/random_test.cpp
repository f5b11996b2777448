// Random integers: the range of every draw, uniformity of draws below a bound (on the
// repeatable test source, so the counts are fixed), independence of successive system draws,
// and the errors.
#include "xFGInt/random.h"

#include <map>
#include <set>

#include "tests/xFGInt/support.h"

namespace xkit::test {
namespace {

TEST(RandomBits, EveryDrawHasAtMostItsBitsAndTheTopOnesAppear) {
  for (const std::size_t bits : {1u, 30u, 31u, 32u, 63u, 64u, 65u, 1000u, 2048u}) {
    bool topSeen = false;
    for (int i = 0; i < 40; ++i) {
      TFGInt r;
      BigRandomBits(bits, r);
      ASSERT_TRUE(WellFormed(r));
      ASSERT_EQ(r.Sign, kPos);
      const mpz_class value = Magnitude(r);
      ASSERT_LE(mpz_sizeinbase(value.get_mpz_t(), 2), bits);
      topSeen |= mpz_tstbit(value.get_mpz_t(), bits - 1) != 0;
    }
    EXPECT_TRUE(topSeen) << bits;  // missed with probability 2^-40
  }
  TFGInt zero;
  BigRandomBits(0, zero);
  EXPECT_TRUE(Holds(zero, 0, kPos));
  EXPECT_THROW(BigRandomBits(~std::size_t{0}, zero), Exception);
}

TEST(RandomBits, SystemDrawsDifferAndTheTestSourceRepeats) {
  TFGInt a, b;
  BigRandomBits(256, a);
  BigRandomBits(256, b);
  EXPECT_NE(Magnitude(a), Magnitude(b));
  const auto drawSeeded = [](std::uint64_t seed) {
    const detail::ScopedRandomSource source(seed);
    TFGInt r;
    BigRandomBits(300, r);
    return Magnitude(r);
  };
  EXPECT_EQ(drawSeeded(7), drawSeeded(7));
  EXPECT_NE(drawSeeded(7), drawSeeded(8));
}

TEST(RandomBelow, DrawsStayBelowTheBoundByMagnitude) {
  RandomValues random(31);
  for (int i = 0; i < 300; ++i) {
    mpz_class bound = random.Magnitude(40);
    if (bound == 0) bound = 1;
    TFGInt r;
    BigRandomBelow(Record(bound, random.Sign()), r);
    ASSERT_TRUE(WellFormed(r));
    ASSERT_EQ(r.Sign, kPos);
    ASSERT_LT(Magnitude(r), bound) << bound;
  }
  TFGInt r;
  BigRandomBelow(Record("1"), r);
  EXPECT_TRUE(Holds(r, 0, kPos));
  EXPECT_THROW(BigRandomBelow(Record("0"), r), Exception);
  EXPECT_THROW(BigRandomBelow(TFGInt{}, r), Exception);
}

TEST(RandomBelow, EveryValueIsAboutEquallyLikely) {
  // A bound just above a power of two rejects almost half the draws; the counts of its
  // values must still be flat. 60,000 draws over 5 values (12,000 expected each, standard
  // deviation 98): the fixed source's counts lie within about 3 standard deviations.
  const detail::ScopedRandomSource source(2024);
  std::map<mpz_class, int> counts;
  for (int i = 0; i < 60000; ++i) {
    TFGInt r;
    BigRandomBelow(Record("5"), r);
    ++counts[Magnitude(r)];
  }
  ASSERT_EQ(counts.size(), 5u);
  for (const auto& [value, count] : counts)
    EXPECT_NEAR(count, 12000, 330) << value;
  // Values far above one limb: the top limb's range is covered too.
  const mpz_class bound = (mpz_class(1) << 200) + 12345;
  std::set<mpz_class> tops;
  for (int i = 0; i < 200; ++i) {
    TFGInt r;
    BigRandomBelow(Record(bound), r);
    ASSERT_LT(Magnitude(r), bound);
    tops.insert(Magnitude(r) >> 198);
  }
  EXPECT_EQ(tops.size(), 4u);  // 0 to 3 all appear (4 would need a value of at least 2^200)
}

}  // namespace
}  // namespace xkit::test
