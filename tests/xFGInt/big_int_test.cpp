// xkit::BigInt: construction from every integer type and from text, the operators against GMP
// on random operands of every sign (Euclidean division included), comparison by value with
// zero of either flag, the bytes and the modular functions, and value semantics.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

#include "tests/xFGInt/support.h"
#include "xFGInt/BigInt.h"

namespace xkit::test {
namespace {

mpz_class Gmp(const BigInt& a) {
  return Value(a.Record());
}

BigInt Big(const mpz_class& value) {
  return BigInt(value.get_str());
}

// The Euclidean remainder of a by b (0 <= r < |b|) and the quotient that goes with it.
mpz_class EuclidRem(const mpz_class& a, const mpz_class& b) {
  mpz_class r = a % b;  // truncated: takes a's sign
  if (r < 0) r += abs(b);
  return r;
}

TEST(BigInt, EveryIntegerTypeConvertsExactly) {
  using L64 = std::numeric_limits<std::int64_t>;
  using U64 = std::numeric_limits<std::uint64_t>;
  EXPECT_EQ(BigInt(L64::min()).ToDecimal(), "-9223372036854775808");
  EXPECT_EQ(BigInt(L64::max()).ToDecimal(), "9223372036854775807");
  EXPECT_EQ(BigInt(U64::max()).ToDecimal(), "18446744073709551615");
  EXPECT_EQ(BigInt(std::numeric_limits<std::int32_t>::min()).ToDecimal(), "-2147483648");
  EXPECT_EQ(BigInt(static_cast<short>(-300)).ToDecimal(), "-300");
  EXPECT_EQ(BigInt(static_cast<unsigned char>(255)).ToDecimal(), "255");
  EXPECT_EQ(BigInt().ToDecimal(), "0");
  // Values at the digit boundaries of the record, each checked against GMP and the invariant.
  for (const std::uint64_t magnitude :
       {std::uint64_t{0}, std::uint64_t{1}, (std::uint64_t{1} << 31) - 1, std::uint64_t{1} << 31,
        (std::uint64_t{1} << 62) - 1, std::uint64_t{1} << 62, std::uint64_t{1} << 63, U64::max()}) {
    const BigInt a(magnitude);
    EXPECT_TRUE(WellFormed(a.Record()));
    EXPECT_EQ(Gmp(a), mpz_class(std::to_string(magnitude))) << magnitude;
    if (magnitude <= static_cast<std::uint64_t>(L64::max())) {
      const BigInt negative(-static_cast<std::int64_t>(magnitude));
      EXPECT_TRUE(WellFormed(negative.Record()));
      EXPECT_EQ(Gmp(negative), -mpz_class(std::to_string(magnitude))) << magnitude;
    }
  }
}

TEST(BigInt, DecimalTextInAndOut) {
  const std::string big = "-123456789012345678901234567890123456789";
  EXPECT_EQ(BigInt(big).ToDecimal(), big);
  EXPECT_EQ(BigInt("-0").ToDecimal(), "0");
  std::ostringstream out;
  out << BigInt(big) << " " << BigInt(42);
  EXPECT_EQ(out.str(), big + " 42");
  try {
    BigInt("12a4");
    FAIL() << "no exception";
  } catch (const EConvertError& error) {
    EXPECT_STREQ(error.what(), "'12a4' n'est pas une valeur entière correcte");
  }
}

TEST(BigInt, OperatorsAgreeWithGmp) {
  RandomValues random(8);
  for (int i = 0; i < 400; ++i) {
    const mpz_class x = random.Sign() == kPos ? random.Magnitude(12) : -random.Magnitude(12);
    const mpz_class y = random.Sign() == kPos ? random.Magnitude(12) : -random.Magnitude(12);
    const BigInt a = Big(x), b = Big(y);
    EXPECT_EQ(Gmp(a + b), x + y);
    EXPECT_EQ(Gmp(a - b), x - y);
    EXPECT_EQ(Gmp(a * b), x * y);
    EXPECT_EQ(Gmp(-a), -x);
    if (y == 0) {
      EXPECT_THROW(a / b, EDivByZero);
      EXPECT_THROW(a % b, EDivByZero);
      continue;
    }
    const mpz_class r = EuclidRem(x, y);
    EXPECT_EQ(Gmp(a % b), r);
    EXPECT_EQ(Gmp(a / b), (x - r) / y);
    const BigDivResult qr = DivMod(a, b);
    EXPECT_EQ(qr.quotient, a / b);
    EXPECT_EQ(qr.remainder, a % b);
    EXPECT_EQ(a <=> b, cmp(x, y) <=> 0);
  }
}

TEST(BigInt, DivisionIsEuclidean) {
  struct Case {
    std::int64_t a, b, q, r;
  };
  for (const Case& c : {Case{7, 2, 3, 1},
                        {-7, 2, -4, 1},
                        {7, -2, -3, 1},
                        {-7, -2, 4, 1},
                        {-8, 2, -4, 0},
                        {0, -5, 0, 0}}) {
    EXPECT_EQ(BigInt(c.a) / c.b, c.q) << c.a << " / " << c.b;
    EXPECT_EQ(BigInt(c.a) % c.b, c.r) << c.a << " % " << c.b;
  }
}

TEST(BigInt, CompoundOperatorsTakeThemselvesAsOperand) {
  BigInt a(-12345);
  a += a;
  EXPECT_EQ(a, -24690);
  a *= a;
  EXPECT_EQ(a, BigInt("609596100"));
  a -= 1;
  a /= 7;
  EXPECT_EQ(a, 87085157);
  a %= 1000;
  EXPECT_EQ(a, 157);
  a %= a;
  EXPECT_TRUE(a.IsZero());
  BigInt b(9);
  b /= b;
  EXPECT_EQ(b, 1);
  b -= b;
  EXPECT_EQ(b, 0);
}

TEST(BigInt, ZeroOfEitherFlagIsOneValue) {
  const BigInt plus(TFGInt{TBigSign::Positive, {1, 0}});
  const BigInt minus(TFGInt{TBigSign::Negative, {1, 0}});
  EXPECT_EQ(plus, minus);
  EXPECT_EQ(plus <=> minus, std::strong_ordering::equal);
  EXPECT_FALSE(minus.IsNegative());
  EXPECT_LT(BigInt(-1), minus);
  EXPECT_GT(BigInt(1), minus);
  EXPECT_EQ(minus.ToDecimal(), "0");
  EXPECT_EQ(-BigInt(0), 0);
  EXPECT_EQ(BigInt(3) - 3, -BigInt(3) + 3);  // +0 and -0 records
}

TEST(BigInt, OrderFollowsTheValue) {
  const BigInt ordered[] = {
      BigInt("-100000000000000000000"), BigInt(-5), BigInt(-4), BigInt(0), BigInt(4), BigInt(5),
      BigInt("100000000000000000000")};
  for (std::size_t i = 0; i < std::size(ordered); ++i) {
    for (std::size_t j = 0; j < std::size(ordered); ++j) {
      EXPECT_EQ(ordered[i] <=> ordered[j], i <=> j) << i << " " << j;
      EXPECT_EQ(ordered[i] == ordered[j], i == j);
    }
  }
}

TEST(BigInt, BytesOfTheMagnitude) {
  EXPECT_EQ(BigInt(65535).ToBytes(), "\xFF\xFF");
  EXPECT_EQ(BigInt(-256).ToBytes(), std::string("\x01\x00", 2));
  EXPECT_EQ(BigInt(0).ToBytes(), std::string(1, '\0'));
  EXPECT_EQ(BigInt::FromBytes(""), 0);
  EXPECT_EQ(BigInt::FromBytes(std::string("\x00\x01\x00", 3)), 256);
  const BigInt big("340282366920938463463374607431768211455");  // 2^128 - 1
  EXPECT_EQ(big.ToBytes(), std::string(16, '\xFF'));
  EXPECT_EQ(BigInt::FromBytes(big.ToBytes()), big);
}

TEST(BigInt, ModularFunctions) {
  EXPECT_EQ(PowMod(4, 13, 497), 445);
  EXPECT_EQ(PowMod(-2, 3, 7), 6);
  EXPECT_THROW(PowMod(2, 3, 0), EDivByZero);
  EXPECT_EQ(Gcd(-12, 18), 6);
  EXPECT_EQ(Gcd(-12, -12), 12);  // the record's gcd carries a's flag here; the value does not
  EXPECT_EQ(Gcd(0, 0), 0);
  EXPECT_EQ(InvMod(3, 7), 5);
  EXPECT_EQ(InvMod(-1, 7), 6);
  EXPECT_EQ(InvMod(2, 4), std::nullopt);
  EXPECT_THROW(InvMod(2, 0), EDivByZero);
  // The Fermat inverse modulo a large prime, 2^127 - 1.
  const BigInt p = PowMod(2, 127, BigInt("1000000000000000000000000000000000000000")) - 1;
  const BigInt a("98765432109876543210");
  EXPECT_EQ(InvMod(a, p), PowMod(a, p - 2, p));
}

TEST(BigInt, CopiesAreIndependentAndMovedFromValuesRefuseUse) {
  BigInt a(100);
  BigInt b = a;
  b += 1;
  EXPECT_EQ(a, 100);
  EXPECT_EQ(b, 101);
  BigInt c = std::move(b);
  EXPECT_EQ(c, 101);
  EXPECT_THROW(b.ToDecimal(), Exception);  // NOLINT: use after move, on purpose
  EXPECT_THROW(b.IsZero(), Exception);
  b = a;  // assignment revives it
  EXPECT_EQ(b, 100);
  EXPECT_THROW(BigInt(TFGInt{}), Exception);
}

}  // namespace
}  // namespace xkit::test
