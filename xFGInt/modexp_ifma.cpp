// The exponentiation on AVX-512 IFMA: the same fixed windows and masked table scans as the
// limb path, with each Montgomery product an "almost Montgomery" product in radix 2^52
// (R' = 2^(52 N) for N digits), eight digits to a register and 52-bit multiply-adds. Values
// stay below 2m instead of m (R' >= 4m keeps them there), so a product needs no final
// subtraction at all; one full reduction at the end gives the canonical result.
#include <algorithm>
#include <array>
#include <utility>

#include "xFGInt/modexp.h"
#include "xFGInt/thresholds.h"

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12 reports its own intrinsics' deliberately undefined vectors (_mm512_undefined_*) as
// maybe uninitialised once they are inlined here.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#endif

namespace xkit::detail {

namespace {

constexpr unsigned kDigitBits52 = 52;
constexpr Limb kMask52 = (Limb{1} << kDigitBits52) - 1;

// digits[0..count) := x[0..n) in radix 2^52 (count digits must hold it).
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

// x[0..n) := the value of digits[0..count) (below 2^(64 n), every digit below 2^52).
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

// An almost-Montgomery product and a table scan for one block count (below).
using ProductFunction = void (*)(Limb* r, const Limb* a, const Limb* b, const Limb* m,
                                 std::size_t digits, Limb k0);
using SelectFunction = void (*)(Limb* out, const Limb* table, std::size_t entries,
                                std::size_t stride, Limb w);

#if defined(__x86_64__) && defined(__GNUC__)

// r = (a b + y m) / 2^(52 digits) for a, b below 2m, with y chosen digit by digit to clear
// the low digit; below 2m again. Every array holds 8 blocks digits (the ones above `digits`
// zero) and has a zero digit just below it (a[-1] = m[-1] = 0), so a load from a - 1 gives a
// shifted up by one digit, where the high halves of its products belong. r may be a or b.
//
// Step i adds a b_i and y_i m and divides by 2^52. The vector lanes hold the digits; the
// a terms and the m terms go to two accumulators, so the a terms never wait for y_i. y_i
// depends only on digit 0, which is tracked in a scalar: the next digit 0 is this step's
// digit 1 (read from the vectors before the m terms arrive) plus the m terms' part of it
// and the carry out of digit 0, all computed from y_i with scalar products. Lane 0 of the
// vectors is never read. A lane collects at most two 52-bit terms per step in each
// accumulator: below 2^61 for any supported size.
// The block count is a template argument, so the loops unroll and the accumulators stay
// in registers.
template <std::size_t blocks>
__attribute__((target("avx512f,avx512ifma"))) void AlmostMontgomeryProduct(
    Limb* r, const Limb* a, const Limb* b, const Limb* m, std::size_t digits, Limb k0) {
  __m512i accA[blocks + 1];  // the last one: the high halves above the top lane
  __m512i accM[blocks + 1];
  for (std::size_t j = 0; j <= blocks; ++j) {
    accA[j] = _mm512_setzero_si512();
    accM[j] = _mm512_setzero_si512();
  }
  const Limb a0 = a[0], m0 = m[0], m1 = m[1];
  Limb digit0 = 0;  // digit 0 of the running sum
  for (std::size_t i = 0; i < digits; ++i) {
    const Limb bi = b[i];
    const __m512i bv = _mm512_set1_epi64(static_cast<long long>(bi));
    for (std::size_t j = 0; j < blocks; ++j) {
      accA[j] = _mm512_madd52lo_epu64(accA[j], _mm512_loadu_si512(a + 8 * j), bv);
      accA[j] = _mm512_madd52hi_epu64(accA[j], _mm512_loadu_si512(a - 1 + 8 * j), bv);
    }
    // Digit 0 plus the low half of a0 b_i, cleared by y m0; what lies above carries.
    const Limb t = digit0 + ((a0 * bi) & kMask52);
    const Limb y = (t * k0) & kMask52;
    const DoubleLimb m0y = static_cast<DoubleLimb>(m0) * y;
    const Limb carry = (t + (static_cast<Limb>(m0y) & kMask52)) >> kDigitBits52;
    const Limb digit1 = static_cast<Limb>(_mm_extract_epi64(_mm512_castsi512_si128(accA[0]), 1)) +
                        static_cast<Limb>(_mm_extract_epi64(_mm512_castsi512_si128(accM[0]), 1));
    digit0 = digit1 + ((m1 * y) & kMask52) + static_cast<Limb>(m0y >> kDigitBits52) + carry;
    const __m512i yv = _mm512_set1_epi64(static_cast<long long>(y));
    for (std::size_t j = 0; j < blocks; ++j) {
      accM[j] = _mm512_madd52lo_epu64(accM[j], _mm512_loadu_si512(m + 8 * j), yv);
      accM[j] = _mm512_madd52hi_epu64(accM[j], _mm512_loadu_si512(m - 1 + 8 * j), yv);
    }
    // The high half of the top lane's product belongs one lane above the last block; it
    // enters the shift from there (a masked load reads only that one digit).
    const __m512i zero = _mm512_setzero_si512();
    accA[blocks] = _mm512_madd52hi_epu64(zero, _mm512_maskz_loadu_epi64(1, a + 8 * blocks - 1), bv);
    accM[blocks] = _mm512_madd52hi_epu64(zero, _mm512_maskz_loadu_epi64(1, m + 8 * blocks - 1), yv);
    for (std::size_t j = 0; j < blocks; ++j) {
      accA[j] = _mm512_alignr_epi64(accA[j + 1], accA[j], 1);
      accM[j] = _mm512_alignr_epi64(accM[j + 1], accM[j], 1);
    }
  }
  // Back to digits below 2^52; the value is below 2^(52 digits), so nothing carries out.
  alignas(64) Limb lanes[8 * blocks];
  for (std::size_t j = 0; j < blocks; ++j)
    _mm512_store_si512(lanes + 8 * j, _mm512_add_epi64(accA[j], accM[j]));
  lanes[0] = digit0;
  Limb carry = 0;
  for (std::size_t d = 0; d < 8 * blocks; ++d) {
    const Limb v = lanes[d] + carry;
    r[d] = v & kMask52;
    carry = v >> kDigitBits52;
  }
}

// out[0..8 blocks) = table entry w, entries `stride` digits apart, read by scanning every
// entry under a mask, a register per block.
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

// The kernels for one block count.
struct BlockKernels {
  ProductFunction product;
  SelectFunction select;
};

template <std::size_t... counts>
constexpr std::array<BlockKernels, sizeof...(counts)> KernelTable(std::index_sequence<counts...>) {
  return {BlockKernels{AlmostMontgomeryProduct<counts + 1>, SelectValue<counts + 1>}...};
}

// The kernels for 1 .. kRadix52MaxBlocks blocks.
BlockKernels KernelsFor(std::size_t blocks) {
  static constexpr auto kTable = KernelTable(std::make_index_sequence<kRadix52MaxBlocks>());
  return kTable[blocks - 1];
}

bool CpuHasIfma() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512ifma");
}

#else

struct BlockKernels {
  ProductFunction product;
  SelectFunction select;
};
BlockKernels KernelsFor(std::size_t) {
  return {nullptr, nullptr};
}
bool CpuHasIfma() {
  return false;
}

#endif

}  // namespace

