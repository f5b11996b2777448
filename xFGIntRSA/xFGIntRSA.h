// xFGIntRSA: RSA on byte strings in the block layout of the RSA operation, and the keys for
// it. RsaDecrypt cuts the input's bits into blocks as wide as the modulus, aligned at the end
// of the input; each block is raised to the exponent modulo the modulus, directly or by the
// Chinese remainder theorem; the results are joined as blocks one bit narrower (or twice
// that for a value that needs every bit of the modulus), and the result is the bytes after
// the first "111" in the joined bits. RsaEncrypt writes that layout: a payload comes back
// from RsaDecrypt with the matching private key exactly as it went in.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "xFGInt/xFGInt.h"

namespace xkit {

// -- The RSA operation ----------------------------------------------------------------------

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

// result := text in the block layout that RsaDecrypt reads, for the modulus n of L bits:
// "111" and the text's bits, with zeros in front up to a multiple of L - 1 bits, cut into
// blocks of L - 1 bits (each below n); each block raised to |exponent| modulo |modulus| and
// written as L bits; the joined bits as bytes, with zero bits in front up to a multiple of
// 8. RsaDecrypt with the private exponent of that key, or its Chinese-remainder values,
// gives the text back, whatever its length or content (the empty text included). The key
// is taken as public: the time depends on the text's length and on the exponent and modulus,
// never on the text's content (so this is no way to apply a private exponent: RsaDecrypt
// keeps those secret). A modulus that is even or below 3 raises Exception. `result` may be
// `text`.
void RsaEncrypt(const std::string& text, const TFGInt& exponent, const TFGInt& modulus,
                std::string& result);

// -- Keys ----------------------------------------------------------------------------------

// An RSA key. A private key made by RsaGenerateKey fills every field; a public key needs
// only Modulus and PublicExponent, and the other fields stay empty records.
struct TRsaKey {
  TFGInt Modulus;          // n = p q
  TFGInt PublicExponent;   // e
  TFGInt PrivateExponent;  // d, e d = 1 modulo lcm(p - 1, q - 1)
  TFGInt P;                // the larger prime
  TFGInt Q;                // the smaller prime
  TFGInt ExponentModP;     // d mod (p - 1)
  TFGInt ExponentModQ;     // d mod (q - 1)
  TFGInt Coefficient;      // q^-1 mod p
};

// key := a new private key with a modulus of exactly `bits` bits (1,024 to 16,384) and the
// public exponent |publicExponent| (odd, above 2^16 and below 2^256; 65537 without the
// argument), made as FIPS 186-5 Appendix A.1.3 asks: p and q of bits / 2 bits each (one bit
// more for p when `bits` is odd), their top two bits set, drawn from the operating system's
// generator and tested by trial division and Miller-Rabin rounds (Appendix B.3); gcd(e,
// p - 1) = gcd(e, q - 1) = 1; |p - q| > 2^(bits / 2 - 100); d = e^-1 mod lcm(p - 1, q - 1)
// with d > 2^(bits / 2). Every step on secret values takes a time that depends on the sizes
// alone, except that a rejected candidate shows that it was rejected. An exponent or size
// outside those ranges raises Exception.
void RsaGenerateKey(std::size_t bits, const TFGInt& publicExponent, TRsaKey& key);
void RsaGenerateKey(std::size_t bits, TRsaKey& key);

// -- A prepared private key ------------------------------------------------------------------

namespace detail {
class RsaPrivateOperation;
}

// A private key made ready for any number of decryptions: the Montgomery constants of p, q
// and n, the exponents and the coefficient, derived once. Empty until RsaPrepareKey fills
// it; copies share the prepared values, which never change, so any number of threads may
// decrypt with one prepared key at once.
struct TRsaPreparedKey {
  std::shared_ptr<const detail::RsaPrivateOperation> Operation;
};

// prepared := the private half of key, ready for RsaDecryptPrepared. Modulus is required;
// with P and Q the Chinese-remainder path is prepared (ExponentModP and ExponentModQ, or
// else PrivateExponent to derive them from), without them the direct path with
// PrivateExponent. Values that are given must agree: n = p q, and a Coefficient or
// exponents modulo p - 1 and q - 1 given beside d must be the ones d and the primes imply.
// A key that lacks what its path needs, or whose values disagree or lie outside the
// domain of RsaDecrypt, raises Exception.
void RsaPrepareKey(const TRsaKey& key, TRsaPreparedKey& prepared);

// result := RsaDecrypt of text with the prepared key's values, on the path it was prepared
// for: the same result, byte for byte. An empty prepared key raises Exception. `result` may
// be `text`.
void RsaDecryptPrepared(const std::string& text, const TRsaPreparedKey& prepared,
                        std::string& result);

}  // namespace xkit
