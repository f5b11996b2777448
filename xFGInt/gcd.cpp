// BigGcd over the binary gcd kernel, in time that depends on the operands' sizes alone: the
// common power of two is found and shifted out and back under masks, the kernel gets an odd
// operand (a stand-in when one operand is zero, whose result is then masked away), and the
// result's flag is chosen by masks from the comparisons that decide it.
#include <algorithm>

#include "xFGInt/limbs_secret.h"
#include "xFGInt/record_limbs.h"
#include "xFGInt/xFGInt.h"

namespace xkit {

namespace {

using detail::Limb;

inline Limb Choose(Limb mask, Limb ifSet, Limb otherwise) {
  return otherwise ^ ((ifSet ^ otherwise) & mask);
}

}  // namespace

void BigGcd(const TFGInt& a, const TFGInt& b, TFGInt& g) {
  detail::RequireValue(a);
  detail::RequireValue(b);
  const std::size_t n =
      detail::LimbsForDigits(std::max(detail::DigitCount(a), detail::DigitCount(b)));
  detail::LimbBuffer buffer(6 * n + detail::GcdScratchSize(n));
  Limb* x = buffer.Data();
  Limb* y = x + n;
  Limb* gcd = y + n;
  Limb* oddX = gcd + n;
  Limb* oddY = oddX + n;
  Limb* t = oddY + n;
  Limb* scratch = t + n;
  std::fill(x, x + 2 * n, Limb{0});
  detail::ToLimbsPadded(a, x);
  detail::ToLimbsPadded(b, y);

  // |a| against |b|, and which operands are zero.
  const Limb aBelow = detail::LessMask(x, y, n);
  const Limb aAbove = detail::LessMask(y, x, n);
  const Limb aZero = detail::MaskIfZeroN(x, n);
  const Limb bZero = detail::MaskIfZeroN(y, n);

  // gcd(a, b) = 2^min(s, t) gcd(a / 2^s, b / 2^t), with b / 2^t odd; a zero b stands in as 1.
  const Limb xZeros = detail::TrailingZerosSecret(x, n);  // 64 n for zero, which the
  const Limb yZeros = detail::TrailingZerosSecret(y, n);  // shifts take as well
  const Limb common = Choose(detail::MaskFromBit((xZeros - yZeros) >> 63), xZeros, yZeros);
  std::copy(x, x + n, oddX);
  std::copy(y, y + n, oddY);
  detail::ShiftRightSecret(oddX, n, common);
  detail::ShiftRightSecret(oddY, n, yZeros);
  oddY[0] |= bZero & 1;
  detail::GcdOdd(gcd, oddX, oddY, n, scratch);
  detail::ShiftLeftSecret(gcd, n, common);
  detail::Select(gcd, y, gcd, n, aZero);  // gcd(0, b) = |b|
  detail::Select(gcd, x, gcd, n, bZero);  // gcd(a, 0) = |a|

  // The flag the Euclidean recursion copies (see the declaration): with x the operand of
  // larger magnitude and y the other, x's when y = 0, y's when |y| divides |x| (the gcd is
  // |y|), Positive otherwise; a's when |a| = |b|.
  const auto flag = [](TBigSign sign) { return Limb{sign == TBigSign::Positive}; };
  const Limb aFlag = flag(a.Sign);
  const Limb bFlag = flag(b.Sign);
  detail::Select(t, y, x, n, aAbove);  // the smaller magnitude
  Limb sign = Choose(detail::EqualMask(gcd, t, n), Choose(aAbove, bFlag, aFlag), 1);
  sign = Choose(Choose(aAbove, bZero, aZero), Choose(aAbove, aFlag, bFlag), sign);
  sign = Choose(~aBelow & ~aAbove, aFlag, sign);
  detail::FromLimbsSecret(gcd, n, static_cast<TBigSign>(sign), g);  // Positive is 1
}

}  // namespace xkit