bool Radix52Supported() {
  static const bool supported = CpuHasIfma();
  return supported;
}

bool MontgomeryDomain::PowRadix52(Limb* r, const Limb* a, std::size_t an, const Limb* e,
                                  std::size_t en, std::size_t bits, unsigned k) const {
  const std::size_t n = n_;
  const std::size_t modulusBits = bits_;
  const std::size_t digits = (modulusBits + 2 + kDigitBits52 - 1) / kDigitBits52;  // R' >= 4m
  const std::size_t blocks = (digits + 7) / 8;
  if (blocks > kRadix52MaxBlocks) return false;
  const std::size_t width = 8 * blocks;  // digits per value, the top ones zero
  const std::size_t entries = std::size_t{1} << k;

  // Plain limbs: R' mod m (by doublings from 2^(bits - 1), as for R), and the base's form
  // a R' = (a R) (R' mod m) R^-1.
  std::vector<Limb> limbs(3 * n, 0);
  Limb* rPrime = limbs.data();
  Limb* form = rPrime + n;
  Limb* result = form + n;
  rPrime[(modulusBits - 1) / 64] = Limb{1} << ((modulusBits - 1) % 64);
  for (std::size_t i = modulusBits - 1; i < kDigitBits52 * digits; ++i)
    Add(rPrime, rPrime, rPrime);
  ToMontgomery(form, a, an);
  const Limb baseIsZero = MaskIfZeroN(form, n);
  Mul(form, form, rPrime);

  // Radix-2^52 values, each in a slot of width + 1 digits whose first digit stays zero (the
  // products read one digit below a value): the modulus, the table of x^0 .. x^(2^k - 1),
  // the accumulator, the selected factor, and the constant 1.
  const std::size_t slot = width + 1;
  std::vector<Limb> work((entries + 4) * slot + 8, 0);  // + 8: a full vector past the end
  const auto value = [&](std::size_t index) { return work.data() + index * slot + 1; };
  Limb* modulus = value(0);
  Limb* acc = value(1);
  Limb* factor = value(2);
  Limb* one = value(3);
  const auto entry = [&](std::size_t i) { return value(4 + i); };
  const Limb k0 = mInverse_ & kMask52;
  ToRadix52(modulus, width, m_.data(), n);
  ToRadix52(entry(0), width, rPrime, n);
  ToRadix52(entry(1), width, form, n);
  one[0] = 1;
  const BlockKernels kernels = KernelsFor(blocks);
  const auto product = [&](Limb* out, const Limb* x, const Limb* y) {
    kernels.product(out, x, y, modulus, digits, k0);
  };
  for (std::size_t i = 2; i < entries; ++i)
    product(entry(i), entry(i - 1), entry(1));

  const auto select = [&](Limb* out, std::size_t w) {
    kernels.select(out, entry(0), entries, slot, Window(e, en, w * k, k));
  };
  std::copy(entry(0), entry(0) + width, acc);
  if (bits != 0) {
    const std::size_t windows = (bits + k - 1) / k;
    select(acc, windows - 1);
    for (std::size_t w = windows - 1; w-- > 0;) {
      for (unsigned i = 0; i < k; ++i)
        product(acc, acc, acc);
      select(factor, w);
      product(acc, acc, factor);
    }
  }
  // Out of the form: (acc + y m) / R' <= m, so at most one subtraction remains.
  product(acc, acc, one);
  FromRadix52(result, n, acc, width);
  const Limb borrow = SubN(form, result, m_.data(), n);
  Select(r, result, form, n, MaskFromBit(borrow));
  for (std::size_t i = 0; i < n; ++i)
    r[i] &= ~baseIsZero;
  return true;
}

}  // namespace xkit::detail
