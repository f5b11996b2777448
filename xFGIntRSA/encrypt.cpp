// RsaEncrypt: the payload behind the "111" marker in blocks of L - 1 bits, each raised to the
// exponent and written as L bits.
#include "xFGInt/modexp.h"
#include "xFGIntRSA/bit_blocks.h"
#include "xFGIntRSA/key_limbs.h"
#include "xFGIntRSA/xFGIntRSA.h"

namespace xkit {

void RsaEncrypt(const std::string& text, const TFGInt& exponent, const TFGInt& modulus,
                std::string& result) {
  const detail::Limbs n = detail::Magnitude(modulus);
  if (!detail::OddAndAtLeastThree(n)) {
    throw Exception("RsaEncrypt: the modulus must be odd and at least 3");
  }
  const detail::Limbs e = detail::Magnitude(exponent);
  // The key is public: its constants by long division, the exponent by square-and-multiply.
  const detail::MontgomeryDomain domain(n.data(), n.size(),
                                        detail::MontgomeryDomain::PublicModulus{});

  const std::size_t width = detail::BitLength(n);  // L
  // Blocks of L - 1 bits are below 2^(L - 1) <= n, so each is its own residue.
  const detail::MarkedPayloadBlocks blocks(text, width - 1);
  detail::OutputBits out(width);
  detail::Limbs block(n.size()), value(n.size());
  for (std::size_t i = 0; i < blocks.Count(); ++i) {
    blocks.Read(i, block.data(), block.size());
    domain.PowPublicExponent(value.data(), block.data(), block.size(), e.data(), e.size());
    out.Append(value.data(), value.size(), width);
  }
  result = out.Bytes();  // text is not read after this point
}

}  // namespace xkit
