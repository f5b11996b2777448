// Division by reciprocals against GMP: the reciprocal's error bound, divisions on both sides
// of the size from which they are used, by divisors that steer the estimates to their edges,
// prepared divisors, and record divisions into their operands' records.
#include <vector>

#include "tests/xFGInt/support.h"
#include "xFGInt/limbs_paths.h"

namespace xkit::test {
namespace {

using detail::Limb;
using Limbs = std::vector<Limb>;

// Normalised divisors of n limbs (top bit set) of the kinds that steer the estimates.
mpz_class Divisor(std::size_t n, int kind, RandomValues& random) {
  const mpz_class top = mpz_class(1) << (64 * n - 1);
  switch (kind) {
    case 0:
      return random.Bits(64 * n) | top;
    case 1:
      return (mpz_class(1) << (64 * n)) - 1;  // all ones: the largest estimate
    case 2:
      return top;  // a power of two: the reciprocal's edge B^n
    default:
      return top + random.Bits(64);  // a top limb of 2^63 and a nearly empty rest
  }
}

TEST(NewtonDivision, InverseIsWithinEightUnits) {
  RandomValues random(41);
  for (const std::size_t n : {2, 32, 33, 40, 301, 1000, 2500}) {
    for (int kind = 0; kind < 4; ++kind) {
      const mpz_class d = Divisor(n, kind, random);
      const Limbs dl = LimbsOf(d, n);
      Limbs v(n);
      Limbs scratch(detail::InverseScratchSize(n));
      detail::Inverse(v.data(), dl.data(), n, scratch.data());
      const mpz_class exact = ((mpz_class(1) << (128 * n)) - 1) / d - (mpz_class(1) << (64 * n));
      const mpz_class error = abs(exact - ValueOf(v));
      ASSERT_LE(error, 8) << n << " limbs, kind " << kind;
    }
  }
}

TEST(NewtonDivision, DivRemMatchesGmpOnBothSidesOfTheThreshold) {
  RandomValues random(43);
  const std::size_t from = detail::kNewtonDivisionThreshold;
  struct Shape {
    std::size_t dn;
    std::size_t qn;
  };
  const Shape shapes[] = {{from - 1, from},     {from, from - 1}, {from, from},
                          {from, 3 * from + 7}, {from + 5, from}, {2 * from, from + 1}};
  for (const Shape& s : shapes) {
    for (int kind = 0; kind < 4; ++kind) {
      // Unnormalised divisors too: shifted down by a few bits.
      const mpz_class d = Divisor(s.dn, kind, random) >> (kind == 0 ? 0 : 7 * kind);
      const std::size_t an = s.dn + s.qn - 1;
      const mpz_class a =
          kind == 1 ? mpz_class((mpz_class(1) << (64 * an)) - 1) : mpz_class(random.Bits(64 * an));
      const Limbs al = LimbsOf(a, an);
      const Limbs dl = LimbsOf(d, s.dn);
      const std::size_t dn = detail::NormalizedSize(dl.data(), s.dn);
      Limbs q(an - dn + 1);
      Limbs r(dn);
      Limbs scratch(detail::DivRemScratchSize(an, dn));
      detail::DivRem(q.data(), r.data(), al.data(), an, dl.data(), dn, scratch.data());
      ASSERT_EQ(ValueOf(q), a / d) << s.dn << " / " << s.qn << " kind " << kind;
      ASSERT_EQ(ValueOf(r), a % d) << s.dn << " / " << s.qn << " kind " << kind;
    }
  }
}

// A dividend one below a multiple of the divisor, and the multiple itself: the estimate's
// corrections in both directions end at the right quotient.
TEST(NewtonDivision, RemaindersAtTheirEdges) {
  RandomValues random(47);
  const std::size_t dn = detail::kNewtonDivisionThreshold + 3;
  const mpz_class d = Divisor(dn, 0, random);
  const mpz_class q = random.Bits(64 * dn - 1);
  for (const mpz_class& a : {mpz_class(q * d), mpz_class(q * d - 1), mpz_class(q * d + d - 1)}) {
    TFGInt quotient, remainder;
    BigDivMod(Record(a), Record(d), quotient, remainder);
    ASSERT_TRUE(Holds(quotient, a / d, kPos));
    ASSERT_TRUE(Holds(remainder, a % d, kPos));
  }
}

TEST(NewtonDivision, PreparedDivisorsWithAndWithoutTheirInverse) {
  RandomValues random(53);
  for (const std::size_t n : {detail::kPreparedInverseThreshold - 1,
                              detail::kPreparedInverseThreshold, std::size_t{900}}) {
    const mpz_class d = Divisor(n, 0, random) >> 13;  // a shift of 13 bits
    const Limbs dl = LimbsOf(d, n);
    Limbs normalised(n);
    detail::LShift(normalised.data(), dl.data(), n, 13);
    Limbs inverse(n);
    Limbs scratch(detail::InverseScratchSize(n));
    detail::Inverse(inverse.data(), normalised.data(), n, scratch.data());
    const std::size_t an = 2 * n + 1;
    const mpz_class a = random.Bits(64 * an);
    const Limbs al = LimbsOf(a, an);
    for (const bool withInverse : {false, true}) {
      const detail::PreparedDivisor divisor{normalised.data(), n, 13,
                                            withInverse ? inverse.data() : nullptr, n};
      Limbs q(an - n + 1);
      Limbs r(n);
      Limbs work(detail::DivRemPreparedScratchSize(an, n));
      detail::DivRemPrepared(q.data(), r.data(), al.data(), an, divisor, work.data());
      ASSERT_EQ(ValueOf(q), a / d) << n << (withInverse ? " with" : " without") << " inverse";
      ASSERT_EQ(ValueOf(r), a % d) << n;
    }
  }
}

TEST(NewtonDivision, RecordsDividedIntoTheirOperands) {
  RandomValues random(59);
  const std::size_t bits = 64 * (detail::kNewtonDivisionThreshold + 100);
  const mpz_class am = random.Bits(2 * bits);
  const mpz_class bm = random.Bits(bits) | (mpz_class(1) << (bits - 1));
  TFGInt a = Record(am, kNeg);
  TFGInt b = Record(bm);
  BigDivMod(a, b, a, b);  // -am = q bm + r, 0 <= r < bm
  const mpz_class r = bm - am % bm;
  ASSERT_TRUE(Holds(a, am / bm + 1, kNeg));
  ASSERT_TRUE(Holds(b, r, kPos));
  a = Record(am, kNeg);
  b = Record(bm);
  BigMod(a, b, a);
  ASSERT_TRUE(Holds(a, r, kPos));
}

// The largest sizes, run by scripts/test-large.sh rather than by ctest.
TEST(NewtonDivision, DISABLED_LargeDivisions) {
  RandomValues random(61);
  struct Shape {
    std::size_t aBits;
    std::size_t bBits;
  };
  for (const Shape& s : {Shape{std::size_t{1} << 24, std::size_t{1} << 23},
                         Shape{std::size_t{1} << 25, std::size_t{1} << 20},
                         Shape{std::size_t{1} << 24, (std::size_t{1} << 24) - 4000}}) {
    const mpz_class am = random.Bits(s.aBits);
    const mpz_class bm = random.Bits(s.bBits) | (mpz_class(1) << (s.bBits - 1));
    TFGInt q, r;
    BigDivMod(Record(am), Record(bm), q, r);
    ASSERT_TRUE(Holds(q, am / bm, kPos)) << s.aBits << " / " << s.bBits;
    ASSERT_TRUE(Holds(r, am % bm, kPos)) << s.aBits << " / " << s.bBits;
  }
}

}  // namespace
}  // namespace xkit::test
