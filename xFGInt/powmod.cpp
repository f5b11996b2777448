// BigPowMod: the record's magnitudes repacked into limbs and handed to the exponentiation
// engine (Montgomery for an odd modulus, plain square-and-multiply for an even one).
#include "xFGInt/modexp.h"
#include "xFGInt/record_limbs.h"
#include "xFGInt/xFGInt.h"

namespace xkit {

void BigPowMod(const TFGInt& base, const TFGInt& e, const TFGInt& m, TFGInt& r) {
  detail::RequireValue(base);
  detail::RequireValue(e);
  detail::RequireValue(m);
  if (detail::IsZero(m)) throw EDivByZero();
  const std::size_t lb = detail::LimbsForDigits(detail::DigitCount(base));
  const std::size_t le = detail::LimbsForDigits(detail::DigitCount(e));
  const std::size_t lm = detail::LimbsForDigits(detail::DigitCount(m));
  detail::LimbBuffer buffer(lb + le + 3 * lm);
  detail::Limb* x = buffer.Data();
  detail::Limb* exponent = x + lb;
  detail::Limb* modulus = exponent + le;
  detail::Limb* result = modulus + lm;
  // The base and the exponent keep their high zero limbs: their sizes come from their records
  // alone, never from their values.
  const std::size_t nb = detail::ToLimbsPadded(base, x);
  const std::size_t ne = detail::ToLimbsPadded(e, exponent);
  const std::size_t nm = detail::ToLimbs(m, modulus);
  if (nm == 1 && modulus[0] == 1) {
    result[0] = 0;  // every residue modulo 1 is 0
  } else if (modulus[0] & 1) {
    detail::MontgomeryDomain(modulus, nm).Pow(result, x, nb, exponent, ne);
  } else {
    detail::PowModPlain(result, x, nb, exponent, ne, modulus, nm);
  }
  // A negative base: (-b)^e is m - b^e for an odd e and a non-zero power, b^e otherwise.
  // The choice is masked, so it adds no branch on the exponent's parity.
  if (base.Sign == TBigSign::Negative) {
    detail::Limb* negated = result + lm;
    detail::SubN(negated, modulus, result, nm);
    detail::Select(result, negated, result, nm,
                   detail::MaskFromBit(exponent[0] & 1) & ~detail::MaskIfZeroN(result, nm));
  }
  detail::FromLimbsSecret(result, nm, TBigSign::Positive, r);
}

}  // namespace xkit
