// Internal to the kernel layer: the transform product of long operands (transform_mul.cpp)
// and the table of transform kernels that the CPU-path switch swaps (one file per path:
// transform_portable.cpp, transform_avx2.cpp, transform_avx512.cpp, all built from
// transform_engine.h).
#pragma once

#include <cstddef>

#include "xFGInt/limbs.h"

namespace xkit::detail {

// r[0..an+bn) = a * b for any an, bn >= 1, by the transform. r must not overlap a or b; a and
// b may be the same array. The working memory (a few times the product's size) is allocated
// here and released on every path.
void TransformMul(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn);
// r[0..2n) = a * a with one forward transform per prime.
void TransformSqr(Limb* r, const Limb* a, std::size_t n);

// The shape of a transform product: length 2^lg, `primes` primes, coefficients of `bits` bits.
struct TransformShape {
  unsigned lg = 0;
  unsigned primes = 0;
  unsigned bits = 0;
};
// The shape TransformMul takes for operands of aBits and bBits bits (aBits = bBits for a
// square): the fastest that fits, of those whose working memory stays within
// kTransformWorkspaceLimit times the product's size, so that a product's peak memory with
// the caller's operand and product limbs (twice the product's size) stays below 8 times.
// Only products far shorter than the thresholds may have to take more.
inline constexpr double kTransformWorkspaceLimit = 5.5;
TransformShape ChooseTransformShape(std::size_t aBits, std::size_t bBits, bool square);
// The bytes of working memory a product with this shape allocates.
std::size_t TransformWorkspaceBytes(const TransformShape& shape, std::size_t aBits,
                                    std::size_t bBits, bool square);
// Whether a shape holds the product of operands of aBits and bBits bits exactly: the
// product's coefficients fit the length, and each, below min(na, nb) 2^(2 bits) for na and nb
// coefficients, stays below a quarter of the primes' product (2 bits + bit_width(min(na, nb))
// + 3 <= 50 primes).
bool TransformShapeFits(const TransformShape& shape, std::size_t aBits, std::size_t bBits);
// TransformMul with a given shape that fits (lg = 0: the chosen one); a == b squares. For
// tests of the bound at its edge.
void TransformMulShaped(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn,
                        const TransformShape& shape);

// Balanced operand sizes (limbs) from which the transform beats Toom-3 on a path, measured
// by timing TransformMul against MulToom3 and TransformSqr against SqrToom3 on random
// operands (the best of 15 runs of 10 ms at each size, from 96 to 1280 limbs and at 2^16 and
// 2^18), each path forced in turn, on an AMD EPYC with AVX-512. The transform's time rises in
// steps where its length doubles, so the figures sit where it stays ahead. The portable path,
// without a fused multiply-add on x86-64, is still 1.6 times slower than Toom-3 at 2^18 limbs.
struct TransformThresholds {
  std::size_t mul;
  std::size_t sqr;
};
inline constexpr TransformThresholds kPortableTransformThresholds = {1000000, 1000000};
inline constexpr TransformThresholds kAvx2TransformThresholds = {768, 896};
inline constexpr TransformThresholds kAvx512TransformThresholds = {224, 240};

// One CPU path's transform: the kernels of transform_engine.h on its vectors (arguments as
// there: a transform of length 2^lg modulo the prime p, twiddle tables tw and itw).
struct TransformKernels {
  void (*buildTwiddles)(double* tw, double* itw, unsigned lg, std::size_t given, const double* root,
                        double p);
  void (*forward)(double* x, std::size_t live, unsigned lg, const double* tw, const double* itw,
                  double p);
  void (*convolve)(double* a, double* b, std::size_t bLive, unsigned lg, const double* tw,
                   const double* itw, double p);
  void (*square)(double* a, unsigned lg, const double* tw, const double* itw, double p);
  void (*residues)(const double* pieces, std::size_t blocks, unsigned c, const double* shift,
                   double p, double* out);
  void (*mixedRadix)(const double* const* x, unsigned primes, std::size_t first, std::size_t count,
                     const double* p, const double* nInverse, const double* inverse,
                     double* digits);
  TransformThresholds thresholds;
  TransformPath path;
};

// The active path; starts as the portable one and is upgraded at start-up when the CPU
// allows.
extern TransformKernels gTransformKernels;

TransformKernels PortableTransformKernels();
bool Avx2TransformSupported();
TransformKernels Avx2TransformKernels();  // only when Avx2TransformSupported()
bool Avx512TransformSupported();
TransformKernels Avx512TransformKernels();  // only when Avx512TransformSupported()

}  // namespace xkit::detail
