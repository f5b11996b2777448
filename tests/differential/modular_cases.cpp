// Cases of exponentiation, gcd and inverse, and the Montgomery helpers.
#include <algorithm>

#include "tests/differential/cases.h"

namespace xkit::diff {

namespace {

// Moduli of exponentiations reach past the radix-2^52 path's longest (6,654 bits).
constexpr std::size_t kMaxModulusBits = 8192;
// Gcds and inverses cost a square of the size.
constexpr std::size_t kMaxGcdBits = std::size_t{1} << 15;

mpz_class Residue(const mpz_class& x, const mpz_class& m) {
  mpz_class r;
  mpz_fdiv_r(r.get_mpz_t(), x.get_mpz_t(), m.get_mpz_t());
  return r;
}

// A non-zero modulus; odd three times in four.
mpz_class Modulus(Random& random, std::size_t maxBits) {
  mpz_class m = Operand(random, maxBits);
  if (random.OneIn(4)) return m == 0 ? mpz_class(2) : m;
  return m | 1;
}

void PowMod(Random& random, Report& report) {
  const mpz_class m = Modulus(random, kMaxModulusBits);
  const std::size_t mBits = mpz_sizeinbase(m.get_mpz_t(), 2);
  // An exponent costs a square of the modulus's size per bit: long exponents under long
  // moduli (which the widest windows need) only now and then.
  const std::size_t limbs = mBits / 64 + 1;
  std::size_t eBits =
      std::clamp<std::size_t>((std::size_t{1} << 19) / (limbs * limbs), 64, 2 * mBits + 64);
  if (random.OneIn(100)) eBits = 2 * mBits + 64;
  const mpz_class e = random.OneIn(2) ? Operand(random, 64) : Operand(random, eBits);
  // Shared records make the exponent as long as the base: only under short moduli.
  AliasedCall call(
      random, {Signed(random, Operand(random, 2 * mBits)), Signed(random, e), Signed(random, m)}, 1,
      mBits <= 1024 ? AliasedCall::Inputs::kMayShare : AliasedCall::Inputs::kOwnRecords);
  const mpz_class modulus = Magnitude(call.Input(2));
  const auto run = [&] { BigPowMod(call.Arg(0), call.Arg(1), call.Arg(2), call.Arg(3)); };
  if (modulus == 0) {
    try {
      run();
      report.Fail("BigPowMod: a zero modulus did not raise EDivByZero");
    } catch (const EDivByZero&) {
    }
    return;
  }
  const mpz_class base = Residue(Value(call.Input(0)), modulus);
  mpz_class expected = 0;
  if (modulus != 1 && base != 0) {
    const mpz_class exponent = Magnitude(call.Input(1));
    mpz_powm(expected.get_mpz_t(), base.get_mpz_t(), exponent.get_mpz_t(), modulus.get_mpz_t());
  }
  run();
  report.Check("BigPowMod", Mismatch(call.Out(0), expected, kPos), call, 3);
  report.Check("operands", call.ChangedInputs(), call, 3);
}

struct SignedValue {
  mpz_class magnitude;
  TBigSign sign;
};

// The Euclidean recursion that defines the gcd's flag: copies keep their source's flag,
// remainders are flagged Positive.
SignedValue EuclidGcd(SignedValue a, SignedValue b) {
  if (a.magnitude == b.magnitude) return a;
  if (a.magnitude < b.magnitude) std::swap(a, b);
  while (b.magnitude != 0) {
    SignedValue t{a.magnitude % b.magnitude, kPos};
    a = b;
    b = t;
  }
  return a;
}

void Gcd(Random& random, Report& report) {
  // A common factor, one operand a multiple of the other, or equal magnitudes now and then.
  const mpz_class common = random.OneIn(2) ? mpz_class(1) : Operand(random, kMaxGcdBits / 2);
  mpz_class a = Operand(random, kMaxGcdBits / 2) * common;
  mpz_class b = Operand(random, kMaxGcdBits / 2) * common;
  if (random.OneIn(8)) b = a * Operand(random, 64);
  if (random.OneIn(16)) b = a;
  AliasedCall call(random, {Signed(random, a), Signed(random, b)}, 1);
  const SignedValue expected = EuclidGcd({Magnitude(call.Input(0)), call.Input(0).Sign},
                                         {Magnitude(call.Input(1)), call.Input(1).Sign});
  BigGcd(call.Arg(0), call.Arg(1), call.Arg(2));
  report.Check("BigGcd", Mismatch(call.Out(0), expected.magnitude, expected.sign), call, 2);
  report.Check("operands", call.ChangedInputs(), call, 2);
}

void InvMod(Random& random, Report& report) {
  mpz_class m = Modulus(random, kMaxGcdBits);
  if (random.OneIn(8)) m <<= random.Below(300);  // a long power of two in an even modulus
  const std::size_t mBits = mpz_sizeinbase(m.get_mpz_t(), 2);
  AliasedCall call(random, {Signed(random, Operand(random, 2 * mBits)), Signed(random, m)}, 1);
  const mpz_class modulus = Magnitude(call.Input(1));
  const auto run = [&] { BigInvMod(call.Arg(0), call.Arg(1), call.Arg(2)); };
  if (modulus == 0) {
    try {
      run();
      report.Fail("BigInvMod: a zero modulus did not raise EDivByZero");
    } catch (const EDivByZero&) {
    }
    return;
  }
  mpz_class inverse = 0;
  const mpz_class a = Residue(Value(call.Input(0)), modulus);
  const bool exists =
      modulus == 1 || mpz_invert(inverse.get_mpz_t(), a.get_mpz_t(), modulus.get_mpz_t()) != 0;
  run();
  if (exists) {
    report.Check("BigInvMod", Mismatch(call.Out(0), inverse, kPos), call, 2);
  } else if (call.Out(0).Digits != call.OutBefore(0).Digits ||
             call.Out(0).Sign != call.OutBefore(0).Sign) {
    report.Check("BigInvMod", "no inverse, yet the result changed", call, 2);
  }
  report.Check("operands", call.ChangedInputs(), call, 2);
}

// The digits 1..k of x with digit k ANDed with mask.
mpz_class LowDigits(const mpz_class& x, std::size_t k, std::uint32_t mask) {
  const std::size_t below = 31 * (k - 1);
  const mpz_class low = x & ((mpz_class(1) << below) - 1);
  const mpz_class top = (x >> below) & 0x7FFFFFFF & mask;
  return low | (top << below);
}

std::size_t DigitCount(const mpz_class& x) {
  return x == 0 ? 1 : (mpz_sizeinbase(x.get_mpz_t(), 2) + 30) / 31;
}

void MontgomeryHelpers(Random& random, Report& report) {
  const mpz_class n = Operand(random, 4096) | 1;
  const std::size_t k = DigitCount(n);
  const std::size_t topBits = mpz_sizeinbase(n.get_mpz_t(), 2) - 31 * (k - 1);
  const auto mask = static_cast<std::uint32_t>((std::uint64_t{1} << topBits) - 1);
  const mpz_class R = mpz_class(1) << (31 * (k - 1) + topBits);
  mpz_class nPrime;
  mpz_invert(nPrime.get_mpz_t(), n.get_mpz_t(), R.get_mpz_t());
  nPrime = R - nPrime;
  switch (random.Below(3)) {
    case 0: {
      const mpz_class t = Residue(random.Bits(mpz_sizeinbase(n.get_mpz_t(), 2) * 2), n * R);
      AliasedCall call(random, {Record(t), Record(n), Record(nPrime)}, 1,
                       AliasedCall::Inputs::kOwnRecords);
      mpz_class rInverse;
      mpz_invert(rInverse.get_mpz_t(), R.get_mpz_t(), n.get_mpz_t());
      BigMontgomeryReduce(call.Arg(0), call.Arg(1), call.Arg(2), call.Arg(3),
                          static_cast<std::uint32_t>(k), mask);
      report.Check("BigMontgomeryReduce", Mismatch(call.Out(0), (t * rInverse) % n, kPos), call, 3);
      break;
    }
    case 1: {
      const std::size_t at = 1 + random.Below(k + 2);
      AliasedCall call(random, {Signed(random, Operand(random, 4096))}, 1);
      const TFGInt& a = call.Input(0);
      const bool whole = a.Digits[0] < at;
      BigTruncateDigits(call.Arg(0), call.Arg(1), static_cast<std::uint32_t>(at), mask);
      report.Check("BigTruncateDigits",
                   Mismatch(call.Out(0), whole ? Magnitude(a) : LowDigits(Magnitude(a), at, mask),
                            whole ? a.Sign : kPos),
                   call, 1);
      break;
    }
    default: {
      const std::size_t at = 1 + random.Below(k + 2);
      AliasedCall call(
          random, {Signed(random, Operand(random, 4096)), Signed(random, Operand(random, 4096))},
          1);
      const TFGInt& a = call.Input(0);
      const TFGInt& b = call.Input(1);
      const mpz_class product = Magnitude(a) * Magnitude(b);
      const mpz_class expected = DigitCount(product) >= at ? LowDigits(product, at, mask) : product;
      BigMulTruncated(call.Arg(0), call.Arg(1), call.Arg(2), static_cast<std::uint32_t>(at), mask);
      report.Check("BigMulTruncated",
                   Mismatch(call.Out(0), expected, a.Sign == b.Sign ? kPos : kNeg), call, 2);
      break;
    }
  }
}

}  // namespace

std::vector<Operation> ModularOperations() {
  return {{"BigPowMod", 4, PowMod},
          {"BigGcd", 4, Gcd},
          {"BigInvMod", 4, InvMod},
          {"Montgomery helpers", 3, MontgomeryHelpers}};
}

}  // namespace xkit::diff
