// Montgomery multiplication and the constant-time helpers under it. The products are the
// schoolbook kernels (their running time depends on the sizes alone, unlike Karatsuba's
// sign tests); the reduction is one multiply-add row per limb; the last subtraction is
// always computed and kept or dropped by a mask.
#include <algorithm>

#include "xFGInt/limbs.h"
#include "xFGInt/limbs_paths.h"

namespace xkit::detail {

namespace {

// r = (carry, r) >= m ? r - m : r over n limbs, for a value below 2m; scratch: n limbs.
void SubtractIfNotBelow(Limb* r, Limb carry, const Limb* m, std::size_t n, Limb* scratch) {
  const Limb borrow = SubN(scratch, r, m, n);
  // With a carry the value is at least R > m, and r - m borrows; without one, r >= m
  // exactly when the subtraction does not borrow.
  Select(r, scratch, r, n, MaskFromBit(carry | (borrow ^ 1)));
}

}  // namespace

void RedcRowsPortable(Limb* t, const Limb* m, std::size_t n, Limb mInverse) {
  for (std::size_t i = 0; i < n; ++i)
    t[i] = AddMul1Portable(t + i, m, n, t[i] * mInverse);
}

void Select(Limb* r, const Limb* a, const Limb* b, std::size_t n, Limb mask) {
  for (std::size_t i = 0; i < n; ++i)
    r[i] = b[i] ^ ((a[i] ^ b[i]) & mask);
}

Limb MaskIfZeroN(const Limb* a, std::size_t n) {
  Limb any = 0;
  for (std::size_t i = 0; i < n; ++i)
    any |= a[i];
  return MaskIfZero(any);
}

std::size_t BitLength(const Limb* a, std::size_t n) {
  // From the top down, `above` stays all ones while every limb seen is zero; the first
  // non-zero limb is taken, and every limb below it counts 64 bits.
  Limb above = ~Limb{0};
  Limb top = 0;
  std::size_t below = 0;
  for (std::size_t i = n; i-- > 0;) {
    const Limb first = above & ~MaskIfZero(a[i]);
    top |= a[i] & first;
    below |= i & first;
    above &= ~first;
  }
  // clz(top | 1) needs no zero test; the value zero leaves top = 0, masked out at the end.
  const std::size_t topBits = 64 - static_cast<std::size_t>(__builtin_clzll(top | 1));
  return (64 * below + topBits) & ~above;
}

Limb MontgomeryInverse(Limb m0) {
  // Newton's iteration x := x (2 - m0 x) doubles the correct low bits; an odd m0 is its own
  // inverse modulo 8, so five steps give 3 * 32 >= 64 bits.
  Limb x = m0;
  for (int i = 0; i < 5; ++i)
    x *= 2 - m0 * x;
  return Limb{0} - x;
}

void Redc(Limb* r, Limb* t, const Limb* m, std::size_t n, Limb mInverse) {
  // Row i adds q m 2^(64 i) with q chosen to clear t[i]; the row's carry belongs at limb
  // i + n, which later rows still add into, so it waits in the cleared t[i] and all carries
  // are added in one pass at the end.
  gProductKernels.redcRows(t, m, n, mInverse);
  // t + Q m < m R + R m, so the quotient by R is below 2m: one carry bit at most.
  const Limb carry = AddN(r, t + n, t, n);
  SubtractIfNotBelow(r, carry, m, n, t);
}

void MontMul(Limb* r, const Limb* a, const Limb* b, const Limb* m, std::size_t n, Limb mInverse,
             Limb* scratch) {
  MulBasecase(scratch, a, n, b, n);
  Redc(r, scratch, m, n, mInverse);
}

void MontSqr(Limb* r, const Limb* a, const Limb* m, std::size_t n, Limb mInverse, Limb* scratch) {
  SqrBasecase(scratch, a, n);
  Redc(r, scratch, m, n, mInverse);
}

void ModAdd(Limb* r, const Limb* a, const Limb* b, const Limb* m, std::size_t n, Limb* scratch) {
  const Limb carry = AddN(r, a, b, n);  // a + b < 2m
  SubtractIfNotBelow(r, carry, m, n, scratch);
}

}  // namespace xkit::detail
