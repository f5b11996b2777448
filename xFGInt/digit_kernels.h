// Internal to the record layer: the kernels that work on runs of 31-bit digits (repacking
// into limbs and back, sums and differences of digit runs), the table that the CPU-path
// switch swaps, and the block drivers that every path shares.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "xFGInt/record_limbs.h"

namespace xkit::detail {

// -- Repacking blocks -------------------------------------------------------------------------
//
// Two digits make a 62-bit pair; 32 pairs (64 digits, 1984 bits) fill exactly 31 limbs, so
// both directions work in blocks with the same shift pattern in every block:
// - limb t (0..30) starts at bit 64 t = 62 t + 2 t, that is at bit 2 t of pair t, and takes
//   the rest from pair t + 1 (whose bits beyond 64 fall off);
// - pair m (1..31) starts at bit 64 - 2 m of limb m - 1 and ends in limb m; pair 0 is the
//   low 62 bits of limb 0.
// A block kernel works in groups of four limbs (eight digits) from the start of a block,
// for `groups` groups (1..8):
// - DigitsToLimbs: reads d[0 .. 8 groups + 2), writes out[0 .. 4 groups), and returns the OR
//   of d[0 .. 8 groups) as read (bit 31 set when one of those digits has it). Group 7 also
//   writes a 32nd limb that is not a limb of the block; the caller overwrites or drops it.
// - LimbsToDigits: reads a[0 .. 4 groups), writes d[0 .. 8 groups). Bits that a 32nd limb
//   adds in group 7 are masked off. The variant for secret values also returns the number of
//   digits up to the top non-zero one it wrote (0 when all are zero), found without a branch
//   on the values; the other returns 0.
// The drivers below run the groups whose reads and writes stay in bounds through a block
// kernel, and the few limbs or digits at the top of a value one at a time.

inline constexpr std::size_t kBlockDigits = 64;
inline constexpr std::size_t kBlockLimbs = 31;

using DigitsToLimbsGroups = std::uint32_t (*)(const std::uint32_t* d, Limb* out,
                                              std::size_t groups);
using LimbsToDigitsGroups = std::uint32_t (*)(const Limb* a, std::uint32_t* d, std::size_t groups);

// Limb t of a block from its pairs t and t + 1, for 0 <= t <= 31 (2 t <= 62).
inline Limb LimbOfPairs(Limb pair, Limb next, unsigned t) {
  return (pair >> (2 * t)) | (next << (62 - 2 * t));
}

// Pair m of a block from its limbs m - 1 and m, for 1 <= m <= 31 (2 m <= 62).
inline Limb PairOfLimbs(Limb below, Limb here, unsigned m) {
  return (below >> (64 - 2 * m)) | (here << (2 * m));
}

// `top` after a digit at position `at` (1-based) is written: `at` when the digit is non-zero,
// `top` otherwise, by a mask rather than a branch (the digits may be secret).
inline std::size_t TopAfter(std::size_t top, std::uint32_t digit, std::size_t at) {
  const std::size_t nonZero = std::size_t{0} - static_cast<std::size_t>(digit != 0);
  return top ^ ((top ^ at) & nonZero);
}

// out[0 .. LimbsForDigits(n)) := the digits d[0..n) (bit 31 of each ignored); returns the
// OR of the digits as read, so the caller can refuse a digit with bit 31 set. Every digit is
// read: a block's limbs reach its last pair.
template <DigitsToLimbsGroups kGroups>
std::uint32_t DigitsToLimbsBy(const std::uint32_t* d, std::size_t n, Limb* out) {
  const std::size_t total = LimbsForDigits(n);
  std::uint32_t seen = 0;
  for (std::size_t at = 0, to = 0; at < n; at += kBlockDigits, to += kBlockLimbs) {
    const std::size_t limbs = std::min(kBlockLimbs, total - to);
    std::size_t direct = (limbs + 3) / 4;
    while (direct > 0 && (at + 8 * direct + 2 > n || to + 4 * direct > total))
      --direct;
    if (direct != 0) seen |= kGroups(d + at, out + to, direct);
    const auto pair = [&](std::size_t m) {
      const auto digit = [&](std::size_t j) {
        if (j >= n) return Limb{0};
        seen |= d[j];
        return Limb{d[j] & kDigitMask};
      };
      return digit(at + 2 * m) | (digit(at + 2 * m + 1) << kDigitBits);
    };
    for (std::size_t t = 4 * direct; t < limbs; ++t)
      out[to + t] = LimbOfPairs(pair(t), pair(t + 1), static_cast<unsigned>(t));
  }
  return seen;
}

// d[0..count) := the low count digits of the n limbs a[0..n) (limbs beyond n read as zero);
// returns the number of digits up to the top non-zero one (0 for zero), which only the
// values decide: no branch depends on them.
// d[0..count) := the digits of a[0..n) (limbs beyond n read as zero). kTop: returns the
// number of digits up to the top non-zero one (0 for zero), found without a branch on the
// values; otherwise 0.
template <LimbsToDigitsGroups kGroups, bool kTop>
std::size_t LimbsToDigitsBy(const Limb* a, std::size_t n, std::uint32_t* d, std::size_t count) {
  std::size_t top = 0;
  for (std::size_t at = 0, to = 0; to < count; at += kBlockLimbs, to += kBlockDigits) {
    const std::size_t digits = std::min(kBlockDigits, count - to);
    std::size_t direct = (digits + 7) / 8;
    while (direct > 0 && (at + 4 * direct > n || to + 8 * direct > count))
      --direct;
    if (direct != 0) {
      const std::uint32_t groupTop = kGroups(a + at, d + to, direct);
      if constexpr (kTop) top = TopAfter(top, groupTop, to + groupTop);
    }
    const auto limb = [&](std::size_t i) { return at + i < n ? a[at + i] : 0; };
    for (std::size_t k = 8 * direct; k < digits; ++k) {
      const auto m = static_cast<unsigned>(k / 2);
      const Limb pair = m == 0 ? limb(0) : PairOfLimbs(limb(m - 1), limb(m), m);
      d[to + k] = static_cast<std::uint32_t>(pair >> (k % 2 * kDigitBits)) & kDigitMask;
      if constexpr (kTop) top = TopAfter(top, d[to + k], to + k + 1);
    }
  }
  return top;
}

// -- The table --------------------------------------------------------------------------------

// c[0..n) := x + y + carry over digits (carry 0 or 1); returns the carry out, and ORs every
// digit of x and y into `seen` (bit 31 set when one of them has it). c may be x or y.
using DigitRunAdd = std::uint32_t (*)(std::uint32_t* c, const std::uint32_t* x,
                                      const std::uint32_t* y, std::size_t n, std::uint32_t carry,
                                      std::uint32_t& seen);

struct DigitKernels {
  // DigitsToLimbsBy over a path's block kernel.
  std::uint32_t (*digitsToLimbs)(const std::uint32_t* d, std::size_t n, Limb* out);
  // LimbsToDigitsBy over a path's block kernel: for public values, and for secret ones
  // (which finds the top digit without a branch).
  std::size_t (*limbsToDigits)(const Limb* a, std::size_t n, std::uint32_t* d, std::size_t count);
  std::size_t (*limbsToDigitsSecret)(const Limb* a, std::size_t n, std::uint32_t* d,
                                     std::size_t count);
  DigitRunAdd addRun;
  DigitRunAdd subRun;  // x - y - borrow; returns the borrow out
  // The OR of d[0..n): bit 31 set when a digit has it.
  std::uint32_t (*orDigits)(const std::uint32_t* d, std::size_t n);
  DigitPath path;
};

// The active path; starts as the portable one and is upgraded at start-up when the CPU
// allows.
extern DigitKernels gDigitKernels;

DigitKernels PortableDigitKernels();
bool Avx2Supported();
DigitKernels Avx2DigitKernels();  // only when Avx2Supported()

}  // namespace xkit::detail
