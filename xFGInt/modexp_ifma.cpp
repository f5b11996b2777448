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
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
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

#define XKIT_IFMA __attribute__((target("avx512f,avx512ifma"), always_inline)) inline

// One product in progress: r = (a b + y m) / 2^52 per step i, over the steps of b's digits.
// The vector lanes hold the digits; the a terms and the m terms go to two accumulators, so
// the a terms never wait for y_i. y_i depends only on digit 0, which is tracked in a scalar:
// the next digit 0 is this step's digit 1 (read from the vectors before the m terms arrive)
// plus the m terms' part of it and the carry out of digit 0, all computed from y_i with
// scalar products. Lane 0 of the vectors is never read. A lane collects at most two 52-bit
// terms per step in each accumulator: below 2^61 for any supported size.
template <std::size_t blocks>
struct Product {
  __m512i accA[blocks + 1];  // the last one: the high halves above the top lane
  __m512i accM[blocks + 1];
  Limb digit0;  // digit 0 of the running sum
};

template <std::size_t blocks>
XKIT_IFMA void Start(Product<blocks>& p) {
  for (std::size_t j = 0; j <= blocks; ++j) {
    p.accA[j] = _mm512_setzero_si512();
    p.accM[j] = _mm512_setzero_si512();
  }
  p.digit0 = 0;
}

// Step i: adds a b_i and y_i m, then divides by 2^52. a and m have a zero digit just below
// them, so a load from a - 1 gives a shifted up by one digit, where the high halves of its
// products belong.
template <std::size_t blocks>
XKIT_IFMA void Step(Product<blocks>& p, const Limb* a, const Limb* m, Limb bi, Limb k0) {
  const __m512i bv = _mm512_set1_epi64(static_cast<long long>(bi));
  for (std::size_t j = 0; j < blocks; ++j) {
    p.accA[j] = _mm512_madd52lo_epu64(p.accA[j], _mm512_loadu_si512(a + 8 * j), bv);
    p.accA[j] = _mm512_madd52hi_epu64(p.accA[j], _mm512_loadu_si512(a - 1 + 8 * j), bv);
  }
  // Digit 0 plus the low half of a0 b_i, cleared by y m0; what lies above carries.
  const Limb t = p.digit0 + ((a[0] * bi) & kMask52);
  const Limb y = (t * k0) & kMask52;
  const DoubleLimb m0y = static_cast<DoubleLimb>(m[0]) * y;
  const Limb carry = (t + (static_cast<Limb>(m0y) & kMask52)) >> kDigitBits52;
  const Limb digit1 = static_cast<Limb>(_mm_extract_epi64(_mm512_castsi512_si128(p.accA[0]), 1)) +
                      static_cast<Limb>(_mm_extract_epi64(_mm512_castsi512_si128(p.accM[0]), 1));
  p.digit0 = digit1 + ((m[1] * y) & kMask52) + static_cast<Limb>(m0y >> kDigitBits52) + carry;
  const __m512i yv = _mm512_set1_epi64(static_cast<long long>(y));
  for (std::size_t j = 0; j < blocks; ++j) {
    p.accM[j] = _mm512_madd52lo_epu64(p.accM[j], _mm512_loadu_si512(m + 8 * j), yv);
    p.accM[j] = _mm512_madd52hi_epu64(p.accM[j], _mm512_loadu_si512(m - 1 + 8 * j), yv);
  }
  // The high half of the top lane's product belongs one lane above the last block; it
  // enters the shift from there (a masked load reads only that one digit).
  const __m512i zero = _mm512_setzero_si512();
  p.accA[blocks] = _mm512_madd52hi_epu64(zero, _mm512_maskz_loadu_epi64(1, a + 8 * blocks - 1), bv);
  p.accM[blocks] = _mm512_madd52hi_epu64(zero, _mm512_maskz_loadu_epi64(1, m + 8 * blocks - 1), yv);
  for (std::size_t j = 0; j < blocks; ++j) {
    p.accA[j] = _mm512_alignr_epi64(p.accA[j + 1], p.accA[j], 1);
    p.accM[j] = _mm512_alignr_epi64(p.accM[j + 1], p.accM[j], 1);
  }
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
__attribute__((target("avx512f,avx512ifma"))) void AlmostMontgomeryProduct(
    Limb* r, const Limb* a, const Limb* b, const Limb* m, std::size_t digits, Limb k0) {
  Product<blocks> p;
  Start(p);
  for (std::size_t i = 0; i < digits; ++i)
    Step(p, a, m, b[i], k0);
  Finish(p, r);
}

// Two products whose steps interleave: each one's step is a chain of dependent latencies
// (the scalar y_i above all), and the other's fills the gaps.
template <std::size_t blocks>
__attribute__((target("avx512f,avx512ifma"))) void AlmostMontgomeryProductPair(
    Limb* r1, const Limb* a1, const Limb* b1, const Limb* m1, Limb k01, Limb* r2, const Limb* a2,
    const Limb* b2, const Limb* m2, Limb k02, std::size_t digits) {
  Product<blocks> p1, p2;
  Start(p1);
  Start(p2);
  for (std::size_t i = 0; i < digits; ++i) {
    Step(p1, a1, m1, b1[i], k01);
    Step(p2, a2, m2, b2[i], k02);
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
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512ifma");
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
