// The bridge between TFGInt records and the limb kernels, for the operations of this unit
// and the units built on it (exponentiation, RSA): operand checks, normalisation, repacking
// of 31-bit digits into 64-bit limbs and back, and scratch buffers that spare the heap for
// operands of common sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/declassify.h"
#include "platform/memory.h"
#include "xFGInt/limbs.h"
#include "xFGInt/xFGInt.h"

namespace xkit::detail {

inline constexpr unsigned kDigitBits = 31;
inline constexpr std::uint32_t kDigitMask = 0x7FFFFFFF;

// A record is checked in two parts. RequireValue checks its array, which is public (sizes):
// not empty, and the count cell matching it. The digits are checked where they are read
// anyway: repacked into limbs (ToLimbs) or summed (the digit runs OR what they read), and
// otherwise by a vector pass over them (RequireDigits): each below 2^31, and the top one
// non-zero unless it is zero's single digit.

// Throws the Exception that tells why a fails RequireValue.
[[noreturn]] void ThrowNotAValue(const TFGInt& a);
// Throws the Exception for malformed digits (see RequireDigitsValid).
[[noreturn]] void ThrowMalformedDigits(std::uint32_t seen);

inline void RequireValue(const TFGInt& a) {
  if (a.Digits.size() < 2 || a.Digits[0] != a.Digits.size() - 1) [[unlikely]] {
    ThrowNotAValue(a);
  }
}

// 1 when a (which passes RequireValue) has more than one digit and a zero top digit, else 0;
// no branch on the digit.
inline std::uint32_t TopDigitZero(const TFGInt& a) {
  const std::size_t n = a.Digits.size() - 1;
  return static_cast<std::uint32_t>(n > 1) & static_cast<std::uint32_t>(a.Digits[n] == 0);
}

// Throws Exception unless the digits read are well formed: `seen`, the OR of the digits, has
// bit 31 clear, and `topZero`, the OR of the operands' TopDigitZero, is 0.
inline void RequireDigitsValid(std::uint32_t seen, std::uint32_t topZero) {
  // Public: whether the operands are well formed; every valid operand passes.
  if (Declassify((seen >> 31) | topZero) != 0) [[unlikely]] {
    ThrowMalformedDigits(seen);
  }
}

// RequireValue and RequireDigitsValid in one pass over the digits of a (and b), for the
// operations that read them no other way, and before a sum writes over an operand.
void RequireDigits(const TFGInt& a);
void RequireDigits(const TFGInt& a, const TFGInt& b);

inline std::size_t DigitCount(const TFGInt& a) {
  return a.Digits[0];
}
inline bool IsZero(const TFGInt& a) {
  return a.Digits[0] == 1 && a.Digits[1] == 0;
}

// Drops zero digits above digit 1 from a's digits 1..top, then sizes the array to count + 1
// and writes the count.
inline void Normalise(TFGInt& a, std::size_t top) {
  std::size_t n = top;
  while (n > 1 && a.Digits[n] == 0)
    --n;
  a.Digits.resize(n + 1);
  a.Digits[0] = static_cast<std::uint32_t>(n);
}

// a := the one-digit value digit (below 2^31) with the given flag.
void SetDigit(TFGInt& a, std::uint32_t digit, TBigSign sign);

// Limbs that hold n digits: ceil(31 n / 64).
inline std::size_t LimbsForDigits(std::size_t n) {
  return (n * kDigitBits + 63) / 64;
}

// Writes the magnitude of a (which passes RequireValue) as LimbsForDigits(count) limbs, high
// zero limbs included, and returns that count; the time depends on the count alone. Throws
// Exception, having written nothing else, when the digits are malformed.
std::size_t ToLimbsPadded(const TFGInt& a, Limb* out);

// ToLimbsPadded, returning the count without high zero limbs (0 for zero), which tells the
// value's size.
inline std::size_t ToLimbs(const TFGInt& a, Limb* out) {
  return NormalizedSize(out, ToLimbsPadded(a, out));
}

// r := the n-limb magnitude a (n may be 0, and high zero limbs are allowed) with the given
// flag, normalised. a must not point into r's digits.
void FromLimbs(const Limb* a, std::size_t n, TBigSign sign, TFGInt& r);
// FromLimbs for a secret value: only the record's length depends on the value, no branch
// and no memory address depends on the limbs otherwise.
void FromLimbsSecret(const Limb* a, std::size_t n, TBigSign sign, TFGInt& r);

// The digit kernels under ToLimbs, FromLimbs and the digit sums have a portable path and,
// on x86-64 CPUs with AVX2, a vector path; both give identical results. The fastest
// available path is chosen at start-up; tests force each in turn.
enum class DigitPath : std::uint8_t { kPortable, kAvx2 };
bool DigitPathAvailable(DigitPath path);
DigitPath ActiveDigitPath();
// Selects a path for the whole process; returns false (and changes nothing) when the CPU
// lacks it. Not for use while another thread runs kernels.
bool SelectDigitPath(DigitPath path);

// Uninitialised scratch limbs: on the stack up to kInline limbs, on the heap beyond.
class LimbBuffer {
public:
  static constexpr std::size_t kInline = 512;

  explicit LimbBuffer(std::size_t size) {
    if (size > kInline) {
      heap_ = MakeWorkspace<Limb>(size);
      data_ = heap_.get();
    }
  }
  LimbBuffer(const LimbBuffer&) = delete;
  LimbBuffer& operator=(const LimbBuffer&) = delete;

  Limb* Data() { return data_; }

private:
  Limb inline_[kInline];
  Workspace<Limb> heap_;
  Limb* data_ = inline_;
};

}  // namespace xkit::detail
