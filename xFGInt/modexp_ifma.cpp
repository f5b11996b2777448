// The AVX-512 IFMA kernels: the "almost Montgomery" product in radix 2^52 (R' = 2^(52 N) for
// N digits), eight digits to a register and 52-bit multiply-adds, alone or two independent
// ones interleaved, and the masked table scan. Values stay below 2m instead of m (R' >= 4m
// keeps them there), so a product needs no final subtraction at all.
#include <algorithm>
#include <array>
#include <utility>

#include "xFGInt/limbs_paths.h"
#include "xFGInt/radix52.h"

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12 reports its own intrinsics' deliberately undefined vectors (_mm512_undefined_*) as
// maybe uninitialised once they are inlined here.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#endif

namespace xkit::detail {

void ToRadix52(Limb* digits, std::size_t count, const Limb* x, std::size_t n) {
  DoubleLimb buffer = 0;
  unsigned bits = 0;
  std::size_t k = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (bits < kDigitBits52 && k < n) {
      buffer |= static_cast<DoubleLimb>(x[k++]) << bits;
      bits += 64;
    }
    digits[i] = static_cast<Limb>(buffer) & kMask52;
    buffer >>= kDigitBits52;
    bits = bits > kDigitBits52 ? bits - kDigitBits52 : 0;
  }
}

void FromRadix52(Limb* x, std::size_t n, const Limb* digits, std::size_t count) {
  DoubleLimb buffer = 0;
  unsigned bits = 0;
  std::size_t k = 0;
  for (std::size_t i = 0; i < count && k < n; ++i) {
    buffer |= static_cast<DoubleLimb>(digits[i]) << bits;
    bits += kDigitBits52;
    if (bits >= 64) {
      x[k++] = static_cast<Limb>(buffer);
      buffer >>= 64;
      bits -= 64;
    }
  }
  if (k < n) x[k++] = static_cast<Limb>(buffer);
  std::fill(x + k, x + n, Limb{0});
}

