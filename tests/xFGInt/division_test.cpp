// Euclidean division: the sign table, the cases that steer the long division through its
// rare paths, GMP as the oracle on random operands in every sign combination, and the
// errors for a zero divisor and for one record given as quotient and remainder.
#include "tests/xFGInt/support.h"

namespace xkit::test {
namespace {

// The record's quotient rule: for a flagged Positive, |a| div |b| with b's flag; for a
// flagged Negative, the Euclidean quotient's magnitude, flagged against b's flag.
void ExpectDivMod(const mpz_class& am, TBigSign as, const mpz_class& bm, TBigSign bs) {
  mpz_class q0 = am / bm;
  mpz_class r0 = am % bm;
  TBigSign qs = bs;
  if (as == kNeg) {
    if (r0 != 0) {
      q0 += 1;
      r0 = bm - r0;
    }
    qs = bs == kPos ? kNeg : kPos;
  }
  TFGInt q, r;
  BigDivMod(Record(am, as), Record(bm, bs), q, r);
  ASSERT_TRUE(Holds(q, q0, qs)) << Signed(am, as) << " / " << Signed(bm, bs);
  ASSERT_TRUE(Holds(r, r0, kPos)) << Signed(am, as) << " / " << Signed(bm, bs);
  // Whatever the flags of zero, a = q b + r with 0 <= r < |b|.
  ASSERT_EQ(Signed(q0, qs) * Signed(bm, bs) + r0, Signed(am, as));
  TFGInt m;
  BigMod(Record(am, as), Record(bm, bs), m);
  ASSERT_TRUE(Holds(m, r0, kPos));
}

TEST(Division, SignTable) {
  struct Case {
    const char *a, *b, *q, *r;
  };
  const Case cases[] = {
      {"7", "2", "3", "1"},   {"-7", "2", "-4", "1"}, {"7", "-2", "-3", "1"},
      {"-7", "-2", "4", "1"}, {"-6", "2", "-3", "0"}, {"-6", "-2", "3", "0"},
      {"3", "5", "0", "3"},   {"-3", "5", "-1", "2"}, {"-3", "-5", "1", "2"},
      {"3", "-5", "-0", "3"},  // the zero quotient copies b's flag
      {"-0", "5", "-0", "0"}, {"-0", "-5", "0", "0"}, {"9", "9", "1", "0"},
      {"9", "-9", "-1", "0"},
  };
  for (const Case& c : cases) {
    TFGInt q, r;
    BigDivMod(Record(c.a), Record(c.b), q, r);
    const TFGInt eq = Record(c.q);
    EXPECT_TRUE(Holds(q, Magnitude(eq), eq.Sign)) << c.a << " / " << c.b;
    EXPECT_TRUE(Holds(r, Magnitude(Record(c.r)), kPos)) << c.a << " / " << c.b;
  }
}

TEST(Division, LongDivisionPaths) {
  const mpz_class base = mpz_class(1) << 31;
  const mpz_class cases[][2] = {
      {(mpz_class(1) << 62) + 1, base},   // a zero low quotient digit
      {mpz_class(1) << 93, 3},            // two-digit estimates
      {(mpz_class(1) << 400) - 1, base},  // divisor top digit 1
      {(mpz_class(1) << 400) - 12345, base * 2 - 1},
      {(mpz_class(1) << 620) - 1, (base - 1) * (mpz_class(1) << 31 * 5) + 17},  // top 2^31 - 1
      {(mpz_class(1) << 620) - 1, (mpz_class(1) << 310) - 1},
      {(mpz_class(1) << 128), (mpz_class(1) << 64) - 1},
  };
  for (const auto& c : cases) {
    for (const TBigSign as : {kPos, kNeg}) {
      for (const TBigSign bs : {kPos, kNeg}) {
        ExpectDivMod(c[0], as, c[1], bs);
      }
    }
  }
}

class DivisionPaths : public EachKernelPath {};

TEST_P(DivisionPaths, RandomOperandsMatchGmp) {
  RandomValues random(47);
  for (int i = 0; i < 3000; ++i) {
    mpz_class am = random.Magnitude(200);
    mpz_class bm = random.Magnitude(random.Below(3) == 0 ? 200 : 60);
    if (bm == 0) bm = 1 + random.Below(3);
    if (random.Below(10) == 0) am = bm * random.Magnitude(5);  // exact multiples
    if (random.Below(20) == 0) am = bm;
    ExpectDivMod(am, random.Sign(), bm, random.Sign());
  }
}

XKIT_INSTANTIATE_KERNEL_PATHS(DivisionPaths);

TEST(Division, ModularSumAndProductAreNeverNegative) {
  RandomValues random(53);
  for (int i = 0; i < 500; ++i) {
    const TBigSign as = random.Sign(), bs = random.Sign(), ms = random.Sign();
    const mpz_class am = random.Magnitude(40), bm = random.Magnitude(40);
    mpz_class mm = random.Magnitude(30);
    if (mm == 0) mm = 7;
    mpz_class sum = Signed(am, as) + Signed(bm, bs);
    mpz_class product = Signed(am, as) * Signed(bm, bs);
    mpz_fdiv_r(sum.get_mpz_t(), sum.get_mpz_t(), mm.get_mpz_t());
    mpz_fdiv_r(product.get_mpz_t(), product.get_mpz_t(), mm.get_mpz_t());
    TFGInt r;
    BigAddMod(Record(am, as), Record(bm, bs), Record(mm, ms), r);
    ASSERT_TRUE(Holds(r, sum, kPos));
    BigMulMod(Record(am, as), Record(bm, bs), Record(mm, ms), r);
    ASSERT_TRUE(Holds(r, product, kPos));
  }
}

TEST(Division, LongOperands) {
  RandomValues random(59);
  for (const std::size_t bits : {4096u, 65536u}) {
    const mpz_class a = random.Bits(bits);
    const mpz_class b = random.Bits(bits / 2) | 1;
    ExpectDivMod(a, kNeg, b, kPos);
  }
}

TEST(Division, ZeroDivisorRaisesAndLeavesResultsAlone) {
  TFGInt q = Record("11"), r = Record("22");
  EXPECT_THROW(BigDivMod(Record("5"), Record("-0"), q, r), EDivByZero);
  EXPECT_THROW(BigMod(Record("5"), Record("0"), r), EDivByZero);
  EXPECT_THROW(BigAddMod(Record("5"), Record("1"), Record("0"), r), EDivByZero);
  EXPECT_THROW(BigMulMod(Record("5"), Record("1"), Record("0"), r), EDivByZero);
  EXPECT_TRUE(Holds(q, 11, kPos));
  EXPECT_TRUE(Holds(r, 22, kPos));
  try {
    BigMod(Record("5"), Record("0"), r);
  } catch (const EDivByZero& error) {
    EXPECT_STREQ(error.what(), "Division by zero");
  }
}

TEST(Division, QuotientAndRemainderMustBeTwoRecords) {
  TFGInt x = Record("100");
  EXPECT_THROW(BigDivMod(Record("7"), Record("2"), x, x), Exception);
  EXPECT_TRUE(Holds(x, 100, kPos));
}

TEST(Division, BothResultsInTheOperandRecords) {
  TFGInt a = Record("-7"), b = Record("2");
  BigDivMod(a, b, b, a);  // q into b, r into a
  EXPECT_TRUE(Holds(b, 4, kNeg));
  EXPECT_TRUE(Holds(a, 1, kPos));
  TFGInt c = Record("-7"), d = Record("2");
  BigDivMod(c, d, c, d);
  EXPECT_TRUE(Holds(c, 4, kNeg));
  EXPECT_TRUE(Holds(d, 1, kPos));
}

}  // namespace
}  // namespace xkit::test
