// Multiplication and squaring kernels: schoolbook for short operands, then Karatsuba, then
// Toom-3 (limbs_toom3.cpp), then the transform product (transform_mul.cpp) for long ones.
#include <algorithm>
#include <utility>

#include "xFGInt/limbs.h"
#include "xFGInt/limbs_paths.h"
#include "xFGInt/transform.h"

namespace xkit::detail {

namespace {

// Scratch sizes assume the lowest thresholds of any path, so they hold whichever path runs.
constexpr ProductThresholds kScratchThresholds = {
    std::min(kPortableThresholds.mulKaratsuba, kMulxAdxThresholds.mulKaratsuba),
    std::min(kPortableThresholds.sqrKaratsuba, kMulxAdxThresholds.sqrKaratsuba),
    std::min(kPortableThresholds.mulToom3, kMulxAdxThresholds.mulToom3),
    std::min(kPortableThresholds.sqrToom3, kMulxAdxThresholds.sqrToom3)};

inline const ProductThresholds& Thresholds() {
  return gProductKernels.thresholds;
}
// From the active transform path's thresholds on, products take the transform, which needs
// no scratch from the caller; longer operands are given the scratch of the longest that may
// still need it, so the sizes keep growing with n (callers size scratch for their longest
// product). So the transform path must not change between sizing scratch and using it.
inline const TransformThresholds& TransformFrom() {
  return gTransformKernels.thresholds;
}

// d = |x - y| for x of xn limbs and y of yn <= xn limbs; d has xn limbs. Returns true when
// y > x.
bool AbsDiff(Limb* d, const Limb* x, std::size_t xn, const Limb* y, std::size_t yn) {
  bool xGreater = NormalizedSize(x + yn, xn - yn) != 0;
  if (!xGreater) {
    const int order = Compare(x, y, yn);
    xGreater = order >= 0;
  }
  if (xGreater) {
    Sub(d, x, xn, y, yn);
    return false;
  }
  // Here x's limbs above yn are zero.
  SubN(d, y, x, yn);
  std::fill(d + yn, d + xn, Limb{0});
  return true;
}

// Karatsuba's scratch for n limbs: its differences and middle product, then the recursion's.
std::size_t KaratsubaScratchSize(std::size_t n, std::size_t (*recursion)(std::size_t)) {
  const std::size_t m = (n + 1) / 2;
  return 4 * m + std::max(2 * m + 1, recursion(m));
}

std::size_t SqrScratchSizeOf(std::size_t n) {
  n = std::min(n, TransformFrom().sqr - 1);
  if (n < kScratchThresholds.sqrKaratsuba) return 0;
  // The Karatsuba square needs one difference less than the product (3m instead of 4m);
  // the product's figure covers it. Where either method may run, both are covered, which
  // keeps the size growing with n.
  const std::size_t karatsuba = KaratsubaScratchSize(n, SqrScratchSizeOf);
  return n < kScratchThresholds.sqrToom3 ? karatsuba : std::max(karatsuba, SqrToom3ScratchSize(n));
}

}  // namespace

std::size_t MulBalancedScratchSize(std::size_t n) {
  n = std::min(n, TransformFrom().mul - 1);
  if (n < kScratchThresholds.mulKaratsuba) return 0;
  const std::size_t karatsuba = KaratsubaScratchSize(n, MulBalancedScratchSize);
  return n < kScratchThresholds.mulToom3 ? karatsuba : std::max(karatsuba, MulToom3ScratchSize(n));
}

void MulBalanced(Limb* r, const Limb* a, const Limb* b, std::size_t n, Limb* scratch) {
  if (n < Thresholds().mulKaratsuba) {
    MulBasecase(r, a, n, b, n);
    return;
  }
  if (n >= TransformFrom().mul) {
    TransformMul(r, a, n, b, n);
    return;
  }
  if (n >= Thresholds().mulToom3) {
    MulToom3(r, a, b, n, scratch);
    return;
  }
  // Karatsuba: a = a1 B^m + a0, b = b1 B^m + b0 with the low halves of m limbs and the
  // high halves of h = n - m limbs (h is m or m - 1). Then
  //   a b = z0 + (z0 + z2 - (a0 - a1)(b0 - b1)) B^m + z2 B^2m,  z0 = a0 b0, z2 = a1 b1.
  const std::size_t m = (n + 1) / 2;
  const std::size_t h = n - m;
  Limb* da = scratch;
  Limb* db = scratch + m;
  Limb* z1 = scratch + 2 * m;
  Limb* rest = scratch + 4 * m;
  const bool negative = AbsDiff(da, a, m, a + m, h) != AbsDiff(db, b, m, b + m, h);
  MulBalanced(z1, da, db, m, rest);
  MulBalanced(r, a, b, m, rest);
  MulBalanced(r + 2 * m, a + m, b + m, h, rest);
  // middle = z0 + z2 -+ |a0 - a1| |b0 - b1|, non-negative, 2m + 1 limbs; the recursion is
  // done, so it may take the recursion's scratch.
  Limb* middle = rest;
  middle[2 * m] = Add(middle, r, 2 * m, r + 2 * m, 2 * h);
  if (negative) {
    middle[2 * m] += AddN(middle, middle, z1, 2 * m);
  } else {
    middle[2 * m] -= SubN(middle, middle, z1, 2 * m);
  }
  // r has m + 2h >= 2m + 1 limbs from B^m on (n is far above 4 here), and the sum fits in
  // the 2n limbs of the product.
  Add(r + m, r + m, m + 2 * h, middle, 2 * m + 1);
}

void MulBasecase(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn) {
  gProductKernels.mulBasecase(r, a, an, b, bn);
}

void SqrBasecase(Limb* r, const Limb* a, std::size_t n) {
  gProductKernels.sqrBasecase(r, a, n);
}

void MulBasecasePortable(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn) {
  MulBasecaseWith<Mul1Portable, AddMul1Portable>(r, a, an, b, bn);
}

void SqrBasecasePortable(Limb* r, const Limb* a, std::size_t n) {
  SqrBasecaseWith<Mul1Portable, AddMul1Portable, AddDoubledSquaresPortable>(r, a, n);
}

std::size_t MulScratchSize(std::size_t an, std::size_t bn) {
  const std::size_t small = std::min({an, bn, TransformFrom().mul - 1});
  if (small < kScratchThresholds.mulKaratsuba) return 0;
  // The unbalanced case keeps a partial product of 2 t limbs at each level of its remainder
  // recursion, where t runs down like Euclid's remainders from small (each at most half of
  // the one two levels up): at most 8 small limbs in all, besides the balanced scratch.
  return 8 * small + std::max(MulBalancedScratchSize(small), SqrScratchSizeOf(small));
}

void Mul(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn, Limb* scratch) {
  if (an < bn) {
    std::swap(a, b);
    std::swap(an, bn);
  }
  if (bn < Thresholds().mulKaratsuba) {
    MulBasecase(r, a, an, b, bn);
    return;
  }
  if (an == bn && a == b) {
    Sqr(r, a, an, scratch);
    return;
  }
  // The transform takes unbalanced operands whole: its length follows the sum of the sizes.
  if (bn >= TransformFrom().mul) {
    TransformMul(r, a, an, b, bn);
    return;
  }
  if (an == bn) {
    MulBalanced(r, a, b, an, scratch);
    return;
  }
  // Slices of bn limbs of a, each a balanced product added at its place; then the shorter
  // remainder of a times b.
  Limb* partial = scratch;
  Limb* rest = scratch + 2 * bn;
  MulBalanced(r, a, b, bn, rest);
  std::size_t done = bn;  // r holds a[0..done) * b, valid up to limb done + bn
  for (; an - done >= bn; done += bn) {
    MulBalanced(partial, a + done, b, bn, rest);
    const Limb carry = AddN(r + done, r + done, partial, bn);
    Add1(r + done + bn, partial + bn, bn, carry);
  }
  if (done < an) {
    const std::size_t tail = an - done;
    Mul(partial, b, bn, a + done, tail, rest);
    const Limb carry = AddN(r + done, r + done, partial, bn);
    Add1(r + done + bn, partial + bn, tail, carry);
  }
}

std::size_t SqrScratchSize(std::size_t n) {
  return SqrScratchSizeOf(n);
}

std::size_t MulScratchSizeOnce(std::size_t an, std::size_t bn) {
  if (std::min(an, bn) >= TransformFrom().mul) return 0;
  // Balanced operands of different arrays go straight to MulBalanced (or the schoolbook).
  return an == bn ? MulBalancedScratchSize(an) : MulScratchSize(an, bn);
}

std::size_t SqrScratchSizeOnce(std::size_t n) {
  return n >= TransformFrom().sqr ? 0 : SqrScratchSize(n);
}

void Sqr(Limb* r, const Limb* a, std::size_t n, Limb* scratch) {
  if (n < Thresholds().sqrKaratsuba) {
    SqrBasecase(r, a, n);
    return;
  }
  if (n >= TransformFrom().sqr) {
    TransformSqr(r, a, n);
    return;
  }
  if (n >= Thresholds().sqrToom3) {
    SqrToom3(r, a, n, scratch);
    return;
  }
  // a^2 = z0 + (z0 + z2 - (a0 - a1)^2) B^m + z2 B^2m, halves as in MulBalanced.
  const std::size_t m = (n + 1) / 2;
  const std::size_t h = n - m;
  Limb* da = scratch;
  Limb* z1 = scratch + m;
  Limb* rest = scratch + 3 * m;
  AbsDiff(da, a, m, a + m, h);
  Sqr(z1, da, m, rest);
  Sqr(r, a, m, rest);
  Sqr(r + 2 * m, a + m, h, rest);
  Limb* middle = rest;
  middle[2 * m] = Add(middle, r, 2 * m, r + 2 * m, 2 * h);
  middle[2 * m] -= SubN(middle, middle, z1, 2 * m);
  Add(r + m, r + m, m + 2 * h, middle, 2 * m + 1);
}

}  // namespace xkit::detail
