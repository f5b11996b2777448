// Cases of the Euclidean division and the modular sum and product, with their sign rules.
#include "tests/differential/cases.h"

namespace xkit::diff {

namespace {

// A dividend and a non-zero divisor: the divisor of any size up to the dividend's (so the
// quotient straddles the thresholds as well), or longer now and then.
std::vector<TFGInt> DividendAndDivisor(Random& random) {
  const mpz_class a = Operand(random, kMaxBits);
  const std::size_t aBits = mpz_sizeinbase(a.get_mpz_t(), 2);
  mpz_class b = random.OneIn(8) ? Operand(random, kMaxBits) : Operand(random, aBits);
  if (b == 0) b = 1 + random.Below(3);
  return {Signed(random, a), Signed(random, b)};
}

// A divisor that aliasing made zero (it shares a zero dividend's record) must raise.
template <class Call>
bool RaisesForZero(const TFGInt& divisor, Report& report, const char* what, Call call) {
  if (Magnitude(divisor) != 0) return false;
  try {
    call();
    report.Fail(std::string(what) + ": a zero divisor did not raise EDivByZero");
  } catch (const EDivByZero&) {
  }
  return true;
}

void DivMod(Random& random, Report& report) {
  AliasedCall call(random, DividendAndDivisor(random), 2);
  const TFGInt& a = call.Input(0);
  const TFGInt& b = call.Input(1);
  if (RaisesForZero(b, report, "BigDivMod",
                    [&] { BigDivMod(call.Arg(0), call.Arg(1), call.Arg(2), call.Arg(3)); })) {
    return;
  }
  const mpz_class am = Magnitude(a), bm = Magnitude(b);
  mpz_class q = am / bm, r = am % bm;
  TBigSign qSign = b.Sign;
  if (a.Sign == kNeg) {
    if (r != 0) {
      q += 1;
      r = bm - r;
    }
    qSign = b.Sign == kPos ? kNeg : kPos;
  }
  BigDivMod(call.Arg(0), call.Arg(1), call.Arg(2), call.Arg(3));
  report.Check("BigDivMod quotient", Mismatch(call.Out(0), q, qSign), call, 2);
  report.Check("BigDivMod remainder", Mismatch(call.Out(1), r, kPos), call, 2);
  report.Check("operands", call.ChangedInputs(), call, 2);
}

// The non-negative residue of x modulo m > 0.
mpz_class Residue(const mpz_class& x, const mpz_class& m) {
  mpz_class r;
  mpz_fdiv_r(r.get_mpz_t(), x.get_mpz_t(), m.get_mpz_t());
  return r;
}

void Mod(Random& random, Report& report) {
  AliasedCall call(random, DividendAndDivisor(random), 1);
  if (RaisesForZero(call.Input(1), report, "BigMod",
                    [&] { BigMod(call.Arg(0), call.Arg(1), call.Arg(2)); })) {
    return;
  }
  const mpz_class expected = Residue(Value(call.Input(0)), Magnitude(call.Input(1)));
  BigMod(call.Arg(0), call.Arg(1), call.Arg(2));
  report.Check("BigMod", Mismatch(call.Out(0), expected, kPos), call, 2);
  report.Check("operands", call.ChangedInputs(), call, 2);
}

void AddModMulMod(Random& random, Report& report) {
  const bool product = random.OneIn(2);
  const std::size_t maxBits = product ? kMaxBits / 2 : kMaxBits;
  mpz_class m = Operand(random, maxBits);
  if (m == 0) m = 7;
  AliasedCall call(random,
                   {Signed(random, Operand(random, maxBits)),
                    Signed(random, Operand(random, maxBits)), Signed(random, m)},
                   1);
  const auto run = [&] {
    (product ? BigMulMod : BigAddMod)(call.Arg(0), call.Arg(1), call.Arg(2), call.Arg(3));
  };
  if (RaisesForZero(call.Input(2), report, "BigAddMod, BigMulMod", run)) return;
  const mpz_class a = Value(call.Input(0)), b = Value(call.Input(1));
  const mpz_class expected =
      Residue(product ? mpz_class(a * b) : mpz_class(a + b), Magnitude(call.Input(2)));
  run();
  report.Check(product ? "BigMulMod" : "BigAddMod", Mismatch(call.Out(0), expected, kPos), call, 3);
  report.Check("operands", call.ChangedInputs(), call, 3);
}

}  // namespace

std::vector<Operation> DivisionOperations() {
  return {{"BigDivMod", 12, DivMod}, {"BigMod", 6, Mod}, {"BigAddMod, BigMulMod", 6, AddModMulMod}};
}

}  // namespace xkit::diff
