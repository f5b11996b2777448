// The arithmetic, division, gcd, inverse, exponentiation and Montgomery helpers of xFGInt,
// differentially against GMP on three signed operands decoded from the input, with xkit's
// rules for the flags of every result (zero results included), results written over their
// own operands as well as into fresh records, on the kernel path the input picks.
#include <string>

#include "fuzz/fuzz_support.h"
#include "xFGInt/limbs.h"

namespace {

using namespace xkit;
using fuzz::Holds;
using fuzz::Record;

constexpr TBigSign kPos = TBigSign::Positive;
constexpr TBigSign kNeg = TBigSign::Negative;

constexpr std::size_t kMaxOperandBytes = 1100;  // past the Karatsuba thresholds, twice
constexpr std::size_t kMaxPowModBits = 8192;    // past the vector engine's modulus limit
constexpr std::size_t kExponentBits = 160;

struct Operand {
  mpz_class value;  // signed; a zero may still carry either flag
  TBigSign sign;
  TFGInt record;
};

// A header byte picks the flag and a shape that reaches the awkward values: the bytes as
// they are, their complement (runs of one bits), shifted by whole digits, or a run of
// all-ones digits minus the bytes.
Operand ReadOperand(fuzz::Input& input) {
  const std::uint8_t header = input.Byte();
  const mpz_class raw = fuzz::FromBytes(input.Counted(kMaxOperandBytes));
  const unsigned digits = header >> 3;
  mpz_class magnitude;
  switch ((header >> 1) & 3) {
    case 0:
      magnitude = raw;
      break;
    case 1:
      magnitude = (mpz_class(1) << (8 * ((mpz_sizeinbase(raw.get_mpz_t(), 256) + 1)))) - 1 - raw;
      break;
    case 2:
      magnitude = raw << (31 * digits);
      break;
    default: {
      const mpz_class ones = (mpz_class(1) << (31 * (digits + 1))) - 1;
      magnitude = ones - raw % (ones + 1);
      break;
    }
  }
  const TBigSign sign = (header & 1) != 0 ? kNeg : kPos;
  return {sign == kNeg ? mpz_class(-magnitude) : magnitude, sign, Record(magnitude, sign)};
}

// Whether the call raises an exception of type E.
template <typename E, typename Call>
bool Raises(Call&& call) {
  try {
    call();
  } catch (const E&) {
    return true;
  }
  return false;
}

TBigSign Flip(TBigSign sign) {
  return sign == kNeg ? kPos : kNeg;
}

mpz_class Abs(const mpz_class& x) {
  return abs(x);
}

int CompareAbs(const mpz_class& x, const mpz_class& y) {
  return mpz_cmpabs(x.get_mpz_t(), y.get_mpz_t());
}

// The flag of a + b, a carrying aSign and b carrying bSign: the common flag, else the flag
// of the larger magnitude, else a's.
TBigSign SumSign(const mpz_class& a, TBigSign aSign, const mpz_class& b, TBigSign bSign) {
  if (aSign == bSign) return aSign;
  return CompareAbs(b, a) > 0 ? bSign : aSign;
}

void CheckSums(const Operand& a, const Operand& b) {
  TFGInt c;
  BigAdd(a.record, b.record, c);
  FUZZ_CHECK(Holds(c, a.value + b.value, SumSign(a.value, a.sign, b.value, b.sign)));
  TFGInt x = a.record;
  BigAdd(x, b.record, x);
  FUZZ_CHECK(Holds(x, a.value + b.value, SumSign(a.value, a.sign, b.value, b.sign)));
  x = b.record;
  BigAdd(a.record, x, x);
  FUZZ_CHECK(Holds(x, a.value + b.value, SumSign(a.value, a.sign, b.value, b.sign)));
  x = a.record;
  BigAdd(x, x, x);
  FUZZ_CHECK(Holds(x, 2 * a.value, a.sign));

  const TBigSign differenceSign = SumSign(a.value, a.sign, -b.value, Flip(b.sign));
  BigSub(a.record, b.record, c);
  FUZZ_CHECK(Holds(c, a.value - b.value, differenceSign));
  x = a.record;
  BigSub(x, b.record, x);
  FUZZ_CHECK(Holds(x, a.value - b.value, differenceSign));
  x = b.record;
  BigSub(a.record, x, x);
  FUZZ_CHECK(Holds(x, a.value - b.value, differenceSign));
  x = a.record;
  BigSub(x, x, x);
  FUZZ_CHECK(Holds(x, 0, a.sign));
}

void CheckProducts(const Operand& a, const Operand& b) {
  const TBigSign sign = a.sign == b.sign ? kPos : kNeg;
  TFGInt c;
  BigMul(a.record, b.record, c);
  FUZZ_CHECK(Holds(c, a.value * b.value, sign));
  TFGInt x = a.record;
  BigMul(x, b.record, x);
  FUZZ_CHECK(Holds(x, a.value * b.value, sign));
  BigSquare(a.record, c);
  FUZZ_CHECK(Holds(c, a.value * a.value, kPos));
  x = a.record;
  BigSquare(x, x);
  FUZZ_CHECK(Holds(x, a.value * a.value, kPos));
  x = a.record;
  BigMul(x, x, x);
  FUZZ_CHECK(Holds(x, a.value * a.value, kPos));
}

// Euclidean: 0 <= r < |b|; q = |a| div |b| with b's flag for a flagged Positive, and for a
// flagged Negative one more when r0 != 0, flagged Negative when b is flagged Positive.
void CheckDivision(const Operand& a, const Operand& b) {
  TFGInt q, r;
  if (b.value == 0) {
    FUZZ_CHECK(Raises<EDivByZero>([&] { BigDivMod(a.record, b.record, q, r); }));
    FUZZ_CHECK(Raises<EDivByZero>([&] { BigMod(a.record, b.record, r); }));
    return;
  }
  mpz_class q0 = Abs(a.value) / Abs(b.value);
  mpz_class r0 = Abs(a.value) % Abs(b.value);
  TBigSign qSign = b.sign;
  if (a.sign == kNeg) {
    if (r0 != 0) {
      q0 += 1;
      r0 = Abs(b.value) - r0;
    }
    qSign = b.sign == kPos ? kNeg : kPos;
  }
  BigDivMod(a.record, b.record, q, r);
  FUZZ_CHECK(Holds(q, q0, qSign));
  FUZZ_CHECK(Holds(r, r0, kPos));
  // The quotient over the dividend, the remainder over the divisor.
  TFGInt x = a.record;
  TFGInt y = b.record;
  BigDivMod(x, y, x, y);
  FUZZ_CHECK(Holds(x, q0, qSign));
  FUZZ_CHECK(Holds(y, r0, kPos));

  BigMod(a.record, b.record, r);
  FUZZ_CHECK(Holds(r, r0, kPos));
  x = a.record;
  BigMod(x, b.record, x);
  FUZZ_CHECK(Holds(x, r0, kPos));
}

void CheckModular(const Operand& a, const Operand& b, const Operand& m) {
  TFGInt r;
  if (m.value == 0) return;  // CheckDivision covers the zero divisor
  const mpz_class modulus = Abs(m.value);
  mpz_class expected = (a.value + b.value) % modulus;
  if (expected < 0) expected += modulus;
  BigAddMod(a.record, b.record, m.record, r);
  FUZZ_CHECK(Holds(r, expected, kPos));
  expected = (a.value * b.value) % modulus;
  if (expected < 0) expected += modulus;
  BigMulMod(a.record, b.record, m.record, r);
  FUZZ_CHECK(Holds(r, expected, kPos));
}

void CheckInPlace(const Operand& a, const Operand& b, std::uint32_t k) {
  TFGInt x = a.record;
  BigMulSmallInPlace(x, k);
  FUZZ_CHECK(Holds(x, Abs(a.value) * k, a.sign));

  x = a.record;
  std::uint32_t remainder = 0;
  if (k == 0) {
    FUZZ_CHECK(Raises<EDivByZero>([&] { BigDivModSmallInPlace(x, k, remainder); }));
    FUZZ_CHECK(x.Digits == a.record.Digits);
  } else {
    BigDivModSmallInPlace(x, k, remainder);
    FUZZ_CHECK(Holds(x, Abs(a.value) / k, a.sign));
    FUZZ_CHECK(remainder == mpz_class(Abs(a.value) % k).get_ui());
  }

  x = a.record;
  if (CompareAbs(a.value, b.value) >= 0) {
    BigSubAbsInPlace(x, b.record);
    FUZZ_CHECK(Holds(x, Abs(a.value) - Abs(b.value), a.sign));
  } else {
    FUZZ_CHECK(Raises<Exception>([&] { BigSubAbsInPlace(x, b.record); }));
    FUZZ_CHECK(x.Digits == a.record.Digits);
  }

  x = a.record;
  BigShiftLeftDigit(x);
  FUZZ_CHECK(Holds(x, Abs(a.value) << 31, a.sign));
  x = a.record;
  BigShiftRightDigit(x);
  FUZZ_CHECK(Holds(x, Abs(a.value) >> 31, a.sign));
  x = a.record;
  BigChangeSign(x);
  FUZZ_CHECK(Holds(x, a.value, Flip(a.sign)));
  BigAbs(x);
  FUZZ_CHECK(Holds(x, a.value, kPos));

  const int order = CompareAbs(a.value, b.value);
  const TMagnitudeOrder expected = order > 0   ? TMagnitudeOrder::Greater
                                   : order < 0 ? TMagnitudeOrder::Smaller
                                               : TMagnitudeOrder::Equal;
  FUZZ_CHECK(BigCompareAbs(a.record, b.record) == expected);

  std::string text;
  BigToDecimal(a.record, text);
  FUZZ_CHECK(text == a.value.get_str());
}

void CheckGcdAndInverse(const Operand& a, const Operand& b) {
  // The flag the Euclidean recursion copies: a's on equal magnitudes; else, with x the
  // larger and y the smaller, x's when y = 0, y's when y divides x, Positive otherwise.
  TBigSign sign = kPos;
  if (CompareAbs(a.value, b.value) == 0) {
    sign = a.sign;
  } else {
    const bool aLarger = CompareAbs(a.value, b.value) > 0;
    const Operand& x = aLarger ? a : b;
    const Operand& y = aLarger ? b : a;
    if (y.value == 0) {
      sign = x.sign;
    } else if (mpz_divisible_p(x.value.get_mpz_t(), y.value.get_mpz_t()) != 0) {
      sign = y.sign;
    }
  }
  mpz_class g;
  mpz_gcd(g.get_mpz_t(), a.value.get_mpz_t(), b.value.get_mpz_t());
  TFGInt r;
  BigGcd(a.record, b.record, r);
  FUZZ_CHECK(Holds(r, g, sign));

  // The inverse of a modulo |b|; untouched when there is none.
  const TFGInt untouched = Record(12345, kNeg);
  r = untouched;
  if (b.value == 0) {
    FUZZ_CHECK(Raises<EDivByZero>([&] { BigInvMod(a.record, b.record, r); }));
    return;
  }
  BigInvMod(a.record, b.record, r);
  const mpz_class modulus = Abs(b.value);
  if (modulus == 1) {
    FUZZ_CHECK(Holds(r, 0, kPos));
  } else if (g != 1) {
    FUZZ_CHECK(r.Digits == untouched.Digits && r.Sign == kNeg);
  } else {
    mpz_class inverse;
    FUZZ_CHECK(mpz_invert(inverse.get_mpz_t(), a.value.get_mpz_t(), modulus.get_mpz_t()) != 0);
    FUZZ_CHECK(Holds(r, inverse, kPos));
  }
}

// base^|e| mod |m|; base = 0 (mod m) gives 0 even for e = 0.
void CheckPowMod(const Operand& base, const Operand& m, const mpz_class& e) {
  if (m.value == 0 || mpz_sizeinbase(m.value.get_mpz_t(), 2) > kMaxPowModBits) return;
  const mpz_class modulus = Abs(m.value);
  mpz_class expected = base.value % modulus;
  if (expected != 0) {
    mpz_powm(expected.get_mpz_t(), base.value.get_mpz_t(), e.get_mpz_t(), modulus.get_mpz_t());
  }
  const TFGInt exponent = Record(e, e % 2 == 0 ? kNeg : kPos);  // the flag is ignored
  TFGInt r;
  BigPowMod(base.record, exponent, m.record, r);
  FUZZ_CHECK(Holds(r, expected, kPos));
  TFGInt x = base.record;
  BigPowMod(x, exponent, m.record, x);
  FUZZ_CHECK(Holds(x, expected, kPos));
}

// The low k digits with digit k ANDed with mask (k = 0 gives zero).
mpz_class LowDigits(const mpz_class& x, std::uint32_t k, std::uint32_t mask) {
  if (k == 0) return 0;
  const mp_bitcnt_t low = 31 * static_cast<mp_bitcnt_t>(k - 1);
  mpz_class below, top;
  mpz_fdiv_r_2exp(below.get_mpz_t(), x.get_mpz_t(), low);
  mpz_fdiv_q_2exp(top.get_mpz_t(), x.get_mpz_t(), low);
  top = mpz_class(top & 0x7FFFFFFF) & mask;
  return below + (top << low);
}

void CheckMontgomery(const Operand& a, const Operand& b, std::uint32_t k, std::uint32_t mask) {
  TFGInt r;
  BigTruncateDigits(a.record, r, k, mask);
  if (a.record.Digits[0] < k) {
    FUZZ_CHECK(Holds(r, a.value, a.sign));
  } else {
    FUZZ_CHECK(Holds(r, LowDigits(Abs(a.value), k, mask), kPos));
  }
  BigMulTruncated(a.record, b.record, r, k, mask);
  FUZZ_CHECK(Holds(r, LowDigits(Abs(a.value * b.value), k, mask), a.sign == b.sign ? kPos : kNeg));

  // One reduction with its parameters as exponentiation derives them from an odd N.
  const mpz_class n = Abs(b.value) | 1;
  if (n == 1) return;
  const TFGInt nRecord = Record(n, kPos);
  const std::uint32_t count = nRecord.Digits[0];
  const std::uint32_t top = nRecord.Digits[count];
  const unsigned topBits = 32 - static_cast<unsigned>(__builtin_clz(top));
  const std::uint32_t topMask = topBits == 31 ? 0x7FFFFFFFu : (1u << topBits) - 1;
  const mpz_class radix = mpz_class(1) << (31 * (count - 1) + topBits);
  mpz_class nPrime;
  FUZZ_CHECK(mpz_invert(nPrime.get_mpz_t(), n.get_mpz_t(), radix.get_mpz_t()) != 0);
  nPrime = radix - nPrime;
  const mpz_class t = Abs(a.value) % (n * radix);
  mpz_class expected;
  mpz_invert(expected.get_mpz_t(), radix.get_mpz_t(), n.get_mpz_t());
  expected = t * expected % n;
  BigMontgomeryReduce(Record(t, kPos), nRecord, Record(nPrime, kPos), r, count, topMask);
  FUZZ_CHECK(Holds(r, expected, kPos));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  detail::SelectKernelPath(static_cast<detail::KernelPath>(input.Byte() % 4));
  const std::uint32_t k = input.Word();
  const std::uint32_t mask = input.Word();
  const Operand a = ReadOperand(input);
  const Operand b = ReadOperand(input);
  const Operand c = ReadOperand(input);

  CheckSums(a, b);
  CheckProducts(a, b);
  CheckDivision(a, b);
  CheckModular(a, b, c);
  CheckInPlace(a, b, k);
  CheckGcdAndInverse(a, b);
  mpz_class exponent;
  mpz_fdiv_r_2exp(exponent.get_mpz_t(), c.value.get_mpz_t(), kExponentBits);
  CheckPowMod(a, b, Abs(exponent));
  CheckMontgomery(a, b, k % 64, mask);
  return 0;
}
