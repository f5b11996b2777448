// The prepared private key: its checks and derived values, and the decryption with them.
#include <algorithm>

#include "platform/declassify.h"
#include "xFGInt/limbs_secret.h"
#include "xFGIntRSA/bit_blocks.h"
#include "xFGIntRSA/private_operation.h"

namespace xkit {

namespace detail {

namespace {

[[noreturn]] void Refuse(const std::string& why) {
  throw Exception("RsaPrepareKey: " + why);
}

bool Given(const TFGInt& a) {
  return !a.Digits.empty();
}

// The exponent modulo prime - 1: the given one, which must agree with d when d is given
// too, or else d's residue.
Limbs ExponentFor(const TFGInt& given, const TFGInt& d, const Limbs& prime) {
  const Limbs primeMinusOne = MinusOne(prime);
  if (!Given(given)) {
    if (!Given(d))
      Refuse("the key has p and q but neither its exponents modulo p - 1 and q - 1 nor d");
    return ModSecret(Magnitude(d), primeMinusOne);
  }
  Limbs exponent = Magnitude(given);
  if (Given(d) && !Equal(ModSecret(Magnitude(d), primeMinusOne), exponent)) {
    Refuse("the exponents modulo p - 1 and q - 1 do not agree with d");
  }
  return exponent;
}

}  // namespace

RsaPrivateOperation::RsaPrivateOperation(const TRsaKey& key) {
  if (!Given(key.Modulus)) Refuse("the key has no modulus");
  n_ = Magnitude(key.Modulus);
  if (!OddAndAtLeastThree(n_)) Refuse("the modulus must be odd and at least 3");
  if (Given(key.P) != Given(key.Q)) Refuse("p and q go together");
  if (!Given(key.P)) {
    if (!Given(key.PrivateExponent)) Refuse("the key has neither p and q nor d");
    modulus_.emplace(n_.data(), n_.size());
    d_ = Magnitude(key.PrivateExponent);
    return;
  }
  const Limbs p = Magnitude(key.P);
  q_ = Magnitude(key.Q);
  if (!OddAndAtLeastThree(p) || !OddAndAtLeastThree(q_))
    Refuse("p and q must be odd and at least 3");
  if (!Equal(MulSecret(p, q_), n_)) Refuse("the modulus is not p q");
  const std::optional<Limbs> coefficient = InverseSecret(q_, p);
  if (!coefficient) Refuse("p and q must be coprime");
  if (Given(key.Coefficient) && !Equal(Magnitude(key.Coefficient), *coefficient)) {
    Refuse("the coefficient is not q^-1 mod p");
  }
  halves_.emplace(p, q_, ExponentFor(key.ExponentModP, key.PrivateExponent, p),
                  ExponentFor(key.ExponentModQ, key.PrivateExponent, q_));
  coefficient_ = *coefficient;
  coefficientForm_.resize(p.size());
  halves_->DomainP().ToMontgomery(coefficientForm_.data(), coefficient_.data(),
                                  coefficient_.size());
}

void RsaPrivateOperation::Block(const Limb* block, Limb* value, MontgomeryDomain* modulus,
                                CrtHalves* halves) const {
  const std::size_t n = n_.size();
  if (modulus != nullptr) {
    modulus->Pow(value, block, n, d_.data(), d_.size());
    return;
  }
  const MontgomeryDomain& p = halves->DomainP();
  const std::size_t pn = p.Size(), qn = q_.size();
  Limbs powerP(pn), powerQ(qn), h(pn), t(pn);
  halves->Powers(block, n, powerP.data(), powerQ.data());
  // h = (x_p - x_q) q^-1 mod p, from x_p q^-1 and (x_q R mod p) (q^-1) R^-1 = x_q q^-1.
  p.Mul(h.data(), powerP.data(), coefficientForm_.data());
  p.ToMontgomery(t.data(), powerQ.data(), qn);
  p.Mul(t.data(), t.data(), coefficient_.data());
  const Limb borrow = SubN(h.data(), h.data(), t.data(), pn);
  AddN(t.data(), h.data(), p.Modulus(), pn);
  Select(h.data(), t.data(), h.data(), pn, MaskFromBit(borrow));
  // x = x_q + q h < q + q (p - 1) = n.
  Limbs product = MulSecret(h, q_);
  AddSecret(product.data(), product.data(), pn + qn, powerQ.data(), qn);
  std::copy(product.begin(), product.begin() + static_cast<std::ptrdiff_t>(std::min(n, pn + qn)),
            value);
  std::fill(value + std::min(n, pn + qn), value + n, Limb{0});
}

void RsaPrivateOperation::Decrypt(const std::string& text, std::string& result) const {
  // Working copies: a domain keeps scratch space of its own.
  std::optional<MontgomeryDomain> modulus = modulus_;
  std::optional<CrtHalves> halves = halves_;
  const std::size_t width = BitLength(n_);
  const InputBlocks blocks(text, width);
  OutputBits out(width - 1);
  Limbs block(n_.size()), value(n_.size());
  for (std::size_t i = 0; i < blocks.Count(); ++i) {
    blocks.Read(i, block.data(), block.size());
    std::fill(value.begin(), value.end(), Limb{0});
    if (MaskIfZeroN(block.data(), block.size()) == 0) {  // a zero block stays zero
      Block(block.data(), value.data(), modulus ? &*modulus : nullptr, halves ? &*halves : nullptr);
    }
    // Public: the block's plaintext, whose width and bits the output layout shows by design.
    DeclassifyBytes(value.data(), value.size() * sizeof(Limb));
    out.AppendBlock(value.data(), value.size());
  }
  result = out.PayloadAfterMarker();  // text is not read after this point
}

}  // namespace detail

void RsaPrepareKey(const TRsaKey& key, TRsaPreparedKey& prepared) {
  prepared.Operation = std::make_shared<const detail::RsaPrivateOperation>(key);
}

void RsaDecryptPrepared(const std::string& text, const TRsaPreparedKey& prepared,
                        std::string& result) {
  if (!prepared.Operation) throw Exception("RsaDecryptPrepared: the key is not prepared");
  prepared.Operation->Decrypt(text, result);
}

}  // namespace xkit
