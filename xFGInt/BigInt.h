// xkit::BigInt: a value type over TFGInt for C++ code that wants operators. It holds one
// record and adds no arithmetic of its own: every operation is one of the free functions of
// xFGInt.h, so results (Euclidean division included) are exactly theirs.
//
// Invariant: the record is a value (never the empty record), except in a BigInt that has been
// moved from. A moved-from BigInt may be assigned to or destroyed; any other use raises
// xkit::Exception. Zero may carry either sign flag inside the record; a BigInt compares,
// prints and reports its sign by value, so +0 and -0 are the same number.
#pragma once

#include <compare>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "xFGInt/xFGInt.h"

namespace xkit {

class BigInt {
public:
  // Zero.
  BigInt();
  // Any integer value exactly, from INT64_MIN to UINT64_MAX.
  template <std::integral T>
  requires(!std::same_as<T, bool>)
      BigInt(T value) {  // NOLINT: implicit on purpose, so that a + 1 and a == 0 read naturally
    if constexpr (std::signed_integral<T>) {
      FromSigned(static_cast<std::int64_t>(value));
    } else {
      FromMagnitude(static_cast<std::uint64_t>(value), false);
    }
  }
  // The value of a decimal text, as BigFromDecimal reads it ("-" allowed); a malformed text
  // raises EConvertError.
  explicit BigInt(std::string_view decimal);
  // A copy of a record, or the record itself; an empty or malformed record raises Exception.
  explicit BigInt(const TFGInt& record);
  explicit BigInt(TFGInt&& record);

  BigInt(const BigInt&) = default;
  BigInt& operator=(const BigInt&) = default;
  BigInt(BigInt&&) noexcept = default;
  BigInt& operator=(BigInt&&) noexcept = default;
  ~BigInt() = default;

  // The big-endian bytes of the magnitude (BigToBits, then BitsToBytes): at least one byte,
  // so zero gives one zero byte. The sign is not part of the bytes.
  std::string ToBytes() const;
  // The bytes read as a big-endian unsigned number ("" gives zero).
  static BigInt FromBytes(const std::string& bytes);
  // Decimal text: "-" before a negative value, "0" for zero.
  std::string ToDecimal() const;

  bool IsZero() const;
  bool IsNegative() const;  // below zero; -0 is not
  // The record, for the free functions of xFGInt.h and xFGIntRSA.h.
  const TFGInt& Record() const { return value_; }

  friend BigInt operator-(const BigInt& a);
  friend BigInt operator+(const BigInt& a, const BigInt& b);
  friend BigInt operator-(const BigInt& a, const BigInt& b);
  friend BigInt operator*(const BigInt& a, const BigInt& b);
  // Euclidean division (BigDivMod): a = (a / b) b + a % b with 0 <= a % b < |b|, so -7 / 2
  // is -4 and -7 % 2 is 1. A zero divisor raises EDivByZero.
  friend BigInt operator/(const BigInt& a, const BigInt& b);
  friend BigInt operator%(const BigInt& a, const BigInt& b);

  BigInt& operator+=(const BigInt& b);
  BigInt& operator-=(const BigInt& b);
  BigInt& operator*=(const BigInt& b);
  BigInt& operator/=(const BigInt& b);
  BigInt& operator%=(const BigInt& b);

  friend bool operator==(const BigInt& a, const BigInt& b);
  friend std::strong_ordering operator<=>(const BigInt& a, const BigInt& b);

private:
  void FromSigned(std::int64_t value);
  void FromMagnitude(std::uint64_t magnitude, bool negative);

  TFGInt value_;
};

// Quotient and remainder of one Euclidean division.
struct BigDivResult {
  BigInt quotient;
  BigInt remainder;
};
BigDivResult DivMod(const BigInt& a, const BigInt& b);

// base^|e| mod |m| (BigPowMod): 0 <= result < |m|. m = 0 raises EDivByZero.
BigInt PowMod(const BigInt& base, const BigInt& e, const BigInt& m);
// gcd(|a|, |b|), never negative (gcd(0, 0) = 0).
BigInt Gcd(const BigInt& a, const BigInt& b);
// The r in 0..|m| - 1 with a r = 1 (mod m), or nothing when gcd(a, m) != 1 (BigInvMod).
// m = 0 raises EDivByZero.
std::optional<BigInt> InvMod(const BigInt& a, const BigInt& m);

// A random value in 0 .. 2^bits - 1 (BigRandomBits), and in 0 .. |bound| - 1 with every
// value equally likely (BigRandomBelow; a zero bound raises Exception), from the operating
// system's generator.
BigInt RandomBits(std::size_t bits);
BigInt RandomBelow(const BigInt& bound);
// Whether |a| is prime (BigIsProbablePrime: Baillie-PSW and Miller-Rabin rounds), and the
// smallest probable prime above a (BigNextPrime; 2 for every a below 2).
bool IsProbablePrime(const BigInt& a);
BigInt NextPrime(const BigInt& a);

// Writes the decimal text.
std::ostream& operator<<(std::ostream& out, const BigInt& a);

}  // namespace xkit
