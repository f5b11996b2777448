// Release, copy, sign flags and magnitude comparison (malformed operands: malformed_test.cpp).
#include "tests/xFGInt/support.h"

namespace xkit::test {
namespace {

TEST(Record, CompareAbsIgnoresFlagsAndOrdersByCountThenTopDigit) {
  const mpz_class base = mpz_class(1) << 31;
  struct Case {
    TFGInt a, b;
    TMagnitudeOrder order;
  };
  const Case cases[] = {
      {Record("-7"), Record("5"), TMagnitudeOrder::Greater},
      {Record("-5"), Record("5"), TMagnitudeOrder::Equal},
      {Record(base + 5), Record(base + 7), TMagnitudeOrder::Smaller},
      {Record(base), Record(mpz_class(0x7FFFFFFF)), TMagnitudeOrder::Greater},
      {Record("0"), Record("-0"), TMagnitudeOrder::Equal},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BigCompareAbs(c.a, c.b), c.order)
        << Value(c.a).get_str() << " vs " << Value(c.b).get_str();
  }
  const TFGInt x = Record("123456789012345678901234567890");
  EXPECT_EQ(BigCompareAbs(x, x), TMagnitudeOrder::Equal);
}

TEST(Record, ChangeSignFlipsZeroTooAndAbsOnlyTouchesTheFlag) {
  TFGInt zero = Record("0");
  BigChangeSign(zero);
  EXPECT_TRUE(Holds(zero, 0, kNeg));
  BigChangeSign(zero);
  EXPECT_TRUE(Holds(zero, 0, kPos));
  TFGInt x = Record("-42");
  BigAbs(x);
  EXPECT_TRUE(Holds(x, 42, kPos));
}

TEST(Record, CopyIsIndependentAndFillsAnEmptyTarget) {
  const TFGInt source = Record("-98765432109876543210");
  TFGInt target;
  BigCopy(source, target);
  EXPECT_TRUE(Holds(target, mpz_class("98765432109876543210"), kNeg));
  target.Digits[1] ^= 1;
  EXPECT_TRUE(Holds(source, mpz_class("98765432109876543210"), kNeg));

  TFGInt self = Record("77");
  BigCopy(self, self);
  EXPECT_TRUE(Holds(self, 77, kPos));
}

TEST(Record, DestroyEmptiesButKeepsTheFlag) {
  TFGInt x = Record("-5");
  BigDestroy(x);
  EXPECT_TRUE(x.Digits.empty());
  EXPECT_EQ(x.Sign, kNeg);
  BigCopy(Record("9"), x);
  EXPECT_TRUE(Holds(x, 9, kPos));
}

}  // namespace
}  // namespace xkit::test
