// RsaDecrypt: the key checks, the key prepared once per call (Montgomery domains, and on
// the Chinese-remainder path the two coefficients in Montgomery form modulo n), and the
// block loop over the bit layout.
#include <optional>
#include <vector>

#include "platform/declassify.h"
#include "xFGInt/modexp.h"
#include "xFGInt/record_limbs.h"
#include "xFGIntRSA/bit_blocks.h"
#include "xFGIntRSA/xFGIntRSA.h"

namespace xkit {

namespace {

using detail::Limb;
using Limbs = std::vector<Limb>;

// The magnitude of a key value as limbs, as many as its record's size calls for (an
// exponent: the exponentiation takes its bit length as public, never its limb count).
Limbs Magnitude(const TFGInt& a) {
  detail::RequireValue(a);
  Limbs limbs(detail::LimbsForDigits(detail::DigitCount(a)));
  detail::ToLimbsPadded(a, limbs.data());
  return limbs;
}

// The magnitude of a key value without high zero limbs (none for zero).
Limbs SizedMagnitude(const TFGInt& a) {
  Limbs limbs = Magnitude(a);
  // Public: the sizes of the key values (a prime's bit length says nothing of its value
  // beyond that).
  limbs.resize(detail::Declassify((detail::BitLength(limbs.data(), limbs.size()) + 63) / 64));
  return limbs;
}

bool OddAndAtLeastThree(const Limbs& x) {
  if (x.empty()) return false;
  const bool valid = ((x[0] & 1) != 0) & ((x.size() > 1) | (x[0] >= 3));  // no branch
  // Public: whether the key is in the domain; every valid key passes.
  return detail::Declassify(valid);
}

std::size_t BitLength(const Limbs& x) {
  return detail::BitLength(x.data(), x.size());
}

// The Chinese-remainder half of the key for one prime: its domain, and the coefficient
// c = other (other^-1 mod prime), which is 1 modulo the prime and 0 modulo the other, as
// c R mod n for the domain of n.
struct PrimePart {
  Limbs exponent;
  detail::MontgomeryDomain domain;
  Limbs coefficientForm;

  PrimePart(const Limbs& prime, const Limbs& other, Limbs exponentLimbs,
            const detail::MontgomeryDomain& modulusDomain)
      : exponent(std::move(exponentLimbs)), domain(prime.data(), prime.size()) {
    const std::size_t n = prime.size();
    // other mod prime, then its inverse; both in constant time.
    Limbs reduced(n), inverse(n), scratch(detail::GcdScratchSize(n));
    domain.Reduce(reduced.data(), other.data(), other.size());
    const bool coprime =
        detail::ModInverse(inverse.data(), reduced.data(), prime.data(), n, scratch.data());
    // Public: whether the key is in the domain; every valid key passes.
    if (!detail::Declassify(coprime)) throw Exception("RsaDecrypt: p and q must be coprime");
    // The schoolbook product, whose time depends on the sizes alone.
    Limbs product(other.size() + n);
    if (other.size() >= n) {
      detail::MulBasecase(product.data(), other.data(), other.size(), inverse.data(), n);
    } else {
      detail::MulBasecase(product.data(), inverse.data(), n, other.data(), other.size());
    }
    coefficientForm.resize(modulusDomain.Size());
    modulusDomain.ToMontgomery(coefficientForm.data(), product.data(), product.size());
  }

  // out[0..n) += (block^exponent mod prime) c, all in Montgomery form modulo n.
  void AddTerm(Limb* out, const Limb* block, std::size_t blockLimbs,
               const detail::MontgomeryDomain& modulusDomain, Limbs& power, Limbs& term) const {
    power.resize(domain.Size());
    domain.Pow(power.data(), block, blockLimbs, exponent.data(), exponent.size());
    // (power R) (c R) R^-1 = power c R.
    modulusDomain.ToMontgomery(term.data(), power.data(), power.size());
    modulusDomain.Mul(term.data(), term.data(), coefficientForm.data());
    modulusDomain.Add(out, out, term.data());
  }
};

}  // namespace

void RsaDecrypt(const std::string& text, const TFGInt& exponent, const TFGInt& modulus,
                const TFGInt& exponentModP, const TFGInt& exponentModQ, const TFGInt& p,
                const TFGInt& q, std::string& result) {
  const Limbs n = SizedMagnitude(modulus);
  if (!OddAndAtLeastThree(n)) throw Exception("RsaDecrypt: the modulus must be odd and at least 3");
  const detail::MontgomeryDomain modulusDomain(n.data(), n.size());

  // The key, prepared once for every block.
  const bool direct = !exponent.Digits.empty();
  Limbs privateExponent;
  std::optional<PrimePart> partP, partQ;
  if (direct) {
    privateExponent = Magnitude(exponent);
  } else {
    const Limbs primeP = SizedMagnitude(p);
    const Limbs primeQ = SizedMagnitude(q);
    if (!OddAndAtLeastThree(primeP) || !OddAndAtLeastThree(primeQ)) {
      throw Exception("RsaDecrypt: p and q must be odd and at least 3");
    }
    partP.emplace(primeP, primeQ, Magnitude(exponentModP), modulusDomain);
    partQ.emplace(primeQ, primeP, Magnitude(exponentModQ), modulusDomain);
  }

  const std::size_t width = BitLength(n);  // L: input blocks of L bits
  const std::size_t unit = width - 1;      // result blocks of a multiple of L - 1 bits
  const detail::InputBlocks blocks(text, width);
  detail::OutputBits out;
  Limbs block(n.size()), value(n.size()), power, term(n.size());
  for (std::size_t i = 0; i < blocks.Count(); ++i) {
    blocks.Read(i, block.data(), block.size());
    std::fill(value.begin(), value.end(), Limb{0});
    if (detail::MaskIfZeroN(block.data(), block.size()) == 0) {  // a zero block stays zero
      if (direct) {
        modulusDomain.Pow(value.data(), block.data(), block.size(), privateExponent.data(),
                          privateExponent.size());
      } else {
        partP->AddTerm(value.data(), block.data(), block.size(), modulusDomain, power, term);
        partQ->AddTerm(value.data(), block.data(), block.size(), modulusDomain, power, term);
        modulusDomain.FromMontgomery(value.data(), value.data());
      }
    }
    // Public: the block's plaintext, whose width and bits the output layout shows by design
    // (the result is the payload after the marker).
    detail::DeclassifyBytes(value.data(), value.size() * sizeof(Limb));
    const std::size_t digits = std::max<std::size_t>(1, BitLength(value));  // "0" has one
    out.Append(value.data(), value.size(), (digits + unit - 1) / unit * unit);
  }
  result = out.PayloadAfterMarker();  // text is not read after this point
}

}  // namespace xkit
