// Key values as limbs and the Chinese-remainder halves.
#include "xFGIntRSA/key_limbs.h"

#include <algorithm>
#include <bit>

#include "platform/declassify.h"
#include "xFGInt/limbs_secret.h"
#include "xFGInt/record_limbs.h"

namespace xkit::detail {

Limbs Magnitude(const TFGInt& a) {
  RequireValue(a);
  Limbs limbs(LimbsForDigits(DigitCount(a)));
  ToLimbsPadded(a, limbs.data());
  // Public: the sizes of the key values (a prime's bit length is the key's size; an
  // exponent's sets the number of windows by design).
  limbs.resize(Declassify((detail::BitLength(limbs.data(), limbs.size()) + 63) / 64));
  return limbs;
}

bool OddAndAtLeastThree(const Limbs& x) {
  if (x.empty()) return false;
  // Bitwise on 0/1 words: && and || would branch on the secret low limb.
  const Limb large = static_cast<Limb>(x.size() > 1) | static_cast<Limb>(x[0] >= 3);
  const bool valid = ((x[0] & 1) & large) != 0;
  // Public: whether the key is in the domain; every valid key passes.
  return Declassify(valid);
}

std::size_t BitLength(const Limbs& x) {
  return detail::BitLength(x.data(), x.size());
}

TFGInt RecordOf(const Limbs& x) {
  TFGInt r;
  FromLimbsSecret(x.data(), x.size(), TBigSign::Positive, r);
  return r;
}

Limbs ModSecret(const Limbs& a, const Limbs& m) {
  Limbs r(m.size()), scratch(m.size() + 1);
  if (a.empty()) return r;
  DivRemSecret(nullptr, r.data(), a.data(), a.size(), m.data(), m.size(), scratch.data());
  return r;
}

Limbs MulSecret(const Limbs& a, const Limbs& b) {
  Limbs product(a.size() + b.size(), 0);
  if (a.empty() || b.empty()) return product;
  if (a.size() >= b.size()) {
    MulBasecase(product.data(), a.data(), a.size(), b.data(), b.size());
  } else {
    MulBasecase(product.data(), b.data(), b.size(), a.data(), a.size());
  }
  return product;
}

std::optional<Limbs> InverseSecret(const Limbs& a, const Limbs& m) {
  const Limbs reduced = ModSecret(a, m);
  Limbs inverse(m.size()), scratch(GcdScratchSize(m.size()));
  const bool found = ModInverse(inverse.data(), reduced.data(), m.data(), m.size(), scratch.data());
  // Public: whether the inverse exists, a check of the key that every valid key passes.
  if (!Declassify(found)) return std::nullopt;
  return inverse;
}

Limbs MinusOne(const Limbs& x) {
  Limbs r = x;
  r[0] -= 1;
  return r;
}

bool Equal(const Limbs& x, const Limbs& y) {
  const std::size_t n = std::max(x.size(), y.size());
  Limbs a = x, b = y;
  a.resize(n, 0);
  b.resize(n, 0);
  // Public: the outcome of a consistency check of the key (see the declaration).
  return Declassify(EqualMask(a.data(), b.data(), n) != 0);
}

CrtHalves::CrtHalves(const Limbs& p, const Limbs& q, const Limbs& dp, const Limbs& dq)
    : p_(p.data(), p.size()),
      q_(q.data(), q.size()),
      dp_(dp),
      dq_(dq),
      // Public: the exponents' bit lengths set the number of windows, by design.
      bits_(std::max(Declassify(BitLength(dp)), Declassify(BitLength(dq)))) {
  const std::size_t limbs = std::max<std::size_t>({dp.size(), dq.size(), 1});
  dp_.resize(limbs, 0);
  dq_.resize(limbs, 0);
}

void CrtHalves::Powers(const Limb* b, std::size_t bn, Limb* powerP, Limb* powerQ) const {
  PowPair({&p_, powerP, b, bn, dp_.data(), dp_.size()},
          {&q_, powerQ, b, bn, dq_.data(), dq_.size()}, bits_);
}

}  // namespace xkit::detail
