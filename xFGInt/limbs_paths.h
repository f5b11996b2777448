// Internal to the kernel layer: the table of product kernels (carry chains, one-limb rows and
// schoolbook products) that the CPU-path switch swaps, and the two paths that fill it.
#pragma once

#include "xFGInt/limbs.h"

#if defined(__x86_64__)
#include <x86intrin.h>
#endif

namespace xkit::detail {

// sum := x + y + carry (carry 0 or 1); returns the carry out. On x86-64 a chain of these
// keeps the carry in the flag (one ADC each).
inline unsigned char AddCarry(unsigned char carry, Limb x, Limb y, Limb& sum) {
#if defined(__x86_64__)
  unsigned long long t;
  carry = _addcarry_u64(carry, x, y, &t);
  sum = t;
  return carry;
#else
  const Limb s = x + carry;
  const Limb t = s + y;
  sum = t;
  return static_cast<unsigned char>((s < carry) + (t < s));
#endif
}

using RowKernel = Limb (*)(Limb* r, const Limb* a, std::size_t n, Limb b);

// Operand sizes (in limbs) from which Karatsuba beats a path's schoolbook products and
// Toom-3 beats Karatsuba, measured with bench/ on x86-64 (the MULX path's again by timing Mul
// and Sqr from 24 to 240 limbs, best of 21 runs, with each candidate built in); the square's
// schoolbook forms each cross product once, so it stays ahead longer.
struct ProductThresholds {
  std::size_t mulKaratsuba;
  std::size_t sqrKaratsuba;
  std::size_t mulToom3;
  std::size_t sqrToom3;
};
inline constexpr ProductThresholds kPortableThresholds = {20, 40, 120, 120};
inline constexpr ProductThresholds kMulxAdxThresholds = {24, 56, 240, 240};

using ChainKernel = Limb (*)(Limb* r, const Limb* a, const Limb* b, std::size_t n);

struct ProductKernels {
  ChainKernel addN;  // AddN and SubN
  ChainKernel subN;
  RowKernel mul1;
  RowKernel addMul1;
  RowKernel subMul1;
  // The schoolbook product and square (MulBasecase, SqrBasecase), and the rows of a
  // Montgomery reduction: t[0..2n) += q_i m 2^(64 i) for i < n, each q_i clearing t[i],
  // the row's carry left in t[i].
  void (*mulBasecase)(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn);
  void (*sqrBasecase)(Limb* r, const Limb* a, std::size_t n);
  void (*redcRows)(Limb* t, const Limb* m, std::size_t n, Limb mInverse);
  ProductThresholds thresholds;
  KernelPath path;
};

// The active path; starts as the portable one and is upgraded at start-up when the CPU
// allows, so a kernel that runs during static initialisation is still correct.
extern ProductKernels gProductKernels;

Limb AddNPortable(Limb* r, const Limb* a, const Limb* b, std::size_t n);
Limb SubNPortable(Limb* r, const Limb* a, const Limb* b, std::size_t n);
// ADC and SBB chains (x86-64 only), on the MULX/ADX path.
Limb AddNCarryChain(Limb* r, const Limb* a, const Limb* b, std::size_t n);
Limb SubNCarryChain(Limb* r, const Limb* a, const Limb* b, std::size_t n);
Limb Mul1Portable(Limb* r, const Limb* a, std::size_t n, Limb b);
Limb AddMul1Portable(Limb* r, const Limb* a, std::size_t n, Limb b);
Limb SubMul1Portable(Limb* r, const Limb* a, std::size_t n, Limb b);
void MulBasecasePortable(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn);
void SqrBasecasePortable(Limb* r, const Limb* a, std::size_t n);
void RedcRowsPortable(Limb* t, const Limb* m, std::size_t n, Limb mInverse);

// The schoolbook methods over a path's row kernels, which they call directly.

template <RowKernel kMul1, RowKernel kAddMul1>
void MulBasecaseWith(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn) {
  r[an] = kMul1(r, a, an, b[0]);
  for (std::size_t j = 1; j < bn; ++j)
    r[an + j] = kAddMul1(r + j, a, an, b[j]);
}

// r[0..2n) := 2 r + the sum of a[i]^2 B^(2i), with r holding the cross products of a square
// (below B^(2n) / 2, so the doubled value fits and the total is a^2).
using DiagonalKernel = void (*)(Limb* r, const Limb* a, std::size_t n);
void AddDoubledSquaresPortable(Limb* r, const Limb* a, std::size_t n);

template <RowKernel kMul1, RowKernel kAddMul1, DiagonalKernel kAddDoubledSquares>
void SqrBasecaseWith(Limb* r, const Limb* a, std::size_t n) {
  // Cross products a[i] a[j], i < j, land at limb i + j: row i fills r[2i+1 .. n+i].
  r[0] = 0;
  r[2 * n - 1] = 0;
  if (n > 1) {
    r[n] = kMul1(r + 1, a + 1, n - 1, a[0]);
    for (std::size_t i = 1; i + 1 < n; ++i)
      r[n + i] = kAddMul1(r + 2 * i + 1, a + i + 1, n - i - 1, a[i]);
  }
  kAddDoubledSquares(r, a, n);
}

// -- Sub-quadratic products -------------------------------------------------------------------

// r[0..2n) = a * b for a and b of n limbs, by the method n calls for (limbs_mul.cpp).
std::size_t MulBalancedScratchSize(std::size_t n);
void MulBalanced(Limb* r, const Limb* a, const Limb* b, std::size_t n, Limb* scratch);

// Toom-3 products and squares (limbs_toom3.cpp), for n of at least a path's Toom-3
// threshold; scratch is sized by the matching function.
std::size_t MulToom3ScratchSize(std::size_t n);
void MulToom3(Limb* r, const Limb* a, const Limb* b, std::size_t n, Limb* scratch);
std::size_t SqrToom3ScratchSize(std::size_t n);
void SqrToom3(Limb* r, const Limb* a, std::size_t n, Limb* scratch);

// -- Division by reciprocals (limbs_newton.cpp) -------------------------------------------

// Divisors and quotients of at least this many limbs divide by a reciprocal; shorter ones by
// halves or the schoolbook method (limbs_div.cpp). With the reciprocal already at hand (a
// divisor prepared for many divisions, kPreparedInverseThreshold in limbs.h) the blocks alone
// pay off from a lower size. Measured by timing both methods on random 2n-by-n divisions, n
// from 200 to 16384 limbs.
inline constexpr std::size_t kNewtonDivisionThreshold = 2000;

// q[0..an-dn+1) = np / d and np[0..dn) = np mod d, for the normalised d[0..dn) and np of
// an + 1 limbs whose quotient is below B^(an-dn+1). The quotient comes in blocks of at most
// h limbs from the top down, each estimated from inverse, the Inverse of d's top h limbs;
// with inverse nullptr, it is computed here for h = min(dn, quotient limbs).
void DivideNewton(Limb* q, Limb* np, std::size_t an, const Limb* d, std::size_t dn,
                  const Limb* inverse, std::size_t h);

bool MulxAdxSupported();
bool Radix52Supported();          // AVX-512F and AVX-512 IFMA
ProductKernels MulxAdxKernels();  // only when MulxAdxSupported()

}  // namespace xkit::detail
