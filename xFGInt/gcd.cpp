// BigGcd and BigInvMod over the binary gcd kernels. The gcd strips the common power of two
// and hands the kernel an odd operand; the inverse reduces a modulo m first (so a negative
// a, or one above m, gets the inverse of its residue), and for an even m inverts m modulo a
// instead and converts the result.
#include <algorithm>
#include <bit>

#include "xFGInt/record_limbs.h"
#include "xFGInt/xFGInt.h"

namespace xkit {

namespace {

using detail::Limb;

std::size_t TrailingZeros(const Limb* a) {
  std::size_t i = 0;
  while (a[i] == 0)
    ++i;
  return 64 * i + static_cast<std::size_t>(std::countr_zero(a[i]));
}

// a[0..n) >>= s, for s below 64 n.
void ShiftDown(Limb* a, std::size_t n, std::size_t s) {
  const std::size_t limbs = s / 64;
  std::copy(a + limbs, a + n, a);
  std::fill(a + n - limbs, a + n, Limb{0});
  if (s % 64 != 0) detail::RShift(a, a, n - limbs, s % 64);
}

// a[0..n) <<= s, for a value that stays below 2^(64 n).
void ShiftUp(Limb* a, std::size_t n, std::size_t s) {
  const std::size_t limbs = s / 64;
  std::copy_backward(a, a + n - limbs, a + n);
  std::fill(a, a + limbs, Limb{0});
  if (s % 64 != 0) detail::LShift(a + limbs, a + limbs, n - limbs, s % 64);
}

// out[0..mn) = x mod m (m of mn limbs, normalised), for x of xn limbs.
void Reduce(Limb* out, const Limb* x, std::size_t xn, const Limb* m, std::size_t mn) {
  if (xn < mn) {
    std::copy(x, x + xn, out);
    std::fill(out + xn, out + mn, Limb{0});
    return;
  }
  detail::LimbBuffer buffer(xn - mn + 1 + detail::DivRemScratchSize(xn, mn));
  detail::DivRem(buffer.Data(), out, x, xn, m, mn, buffer.Data() + xn - mn + 1);
}

// inverse[0..mn) = y^-1 mod m for an even m > 1 and 0 < y < m; false when none exists.
// With t = m^-1 mod y (y odd), m t = 1 + y s for some 0 <= s < m, so y (m - s) = 1 (mod m).
bool InvertModEven(Limb* inverse, const Limb* y, const Limb* m, std::size_t mn) {
  const std::size_t yn = detail::NormalizedSize(y, mn);
  if ((y[0] & 1) == 0) return false;  // both even
  if (yn == 1 && y[0] == 1) {
    std::fill(inverse, inverse + mn, Limb{0});
    inverse[0] = 1;
    return true;
  }
  const std::size_t pn = mn + yn;  // limbs of m t
  detail::LimbBuffer buffer(3 * yn + pn + (mn + 1) +
                            std::max({detail::GcdScratchSize(yn), detail::MulScratchSize(mn, yn),
                                      detail::DivRemScratchSize(pn, yn)}));
  Limb* mModY = buffer.Data();
  Limb* t = mModY + yn;
  Limb* rest = t + yn;
  Limb* product = rest + yn;
  Limb* s = product + pn;
  Limb* scratch = s + mn + 1;
  Reduce(mModY, m, mn, y, yn);
  if (!detail::ModInverse(t, mModY, y, yn, scratch)) return false;
  detail::Mul(product, m, mn, t, yn, scratch);
  detail::Sub1(product, product, pn, 1);
  detail::DivRem(s, rest, product, pn, y, yn, scratch);  // exact: rest is 0
  detail::Sub(inverse, m, mn, s, mn);                    // s < m
  return true;
}

}  // namespace

void BigGcd(const TFGInt& a, const TFGInt& b, TFGInt& g) {
  const TMagnitudeOrder order = BigCompareAbs(a, b);  // checks both operands
  const std::size_t n =
      detail::LimbsForDigits(std::max(detail::DigitCount(a), detail::DigitCount(b)));
  detail::LimbBuffer buffer(4 * n + detail::GcdScratchSize(n));
  Limb* x = buffer.Data();
  Limb* y = x + n;
  Limb* gcd = y + n;
  Limb* smaller = gcd + n;
  std::fill(x, x + 2 * n, Limb{0});
  detail::ToLimbs(a, x);
  detail::ToLimbs(b, y);
  std::copy(order == TMagnitudeOrder::Greater ? y : x,
            (order == TMagnitudeOrder::Greater ? y : x) + n, smaller);
  const bool aZero = detail::IsZero(a);
  const bool bZero = detail::IsZero(b);
  if (aZero || bZero) {
    std::copy(aZero ? y : x, (aZero ? y : x) + n, gcd);
  } else {
    const std::size_t common = std::min(TrailingZeros(x), TrailingZeros(y));
    ShiftDown(x, n, common);
    ShiftDown(y, n, TrailingZeros(y));
    detail::GcdOdd(gcd, x, y, n, smaller + n);
    ShiftUp(gcd, n, common);
  }
  // The flag the Euclidean recursion would copy: see the declaration.
  TBigSign sign = TBigSign::Positive;
  if (order == TMagnitudeOrder::Equal) {
    sign = a.Sign;
  } else {
    const bool aLarger = order == TMagnitudeOrder::Greater;
    const TFGInt& larger = aLarger ? a : b;
    const TFGInt& other = aLarger ? b : a;
    if (detail::IsZero(other)) {
      sign = larger.Sign;
    } else if (detail::Compare(gcd, smaller, n) == 0) {
      sign = other.Sign;  // |other| divides |larger|
    }
  }
  detail::FromLimbs(gcd, n, sign, g);
}

void BigInvMod(const TFGInt& a, const TFGInt& m, TFGInt& r) {
  detail::RequireValue(a);
  detail::RequireValue(m);
  if (detail::IsZero(m)) throw EDivByZero();
  const std::size_t la = detail::LimbsForDigits(detail::DigitCount(a));
  const std::size_t lm = detail::LimbsForDigits(detail::DigitCount(m));
  detail::LimbBuffer buffer(la + 3 * lm + detail::GcdScratchSize(lm));
  Limb* x = buffer.Data();
  Limb* modulus = x + la;
  Limb* y = modulus + lm;
  Limb* inverse = y + lm;
  Limb* scratch = inverse + lm;
  const std::size_t nx = detail::ToLimbs(a, x);
  const std::size_t mn = detail::ToLimbs(m, modulus);
  if (mn == 1 && modulus[0] == 1) {
    detail::SetDigit(r, 0, TBigSign::Positive);  // every residue modulo 1 is 0
    return;
  }
  // y := a mod |m|, the non-negative residue.
  Reduce(y, x, nx, modulus, mn);
  if (a.Sign == TBigSign::Negative && detail::NormalizedSize(y, mn) != 0) {
    detail::Sub(y, modulus, mn, y, mn);
  }
  const bool found = (modulus[0] & 1) ? detail::ModInverse(inverse, y, modulus, mn, scratch)
                                      : InvertModEven(inverse, y, modulus, mn);
  if (found) detail::FromLimbs(inverse, mn, TBigSign::Positive, r);
}

}  // namespace xkit
