// Limb kernels for secret values, beside the constant-time helpers of limbs.h: comparisons
// as masks, shifts by a secret count, trailing zeros and division. No branch and no memory
// address in them depends on the values or on a secret count; their running time depends on
// the sizes alone. Key generation and primality testing of secret candidates use them.
#pragma once

#include <cstddef>

#include "xFGInt/limbs.h"

namespace xkit::detail {

// All ones when a < b, zero otherwise, for single limbs.
inline Limb LessMask1(Limb a, Limb b) {
  return MaskFromBit(static_cast<Limb>((static_cast<DoubleLimb>(a) - b) >> 64) & 1);
}
// All ones when a[0..n) < b[0..n), zero otherwise.
Limb LessMask(const Limb* a, const Limb* b, std::size_t n);
// All ones when a[0..n) == b[0..n).
Limb EqualMask(const Limb* a, const Limb* b, std::size_t n);

// r[0..an) = a + b with an >= bn, the carry run through every limb (Add stops where it
// dies); returns the carry. r may equal a and/or b.
Limb AddSecret(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn);

// The number of trailing zero bits of a[0..n); 64 n for zero.
std::size_t TrailingZerosSecret(const Limb* a, std::size_t n);
// a[0..n) >>= s and a[0..n) <<= s (bits shifted out are lost), for a secret s below 64 n.
void ShiftRightSecret(Limb* a, std::size_t n, std::size_t s);
void ShiftLeftSecret(Limb* a, std::size_t n, std::size_t s);

// q[0..an) = a / d and r[0..dn) = a mod d for a non-zero d of dn limbs (high zero limbs
// allowed), one bit at a time; q may be nullptr. q and r must not overlap a, d or each
// other. scratch: dn + 1 limbs.
void DivRemSecret(Limb* q, Limb* r, const Limb* a, std::size_t an, const Limb* d, std::size_t dn,
                  Limb* scratch);

}  // namespace xkit::detail
