// Internal to the exponentiation engine: values in radix 2^52 for the AVX-512 IFMA path, and
// its kernels, the almost-Montgomery product (alone, or two independent ones side by side)
// and the masked table scan.
//
// Layout shared by every kernel: a value of `digits` digits sits in an array of 8 blocks
// digits, the digits above `digits` zero; arrays aligned to 64 bytes run fastest.
#pragma once

#include <cstddef>
#include <span>

#include "xFGInt/limbs.h"
#include "xFGInt/modexp.h"

namespace xkit::detail {

inline constexpr unsigned kDigitBits52 = 52;
inline constexpr Limb kMask52 = (Limb{1} << kDigitBits52) - 1;
// Eight digits to a block: one kernel serves moduli up to 6,654 bits; the pair kernel, which
// keeps twice the accumulators in registers, up to 3,326 bits each.
inline constexpr std::size_t kMaxBlocks = 16;
inline constexpr std::size_t kMaxPairBlocks = 8;

// digits[0..count) := x[0..n) in radix 2^52 (count digits must hold it).
void ToRadix52(Limb* digits, std::size_t count, const Limb* x, std::size_t n);
// x[0..n) := the value of digits[0..count) (below 2^(64 n), every digit below 2^52).
void FromRadix52(Limb* x, std::size_t n, const Limb* digits, std::size_t count);

// r = (a b + y m) / 2^(52 digits) for a, b below 2m, with y chosen digit by digit to clear
// the low digit (k0 = -m^-1 mod 2^52); below 2m again. r may be a or b.
using ProductFunction = void (*)(Limb* r, const Limb* a, const Limb* b, const Limb* m,
                                 std::size_t digits, Limb k0);
// Two such products at once, for two moduli of the same block count.
using PairProductFunction = void (*)(Limb* r1, const Limb* a1, const Limb* b1, const Limb* m1,
                                     Limb k01, Limb* r2, const Limb* a2, const Limb* b2,
                                     const Limb* m2, Limb k02, std::size_t digits);
// out[0..8 blocks) = table entry w of `entries`, `stride` digits apart, read by scanning
// every entry under a mask.
using SelectFunction = void (*)(Limb* out, const Limb* table, std::size_t entries,
                                std::size_t stride, Limb w);

struct Radix52Kernels {
  ProductFunction product;
  PairProductFunction pairProduct;  // nullptr above kMaxPairBlocks
  SelectFunction select;
};
// The kernels for 1 .. kMaxBlocks blocks; only on a CPU where Radix52Supported().
Radix52Kernels Radix52KernelsFor(std::size_t blocks);
// The same kernels in scalar code, for any block count (modexp_radix52_scalar.cpp).
Radix52Kernels Radix52ScalarKernels();

// Whether the active kernel path exponentiates in radix 2^52 (IFMA, or its scalar stand-in).
inline bool Radix52PathActive() {
  const KernelPath path = ActiveKernelPath();
  return path == KernelPath::kAvx512Ifma || path == KernelPath::kRadix52Scalar;
}

// The fixed-window exponentiation in radix 2^52 (modexp_radix52.cpp) for one task, or two
// side by side, with exponents of `bits` bits and windows of k bits: the same windows and
// masked table scans as the limb path, one full reduction at the end. With
// `publicExponent` (one task, k = 1), square-and-multiply that skips the products for zero
// bits instead. False, with nothing written, when a modulus is too long for the kernels
// (for two, the pair kernel).
bool PowRadix52(std::span<const PowTask> tasks, std::size_t bits, unsigned k, bool publicExponent);

}  // namespace xkit::detail
