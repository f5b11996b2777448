// Primality machinery under BigIsProbablePrime and RSA key generation: trial division by
// the small primes, the Miller-Rabin round on a Montgomery domain, the strong Lucas test, and
// the round counts that set the error bound.
//
// Secret candidates (a prime being made for a key) go through trial division and
// Miller-Rabin only, and both take a time that depends on the candidate's size, not on its
// value, whenever the candidate passes: a rejection may show (it ends early), but never why,
// so a key generator that draws a fresh candidate after every rejection reveals nothing about
// the prime it keeps. The Lucas test is for public numbers.
#pragma once

#include <cstddef>
#include <vector>

#include "xFGInt/limbs.h"
#include "xFGInt/modexp.h"

namespace xkit::detail {

// The odd primes used for trial division are those below this bound.
inline constexpr Limb kTrialDivisionBound = 4096;

// All ones when an odd prime below kTrialDivisionBound divides a[0..n), zero otherwise.
Limb SmallFactorMask(const Limb* a, std::size_t n);
// Whether a one-limb value below kTrialDivisionBound is prime (public values only).
bool IsSmallPrime(Limb a);

// Miller-Rabin rounds for an odd w > 3 of n limbs (w[n-1] != 0): with w - 1 = m 2^s (m odd),
// a base b passes when b^m = 1 or b^(m 2^j) = -1 (mod w) for some j < s. A prime passes every
// base; a composite at most a quarter of them (Rabin). A round takes kMillerRabinSquarings
// squarings after the power whatever s is, unless s is larger still.
inline constexpr std::size_t kMillerRabinSquarings = 32;

class MillerRabin {
public:
  MillerRabin(const Limb* w, std::size_t n);

  // Whether s <= kMillerRabinSquarings, so that every round takes the same time (false for 1
  // in 2^32 random candidates). The outcome is public: key generation redraws the others.
  bool FixedSquarings() const;

  // Whether the base b[0..n) (below w) passes.
  bool Passes(const Limb* b) const;
  // Whether a base drawn at random from the operating system's generator passes.
  bool PassesRandomBase() const;
  // Whether the base 2 passes.
  bool PassesBaseTwo() const;

  const MontgomeryDomain& Domain() const { return domain_; }

private:
  std::size_t n_;
  std::size_t bits_;  // of w
  MontgomeryDomain domain_;
  std::vector<Limb> w_;
  std::vector<Limb> m_;               // (w - 1) / 2^s
  std::size_t s_;                     // secret
  std::vector<Limb> one_, minusOne_;  // 1 and -1 in Montgomery form
};

// Whether the odd w[0..n) > kTrialDivisionBound passes the strong Lucas probable-prime test
// with Selfridge's parameters (D the first of 5, -7, 9, -11, ... with Jacobi symbol
// (D / w) = -1, P = 1, Q = (1 - D) / 4). Its time depends on w's value: public numbers only.
bool PassesStrongLucas(const Limb* w, std::size_t n);

// Miller-Rabin rounds with random bases that follow the Baillie-PSW test (base 2 and strong
// Lucas) in BigIsProbablePrime, for a number of `bits` bits: FIPS 186-5 Appendix B.3,
// Table B.1, column "M-R tests when followed by one Lucas test", from 1,024 bits; below,
// enough for 2^-100 on random inputs by the bound of Damgard, Landrock and Pomerance, and
// below 256 bits enough for 4^-t <= 2^-100 on any input; none up to 64 bits, where
// Baillie-PSW is exact.
unsigned RoundsAfterLucas(std::size_t bits);
// Miller-Rabin rounds with random bases for a secret candidate of `bits` bits, the test
// alone: FIPS 186-5 Table B.1, column "M-R tests only" (2^-112 at 1,024 bits, 2^-128 at
// 1,536, 2^-144 at 2,048), and the same 2^-100 bound as above below 1,024 bits.
unsigned RoundsWithoutLucas(std::size_t bits);

}  // namespace xkit::detail
