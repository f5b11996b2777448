// Greatest common divisor and modular inverse: known cases, the gcd's flag rule checked
// against the Euclidean recursion it comes from, GMP as the oracle on random operands, an
// untouched result when no inverse exists, and the binary-gcd kernels on the operands that
// stress their approximations.
#include "tests/xFGInt/support.h"

namespace xkit::test {
namespace {

struct Signed {
  mpz_class magnitude;
  TBigSign sign;
};

// The Euclidean recursion as the record's gcd is defined: copies carry their source's
// flag, remainders are flagged Positive.
Signed EuclidGcd(const Signed& a, const Signed& b) {
  if (a.magnitude == b.magnitude) return a;
  if (a.magnitude < b.magnitude) return EuclidGcd(b, a);
  Signed x = a;
  Signed y = b;
  while (y.magnitude != 0) {
    const Signed t{x.magnitude % y.magnitude, kPos};
    x = y;
    y = t;
  }
  return x;
}

TEST(Gcd, KnownCases) {
  struct Case {
    const char *a, *b, *g;
  };
  for (const Case& c : {Case{"12", "18", "6"},
                        {"18", "12", "6"},
                        {"7", "0", "7"},
                        {"0", "7", "7"},
                        {"0", "0", "0"},
                        {"-12", "18", "6"},
                        {"12", "-18", "6"},
                        {"-18", "-12", "6"},  // the remainder 6 is flagged Positive
                        {"-7", "0", "-7"},    // a itself is the result
                        {"-0", "0", "-0"},
                        {"5", "-5", "5"},
                        {"-5", "5", "-5"},
                        {"-6", "3", "3"},  // b divides a: b is the result
                        {"6", "-3", "-3"},
                        {"-3", "6", "-3"},
                        {"1", "-1000000000000", "1"},
                        {"-1", "1000000000000", "-1"}}) {
    TFGInt g;
    BigGcd(Record(c.a), Record(c.b), g);
    const TFGInt expected = Record(c.g);
    EXPECT_TRUE(Holds(g, Magnitude(expected), expected.Sign)) << c.a << ", " << c.b;
  }
}

TEST(Gcd, RandomOperandsMatchGmpAndTheEuclideanFlag) {
  RandomValues random(11);
  for (int i = 0; i < 2000; ++i) {
    const mpz_class common = random.Magnitude(i % 2 ? 3 : 30);
    mpz_class am = random.Magnitude(40) * (common == 0 ? 1 : common);
    mpz_class bm = random.Magnitude(40) * (common == 0 ? 1 : common);
    if (i % 9 == 0) bm = am * random.Magnitude(3);  // one divides the other
    if (i % 13 == 0) am = bm;
    const Signed a{am, random.Sign()};
    const Signed b{bm, random.Sign()};
    TFGInt g;
    BigGcd(Record(am, a.sign), Record(bm, b.sign), g);
    const Signed expected = EuclidGcd(a, b);
    ASSERT_EQ(expected.magnitude, gcd(am, bm));
    ASSERT_TRUE(Holds(g, expected.magnitude, expected.sign)) << am << ", " << bm;
  }
}

TEST(Gcd, ResultMayBeAnOperand) {
  TFGInt a = Record("-84"), b = Record("36");
  BigGcd(a, b, a);
  EXPECT_TRUE(Holds(a, 12, kPos));
  a = Record("84");
  BigGcd(a, b, b);
  EXPECT_TRUE(Holds(b, 12, kPos));
  BigGcd(a, a, a);
  EXPECT_TRUE(Holds(a, 84, kPos));
}

// The inverse of a modulo |m| as GMP gives it, or nothing.
bool GmpInverse(const mpz_class& a, const mpz_class& m, mpz_class& r) {
  return mpz_invert(r.get_mpz_t(), a.get_mpz_t(), m.get_mpz_t()) != 0;
}

TEST(InvMod, KnownCases) {
  struct Case {
    const char *a, *m, *r;
  };
  for (const Case& c : {Case{"3", "7", "5"},
                        {"10", "7", "5"},
                        {"1", "1000000007", "1"},
                        {"-1", "7", "6"},  // not 1: (-1) 1 is -1 mod 7
                        {"-1", "1000000000000", "999999999999"},
                        {"-3", "7", "2"},
                        {"3", "-7", "5"},  // a negative modulus as its magnitude
                        {"0", "1", "0"},   // modulo 1 every residue is 0
                        {"5", "1", "0"},
                        {"-5", "-1", "0"},
                        {"3", "8", "3"},  // even moduli
                        {"7", "100", "43"},
                        {"1", "2", "1"}}) {
    TFGInt r = Record("-99");
    BigInvMod(Record(c.a), Record(c.m), r);
    EXPECT_TRUE(Holds(r, Magnitude(Record(c.r)), kPos)) << c.a << " mod " << c.m;
  }
}

TEST(InvMod, NoInverseLeavesTheResultUntouched) {
  for (const auto& [a, m] :
       {std::pair{"2", "4"}, {"0", "7"}, {"6", "9"}, {"-4", "6"}, {"21", "7"}, {"0", "2"}}) {
    TFGInt r = Record("-123456789012345678901");
    const std::vector<std::uint32_t> before = r.Digits;
    BigInvMod(Record(a), Record(m), r);
    EXPECT_EQ(r.Digits, before) << a << " mod " << m;
    EXPECT_EQ(r.Sign, kNeg);
    TFGInt empty;
    BigInvMod(Record(a), Record(m), empty);
    EXPECT_TRUE(empty.Digits.empty());
  }
}

TEST(InvMod, RandomOperandsMatchGmp) {
  RandomValues random(13);
  for (int i = 0; i < 1500; ++i) {
    mpz_class m = random.Magnitude(40);
    if (m < 2) m = 2 + random.Below(100);
    if (i % 4 != 0) m |= 1;
    const mpz_class am = random.Magnitude(i % 3 ? 40 : 80);
    const TBigSign as = random.Sign();
    const mpz_class a = as == kNeg ? mpz_class(-am) : am;
    TFGInt r = Record("77");
    BigInvMod(Record(am, as), Record(m, random.Sign()), r);
    mpz_class expected;
    if (GmpInverse(a, m, expected)) {
      ASSERT_TRUE(Holds(r, expected, kPos)) << a << " mod " << m;
    } else {
      ASSERT_TRUE(Holds(r, 77, kPos)) << a << " mod " << m;
    }
  }
}

TEST(InvMod, ZeroModulusRaisesAndResultMayBeAnOperand) {
  TFGInt r = Record("5");
  EXPECT_THROW(BigInvMod(Record("1"), Record("0"), r), EDivByZero);
  EXPECT_TRUE(Holds(r, 5, kPos));
  TFGInt a = Record("3"), m = Record("7");
  BigInvMod(a, m, a);
  EXPECT_TRUE(Holds(a, 5, kPos));
  a = Record("3");
  BigInvMod(a, m, m);
  EXPECT_TRUE(Holds(m, 5, kPos));
}

// The kernels on their own, on operands that make the 62-bit approximations misjudge
// comparisons: equal top bits, long runs of ones, consecutive Fibonacci numbers (the
// slowest case for Euclid), one operand much shorter than the other.
class GcdKernels : public ::testing::Test {
protected:
  using Limbs = std::vector<detail::Limb>;
  void Check(const mpz_class& y, const mpz_class& m) {
    const std::size_t n = mpz_sizeinbase(m.get_mpz_t(), 2) / 64 + 1;
    const Limbs ly = LimbsOf(y, n), lm = LimbsOf(m, n);
    Limbs scratch(detail::GcdScratchSize(n)), r(n, 0xDEAD);
    const bool found = detail::ModInverse(r.data(), ly.data(), lm.data(), n, scratch.data());
    mpz_class expected;
    ASSERT_EQ(found, GmpInverse(y, m, expected)) << y << " mod " << m;
    if (found) {
      ASSERT_EQ(ValueOf(r), expected) << y << " mod " << m;
    }
    Limbs g(n);
    detail::GcdOdd(g.data(), ly.data(), lm.data(), n, scratch.data());
    ASSERT_EQ(ValueOf(g), gcd(y, m)) << y << ", " << m;
  }
};

TEST_F(GcdKernels, AdversarialOperands) {
  RandomValues random(17);
  mpz_class f0 = 1, f1 = 1;
  for (int i = 0; i < 3000; ++i) {
    mpz_class next = f0 + f1;
    f0 = f1;
    f1 = next;
    if (i % 50 == 0 && mpz_odd_p(f1.get_mpz_t())) Check(f0, f1);
  }
  for (const std::size_t bits : {5u, 62u, 63u, 64u, 65u, 127u, 128u, 200u, 1024u, 2048u, 4100u}) {
    const mpz_class top = mpz_class(1) << (bits - 1);
    Check(top - 1, top + 1);
    Check((top >> 1) + 1, top + 3);
    Check(3, top + 1);  // a one-limb operand under a long modulus
    Check((mpz_class(1) << bits) - 2, (mpz_class(1) << bits) - 1);  // a = m - 1
    for (int i = 0; i < 20; ++i) {
      mpz_class m = random.Bits(bits) | top | 1;
      // Same top 40 bits as m, different below.
      const mpz_class y = ((m >> (bits > 40 ? bits - 40 : 0)) << (bits > 40 ? bits - 40 : 0)) |
                          random.Bits(bits > 40 ? bits - 40 : 1);
      Check(y % m, m);
      Check(random.Bits(bits) % m, m);
    }
  }
}

}  // namespace
}  // namespace xkit::test
