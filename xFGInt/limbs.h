// The kernel layer under TFGInt: natural numbers as little-endian arrays of 64-bit limbs
// (radix 2^64), in the style of mpn. The record layer repacks its 31-bit digits into limbs
// at its boundary, runs these kernels and repacks the result; the Montgomery engine and the
// RSA operation use them directly.
//
// Conventions shared by every kernel:
// - An operand is a pointer to its least significant limb and a limb count; a result is a
//   caller-owned area of the stated size. No kernel allocates: kernels that need scratch
//   space take it from the caller, sized by the matching *ScratchSize function.
// - "r may equal a" means the very same pointer (in-place use); any other partial overlap
//   between a result and an operand is not allowed unless stated.
// - Carries and borrows are returned, never dropped silently.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xkit::detail {

using Limb = std::uint64_t;
__extension__ typedef unsigned __int128 DoubleLimb;

inline constexpr unsigned kLimbBits = 64;

// -- Comparison and size ------------------------------------------------------------------

// Sign of a - b over n limbs each: -1, 0 or 1.
int Compare(const Limb* a, const Limb* b, std::size_t n);

// The count without high zero limbs (0 for the value zero).
inline std::size_t NormalizedSize(const Limb* a, std::size_t n) {
  while (n > 0 && a[n - 1] == 0)
    --n;
  return n;
}

// -- Addition and subtraction --------------------------------------------------------------

// r[0..n) = a + b; returns the carry (0 or 1). r may equal a and/or b.
Limb AddN(Limb* r, const Limb* a, const Limb* b, std::size_t n);
// r[0..n) = a - b; returns the borrow (0 or 1). r may equal a and/or b.
Limb SubN(Limb* r, const Limb* a, const Limb* b, std::size_t n);
// r[0..n) = a + b for a single limb b; returns the carry. r may equal a; n may be 0.
Limb Add1(Limb* r, const Limb* a, std::size_t n, Limb b);
// r[0..n) = a - b for a single limb b; returns the borrow. r may equal a; n may be 0.
Limb Sub1(Limb* r, const Limb* a, std::size_t n, Limb b);
// r[0..an) = a + b with an >= bn; returns the carry. r may equal a and/or b.
Limb Add(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn);
// r[0..an) = a - b with an >= bn; returns the borrow. r may equal a and/or b.
Limb Sub(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn);

// -- Products by one limb ------------------------------------------------------------------

// r[0..n) = a * b; returns the high limb. r may equal a.
Limb Mul1(Limb* r, const Limb* a, std::size_t n, Limb b);
// r[0..n) += a * b; returns the high limb (the carry out of r[n-1]). r may equal a.
Limb AddMul1(Limb* r, const Limb* a, std::size_t n, Limb b);
// r[0..n) -= a * b; returns the borrow limb to subtract from r[n]. r may equal a.
Limb SubMul1(Limb* r, const Limb* a, std::size_t n, Limb b);

// -- Shifts by 1..63 bits ------------------------------------------------------------------

// r[0..n) = a << s, 0 < s < 64; returns the bits shifted out at the top (in the low bits).
// Works from the top down: r may equal a or lie above it.
Limb LShift(Limb* r, const Limb* a, std::size_t n, unsigned s);
// r[0..n) = a >> s, 0 < s < 64; returns the bits shifted out at the bottom (in the high bits).
// Works from the bottom up: r may equal a or lie below it.
Limb RShift(Limb* r, const Limb* a, std::size_t n, unsigned s);

// -- Multiplication ------------------------------------------------------------------------

// r[0..an+bn) = a * b, schoolbook, an >= bn >= 1. r must not overlap a or b.
void MulBasecase(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn);
// r[0..2n) = a * a, schoolbook with each cross product formed once, n >= 1. No overlap.
void SqrBasecase(Limb* r, const Limb* a, std::size_t n);

// Scratch limbs that Mul needs for operands of an and bn limbs (in either order).
std::size_t MulScratchSize(std::size_t an, std::size_t bn);
// r[0..an+bn) = a * b for any an, bn >= 1, by schoolbook or Karatsuba depending on size.
// r must not overlap a, b or scratch; a and b may be the same array.
void Mul(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn, Limb* scratch);

