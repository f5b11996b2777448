// xFGInt: signed integers of unbounded size. A value is a plain record, TFGInt, owned by the
// caller; every operation is a free function that reads operand records and writes its
// result record whole (sized, filled, normalised, sign set).
//
// Record invariant, held by every value an operation produces and expected of every operand:
//   Digits.size() == n + 1 with n = Digits[0] >= 1; Digits[1..n] are base-2^31 digits, least
//   significant first, each below 2^31; Digits[n] != 0 unless n == 1 (zero is n = 1 with
//   Digits[1] = 0). The value is the magnitude, negated when Sign is Negative. Zero may carry
//   either flag: each operation states the flag it gives a zero result.
// A record whose Digits vector is empty is the empty record: not a value, but always a valid
// result record. Every operation that reads an operand's value refuses an empty or malformed
// one (a count cell that disagrees with the array, a digit with bit 31 set, a zero top digit
// other than zero's single digit) with xkit::Exception; BigDestroy, BigAbs and BigChangeSign
// touch no digit and take any record. A malformed operand leaves every other operand as it
// was; a result record that is no operand is left as it was or empty, and one that is the
// malformed operand itself is left in an unspecified state.
//
// Every result record may be the same object as any operand; operands are never modified,
// not even for a moment, so concurrent readers of an operand are safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/exceptions.h"

