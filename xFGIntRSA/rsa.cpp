// RsaDecrypt: the key checks, the key prepared once per call (Montgomery domains, and on
// the Chinese-remainder path the two coefficients in Montgomery form modulo n), and the
// block loop over the bit layout.
#include <optional>

#include "platform/declassify.h"
#include "xFGInt/modexp.h"
#include "xFGIntRSA/bit_blocks.h"
#include "xFGIntRSA/key_limbs.h"
#include "xFGIntRSA/xFGIntRSA.h"

namespace xkit {

namespace {

using detail::Limb;
using detail::Limbs;

// The coefficient c = other (other^-1 mod prime), which is 1 modulo the prime and 0 modulo
// the other, as c R mod n for the domain of n. Every step takes constant time.
Limbs CoefficientForm(const detail::MontgomeryDomain& primeDomain, const Limbs& prime,
                      const Limbs& other, const detail::MontgomeryDomain& modulusDomain) {
  const std::size_t n = prime.size();
  Limbs reduced(n), inverse(n), scratch(detail::GcdScratchSize(n));
  primeDomain.Reduce(reduced.data(), other.data(), other.size());
  const bool coprime =
      detail::ModInverse(inverse.data(), reduced.data(), prime.data(), n, scratch.data());
  // Public: whether the key is in the domain; every valid key passes.
  if (!detail::Declassify(coprime)) {
    throw Exception("RsaDecrypt: p and q must be coprime");
  }
  // The schoolbook product, whose time depends on the sizes alone.
  Limbs product(other.size() + n);
  if (other.size() >= n) {
    detail::MulBasecase(product.data(), other.data(), other.size(), inverse.data(), n);
  } else {
    detail::MulBasecase(product.data(), inverse.data(), n, other.data(), other.size());
  }
  Limbs form(modulusDomain.Size());
  modulusDomain.ToMontgomery(form.data(), product.data(), product.size());
  return form;
}

// The Chinese-remainder path for one call: the halves, and cp, cq in Montgomery form mod n.
struct CrtKey {
  detail::CrtHalves halves;
  Limbs cpForm, cqForm;

  CrtKey(const Limbs& p, const Limbs& q, const Limbs& dp, const Limbs& dq,
         const detail::MontgomeryDomain& modulusDomain)
      : halves(p, q, dp, dq),
        cpForm(CoefficientForm(halves.DomainP(), p, q, modulusDomain)),
        cqForm(CoefficientForm(halves.DomainQ(), q, p, modulusDomain)) {}

  // value[0..n) = (b^dp mod p) cp + (b^dq mod q) cq mod n.
  void Combine(Limb* value, const Limb* block, std::size_t blockLimbs,
               const detail::MontgomeryDomain& modulusDomain) const {
    const std::size_t n = modulusDomain.Size();
    Limbs powerP(halves.DomainP().Size()), powerQ(halves.DomainQ().Size()), term(n);
    halves.Powers(block, blockLimbs, powerP.data(), powerQ.data());
    // (power R) (c R) R^-1 = power c R, for each half; their sum leaves the form.
    modulusDomain.ToMontgomery(value, powerP.data(), powerP.size());
    modulusDomain.Mul(value, value, cpForm.data());
    modulusDomain.ToMontgomery(term.data(), powerQ.data(), powerQ.size());
    modulusDomain.Mul(term.data(), term.data(), cqForm.data());
    modulusDomain.Add(value, value, term.data());
    modulusDomain.FromMontgomery(value, value);
  }
};

}  // namespace

void RsaDecrypt(const std::string& text, const TFGInt& exponent, const TFGInt& modulus,
                const TFGInt& exponentModP, const TFGInt& exponentModQ, const TFGInt& p,
                const TFGInt& q, std::string& result) {
  const Limbs n = detail::Magnitude(modulus);
  if (!detail::OddAndAtLeastThree(n)) {
    throw Exception("RsaDecrypt: the modulus must be odd and at least 3");
  }
  const detail::MontgomeryDomain modulusDomain(n.data(), n.size());

  // The key, prepared once for every block.
  const bool direct = !exponent.Digits.empty();
  Limbs privateExponent;
  std::optional<CrtKey> crt;
  if (direct) {
    privateExponent = detail::Magnitude(exponent);
  } else {
    const Limbs primeP = detail::Magnitude(p);
    const Limbs primeQ = detail::Magnitude(q);
    if (!detail::OddAndAtLeastThree(primeP) || !detail::OddAndAtLeastThree(primeQ)) {
      throw Exception("RsaDecrypt: p and q must be odd and at least 3");
    }
    crt.emplace(primeP, primeQ, detail::Magnitude(exponentModP), detail::Magnitude(exponentModQ),
                modulusDomain);
  }

  const std::size_t width = detail::BitLength(n);  // L: input blocks of L bits
  const detail::InputBlocks blocks(text, width);
  detail::OutputBits out(width - 1);
  Limbs block(n.size()), value(n.size());
  for (std::size_t i = 0; i < blocks.Count(); ++i) {
    blocks.Read(i, block.data(), block.size());
    std::fill(value.begin(), value.end(), Limb{0});
    if (detail::MaskIfZeroN(block.data(), block.size()) == 0) {  // a zero block stays zero
      if (direct) {
        modulusDomain.Pow(value.data(), block.data(), block.size(), privateExponent.data(),
                          privateExponent.size());
      } else {
        crt->Combine(value.data(), block.data(), block.size(), modulusDomain);
      }
    }
    // Public: the block's plaintext, whose width and bits the output layout shows by design
    // (the result is the payload after the marker).
    detail::DeclassifyBytes(value.data(), value.size() * sizeof(Limb));
    out.AppendBlock(value.data(), value.size());
  }
  result = out.PayloadAfterMarker();  // text is not read after this point
}

}  // namespace xkit