// Scratch limbs that Sqr needs for an operand of n limbs.
std::size_t SqrScratchSize(std::size_t n);
// r[0..2n) = a * a, n >= 1. r must not overlap a or scratch.
void Sqr(Limb* r, const Limb* a, std::size_t n, Limb* scratch);

// The figures above grow with the sizes, so scratch for the longest of several products
// serves them all. One product alone may need less: none when the transform takes it (it
// allocates its own working memory), and no room for slices when the operands are balanced.
// For one Mul of two different arrays of exactly an and bn limbs, and one Sqr of n limbs:
std::size_t MulScratchSizeOnce(std::size_t an, std::size_t bn);
std::size_t SqrScratchSizeOnce(std::size_t n);

// -- Division ------------------------------------------------------------------------------

// floor((2^128 - 1) / d) - 2^64 for a normalised d (top bit set): the reciprocal that turns
// division by d into multiplications.
Limb Reciprocal(Limb d);

// A divisor of one limb, prepared once for many divisions (the reciprocal of d << shift).
struct LimbDivisor {
  Limb d;           // the divisor, non-zero
  Limb normalised;  // d << shift: top bit set
  Limb inverse;     // Reciprocal(normalised)
  unsigned shift;   // leading zero bits of d
};
LimbDivisor PrepareLimbDivisor(Limb d);

// q[0..n) = a / d; returns a mod d. q may equal a; q may be nullptr to get the remainder only.
Limb DivRem1(Limb* q, const Limb* a, std::size_t n, const LimbDivisor& d);

// Scratch limbs that DivRem needs for a dividend of an limbs and a divisor of dn limbs.
std::size_t DivRemScratchSize(std::size_t an, std::size_t dn);
// q[0..an-dn+1) = a / d and r[0..dn) = a mod d, an >= dn >= 1, d[dn-1] != 0. q and r must not
// overlap each other, a, d or scratch; a and d may be the same array.
void DivRem(Limb* q, Limb* r, const Limb* a, std::size_t an, const Limb* d, std::size_t dn,
            Limb* scratch);

// Long divisions divide by a reciprocal of the divisor found by Newton's iteration
// (limbs_newton.cpp), so they cost a few products of the divisor's size; like the transform
// product, they allocate their own working memory.

// Scratch limbs that Inverse needs for n limbs.
std::size_t InverseScratchSize(std::size_t n);
// v[0..n) = floor((B^(2n) - 1) / d) - B^n for a normalised d of n limbs (top bit set), to
// within a few units: exact for short d, and never more than 8 off for long ones. No overlap.
void Inverse(Limb* v, const Limb* d, std::size_t n, Limb* scratch);

// A divisor prepared once for many divisions: d << shift (top bit set) of n limbs, and the
// Inverse of its top inverseLimbs limbs (1 <= inverseLimbs <= n), or nullptr for none. An
// inverse pays off for divisors and quotients from kPreparedInverseThreshold limbs on.
inline constexpr std::size_t kPreparedInverseThreshold = 300;
struct PreparedDivisor {
  const Limb* normalised;
  std::size_t n;
  unsigned shift;
  const Limb* inverse;
  std::size_t inverseLimbs;
};
// Scratch limbs that DivRemPrepared needs for a dividend of an limbs and a divisor of dn.
std::size_t DivRemPreparedScratchSize(std::size_t an, std::size_t dn);
// DivRem by a prepared divisor (an >= d.n >= 2): the quotient blocks take their estimates
// from d.inverse when there is one. Overlaps as for DivRem.
void DivRemPrepared(Limb* q, Limb* r, const Limb* a, std::size_t an, const PreparedDivisor& d,
                    Limb* scratch);

// -- Constant-time helpers ----------------------------------------------------------------
// No branch and no memory address in these depends on limb values; their running time
// depends on the sizes alone.

// All ones when x is zero, zero otherwise.
inline Limb MaskIfZero(Limb x) {
  return ((x | (Limb{0} - x)) >> 63) - 1;
}
// All ones when the bit `bit` (0 or 1) is set, zero otherwise.
inline Limb MaskFromBit(Limb bit) {
  return Limb{0} - bit;
}
// r[0..n) = mask ? a : b, for mask all ones or zero. r may equal a and/or b.
void Select(Limb* r, const Limb* a, const Limb* b, std::size_t n, Limb mask);
// All ones when a[0..n) is zero.
Limb MaskIfZeroN(const Limb* a, std::size_t n);
// The bit length of a[0..n) (0 for zero; high zero limbs allowed), by a pass over all n limbs.
std::size_t BitLength(const Limb* a, std::size_t n);

