// Constant-time comparisons, shifts, trailing zeros and division for secret values.
#include "xFGInt/limbs_secret.h"

#include <algorithm>
#include <bit>

namespace xkit::detail {

Limb LessMask(const Limb* a, const Limb* b, std::size_t n) {
  // The borrow out of a - b, limb by limb: borrow' = (a < b + borrow) computed without a
  // comparison on the values.
  Limb borrow = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const DoubleLimb difference = static_cast<DoubleLimb>(a[i]) - b[i] - borrow;
    borrow = static_cast<Limb>(difference >> 64) & 1;
  }
  return MaskFromBit(borrow);
}

Limb EqualMask(const Limb* a, const Limb* b, std::size_t n) {
  Limb any = 0;
  for (std::size_t i = 0; i < n; ++i)
    any |= a[i] ^ b[i];
  return MaskIfZero(any);
}

Limb AddSecret(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn) {
  Limb carry = AddN(r, a, b, bn);
  for (std::size_t i = bn; i < an; ++i) {
    r[i] = a[i] + carry;
    carry = r[i] < carry;
  }
  return carry;
}

std::size_t TrailingZerosSecret(const Limb* a, std::size_t n) {
  // Scans every limb; the count of the first non-zero one is kept by a mask. The top bit
  // spares the count its test for zero, a branch on the limb where the target lacks TZCNT;
  // it changes nothing for a non-zero limb, and a zero one is masked out.
  Limb count = 0;
  Limb searching = ~Limb{0};
  for (std::size_t i = 0; i < n; ++i) {
    const Limb here = 64 * i + static_cast<Limb>(__builtin_ctzll(a[i] | (Limb{1} << 63)));
    const Limb found = searching & ~MaskIfZero(a[i]);
    count |= here & found;
    searching &= ~found;
  }
  return static_cast<std::size_t>(count | (searching & (64 * n)));
}

void ShiftRightSecret(Limb* a, std::size_t n, std::size_t s) {
  // A barrel shifter: one pass per bit of s, each shifting by its power of two under a mask.
  // Whole-limb steps move limb i + step to i; bit steps combine two neighbours.
  for (std::size_t step = 1; step < n; step <<= 1) {
    const Limb mask = MaskFromBit((s >> std::countr_zero(step) >> 6) & 1);
    for (std::size_t i = 0; i < n; ++i) {
      const Limb moved = i + step < n ? a[i + step] : 0;
      a[i] ^= (a[i] ^ moved) & mask;
    }
  }
  for (unsigned bit = 1; bit < 64; bit <<= 1) {
    const Limb mask = MaskFromBit((s / bit) & 1);
    for (std::size_t i = 0; i < n; ++i) {
      const Limb above = i + 1 < n ? a[i + 1] : 0;
      const Limb moved = (a[i] >> bit) | (above << (64 - bit));
      a[i] ^= (a[i] ^ moved) & mask;
    }
  }
}

void ShiftLeftSecret(Limb* a, std::size_t n, std::size_t s) {
  for (std::size_t step = 1; step < n; step <<= 1) {
    const Limb mask = MaskFromBit((s >> std::countr_zero(step) >> 6) & 1);
    for (std::size_t i = n; i-- > 0;) {
      const Limb moved = i >= step ? a[i - step] : 0;
      a[i] ^= (a[i] ^ moved) & mask;
    }
  }
  for (unsigned bit = 1; bit < 64; bit <<= 1) {
    const Limb mask = MaskFromBit((s / bit) & 1);
    for (std::size_t i = n; i-- > 0;) {
      const Limb below = i > 0 ? a[i - 1] : 0;
      const Limb moved = (a[i] << bit) | (below >> (64 - bit));
      a[i] ^= (a[i] ^ moved) & mask;
    }
  }
}

void DivRemSecret(Limb* q, Limb* r, const Limb* a, std::size_t an, const Limb* d, std::size_t dn,
                  Limb* scratch) {
  // Restoring division, one bit of a at a time from the top: the partial remainder stays
  // below d, so after the shift it is below 2d and fits dn limbs plus one bit (held in
  // `top`); the subtraction of d is always computed and kept under a mask.
  std::fill(r, r + dn, Limb{0});
  if (q != nullptr) std::fill(q, q + an, Limb{0});
  for (std::size_t bit = 64 * an; bit-- > 0;) {
    const Limb top = r[dn - 1] >> 63;
    LShift(r, r, dn, 1);
    r[0] |= (a[bit / 64] >> (bit % 64)) & 1;
    const Limb borrow = SubN(scratch, r, d, dn);
    // (top, r) >= d exactly when there is a top bit or the subtraction does not borrow.
    const Limb keep = MaskFromBit(top | (borrow ^ 1));
    Select(r, scratch, r, dn, keep);
    if (q != nullptr) q[bit / 64] |= (keep & 1) << (bit % 64);
  }
}

}  // namespace xkit::detail
