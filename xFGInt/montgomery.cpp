// The record-level Montgomery helpers: truncation modulo R = 2^(31 (k - 1) + L), the
// truncated product, and one Montgomery reduction built from them step by step. BigPowMod
// does not use them (its engine works on limbs with R = 2^(64 n)); they are kept for
// callers that work with the 31-bit radix.
#include <algorithm>
#include <utility>

#include "xFGInt/record_limbs.h"
#include "xFGInt/xFGInt.h"

namespace xkit {

namespace {

// r := digits 1..k of a with digit k ANDed with mask (k <= count(a)), normalised; the flag
// is left to the caller. k = 0 gives zero.
void LowDigits(const TFGInt& a, std::size_t k, std::uint32_t mask, TFGInt& r) {
  if (k == 0) {
    detail::SetDigit(r, 0, r.Sign);
    return;
  }
  std::vector<std::uint32_t> digits(a.Digits.begin(), a.Digits.begin() + k + 1);
  digits[k] &= mask;
  r.Digits = std::move(digits);
  detail::Normalise(r, k);
}

}  // namespace

void BigTruncateDigits(const TFGInt& a, TFGInt& r, std::uint32_t k, std::uint32_t mask) {
  detail::RequireDigits(a);
  if (detail::DigitCount(a) < k) {
    BigCopy(a, r);
    return;
  }
  LowDigits(a, k, mask, r);
  r.Sign = TBigSign::Positive;
}

void BigMulTruncated(const TFGInt& a, const TFGInt& b, TFGInt& c, std::uint32_t k,
                     std::uint32_t mask) {
  detail::RequireDigits(a);
  detail::RequireDigits(b);
  // Digits above k of an operand only reach product digits above k.
  TFGInt x, y, product;
  LowDigits(a, std::min<std::size_t>(k, detail::DigitCount(a)), 0x7FFFFFFF, x);
  LowDigits(b, std::min<std::size_t>(k, detail::DigitCount(b)), 0x7FFFFFFF, y);
  x.Sign = a.Sign;
  y.Sign = b.Sign;
  BigMul(x, y, product);  // flagged by the operands' flags, as the result must be
  if (detail::DigitCount(product) >= k) LowDigits(product, k, mask, product);
  c = std::move(product);
}

void BigMontgomeryReduce(const TFGInt& T, const TFGInt& N, const TFGInt& NPrime, TFGInt& r,
                         std::uint32_t k, std::uint32_t mask) {
  if (k == 0) throw Exception("BigMontgomeryReduce: k must be at least 1");
  TFGInt u, v, w, s;
  BigTruncateDigits(T, u, k, mask);
  BigMulTruncated(u, NPrime, v, k, mask);
  BigMul(v, N, w);
  BigAdd(w, T, s);
  // s / 2^(31 (k - 1)): drop the low k - 1 digits (a shorter s gives zero).
  const std::size_t count = detail::DigitCount(s);
  if (count < k) {
    detail::SetDigit(s, 0, TBigSign::Positive);
  } else {
    s.Digits.erase(s.Digits.begin() + 1, s.Digits.begin() + k);
    s.Digits[0] = static_cast<std::uint32_t>(count - k + 1);
    s.Sign = TBigSign::Positive;
  }
  // Then by 2^L: one more whole digit when L = 31, else a division by mask + 1.
  if (mask >= 0x40000000u) {
    BigShiftRightDigit(s);
  } else {
    std::uint32_t remainder;
    BigDivModSmallInPlace(s, mask + 1, remainder);
  }
  if (BigCompareAbs(s, N) != TMagnitudeOrder::Smaller) BigSubAbsInPlace(s, N);
  r = std::move(s);
}

}  // namespace xkit
