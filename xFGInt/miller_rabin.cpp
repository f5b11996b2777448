// The Miller-Rabin round in constant time for a candidate that passes. The power b^m runs
// over the full bit length of w rather than m's (which would show s), and the squarings
// that follow run a fixed number of times with the steps beyond s masked out; only when
// s exceeds that number (for 1 in 2^32 random candidates) does the count of squarings follow
// s, and key generation draws such a candidate afresh.
#include <algorithm>
#include <bit>

#include "platform/declassify.h"
#include "xFGInt/limbs_secret.h"
#include "xFGInt/primes.h"
#include "xFGInt/random.h"

namespace xkit::detail {

MillerRabin::MillerRabin(const Limb* w, std::size_t n)
    : n_(n),
      bits_(64 * n - static_cast<std::size_t>(std::countl_zero(w[n - 1]))),
      domain_(w, n),
      w_(w, w + n),
      m_(w, w + n),
      one_(n),
      minusOne_(n) {
  m_[0] -= 1;  // w is odd: no borrow
  s_ = TrailingZerosSecret(m_.data(), n);
  ShiftRightSecret(m_.data(), n, s_);
  const Limb unit = 1;
  domain_.ToMontgomery(one_.data(), &unit, 1);
  SubN(minusOne_.data(), w, one_.data(), n);
}

bool MillerRabin::FixedSquarings() const {
  // Public: a candidate outside is redrawn by key generation; other callers test public
  // numbers.
  return Declassify(s_ <= kMillerRabinSquarings);
}

bool MillerRabin::Passes(const Limb* b) const {
  std::vector<Limb> power(n_), x(n_);
  domain_.Pow(power.data(), b, n_, m_.data(), n_, bits_);
  domain_.ToMontgomery(x.data(), power.data(), n_);
  Limb passed = EqualMask(x.data(), one_.data(), n_) | EqualMask(x.data(), minusOne_.data(), n_);
  // x = b^(m 2^j) for j = 1 .. s - 1; the steps from s on change nothing.
  // Public: kMillerRabinSquarings for every candidate key generation keeps (FixedSquarings);
  // other callers test public numbers.
  const std::size_t squarings = Declassify(std::max(s_, kMillerRabinSquarings));
  for (std::size_t j = 1; j < squarings; ++j) {
    domain_.Sqr(x.data(), x.data());
    passed |= LessMask1(j, s_) & EqualMask(x.data(), minusOne_.data(), n_);
  }
  return passed != 0;
}

bool MillerRabin::PassesRandomBase() const {
  // n + 1 random limbs reduced modulo w: off uniform by less than 2^-64, and the reduction
  // runs in constant time inside the power.
  std::vector<Limb> base(n_ + 1);
  RandomLimbs(base.data(), base.size());
  std::vector<Limb> x(n_), reduced(n_);
  domain_.ToMontgomery(x.data(), base.data(), base.size());
  domain_.FromMontgomery(reduced.data(), x.data());
  return Passes(reduced.data());
}

bool MillerRabin::PassesBaseTwo() const {
  std::vector<Limb> base(n_, 0);
  base[0] = 2;
  return Passes(base.data());
}

unsigned RoundsAfterLucas(std::size_t bits) {
  if (bits <= 64) return 0;
  if (bits >= 2048) return 2;
  if (bits >= 1536) return 3;
  if (bits >= 1024) return 4;
  return RoundsWithoutLucas(bits);
}

unsigned RoundsWithoutLucas(std::size_t bits) {
  if (bits >= 1536) return 4;
  if (bits >= 1024) return 5;
  // The smallest t with k^(3/2) 2^t t^(-1/2) 4^(2 - sqrt(t k)) <= 2^-100 (Damgard, Landrock
  // and Pomerance, 1993), for k from each threshold up.
  struct Step {
    std::size_t bits;
    unsigned rounds;
  };
  static constexpr Step kSteps[] = {{768, 5},  {640, 6},  {512, 8}, {400, 10},
                                    {384, 11}, {300, 14}, {256, 17}};
  for (const Step& step : kSteps) {
    if (bits >= step.bits) return step.rounds;
  }
  return 50;  // 4^-50 = 2^-100 for any composite
}

}  // namespace xkit::detail
