// BigIsProbablePrime and BigNextPrime: trial division, then Baillie-PSW (Miller-Rabin to
// base 2 and the strong Lucas test), then Miller-Rabin rounds with random bases.
#include <bit>

#include "xFGInt/primes.h"
#include "xFGInt/record_limbs.h"
#include "xFGInt/xFGInt.h"

namespace xkit {

namespace {

using detail::Limb;

// Whether the odd a[0..n) above the trial-division bound is probably prime.
bool OddProbablePrime(const Limb* a, std::size_t n) {
  if (detail::SmallFactorMask(a, n) != 0) return false;
  constexpr Limb kSquareOfBound = detail::kTrialDivisionBound * detail::kTrialDivisionBound;
  if (n == 1 && a[0] < kSquareOfBound) return true;  // no factor below its square root
  const detail::MillerRabin rounds(a, n);
  if (!rounds.PassesBaseTwo() || !detail::PassesStrongLucas(a, n)) return false;
  const std::size_t bits = 64 * n - static_cast<std::size_t>(std::countl_zero(a[n - 1]));
  for (unsigned i = detail::RoundsAfterLucas(bits); i > 0; --i) {
    if (!rounds.PassesRandomBase()) return false;
  }
  return true;
}

// Whether a[0..n) (n >= 1, high zero limbs allowed) is probably prime.
bool ProbablePrime(const Limb* a, std::size_t n) {
  n = detail::NormalizedSize(a, n);
  if (n == 0) return false;
  if (n == 1 && a[0] < detail::kTrialDivisionBound) return a[0] == 2 || detail::IsSmallPrime(a[0]);
  return (a[0] & 1) != 0 && OddProbablePrime(a, n);
}

}  // namespace

bool BigIsProbablePrime(const TFGInt& a) {
  detail::RequireValue(a);
  detail::LimbBuffer buffer(detail::LimbsForDigits(detail::DigitCount(a)));
  return ProbablePrime(buffer.Data(), detail::ToLimbs(a, buffer.Data()));
}

void BigNextPrime(const TFGInt& a, TFGInt& r) {
  detail::RequireValue(a);
  const std::size_t limbs = detail::LimbsForDigits(detail::DigitCount(a)) + 1;
  std::vector<Limb> candidate(limbs, 0);
  const std::size_t n = detail::ToLimbs(a, candidate.data());
  if (a.Sign == TBigSign::Negative || n == 0 || (n == 1 && candidate[0] < 2)) {
    detail::SetDigit(r, 2, TBigSign::Positive);
    return;
  }
  // The next odd number above a (3 above 2), then every second one.
  const Limb step = (candidate[0] & 1) != 0 ? 2 : 1;
  candidate[limbs - 1] += detail::Add1(candidate.data(), candidate.data(), limbs - 1, step);
  while (!ProbablePrime(candidate.data(), limbs)) {
    candidate[limbs - 1] += detail::Add1(candidate.data(), candidate.data(), limbs - 1, 2);
  }
  detail::FromLimbs(candidate.data(), limbs, TBigSign::Positive, r);
}

}  // namespace xkit
