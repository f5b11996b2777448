// Internal to the RSA unit: key values as limbs, and the two half-size exponentiations of
// the Chinese-remainder path, shared by RsaDecrypt and the prepared key.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "xFGInt/limbs.h"
#include "xFGInt/modexp.h"
#include "xFGInt/xFGInt.h"

namespace xkit::detail {

using Limbs = std::vector<Limb>;

// The magnitude of a key value, as limbs without high zeros (none for zero); an empty or
// malformed record raises Exception.
Limbs Magnitude(const TFGInt& a);
bool OddAndAtLeastThree(const Limbs& x);
std::size_t BitLength(const Limbs& x);
// x as a record, flagged Positive.
TFGInt RecordOf(const Limbs& x);

// Secret arithmetic in constant time (the sizes are public): a mod m (m of m.size() limbs,
// non-zero; the result as many limbs), a b (schoolbook, a.size() + b.size() limbs), and the
// inverse of a modulo an odd m > 1 (m.size() limbs; nothing when gcd(a, m) != 1).
Limbs ModSecret(const Limbs& a, const Limbs& m);
Limbs MulSecret(const Limbs& a, const Limbs& b);
std::optional<Limbs> InverseSecret(const Limbs& a, const Limbs& m);
// x - 1 for an odd x (no borrow).
Limbs MinusOne(const Limbs& x);
// Whether x == y as numbers, for limbs of any counts. The outcome is meant to be public (a
// check of a key's consistency); the comparison itself runs in constant time.
bool Equal(const Limbs& x, const Limbs& y);

// Block values to the powers b^dp mod p and b^dq mod q, side by side (PowPair). Both
// exponents are read at the longer one's bit length, so the time depends on that length,
// not on the values. p and q are odd and at least 3.
class CrtHalves {
public:
  CrtHalves(const Limbs& p, const Limbs& q, const Limbs& dp, const Limbs& dq);

  const MontgomeryDomain& DomainP() const { return p_; }
  const MontgomeryDomain& DomainQ() const { return q_; }
  // powerP[0..p's size) = b^dp mod p, powerQ[0..q's size) = b^dq mod q for b of bn limbs.
  void Powers(const Limb* b, std::size_t bn, Limb* powerP, Limb* powerQ) const;

private:
  MontgomeryDomain p_, q_;
  Limbs dp_, dq_;  // padded to one length
  std::size_t bits_;
};

}  // namespace xkit::detail
