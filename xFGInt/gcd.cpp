// BigGcd over the binary gcd kernel, in time that depends on the operands' sizes alone: the
// common power of two is found and shifted out and back under masks, the kernel gets an odd
// operand (a stand-in when one operand is zero, whose result is then masked away), and the
// result's flag is chosen by masks from the comparisons that decide it.
#include <algorithm>

#include "xFGInt/record_limbs.h"
#include "xFGInt/xFGInt.h"

namespace xkit {

namespace {

using detail::Limb;
using detail::MaskIfZero;

inline Limb Choose(Limb mask, Limb ifSet, Limb otherwise) {
  return otherwise ^ ((ifSet ^ otherwise) & mask);
}

// The number of trailing zero bits of a[0..n); 64 n for zero.
Limb TrailingZeros(const Limb* a, std::size_t n) {
  Limb found = 0;  // all ones from the lowest non-zero limb on
  Limb count = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Limb first = ~found & ~MaskIfZero(a[i]);
    // The top bit spares the count its test for zero; it changes nothing for a non-zero limb.
    const auto zeros = static_cast<Limb>(__builtin_ctzll(a[i] | (Limb{1} << 63)));
    count |= (64 * i + zeros) & first;
    found |= first;
  }
  return Choose(found, count, 64 * n);
}

// a[0..n) shifted down (kDown) or up by s bits, 0 <= s <= 64 n, bits leaving the n limbs
// dropped. The shift is made of the shifts by each power of two up to 64 n, each applied
// or not under a mask, so no address depends on s. t: n limbs of scratch.
template <bool kDown>
void ShiftBy(Limb* a, std::size_t n, Limb s, Limb* t) {
  for (std::size_t step = 1; step <= 64 * n; step *= 2) {
    const std::size_t limbs = step / 64;
    const unsigned bits = step % 64;
    if (kDown) {
      std::copy(a + limbs, a + n, t);
      std::fill(t + n - limbs, t + n, Limb{0});
      if (bits != 0) detail::RShift(t, t, n - limbs, bits);
    } else {
      std::fill(t, t + limbs, Limb{0});
      std::copy(a, a + n - limbs, t + limbs);
      if (bits != 0) detail::LShift(t + limbs, t + limbs, n - limbs, bits);
    }
    detail::Select(a, t, a, n, detail::MaskFromBit((s / step) & 1));
  }
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
  const Limb aBelow = detail::MaskFromBit(detail::SubN(t, x, y, n));
  const Limb aAbove = detail::MaskFromBit(detail::SubN(t, y, x, n));
  const Limb aZero = detail::MaskIfZeroN(x, n);
  const Limb bZero = detail::MaskIfZeroN(y, n);

  // gcd(a, b) = 2^min(s, t) gcd(a / 2^s, b / 2^t), with b / 2^t odd; a zero b stands in as 1.
  const Limb xZeros = TrailingZeros(x, n);
  const Limb yZeros = TrailingZeros(y, n);
  const Limb common = Choose(detail::MaskFromBit((xZeros - yZeros) >> 63), xZeros, yZeros);
  std::copy(x, x + n, oddX);
  std::copy(y, y + n, oddY);
  ShiftBy<true>(oddX, n, common, t);
  ShiftBy<true>(oddY, n, yZeros, t);
  oddY[0] |= bZero & 1;
  detail::GcdOdd(gcd, oddX, oddY, n, scratch);
  ShiftBy<false>(gcd, n, common, t);
  detail::Select(gcd, y, gcd, n, aZero);  // gcd(0, b) = |b|
  detail::Select(gcd, x, gcd, n, bZero);  // gcd(a, 0) = |a|

  // The flag the Euclidean recursion copies (see the declaration): with x the operand of
  // larger magnitude and y the other, x's when y = 0, y's when |y| divides |x| (the gcd is
  // |y|), Positive otherwise; a's when |a| = |b|.
  const auto flag = [](TBigSign sign) { return Limb{sign == TBigSign::Positive}; };
  const Limb aFlag = flag(a.Sign);
  const Limb bFlag = flag(b.Sign);
  detail::Select(t, y, x, n, aAbove);  // the smaller magnitude
  Limb difference = 0;
  for (std::size_t i = 0; i < n; ++i)
    difference |= gcd[i] ^ t[i];
  Limb sign = Choose(MaskIfZero(difference), Choose(aAbove, bFlag, aFlag), 1);
  sign = Choose(Choose(aAbove, bZero, aZero), Choose(aAbove, aFlag, bFlag), sign);
  sign = Choose(~aBelow & ~aAbove, aFlag, sign);
  detail::FromLimbs(gcd, n, static_cast<TBigSign>(sign), g);  // Positive is 1
}

}  // namespace xkit
