// The bridge between TFGInt records and the limb kernels, for the operations of this unit
// and the units built on it (exponentiation, RSA): operand checks, normalisation, repacking
// of 31-bit digits into 64-bit limbs and back, and scratch buffers that spare the heap for
// operands of common sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "xFGInt/limbs.h"
#include "xFGInt/xFGInt.h"

namespace xkit::detail {

inline constexpr unsigned kDigitBits = 31;
inline constexpr std::uint32_t kDigitMask = 0x7FFFFFFF;

// Throws Exception unless a is a value: not empty, and its count cell matches its array.
void RequireValue(const TFGInt& a);

inline std::size_t DigitCount(const TFGInt& a) {
  return a.Digits[0];
}
inline bool IsZero(const TFGInt& a) {
  return a.Digits[0] == 1 && a.Digits[1] == 0;
}

// Drops zero digits above digit 1 from a's digits 1..top, then sizes the array to count + 1
// and writes the count.
void Normalise(TFGInt& a, std::size_t top);

// a := the one-digit value digit (below 2^31) with the given flag.
void SetDigit(TFGInt& a, std::uint32_t digit, TBigSign sign);

// Limbs that hold n digits: ceil(31 n / 64).
inline std::size_t LimbsForDigits(std::size_t n) {
  return (n * kDigitBits + 63) / 64;
}

// Writes the magnitude of a (a value) as LimbsForDigits(count) limbs; returns the count
// without high zero limbs (0 for zero).
std::size_t ToLimbs(const TFGInt& a, Limb* out);

// r := the n-limb magnitude a (n may be 0, and high zero limbs are allowed) with the given
// flag, normalised. a must not point into r's digits.
void FromLimbs(const Limb* a, std::size_t n, TBigSign sign, TFGInt& r);

// Uninitialised scratch limbs: on the stack up to kInline limbs, on the heap beyond.
class LimbBuffer {
public:
  explicit LimbBuffer(std::size_t size) {
    if (size > kInline) {
      heap_.reset(new Limb[size]);
      data_ = heap_.get();
    }
  }
  LimbBuffer(const LimbBuffer&) = delete;
  LimbBuffer& operator=(const LimbBuffer&) = delete;

  Limb* Data() { return data_; }

private:
  static constexpr std::size_t kInline = 512;
  Limb inline_[kInline];
  std::unique_ptr<Limb[]> heap_;
  Limb* data_ = inline_;
};

}  // namespace xkit::detail