namespace {

#if defined(__x86_64__) && defined(__GNUC__)

#define XKIT_IFMA __attribute__((target("avx512f,avx512ifma,bmi2"), always_inline)) inline

// One product in progress: r = (a b + y m) / 2^52 per step i, over the steps of b's digits.
// The vector lanes hold the digits of the running sum in two accumulators, the a b_i terms
// and the y_i m terms, so that the first never wait for y_i; digit 0 lives in a scalar,
// which alone decides y_i. A step adds the low halves of its terms, shifts the lanes down by
// one digit (the division by 2^52) and adds the high halves, which belong one digit up and
// so land in the lanes as they now stand. The new digit 0 is computed in scalars from
// digit 1 as the earlier steps left it (read before this step's terms land) and this step's
// terms that reach it; the lane that also receives them is shifted out unread. So the chain
// from y_i to y_(i+1) is scalar, and the vectors enter it only through digit 1, one step
// ahead.
// Bounds: a lane collects at most four 52-bit terms per step (two in each accumulator) and
// at most 8 blocks steps pass before it is read: below 2^61 for any supported size; digit 0,
// a lane plus a few terms and the carry, below 2^62; the digit-0 sum, two 104-bit products
// and digit 0, below 2^106 in two limbs.

// Hides from the compiler that a pointer still points where it did in the last step: it
// would otherwise keep the operands' vectors and digits in registers across the loop, which
// then no longer hold the accumulators, and spill; loads from the first-level cache cost
// less.
XKIT_IFMA void Opaque(const Limb*& x) {
  __asm__("" : "+r"(x));
}

template <std::size_t blocks>
struct Product {
  __m512i accA[blocks];  // the a b terms
  __m512i accM[blocks];  // the y m terms
  Limb digit0;
};

template <std::size_t blocks>
XKIT_IFMA void Start(Product<blocks>& p) {
  for (std::size_t j = 0; j < blocks; ++j) {
    p.accA[j] = _mm512_setzero_si512();
    p.accM[j] = _mm512_setzero_si512();
  }
  p.digit0 = 0;
}

// A step in parts, so that a pair of products interleaves them part by part: each product's
// steps form a chain of dependent latencies, and the other's parts fill the gaps. The a b_i
// terms need only b_i:
template <std::size_t blocks>
XKIT_IFMA void AddProductTerms(Product<blocks>& p, const Limb* a, Limb bi) {
  const __m512i bv = _mm512_set1_epi64(static_cast<long long>(bi));
  const __m512i zero = _mm512_setzero_si512();
  for (std::size_t j = 0; j < blocks; ++j)
    p.accA[j] = _mm512_madd52lo_epu64(p.accA[j], _mm512_loadu_si512(a + 8 * j), bv);
  for (std::size_t j = 0; j < blocks; ++j)
    p.accA[j] = _mm512_alignr_epi64(j + 1 < blocks ? p.accA[j + 1] : zero, p.accA[j], 1);
  for (std::size_t j = 0; j < blocks; ++j)
    p.accA[j] = _mm512_madd52hi_epu64(p.accA[j], _mm512_loadu_si512(a + 8 * j), bv);
}

// y_i, and the next digit 0, from digit 1 as the earlier steps left it (read before this
// step's terms land) and this step's terms computed in scalars.
template <std::size_t blocks>
XKIT_IFMA Limb NextY(Product<blocks>& p, Limb digit1, const Limb* a, const Limb* m, Limb bi,
                     Limb k0) {
  // Digit 0 plus a0 b_i in two limbs (spelled out: a 128-bit sum with a zero-extended limb
  // goes through memory otherwise); y clears its low 52 bits with m0 y, and what lies above
  // carries into the new digit 0.
  const DoubleLimb a0b = static_cast<DoubleLimb>(a[0]) * bi;
  Limb low = static_cast<Limb>(a0b) + p.digit0;
  Limb high = static_cast<Limb>(a0b >> 64) + (low < p.digit0 ? 1 : 0);
  const Limb y = (low * k0) & kMask52;
  const DoubleLimb m0y = static_cast<DoubleLimb>(m[0]) * y;
  const Limb lowM = static_cast<Limb>(m0y);
  low += lowM;
  high += static_cast<Limb>(m0y >> 64) + (low < lowM ? 1 : 0);
  p.digit0 = ((low >> kDigitBits52) | (high << (64 - kDigitBits52))) + digit1 +
             ((a[1] * bi) & kMask52) + ((m[1] * y) & kMask52);
  return y;
}

template <std::size_t blocks>
XKIT_IFMA Limb Digit1(const Product<blocks>& p) {
  return static_cast<Limb>(
      _mm_extract_epi64(_mm512_castsi512_si128(_mm512_add_epi64(p.accA[0], p.accM[0])), 1));
}

// The y m terms.
template <std::size_t blocks>
XKIT_IFMA void AddReductionTerms(Product<blocks>& p, const Limb* m, Limb y) {
  const __m512i yv = _mm512_set1_epi64(static_cast<long long>(y));
  const __m512i zero = _mm512_setzero_si512();
  for (std::size_t j = 0; j < blocks; ++j)
    p.accM[j] = _mm512_madd52lo_epu64(p.accM[j], _mm512_loadu_si512(m + 8 * j), yv);
  for (std::size_t j = 0; j < blocks; ++j)
    p.accM[j] = _mm512_alignr_epi64(j + 1 < blocks ? p.accM[j + 1] : zero, p.accM[j], 1);
  for (std::size_t j = 0; j < blocks; ++j)
    p.accM[j] = _mm512_madd52hi_epu64(p.accM[j], _mm512_loadu_si512(m + 8 * j), yv);
}

// Back to digits below 2^52; the value is below 2^(52 digits), so nothing carries out.
template <std::size_t blocks>
XKIT_IFMA void Finish(const Product<blocks>& p, Limb* r) {
  alignas(64) Limb lanes[8 * blocks];
  for (std::size_t j = 0; j < blocks; ++j)
    _mm512_store_si512(lanes + 8 * j, _mm512_add_epi64(p.accA[j], p.accM[j]));
  lanes[0] = p.digit0;
  Limb carry = 0;
  for (std::size_t d = 0; d < 8 * blocks; ++d) {
    const Limb v = lanes[d] + carry;
    r[d] = v & kMask52;
    carry = v >> kDigitBits52;
  }
}

// The block count is a template argument, so the loops unroll and the accumulators stay
// in registers.
template <std::size_t blocks>
__attribute__((target("avx512f,avx512ifma,bmi2"))) void AlmostMontgomeryProduct(
    Limb* r, const Limb* a, const Limb* b, const Limb* m, std::size_t digits, Limb k0) {
  Product<blocks> p;
  Start(p);
  for (std::size_t i = 0; i < digits; ++i) {
    Opaque(a);
    Opaque(m);
    const Limb digit1 = Digit1(p);
    AddProductTerms(p, a, b[i]);
    AddReductionTerms(p, m, NextY(p, digit1, a, m, b[i], k0));
  }
  Finish(p, r);
}

// Two products whose steps interleave part by part.
template <std::size_t blocks>
__attribute__((target("avx512f,avx512ifma,bmi2"))) void AlmostMontgomeryProductPair(
    Limb* r1, const Limb* a1, const Limb* b1, const Limb* m1, Limb k01, Limb* r2, const Limb* a2,
    const Limb* b2, const Limb* m2, Limb k02, std::size_t digits) {
  Product<blocks> p1, p2;
  Start(p1);
  Start(p2);
  for (std::size_t i = 0; i < digits; ++i) {
    Opaque(a1);
    Opaque(m1);
    Opaque(a2);
    Opaque(m2);
    const Limb first1 = Digit1(p1), second1 = Digit1(p2);
    AddProductTerms(p1, a1, b1[i]);
    AddProductTerms(p2, a2, b2[i]);
    const Limb y1 = NextY(p1, first1, a1, m1, b1[i], k01);
    const Limb y2 = NextY(p2, second1, a2, m2, b2[i], k02);
    AddReductionTerms(p1, m1, y1);
    AddReductionTerms(p2, m2, y2);
  }
  Finish(p1, r1);
  Finish(p2, r2);
}

template <std::size_t blocks>
__attribute__((target("avx512f"))) void SelectValue(Limb* out, const Limb* table,
                                                    std::size_t entries, std::size_t stride,
                                                    Limb w) {
  __m512i value[blocks];
  for (std::size_t j = 0; j < blocks; ++j)
    value[j] = _mm512_setzero_si512();
  for (std::size_t i = 0; i < entries; ++i) {
    const __m512i mask = _mm512_set1_epi64(static_cast<long long>(MaskIfZero(i ^ w)));
    for (std::size_t j = 0; j < blocks; ++j) {
      value[j] = _mm512_or_si512(
          value[j], _mm512_and_si512(_mm512_loadu_si512(table + i * stride + 8 * j), mask));
    }
  }
  for (std::size_t j = 0; j < blocks; ++j)
    _mm512_storeu_si512(out + 8 * j, value[j]);
}

#undef XKIT_IFMA

template <std::size_t blocks>
constexpr Radix52Kernels KernelsOf() {
  PairProductFunction pair = nullptr;
  if constexpr (blocks <= kMaxPairBlocks) pair = AlmostMontgomeryProductPair<blocks>;
  return {AlmostMontgomeryProduct<blocks>, pair, SelectValue<blocks>};
}

template <std::size_t... counts>
constexpr std::array<Radix52Kernels, sizeof...(counts)> KernelTable(
    std::index_sequence<counts...>) {
  return {KernelsOf<counts + 1>()...};
}

bool CpuHasIfma() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512ifma") &&
         __builtin_cpu_supports("bmi2");
}

#else

bool CpuHasIfma() {
  return false;
}

#endif

}  // namespace

Radix52Kernels Radix52KernelsFor(std::size_t blocks) {
#if defined(__x86_64__) && defined(__GNUC__)
  static constexpr auto kTable = KernelTable(std::make_index_sequence<kMaxBlocks>());
  return kTable[blocks - 1];
#else
  (void)blocks;
  return {nullptr, nullptr, nullptr};
#endif
}

bool Radix52Supported() {
  static const bool supported = CpuHasIfma();
  return supported;
}

}  // namespace xkit::detail
