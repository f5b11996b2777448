// Montgomery arithmetic: the record helpers against their definitions (truncation and
// truncated product modulo R = 2^(31 (k - 1) + L), one reduction T R^-1 mod N), and the
// limb engine under BigPowMod (multiplication, conversions, power) against GMP on both
// kernel paths.
#include "tests/xFGInt/support.h"
#include "xFGInt/modexp.h"

namespace xkit::test {
namespace {

// The radix of a modulus as the helpers see it: k digits, mask 2^L - 1, R = 2^(31(k-1)+L).
struct Radix {
  std::uint32_t k, mask;
  mpz_class R;
};

Radix RadixOf(const mpz_class& m) {
  const std::size_t bits = mpz_sizeinbase(m.get_mpz_t(), 2);
  const std::uint32_t k = static_cast<std::uint32_t>((bits + 30) / 31);
  const std::uint32_t L = static_cast<std::uint32_t>(bits - 31 * (k - 1));
  return {k, static_cast<std::uint32_t>((std::uint64_t{1} << L) - 1), mpz_class(1) << bits};
}

TEST(MontgomeryHelpers, TruncateDigitsIsTheResidueModR) {
  RandomValues random(3);
  for (int i = 0; i < 500; ++i) {
    const mpz_class m = random.Magnitude(20) | 1;
    const Radix radix = RadixOf(m);
    const mpz_class a = random.Magnitude(25);
    const TBigSign sign = random.Sign();
    TFGInt r;
    BigTruncateDigits(Record(a, sign), r, radix.k, radix.mask);
    // Fewer than k digits: a copy, flag included; otherwise the residue, flagged Positive.
    const bool shorter = Record(a).Digits[0] < radix.k;
    ASSERT_TRUE(Holds(r, a % radix.R, shorter ? sign : kPos)) << a << " mod " << radix.R;
  }
  TFGInt a = Record("-123456789012345678901234567890");
  BigTruncateDigits(a, a, 2, 0xFF);  // digits 1 and 2, the second masked to 8 bits
  EXPECT_TRUE(Holds(
      a, Magnitude(Record("123456789012345678901234567890")) % (mpz_class(1) << (31 + 8)), kPos));
  BigTruncateDigits(Record("-5"), a, 0, 0x7FFFFFFF);  // R = 1
  EXPECT_TRUE(Holds(a, 0, kPos));
}

TEST(MontgomeryHelpers, MulTruncatedIsTheProductModR) {
  RandomValues random(4);
  for (int i = 0; i < 500; ++i) {
    const mpz_class m = random.Magnitude(20) | 1;
    const Radix radix = RadixOf(m);
    const mpz_class a = random.Magnitude(i % 4 ? 20 : 30);  // sometimes above R
    const mpz_class b = random.Magnitude(20);
    const TBigSign as = random.Sign(), bs = random.Sign();
    TFGInt c = Record(mpz_class(1) << 900);
    BigMulTruncated(Record(a, as), Record(b, bs), c, radix.k, radix.mask);
    ASSERT_TRUE(Holds(c, (a * b) % radix.R, as == bs ? kPos : kNeg)) << a << " * " << b;
  }
  TFGInt a = Record("-3");
  BigMulTruncated(a, a, a, 1, 0x7FFFFFFF);
  EXPECT_TRUE(Holds(a, 9, kPos));
}

TEST(MontgomeryHelpers, ReduceIsTRInverseModN) {
  RandomValues random(8);
  for (int i = 0; i < 400; ++i) {
    // Moduli of 1 to 20 digits, some with a whole number of digits (L = 31).
    mpz_class n = random.Magnitude(20) | 1;
    if (i % 5 == 0) n = (mpz_class(1) << (31 * (1 + random.Below(20)))) - 1 - 2 * random.Bits(9);
    if (n == 1) n = 3;
    const Radix radix = RadixOf(n);
    mpz_class inverse;
    mpz_invert(inverse.get_mpz_t(), n.get_mpz_t(), radix.R.get_mpz_t());
    const mpz_class nPrime = radix.R - inverse;
    const mpz_class t = i % 7 == 0 ? mpz_class(0) : mpz_class(random.Bits(40 * 31) % (n * radix.R));
    TFGInt r;
    BigMontgomeryReduce(Record(t), Record(n), Record(nPrime), r, radix.k, radix.mask);
    mpz_class rInverse;
    mpz_invert(rInverse.get_mpz_t(), radix.R.get_mpz_t(), n.get_mpz_t());
    ASSERT_TRUE(Holds(r, (t * rInverse) % n, kPos)) << t << " mod " << n;
  }
  // The result may be any operand: 50 R^-1 mod 7 with R = 8 (k = 1, L = 3) is 50 mod 7.
  TFGInt t = Record("50"), n = Record("7"), nPrime = Record("1");  // -7^-1 mod 8 = 1
  BigMontgomeryReduce(t, n, nPrime, t, 1, 7);
  EXPECT_TRUE(Holds(t, 1, kPos));
  BigMontgomeryReduce(Record("50"), n, nPrime, n, 1, 7);
  EXPECT_TRUE(Holds(n, 1, kPos));
  TFGInt r;
  EXPECT_THROW(BigMontgomeryReduce(Record("1"), Record("3"), Record("1"), r, 0, 1), Exception);
}

// The limb engine.
using detail::Limb;
using Limbs = std::vector<Limb>;

class MontgomeryEngine : public EachKernelPath {};

TEST_P(MontgomeryEngine, ProductsConversionsAndPowersMatchGmp) {
  RandomValues random(9);
  for (const std::size_t n : {1u, 2u, 3u, 4u, 5u, 8u, 16u, 17u, 32u, 33u, 64u}) {
    for (int round = 0; round < 6; ++round) {
      // Full-size moduli, and moduli whose top limb is small or all ones.
      mpz_class m = random.Bits(64 * n) | 1;
      if (round == 1) m = (mpz_class(1) << (64 * n)) - 1 - 2 * random.Bits(30);
      if (round == 2) m = (mpz_class(1) << (64 * (n - 1))) + (random.Bits(64 * n - 64) | 1);
      if (m < 3) m = 3;
      const mpz_class R = mpz_class(1) << (64 * n);
      detail::MontgomeryDomain domain(LimbsOf(m, n).data(), n);
      const mpz_class a = random.Bits(64 * n) % m, b = random.Bits(64 * n) % m;
      Limbs la = LimbsOf(a, n), lb = LimbsOf(b, n), r(n);
      mpz_class rInverse;
      mpz_invert(rInverse.get_mpz_t(), R.get_mpz_t(), m.get_mpz_t());
      domain.Mul(r.data(), la.data(), lb.data());
      ASSERT_EQ(ValueOf(r), a * b * rInverse % m) << n;
      domain.Sqr(la.data(), la.data());  // in place
      ASSERT_EQ(ValueOf(la), a * a * rInverse % m) << n;
      domain.Add(lb.data(), lb.data(), lb.data());
      ASSERT_EQ(ValueOf(lb), 2 * b % m) << n;
      // A value of three moduli's length, to Montgomery form and back.
      const mpz_class x = random.Bits(64 * (3 * n - round % 2));
      const Limbs lx = LimbsOf(x, 3 * n);
      domain.ToMontgomery(r.data(), lx.data(), 3 * n - round % 2);
      ASSERT_EQ(ValueOf(r), x * R % m) << n;
      domain.FromMontgomery(r.data(), r.data());
      ASSERT_EQ(ValueOf(r), x % m) << n;
      // Powers with exponents of several lengths.
      for (const std::size_t bits : {1u, 2u, 17u, 64u, 65u, 64u * static_cast<unsigned>(n)}) {
        const mpz_class e = random.Bits(bits) | (mpz_class(1) << (bits - 1));
        const Limbs le = LimbsOf(e, (bits + 63) / 64);
        domain.Pow(r.data(), lx.data(), lx.size(), le.data(), le.size());
        mpz_class expected;
        mpz_powm(expected.get_mpz_t(), x.get_mpz_t(), e.get_mpz_t(), m.get_mpz_t());
        ASSERT_EQ(ValueOf(r), expected) << n << " limbs, " << bits << " bits";
      }
    }
  }
}

XKIT_INSTANTIATE_KERNEL_PATHS(MontgomeryEngine);

}  // namespace
}  // namespace xkit::test