namespace xkit {

enum class TBigSign : std::uint8_t { Negative = 0, Positive = 1 };
enum class TMagnitudeOrder : std::uint8_t { Greater = 0, Smaller = 1, Equal = 2 };

struct TFGInt {
  TBigSign Sign = TBigSign::Positive;
  std::vector<std::uint32_t> Digits;  // Digits[0] = count n, Digits[1..n] base 2^31, least
                                      // significant first; empty vector = empty record
};

// -- Record operations ----------------------------------------------------------------------

// Releases a's digits; a becomes empty. The sign flag is left as it was.
void BigDestroy(TFGInt& a);
// target := source (a fresh copy of the digits and the flag); a no-op when both are one record.
void BigCopy(const TFGInt& source, TFGInt& target);
// Flags a Positive; the digits are untouched.
void BigAbs(TFGInt& a);
// Negative becomes Positive and Positive becomes Negative, zero included.
void BigChangeSign(TFGInt& a);
// |a| against |b|: Greater, Smaller or Equal.
TMagnitudeOrder BigCompareAbs(const TFGInt& a, const TFGInt& b);

// -- Conversions ----------------------------------------------------------------------------
// A bit string is a text of '0' and '1', most significant bit first; readers take '1' as a
// one bit and every other character as a zero bit. Byte strings are big-endian.

// a := the value of the bit string, flagged Positive ("" gives zero).
void BigFromBits(const std::string& bits, TFGInt& a);
// bits := the magnitude in base 2 without leading zeros ("0" for zero and the empty record).
void BigToBits(const TFGInt& a, std::string& bits);
// Eight characters per byte, most significant bit first.
void BytesToBits(const std::string& bytes, std::string& bits);
// Right-aligned: "0"s are put in front up to a multiple of 8, then each 8 give one byte.
void BitsToBytes(const std::string& bits, std::string& bytes);
// a := the bytes read as a big-endian unsigned number, flagged Positive ("" gives zero).
void BigFromBytes(const std::string& bytes, TFGInt& a);
// Decodes the xkit base-64 alphabet "aAbBcC...zZ0123456789+=" (value 2k is the k-th
// lower-case letter, 2k + 1 its capital; "=" is the digit 63, not padding). Other characters
// are skipped; bits are left-aligned and a final group of fewer than 8 bits is dropped.
void Base64ToBytes(const std::string& text, std::string& bytes);
// a := the value of a decimal text. Characters before the first '-' or digit are skipped,
// then an optional '-' and leading zeros ("-0" gives zero flagged Negative, "" zero flagged
// Positive). The digits are read in groups of four from the right end; the first group, from
// the right, that is not made of decimal digits raises EConvertError with the message
// "'<group>' n'est pas une valeur entière correcte".
void BigFromDecimal(const std::string& text, TFGInt& a);
// text := the value in decimal, "-" before a non-zero negative value, "0" for zero.
void BigToDecimal(const TFGInt& a, std::string& text);
// The inverse of Base64ToBytes in the same alphabet: bits left-aligned, the last sextet
// filled with zero bits, no padding character.
void BytesToBase64(const std::string& bytes, std::string& text);

// -- Arithmetic -----------------------------------------------------------------------------

// c := a + b. Equal flags: c takes them. Different flags: c takes the flag of the operand of
// larger magnitude, and of a when the magnitudes are equal (5 + (-5) is +0, (-5) + 5 is -0).
void BigAdd(const TFGInt& a, const TFGInt& b, TFGInt& c);
// c := a - b, with the flag BigAdd gives a + (-b) (so a - a is zero with a's flag).
void BigSub(const TFGInt& a, const TFGInt& b, TFGInt& c);
// c := a * b, flagged Positive when a and b carry the same flag, Negative otherwise
// ((-3) * 0 is -0).
void BigMul(const TFGInt& a, const TFGInt& b, TFGInt& c);
// b := a * a, flagged Positive.
void BigSquare(const TFGInt& a, TFGInt& b);
// |a| := |a| * k for any 32-bit k (k = 0 gives zero); the flag is kept.
void BigMulSmallInPlace(TFGInt& a, std::uint32_t k);
// |a| := |a| div k and r := |a| mod k of the old magnitude; the flag is kept. k = 0 raises
// EDivByZero and leaves a unchanged.
void BigDivModSmallInPlace(TFGInt& a, std::uint32_t k, std::uint32_t& r);
// |a| := |a| - |b|; the flag is kept. |a| < |b| raises Exception and leaves a unchanged.
void BigSubAbsInPlace(TFGInt& a, const TFGInt& b);
// |a| := |a| * 2^31 (zero stays a normalised zero); the flag is kept.
void BigShiftLeftDigit(TFGInt& a);
// |a| := |a| div 2^31; the flag is kept.
void BigShiftRightDigit(TFGInt& a);

// -- Division ------------------------------------------------------------------------------
// Euclidean: the remainder lies in 0..|b| - 1 and is flagged Positive. A zero divisor or
// modulus raises EDivByZero.

// a = q * b + r. For a flagged Positive, q = |a| div |b| carrying b's flag. For a flagged
// Negative, q = |a| div |b| (plus one when the remainder is non-zero), flagged Negative when
// b is flagged Positive and Positive otherwise. q and r must be distinct records (Exception).
void BigDivMod(const TFGInt& a, const TFGInt& b, TFGInt& q, TFGInt& r);
// r := a mod |b|.
void BigMod(const TFGInt& a, const TFGInt& b, TFGInt& r);
// r := (a + b) mod |m|.
void BigAddMod(const TFGInt& a, const TFGInt& b, const TFGInt& m, TFGInt& r);
// r := (a * b) mod |m|.
void BigMulMod(const TFGInt& a, const TFGInt& b, const TFGInt& m, TFGInt& r);

// -- Exponentiation, gcd and inverse --------------------------------------------------------

// r := base^|e| mod |m|, flagged Positive, for every non-zero m (m = 0 raises EDivByZero).
// base = 0 (mod m) gives 0 for every exponent, 0 included, and m = +-1 gives 0; a negative
// base acts as its residue. An odd modulus takes the Montgomery engine, whose time depends
// on the sizes of the operands and the bit length of e, never on their values; an even one
// takes a plain square-and-multiply path that is not constant-time.
void BigPowMod(const TFGInt& base, const TFGInt& e, const TFGInt& m, TFGInt& r);
// |g| := gcd(|a|, |b|) (gcd(a, 0) = |a|, gcd(0, 0) = 0). The flag is the one the Euclidean
// recursion copies: a's when |a| = |b|; otherwise, with x the operand of larger magnitude
// and y the other, x's when y = 0, y's when |y| divides |x|, and Positive in every other case.
void BigGcd(const TFGInt& a, const TFGInt& b, TFGInt& g);
// r := the r in 0..|m| - 1 with a r = 1 (mod |m|), flagged Positive, when gcd(a, m) = 1
// (m = +-1 gives 0); r is left untouched when no inverse exists. m = 0 raises EDivByZero.
void BigInvMod(const TFGInt& a, const TFGInt& m, TFGInt& r);

// -- Random numbers and primes ---------------------------------------------------------------
// Random values come from the operating system's generator (getrandom), uniformly; there is
// no seed to set.

// r := a random value in 0 .. 2^bits - 1, flagged Positive (bits = 0 gives 0).
void BigRandomBits(std::size_t bits, TFGInt& r);
// r := a random value in 0 .. |bound| - 1, flagged Positive, every value equally likely (by
// rejection sampling). A zero bound raises Exception.
void BigRandomBelow(const TFGInt& bound, TFGInt& r);
// Whether |a| is prime, probably: trial division by the primes below 4096, then Baillie-PSW
// (a Miller-Rabin round to base 2 and a strong Lucas test with Selfridge's parameters), then
// t Miller-Rabin rounds with random bases. Primes always pass. Up to 2^64 the answer is exact
// (Baillie-PSW has no pseudoprime there). Above, no composite passing Baillie-PSW is known;
// the random rounds bound the chance that one passes, for any composite, by 4^-t, and for a
// random k-bit candidate by FIPS 186-5 Appendix B.3, Table B.1: t = 4 from 1,024 bits
// (2^-112), 3 from 1,536 (2^-128), 2 from 2,048 (2^-144); below 1,024 bits t keeps the
// chance for a random candidate under 2^-100 (Damgard-Landrock-Pomerance), and below 256
// bits t = 50 keeps it under 2^-100 for any composite.
bool BigIsProbablePrime(const TFGInt& a);
// r := the smallest probable prime (as BigIsProbablePrime) above a, flagged Positive; 2 for
// every a below 2.
void BigNextPrime(const TFGInt& a, TFGInt& r);

// The Montgomery helpers, for a radix R = 2^(31 (k - 1) + L) given as the digit count k of
// the modulus and mask = 2^L - 1 (1 <= L <= 31). k = 0 stands for R = 1.
// r := T R^-1 mod N for 0 <= T < N R and NPrime = -N^-1 mod R, computed as
//   u := T mod R; v := u NPrime mod R; r := (T + v N) / R; r := r - N if r >= N.
// The steps run as written for any operands (r is then whatever they give); k = 0 raises
// Exception.
void BigMontgomeryReduce(const TFGInt& T, const TFGInt& N, const TFGInt& NPrime, TFGInt& r,
                         std::uint32_t k, std::uint32_t mask);
// r := a with digits above k dropped and digit k ANDed with mask, flagged Positive; when a
// has fewer than k digits, r := a with its flag. For mask = 2^L - 1 that is |a| mod R.
void BigTruncateDigits(const TFGInt& a, TFGInt& r, std::uint32_t k, std::uint32_t mask);
// c := the low k digits of |a| |b| with digit k ANDed with mask when the product reaches k
// digits, flagged Positive when a and b carry the same flag and Negative otherwise
// ((a b) mod R for mask = 2^L - 1).
void BigMulTruncated(const TFGInt& a, const TFGInt& b, TFGInt& c, std::uint32_t k,
                     std::uint32_t mask);

}  // namespace xkit
