// xFGIntRSA: the RSA block operation on byte strings. The input's bits are cut into blocks
// as wide as the modulus, aligned at the end of the input; each block is raised to the
// exponent modulo the modulus, directly or by the Chinese remainder theorem; the results
// are joined as blocks one bit narrower (or twice that for a value that needs every bit of
// the modulus), and the result is the bytes after the first "111" in the joined bits.
#pragma once

#include <string>

#include "xFGInt/xFGInt.h"

namespace xkit {

// result := the RSA operation on text. A non-empty `exponent` selects the direct path:
// each block b becomes b^|exponent| mod |modulus|, and the last four key values are not
// read. An empty `exponent` record (no digits) selects the Chinese-remainder path: each
// block b becomes (b^|dp| mod |p|) cp + (b^|dq| mod |q|) cq mod |modulus|, with
// cp = |q| (|q|^-1 mod |p|) and cq = |p| (|p|^-1 mod |q|) computed once per call; it equals
// the direct path with the private exponent whenever modulus = p q for distinct odd primes
// p and q and dp, dq are that exponent reduced modulo p - 1 and q - 1.
//
// Every key value is read by its magnitude. Key material outside the operation's domain
// raises Exception before anything is computed: a modulus that is even or below 3, and on
// the Chinese-remainder path p or q even or below 3, or p and q not coprime. An empty or
// all-zero text gives an empty result, and so does joined output without "111".
// `result` may be the same string as `text`.
//
// Timing: with a valid key, the exponentiations, the coefficients and the recombination
// take time that depends on the sizes of the key values and the exponents' bit lengths,
// not on their values; the block layout, the marker search and the conversions depend on
// the data (see the README's security notes).
void RsaDecrypt(const std::string& text, const TFGInt& exponent, const TFGInt& modulus,
                const TFGInt& exponentModP, const TFGInt& exponentModQ, const TFGInt& p,
                const TFGInt& q, std::string& result);

}  // namespace xkit
