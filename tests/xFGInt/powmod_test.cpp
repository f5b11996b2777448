// Modular exponentiation: the special results (zero bases, exponent 0, modulus 1, zero
// modulus), moduli of every awkward shape, GMP as the oracle on random operands with odd and
// even moduli on both kernel paths, and results shared with operands.
#include "tests/xFGInt/support.h"

namespace xkit::test {
namespace {

// base^|e| mod |m| as GMP computes it.
mpz_class Expected(const mpz_class& base, const mpz_class& e, const mpz_class& m) {
  mpz_class r;
  const mpz_class modulus = abs(m);
  mpz_powm(r.get_mpz_t(), base.get_mpz_t(), mpz_class(abs(e)).get_mpz_t(), modulus.get_mpz_t());
  // GMP gives 1 for 0^0; this operation gives 0 whenever the base is 0 modulo m.
  if (mpz_class(base % modulus) == 0) r = 0;
  return r;
}

class PowMod : public EachKernelPath {};

TEST_P(PowMod, RandomOperandsMatchGmp) {
  RandomValues random(5);
  for (int i = 0; i < 600; ++i) {
    mpz_class m = random.Magnitude(70);
    if (m == 0) m = 7;
    if (i % 3 != 0) m |= 1;  // two odd moduli for every possibly even one
    const mpz_class base = i % 5 == 0 ? random.Magnitude(150) : random.Magnitude(70);
    const mpz_class e = i % 7 == 0 ? mpz_class(random.Below(3)) : random.Magnitude(i % 2 ? 4 : 40);
    const TBigSign bs = random.Sign();
    const TBigSign es = random.Sign();
    const TBigSign ms = random.Sign();
    TFGInt r;
    BigPowMod(Record(base, bs), Record(e, es), Record(m, ms), r);
    const mpz_class signedBase = bs == kNeg ? mpz_class(-base) : base;
    ASSERT_TRUE(Holds(r, Expected(signedBase, e, m), kPos))
        << signedBase << " ^ " << e << " mod " << m;
  }
}

TEST_P(PowMod, EveryExponentLengthAndWindowWidth) {
  // Exponents of every length up to a few windows of each width, and RSA-sized ones.
  RandomValues random(6);
  const mpz_class m = (mpz_class(1) << 1024) - 105;  // odd, 1024 bits
  const mpz_class base = random.Bits(1100);
  for (std::size_t bits = 0; bits <= 200; ++bits) {
    const mpz_class e = bits == 0 ? mpz_class(0) : (mpz_class(1) << (bits - 1)) | random.Bits(bits);
    TFGInt r;
    BigPowMod(Record(base), Record(e), Record(m), r);
    ASSERT_TRUE(Holds(r, Expected(base, e, m), kPos)) << bits << " bits";
  }
  for (const std::size_t bits : {512u, 1024u, 2048u}) {
    const mpz_class e = random.Bits(bits) | (mpz_class(1) << (bits - 1));
    TFGInt r;
    BigPowMod(Record(base), Record(e), Record(m), r);
    ASSERT_TRUE(Holds(r, Expected(base, e, m), kPos)) << bits << " bits";
  }
}

TEST_P(PowMod, ModuliLongerThanTheVectorPathTakes) {
  // Above 6,654 bits the IFMA path hands over to the limb path; both sides of the line.
  RandomValues random(10);
  for (const std::size_t bits : {6600u, 6654u, 6655u, 7000u}) {
    const mpz_class m = random.Bits(bits) | (mpz_class(1) << (bits - 1)) | 1;
    const mpz_class base = random.Bits(bits + 3);
    const mpz_class e = random.Bits(70);
    TFGInt r;
    BigPowMod(Record(base), Record(e), Record(m), r);
    ASSERT_TRUE(Holds(r, Expected(base, e, m), kPos)) << bits << " bits";
  }
}

XKIT_INSTANTIATE_KERNEL_PATHS(PowMod);

TEST(PowModCases, SpecialResults) {
  const mpz_class base31 = mpz_class(1) << 31;
  const mpz_class three40 = [] {
    mpz_class t;
    mpz_ui_pow_ui(t.get_mpz_t(), 3, 40);
    return t;
  }();
  const mpz_class three20 = [] {
    mpz_class t;
    mpz_ui_pow_ui(t.get_mpz_t(), 3, 20);
    return t;
  }();
  struct Case {
    mpz_class base, e, m, r;
  };
  const Case cases[] = {
      {0, 0, 7, 0},  // a zero base gives 0, even to the power 0
      {0, 5, 7, 0},
      {7, 0, 7, 0},  // so does a base equal to the modulus
      {14, 3, 7, 0},
      {0, 0, 8, 0},  // and modulo an even number
      {16, 0, 8, 0},
      {3, 0, 7, 1},  // exponent 0: 1
      {3, 0, 8, 1},
      {10, 1, 7, 3},   // exponent 1: the residue
      {-10, 1, 7, 4},  // a negative base acts as its residue
      {-2, 3, 7, 6},
      {3, -2, 7, 2},  // a negative exponent as its magnitude
      {5, 3, 1, 0},   // modulus 1: always 0
      {0, 0, 1, 0},
      {5, 3, -7, 6},  // a negative modulus as its magnitude
      {2, 10, 3, 1},  // single-digit moduli
      {base31 - 2, 5, base31 - 1, base31 - 2},
      {three20, 2, three40, 0},  // the base shares every prime factor of the modulus
      {three20, 3, three40, 0},
      {three20, 1, three40, three20},
      {15, 2, 45, 0},
      {15, 3, 45, 0},
      {3, 1000, 1 << 20, Expected(3, 1000, 1 << 20)},  // a power of two
      {12345, 6789, (base31 << 31) | (1 << 30),
       Expected(12345, 6789, (base31 << 31) | (1 << 30))},  // even, bit length 62
  };
  for (const Case& c : cases) {
    TFGInt r = Record(mpz_class(1) << 300, kNeg);  // an old value leaves no trace
    BigPowMod(Record(c.base, c.base < 0 ? kNeg : kPos), Record(c.e, c.e < 0 ? kNeg : kPos),
              Record(c.m, c.m < 0 ? kNeg : kPos), r);
    EXPECT_TRUE(Holds(r, c.r, kPos)) << c.base << " ^ " << c.e << " mod " << c.m;
  }
}

TEST(PowModCases, ModuliWhoseLengthIsAWholeNumberOfDigits) {
  // Top digit with bit 30 set: a bit length that is a multiple of 31 (and of 62 and 124,
  // so whole limbs too).
  RandomValues random(7);
  for (const std::size_t digits : {1u, 2u, 3u, 4u, 33u}) {
    const mpz_class m = (mpz_class(1) << (31 * digits)) - 1 - 2 * random.Bits(20);
    const mpz_class base = random.Bits(31 * digits + 5);
    const mpz_class e = random.Bits(300);
    TFGInt r;
    BigPowMod(Record(base), Record(e), Record(m), r);
    EXPECT_TRUE(Holds(r, Expected(base, e, m), kPos)) << digits;
  }
}

TEST(PowModCases, ZeroModulusRaises) {
  TFGInt r = Record("42");
  EXPECT_THROW(BigPowMod(Record("3"), Record("5"), Record("0"), r), EDivByZero);
  EXPECT_THROW(BigPowMod(Record("3"), Record("5"), Record("-0"), r), EDivByZero);
  EXPECT_TRUE(Holds(r, 42, kPos));
  EXPECT_THROW(BigPowMod(TFGInt{}, Record("5"), Record("7"), r), Exception);
}

TEST(PowModCases, ResultMayBeAnOperand) {
  const mpz_class base = mpz_class("123456789012345678901234567890");
  const mpz_class e = 65537;
  const mpz_class m = mpz_class("1000000000000000000000000000057");
  const mpz_class expected = Expected(base, e, m);
  TFGInt x = Record(base), y = Record(e), z = Record(m);
  BigPowMod(x, y, z, x);
  EXPECT_TRUE(Holds(x, expected, kPos));
  x = Record(base);
  BigPowMod(x, y, z, y);
  EXPECT_TRUE(Holds(y, expected, kPos));
  y = Record(e);
  BigPowMod(x, y, z, z);
  EXPECT_TRUE(Holds(z, expected, kPos));
  TFGInt w = Record(m - 2);  // (m - 2)^(m - 2) mod (m - 2) = 0
  BigPowMod(w, w, w, w);
  EXPECT_TRUE(Holds(w, 0, kPos));
}

}  // namespace
}  // namespace xkit::test
