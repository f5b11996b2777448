// Trial division by the odd primes below kTrialDivisionBound, in constant time: the
// candidate is reduced modulo products of a few primes (each below 2^32) by Barrett steps,
// and each prime's divisibility is read from that residue by a multiplication (a multiple
// of an odd p times p^-1 mod 2^64 is at most (2^64 - 1) / p, every other number above).
#include <algorithm>
#include <array>

#include "xFGInt/limbs_secret.h"
#include "xFGInt/primes.h"

namespace xkit::detail {

namespace {

constexpr std::size_t kBound = kTrialDivisionBound;

constexpr std::array<bool, kBound> Sieve() {
  std::array<bool, kBound> composite{};
  composite[0] = composite[1] = true;
  for (std::size_t i = 2; i * i < kBound; ++i) {
    if (!composite[i]) {
      for (std::size_t j = i * i; j < kBound; j += i)
        composite[j] = true;
    }
  }
  return composite;
}
constexpr std::array<bool, kBound> kComposite = Sieve();

constexpr std::size_t kOddPrimeCount = [] {
  std::size_t count = 0;
  for (std::size_t i = 3; i < kBound; i += 2)
    count += kComposite[i] ? 0 : 1;
  return count;
}();

struct SmallPrime {
  Limb inverse;  // p^-1 mod 2^64
  Limb limit;    // (2^64 - 1) / p: the largest multiple of p over p
};

constexpr std::array<SmallPrime, kOddPrimeCount> kPrimes = [] {
  std::array<SmallPrime, kOddPrimeCount> primes{};
  std::size_t k = 0;
  for (Limb p = 3; p < kBound; p += 2) {
    if (kComposite[p]) continue;
    Limb x = p;  // an odd p is its own inverse modulo 8; Newton doubles the bits
    for (int i = 0; i < 5; ++i)
      x *= 2 - p * x;
    primes[k++] = {x, ~Limb{0} / p};
  }
  return primes;
}();

// Consecutive primes whose product stays below 2^32, reduced together.
struct PrimeGroup {
  Limb product;
  Limb reciprocal;  // floor((2^64 - 1) / product): the Barrett factor
  std::size_t first, count;
};

constexpr std::size_t kGroupCount = [] {
  std::size_t groups = 0;
  Limb product = 1;
  for (Limb p = 3; p < kBound; p += 2) {
    if (kComposite[p]) continue;
    if (product * p >= (Limb{1} << 32)) {
      ++groups;
      product = 1;
    }
    product *= p;
  }
  return groups + 1;
}();

constexpr std::array<PrimeGroup, kGroupCount> kGroups = [] {
  std::array<PrimeGroup, kGroupCount> groups{};
  std::size_t g = 0, index = 0;
  groups[0] = {1, 0, 0, 0};
  for (Limb p = 3; p < kBound; p += 2) {
    if (kComposite[p]) continue;
    if (groups[g].product * p >= (Limb{1} << 32)) {
      ++g;
      groups[g] = {1, 0, index, 0};
    }
    groups[g].product *= p;
    ++groups[g].count;
    ++index;
  }
  for (PrimeGroup& group : groups)
    group.reciprocal = ~Limb{0} / group.product;
  return groups;
}();

// x mod d for x below d 2^32 and d below 2^32, given floor((2^64 - 1) / d): the estimate
// floor(x reciprocal / 2^64) is the quotient or one less, so one masked subtraction ends it.
inline Limb Reduce(Limb x, Limb d, Limb reciprocal) {
  const Limb q = static_cast<Limb>((static_cast<DoubleLimb>(x) * reciprocal) >> 64);
  const Limb r = x - q * d;
  return r - (d & ~LessMask1(r, d));
}

}  // namespace

Limb SmallFactorMask(const Limb* a, std::size_t n) {
  Limb divisible = 0;
  for (const PrimeGroup& group : kGroups) {
    // Horner's rule over the 32-bit halves of a, from the top.
    Limb r = 0;
    for (std::size_t i = n; i-- > 0;) {
      r = Reduce((r << 32) | (a[i] >> 32), group.product, group.reciprocal);
      r = Reduce((r << 32) | (a[i] & 0xFFFFFFFF), group.product, group.reciprocal);
    }
    for (std::size_t k = group.first; k < group.first + group.count; ++k) {
      // r p^-1 <= limit exactly when p divides r, as a mask.
      const Limb quotient = r * kPrimes[k].inverse;
      divisible |= ~LessMask1(kPrimes[k].limit, quotient);
    }
  }
  return divisible;
}

bool IsSmallPrime(Limb a) {
  return a < kBound && !kComposite[a];
}

}  // namespace xkit::detail
