// Cases of the record operations and the arithmetic: sums and differences, products and
// squares, the one-digit and in-place operations, the digit shifts, comparison and copy.
#include "tests/differential/cases.h"

namespace xkit::diff {

namespace {

// Two operands: of independent sizes, or (a third of the time) of one size, as the
// balanced products want.
std::vector<TFGInt> TwoOperands(Random& random, std::size_t maxBits) {
  if (random.OneIn(3)) {
    const std::size_t bits = Size(random, maxBits);
    return {Signed(random, Shaped(random, bits)), Signed(random, Shaped(random, bits))};
  }
  return {Signed(random, Operand(random, maxBits)), Signed(random, Operand(random, maxBits))};
}

void SumOrDifference(Random& random, Report& report, bool subtract) {
  AliasedCall call(random, TwoOperands(random, kMaxBits), 1);
  const TFGInt& a = call.Input(0);
  const TFGInt& b = call.Input(1);
  const TBigSign bSign = subtract ? (b.Sign == kNeg ? kPos : kNeg) : b.Sign;
  const mpz_class sum = Value(a) + (bSign == kNeg ? mpz_class(-Magnitude(b)) : Magnitude(b));
  const TBigSign sign = SumSign(Magnitude(a), a.Sign, Magnitude(b), bSign);
  (subtract ? BigSub : BigAdd)(call.Arg(0), call.Arg(1), call.Arg(2));
  report.Check(subtract ? "BigSub" : "BigAdd", Mismatch(call.Out(0), abs(sum), sign), call, 2);
  report.Check("operands", call.ChangedInputs(), call, 2);
}

void Add(Random& random, Report& report) {
  SumOrDifference(random, report, false);
}

void Sub(Random& random, Report& report) {
  SumOrDifference(random, report, true);
}

void Mul(Random& random, Report& report) {
  AliasedCall call(random, TwoOperands(random, kMaxBits), 1);
  const TFGInt& a = call.Input(0);
  const TFGInt& b = call.Input(1);
  const mpz_class product = Magnitude(a) * Magnitude(b);
  BigMul(call.Arg(0), call.Arg(1), call.Arg(2));
  report.Check("BigMul", Mismatch(call.Out(0), product, a.Sign == b.Sign ? kPos : kNeg), call, 2);
  report.Check("operands", call.ChangedInputs(), call, 2);
}

void Square(Random& random, Report& report) {
  AliasedCall call(random, {Signed(random, Operand(random, kMaxBits))}, 1);
  const mpz_class a = Magnitude(call.Input(0));
  BigSquare(call.Arg(0), call.Arg(1));
  report.Check("BigSquare", Mismatch(call.Out(0), a * a, kPos), call, 1);
}

// A one-digit factor or divisor, biased to the edges.
std::uint32_t SmallFactor(Random& random) {
  switch (random.Below(6)) {
    case 0:
      return 1;
    case 1:
      return 0x7FFFFFFF;
    case 2:
      return 0xFFFFFFFF;
    case 3:
      return 2;
    default:
      return static_cast<std::uint32_t>(random.Next());
  }
}

void SmallInPlace(Random& random, Report& report) {
  AliasedCall call(random, {Signed(random, Operand(random, kMaxBits))}, 0);
  const TFGInt& a = call.Input(0);
  const mpz_class m = Magnitude(a);
  std::uint32_t k = SmallFactor(random);
  TFGInt& x = call.Arg(0);
  switch (random.Below(4)) {
    case 0:
      k = random.OneIn(8) ? 0 : k;
      BigMulSmallInPlace(x, k);
      report.Check("BigMulSmallInPlace", Mismatch(x, m * k, a.Sign), call, 1);
      break;
    case 1: {
      if (k == 0) k = 3;
      std::uint32_t r = 0;
      BigDivModSmallInPlace(x, k, r);
      report.Check("BigDivModSmallInPlace", Mismatch(x, m / k, a.Sign), call, 1);
      if (r != mpz_class(m % k)) report.Fail("BigDivModSmallInPlace: wrong remainder");
      break;
    }
    case 2:
      BigShiftLeftDigit(x);
      report.Check("BigShiftLeftDigit", Mismatch(x, m << 31, a.Sign), call, 1);
      break;
    default:
      BigShiftRightDigit(x);
      report.Check("BigShiftRightDigit", Mismatch(x, m >> 31, a.Sign), call, 1);
      break;
  }
}

void SubAbsInPlace(Random& random, Report& report) {
  AliasedCall call(random, TwoOperands(random, kMaxBits), 0);
  const TFGInt& a = call.Input(0);
  const TFGInt& b = call.Input(1);
  const mpz_class difference = Magnitude(a) - Magnitude(b);
  try {
    BigSubAbsInPlace(call.Arg(0), call.Arg(1));
    if (difference < 0) report.Fail("BigSubAbsInPlace: |a| < |b| did not raise");
    report.Check("BigSubAbsInPlace", Mismatch(call.Arg(0), difference, a.Sign), call, 2);
  } catch (const Exception&) {
    if (difference >= 0) report.Fail("BigSubAbsInPlace raised for |a| >= |b|");
    report.Check("BigSubAbsInPlace", Mismatch(call.Arg(0), Magnitude(a), a.Sign), call, 2);
  }
}

void CompareAndCopy(Random& random, Report& report) {
  AliasedCall call(random, TwoOperands(random, kMaxBits), 1);
  const mpz_class a = Magnitude(call.Input(0));
  const mpz_class b = Magnitude(call.Input(1));
  const TMagnitudeOrder expected = a > b   ? TMagnitudeOrder::Greater
                                   : a < b ? TMagnitudeOrder::Smaller
                                           : TMagnitudeOrder::Equal;
  if (BigCompareAbs(call.Arg(0), call.Arg(1)) != expected) {
    report.Check("BigCompareAbs", "wrong order", call, 2);
  }
  BigCopy(call.Arg(0), call.Arg(2));
  report.Check("BigCopy", Mismatch(call.Out(0), a, call.Input(0).Sign), call, 1);
}

}  // namespace

std::vector<Operation> ArithmeticOperations() {
  return {{"BigAdd", 10, Add},
          {"BigSub", 10, Sub},
          {"BigMul", 14, Mul},
          {"BigSquare", 8, Square},
          {"one-digit and shift operations", 6, SmallInPlace},
          {"BigSubAbsInPlace", 3, SubAbsInPlace},
          {"BigCompareAbs, BigCopy", 3, CompareAndCopy}};
}

}  // namespace xkit::diff
