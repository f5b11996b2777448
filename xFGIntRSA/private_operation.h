// Internal to the RSA unit: the private operation behind TRsaPreparedKey.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "xFGIntRSA/key_limbs.h"
#include "xFGIntRSA/xFGIntRSA.h"

namespace xkit::detail {

// A private key's values, checked and derived once: on the Chinese-remainder path the
// halves and q^-1 mod p for Garner's recombination x = x_q + q ((x_p - x_q) q^-1 mod p),
// which equals RsaDecrypt's sum of coefficients modulo n = p q; on the direct path the
// domain of n and d. Never changed after it is made.
class RsaPrivateOperation {
public:
  explicit RsaPrivateOperation(const TRsaKey& key);

  // result := RsaDecrypt of text on the prepared path. Works on copies of the domains, so
  // calls may run at the same time.
  void Decrypt(const std::string& text, std::string& result) const;

private:
  // value[0..n) := the private operation on one non-zero block.
  void Block(const Limb* block, Limb* value, MontgomeryDomain* modulus, CrtHalves* halves) const;

  Limbs n_;
  std::optional<MontgomeryDomain> modulus_;  // direct path
  Limbs d_;
  std::optional<CrtHalves> halves_;  // Chinese-remainder path
  Limbs q_;
  Limbs coefficient_, coefficientForm_;  // q^-1 mod p, plain and in Montgomery form mod p
};

}  // namespace xkit::detail