// -- Montgomery arithmetic -----------------------------------------------------------------
// Modulo an odd m of n limbs with m[n-1] != 0, with the radix R = 2^(64 n). The Montgomery
// form of x is x R mod m; MontMul multiplies two forms. Every kernel in this section is
// constant-time in the sense above.

// -m^-1 mod 2^64 for an odd m0: the factor that clears one limb per reduction step.
Limb MontgomeryInverse(Limb m0);
// r[0..n) = t R^-1 mod m for t[0..2n) below m R; t is clobbered. r must not overlap t or m.
void Redc(Limb* r, Limb* t, const Limb* m, std::size_t n, Limb mInverse);
// r[0..n) = a b R^-1 mod m for a, b of n limbs with a b < m R (a, b below m suffices).
// scratch: 2n limbs. r may equal a and/or b.
void MontMul(Limb* r, const Limb* a, const Limb* b, const Limb* m, std::size_t n, Limb mInverse,
             Limb* scratch);
// r[0..n) = a^2 R^-1 mod m; as MontMul.
void MontSqr(Limb* r, const Limb* a, const Limb* m, std::size_t n, Limb mInverse, Limb* scratch);
// r[0..n) = (a + b) mod m for a, b below m. scratch: n limbs. r may equal a and/or b.
void ModAdd(Limb* r, const Limb* a, const Limb* b, const Limb* m, std::size_t n, Limb* scratch);

// -- Greatest common divisor and inverse ---------------------------------------------------
// Binary gcd with 63-bit approximations (after Pornin, "Optimized Binary GCD for Modular
// Inversion", 2020): each round runs 31 cheap steps on two words that stand for the
// operands, then applies the steps to the operands in one linear pass. No step branches on
// the values, and the round count depends on n alone for GcdOdd and on m's bit length for
// ModInverse, so GcdOdd keeps both operands secret and ModInverse keeps y secret and m's
// value too, given its length.

// Scratch limbs that Gcd and ModInverse need for operands of n limbs.
std::size_t GcdScratchSize(std::size_t n);
// g[0..n) = gcd(a, b) for a of n limbs and an odd b of n limbs. g may equal a or b.
void GcdOdd(Limb* g, const Limb* a, const Limb* b, std::size_t n, Limb* scratch);
// For an odd m > 1 and y < m, both of n limbs: r[0..n) = y^-1 mod m when gcd(y, m) = 1, and
// the result tells whether it is (r holds no inverse otherwise). The result is as secret as
// y: the caller declassifies it. r must not overlap y or m.
bool ModInverse(Limb* r, const Limb* y, const Limb* m, std::size_t n, Limb* scratch);

// -- CPU paths -----------------------------------------------------------------------------

// The product kernels have a portable path and, on x86-64 CPUs with BMI2 and ADX, a
// MULX/ADCX/ADOX path; CPUs that also have AVX-512 IFMA add a path that keeps those kernels
// and runs modular exponentiation in radix 2^52 with 52-bit vector multiply-adds. Every path
// gives identical results. The fastest available path is chosen at start-up; tests force
// each in turn. kRadix52Scalar is never chosen: the portable kernels with the radix-2^52
// exponentiation on scalar kernels, so that tests on any CPU, and the constant-time check
// under Valgrind (which cannot run AVX-512), reach the code of the IFMA path around its
// vector kernels.
enum class KernelPath : std::uint8_t { kPortable, kMulxAdx, kAvx512Ifma, kRadix52Scalar };
bool KernelPathAvailable(KernelPath path);
KernelPath ActiveKernelPath();
// Selects a path for the whole process; returns false (and changes nothing) when the CPU
// lacks it. Not for use while another thread runs kernels.
bool SelectKernelPath(KernelPath path);

// The transform product of long operands (transform_mul.cpp) has a portable path and, on
// x86-64, paths on AVX2 with FMA and on AVX-512, chosen and forced the same way. Every path
// gives identical products.
enum class TransformPath : std::uint8_t { kPortable, kAvx2, kAvx512 };
bool TransformPathAvailable(TransformPath path);
TransformPath ActiveTransformPath();
bool SelectTransformPath(TransformPath path);

}  // namespace xkit::detail
