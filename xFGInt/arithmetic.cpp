// Signed addition, subtraction, multiplication and squaring, and the in-place digit
// operations. Sums and the digit operations work on the 31-bit digits directly (the free
// bit 31 carries); products repack into limbs and run the multiplication kernels.
#include <algorithm>
#include <utility>

#include "xFGInt/digit_kernels.h"
#include "xFGInt/record_limbs.h"
#include "xFGInt/xFGInt.h"

namespace xkit {

namespace {

using detail::DigitCount;
using detail::kDigitBits;
using detail::kDigitMask;
using detail::Limb;
using detail::RequireValue;

TMagnitudeOrder CompareDigits(const std::uint32_t* x, const std::uint32_t* y, std::size_t n) {
  for (std::size_t i = n; i >= 1; --i) {
    if (x[i] != y[i]) return x[i] > y[i] ? TMagnitudeOrder::Greater : TMagnitudeOrder::Smaller;
  }
  return TMagnitudeOrder::Equal;
}

// Sums and differences of digit runs, by the digit kernels (carry lookahead over vector
// registers). Every run function takes c, x, y at the same index, so c may be x or y, and
// ORs every digit it reads into `seen` for the bit-31 check.

template <bool kSubtract>
std::uint32_t DigitRun(std::uint32_t* c, const std::uint32_t* x, const std::uint32_t* y,
                       std::size_t n, std::uint32_t carry, std::uint32_t& seen) {
  const detail::DigitKernels& kernels = detail::gDigitKernels;
  return (kSubtract ? kernels.subRun : kernels.addRun)(c, x, y, n, carry, seen);
}

// c[0..n) := x + carry (kSubtract: x - borrow); returns the carry (borrow) out. Once the
// carry dies the rest is a copy, skipped when c is x; its digits are checked all the same.
template <bool kSubtract>
std::uint32_t CarryRun(std::uint32_t* c, const std::uint32_t* x, std::size_t n, std::uint32_t carry,
                       std::uint32_t& seen) {
  std::size_t i = 0;
  for (; i < n && carry != 0; ++i) {
    seen |= x[i];
    if (kSubtract) {
      carry = x[i] == 0;
      c[i] = (x[i] - 1) & kDigitMask;
    } else {
      const std::uint32_t t = x[i] + 1;
      c[i] = t & kDigitMask;
      carry = t >> 31;
    }
  }
  std::uint32_t rest = 0;
  if (c != x) {
    for (; i < n; ++i) {
      c[i] = x[i];
      rest |= x[i];
    }
  } else {
    for (; i < n; ++i)
      rest |= x[i];
  }
  seen |= rest;
  return carry;
}

// c[1..nx] := x[1..nx] - y[1..ny] for |x| >= |y|, nx >= ny; c may be x or y. Returns the OR
// of the digits read.
std::uint32_t SubtractDigits(std::uint32_t* c, const std::uint32_t* x, std::size_t nx,
                             const std::uint32_t* y, std::size_t ny) {
  std::uint32_t seen = 0;
  const std::uint32_t borrow = DigitRun<true>(c + 1, x + 1, y + 1, ny, 0, seen);
  CarryRun<true>(c + ny + 1, x + ny + 1, nx - ny, borrow, seen);
  return seen;
}

// The digit check of a sum, made as its runs read the digits, so after c is written: a
// malformed operand leaves c empty rather than half written.
void RequireSumDigits(std::uint32_t seen, std::uint32_t topZero, TFGInt& c) {
  // Public: whether the operands are well formed; every valid operand passes.
  if (detail::Declassify((seen >> 31) | topZero) != 0) [[unlikely]] {
    c.Digits.clear();
    detail::ThrowMalformedDigits(seen);
  }
}

// c := x + y where x carries the flag xSign and y the flag ySign (the caller may have
// flipped y's flag for a subtraction without touching y). c may be x and/or y.
void AddSigned(const TFGInt& a, TBigSign aSign, const TFGInt& b, TBigSign bSign, TFGInt& c) {
  RequireValue(a);
  RequireValue(b);
  const TFGInt* x = &a;
  const TFGInt* y = &b;
  TBigSign xSign = aSign;
  TBigSign ySign = bSign;
  // The operand with more digits goes first; with different flags, the larger magnitude.
  // On equal magnitudes a stays first, so its flag is the flag of the zero result.
  const auto swapOperands = [&] {
    std::swap(x, y);
    std::swap(xSign, ySign);
  };
  if (DigitCount(*x) < DigitCount(*y)) swapOperands();
  const std::size_t nx = DigitCount(*x);
  const std::size_t ny = DigitCount(*y);
  // The digits are checked as the runs read them, after c is written. When c is one operand,
  // the other is checked first, so that a malformed operand never costs the caller a valid
  // one.
  if (&c == x && y != x) detail::RequireDigits(*y);
  if (&c == y && x != y) detail::RequireDigits(*x);
  const std::uint32_t topZero = detail::TopDigitZero(a) | detail::TopDigitZero(b);
  std::uint32_t seen = 0;
  if (xSign == ySign) {
    c.Digits.resize(nx + 1);  // may move x's or y's digits when one of them is c
    const std::uint32_t* xd = x->Digits.data();
    const std::uint32_t* yd = y->Digits.data();
    std::uint32_t* cd = c.Digits.data();
    const std::uint32_t low = DigitRun<false>(cd + 1, xd + 1, yd + 1, ny, 0, seen);
    const std::uint32_t carry = CarryRun<false>(cd + ny + 1, xd + ny + 1, nx - ny, low, seen);
    RequireSumDigits(seen, topZero, c);
    c.Sign = xSign;
    // A carry out is a new top digit 1; the array grows only then.
    if (carry != 0) {
      c.Digits.push_back(1);
      c.Digits[0] = static_cast<std::uint32_t>(nx + 1);
    } else {
      detail::Normalise(c, nx);
    }
    return;
  }
  if (nx == ny &&
      CompareDigits(y->Digits.data(), x->Digits.data(), nx) == TMagnitudeOrder::Greater) {
    swapOperands();
  }
  // nx >= ny still holds: the swap above only happens between equal counts.
  c.Digits.resize(nx + 1);
  RequireSumDigits(SubtractDigits(c.Digits.data(), x->Digits.data(), nx, y->Digits.data(), ny),
                   topZero, c);
  c.Sign = xSign;
  detail::Normalise(c, nx);
}

TBigSign Flipped(TBigSign sign) {
  return sign == TBigSign::Negative ? TBigSign::Positive : TBigSign::Negative;
}

}  // namespace

void BigAdd(const TFGInt& a, const TFGInt& b, TFGInt& c) {
  AddSigned(a, a.Sign, b, b.Sign, c);
}

void BigSub(const TFGInt& a, const TFGInt& b, TFGInt& c) {
  AddSigned(a, a.Sign, b, Flipped(b.Sign), c);
}

void BigMul(const TFGInt& a, const TFGInt& b, TFGInt& c) {
  if (&a == &b) {
    BigSquare(a, c);
    return;
  }
  RequireValue(a);
  RequireValue(b);
  const TBigSign sign = a.Sign == b.Sign ? TBigSign::Positive : TBigSign::Negative;
  const std::size_t la = detail::LimbsForDigits(DigitCount(a));
  const std::size_t lb = detail::LimbsForDigits(DigitCount(b));
  detail::LimbBuffer buffer(2 * (la + lb));
  Limb* x = buffer.Data();
  Limb* y = x + la;
  Limb* product = y + lb;
  const std::size_t nx = detail::ToLimbs(a, x);
  const std::size_t ny = detail::ToLimbs(b, y);
  if (nx == 0 || ny == 0) {
    detail::SetDigit(c, 0, sign);
    return;
  }
  // Sized for these operands alone: a product long enough for the transform needs none.
  detail::LimbBuffer scratch(detail::MulScratchSizeOnce(nx, ny));
  detail::Mul(product, x, nx, y, ny, scratch.Data());
  detail::FromLimbs(product, nx + ny, sign, c);
}

void BigSquare(const TFGInt& a, TFGInt& b) {
  RequireValue(a);
  const std::size_t la = detail::LimbsForDigits(DigitCount(a));
  detail::LimbBuffer buffer(3 * la);
  Limb* x = buffer.Data();
  Limb* square = x + la;
  const std::size_t n = detail::ToLimbs(a, x);
  if (n == 0) {
    detail::SetDigit(b, 0, TBigSign::Positive);
    return;
  }
  detail::LimbBuffer scratch(detail::SqrScratchSizeOnce(n));
  detail::Sqr(square, x, n, scratch.Data());
  detail::FromLimbs(square, 2 * n, TBigSign::Positive, b);
}

void BigMulSmallInPlace(TFGInt& a, std::uint32_t k) {
  detail::RequireDigits(a);
  const std::size_t n = DigitCount(a);
  a.Digits.resize(n + 3);
  std::uint32_t* d = a.Digits.data();
  std::uint64_t carry = 0;
  for (std::size_t i = 1; i <= n; ++i) {
    // d[i] k + carry < 2^31 2^32 + 2^33 < 2^64, and the next carry stays below 2^33.
    const std::uint64_t t = static_cast<std::uint64_t>(d[i]) * k + carry;
    d[i] = static_cast<std::uint32_t>(t) & kDigitMask;
    carry = t >> kDigitBits;
  }
  d[n + 1] = static_cast<std::uint32_t>(carry) & kDigitMask;
  d[n + 2] = static_cast<std::uint32_t>(carry >> kDigitBits);
  detail::Normalise(a, n + 2);
}

void BigDivModSmallInPlace(TFGInt& a, std::uint32_t k, std::uint32_t& r) {
  detail::RequireDigits(a);
  if (k == 0) throw EDivByZero();
  const std::size_t n = DigitCount(a);
  std::uint32_t* d = a.Digits.data();
  std::uint64_t rem = 0;
  for (std::size_t i = n; i >= 1; --i) {
    const std::uint64_t t = (rem << kDigitBits) | d[i];  // rem < k < 2^32: t < 2^63
    d[i] = static_cast<std::uint32_t>(t / k);            // below 2^31 because rem < k
    rem = t % k;
  }
  r = static_cast<std::uint32_t>(rem);
  detail::Normalise(a, n);
}

void BigSubAbsInPlace(TFGInt& a, const TFGInt& b) {
  detail::RequireDigits(a, b);
  const std::size_t na = DigitCount(a);
  const std::size_t nb = DigitCount(b);
  if (na < nb || (na == nb && CompareDigits(a.Digits.data(), b.Digits.data(), na) ==
                                  TMagnitudeOrder::Smaller)) {
    throw Exception("BigSubAbsInPlace: |a| is smaller than |b|");
  }
  SubtractDigits(a.Digits.data(), a.Digits.data(), na, b.Digits.data(), nb);
  detail::Normalise(a, na);
}

void BigShiftLeftDigit(TFGInt& a) {
  detail::RequireDigits(a);
  if (detail::IsZero(a)) return;
  a.Digits.insert(a.Digits.begin() + 1, 0);
  a.Digits[0] += 1;
}

void BigShiftRightDigit(TFGInt& a) {
  detail::RequireDigits(a);
  if (DigitCount(a) == 1) {
    a.Digits[1] = 0;
    return;
  }
  a.Digits.erase(a.Digits.begin() + 1);
  a.Digits[0] -= 1;
}

}  // namespace xkit
