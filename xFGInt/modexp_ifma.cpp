// The exponentiation on AVX-512 IFMA: the same fixed windows and masked table scans as the
// limb path, with each Montgomery product an "almost Montgomery" product in radix 2^52
// (R' = 2^(52 N) for N digits), eight digits to a register and 52-bit multiply-adds. Values
// stay below 2m instead of m (R' >= 4m keeps them there), so a product needs no final
// subtraction at all; one full reduction at the end gives the canonical result.
#include <algorithm>

#include "xFGInt/modexp.h"

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
constexpr std::size_t kMaxBlocks = 16;  // eight digits each: moduli up to 6,654 bits

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

#if defined(__x86_64__) && defined(__GNUC__)

// r = (a b + y m) / 2^(52 digits) for a, b below 2m, with y chosen digit by digit to clear
// the low digit; below 2m again. All arrays hold 8 blocks digits, the ones above `digits`
// zero. r may be a or b. The lanes of the accumulator collect at most four 52-bit terms
// and a small carry per digit step: below 2^61 for any supported size.
__attribute__((target("avx512f,avx512ifma"))) void AlmostMontgomeryProduct(
    Limb* r, const Limb* a, const Limb* b, const Limb* m, std::size_t digits, std::size_t blocks,
    Limb k0) {
  __m512i acc[kMaxBlocks + 1];
  for (std::size_t j = 0; j <= blocks; ++j)
    acc[j] = _mm512_setzero_si512();
  const Limb m0 = m[0];
  for (std::size_t i = 0; i < digits; ++i) {
    const __m512i bi = _mm512_set1_epi64(static_cast<long long>(b[i]));
    for (std::size_t j = 0; j < blocks; ++j)
      acc[j] = _mm512_madd52lo_epu64(acc[j], _mm512_loadu_si512(a + 8 * j), bi);
    // y clears digit 0: lane 0 plus the low half of m0 y is a multiple of 2^52, and what
    // lies above carries into the next digit.
    const Limb low = static_cast<Limb>(_mm_cvtsi128_si64(_mm512_castsi512_si128(acc[0])));
    const Limb y = (low * k0) & kMask52;
    const Limb carry = (low + ((m0 * y) & kMask52)) >> kDigitBits52;
    const __m512i yv = _mm512_set1_epi64(static_cast<long long>(y));
    for (std::size_t j = 0; j < blocks; ++j)
      acc[j] = _mm512_madd52lo_epu64(acc[j], _mm512_loadu_si512(m + 8 * j), yv);
    // Divide by 2^52: every lane moves down one; the high halves land where they belong.
    for (std::size_t j = 0; j < blocks; ++j)
      acc[j] = _mm512_alignr_epi64(acc[j + 1], acc[j], 1);
    acc[0] = _mm512_add_epi64(acc[0], _mm512_maskz_set1_epi64(1, static_cast<long long>(carry)));
    for (std::size_t j = 0; j < blocks; ++j) {
      acc[j] = _mm512_madd52hi_epu64(acc[j], _mm512_loadu_si512(a + 8 * j), bi);
      acc[j] = _mm512_madd52hi_epu64(acc[j], _mm512_loadu_si512(m + 8 * j), yv);
    }
  }
  // Back to digits below 2^52; the value is below 2^(52 digits), so nothing carries out.
  alignas(64) Limb lanes[8 * kMaxBlocks];
  for (std::size_t j = 0; j < blocks; ++j)
    _mm512_store_si512(lanes + 8 * j, acc[j]);
  Limb carry = 0;
  for (std::size_t d = 0; d < 8 * blocks; ++d) {
    const Limb v = lanes[d] + carry;
    r[d] = v & kMask52;
    carry = v >> kDigitBits52;
  }
}

bool CpuHasIfma() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512ifma");
}

#else

void AlmostMontgomeryProduct(Limb*, const Limb*, const Limb*, const Limb*, std::size_t, std::size_t,
                             Limb) {}
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
  const std::size_t modulusBits = 64 * n - static_cast<std::size_t>(__builtin_clzll(m_[n - 1]));
  const std::size_t digits = (modulusBits + 2 + kDigitBits52 - 1) / kDigitBits52;  // R' >= 4m
  const std::size_t blocks = (digits + 7) / 8;
  if (blocks > kMaxBlocks) return false;
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

  // Radix-2^52 values: the modulus, the table of x^0 .. x^(2^k - 1), the accumulator, the
  // selected factor, and the constant 1.
  std::vector<Limb> work((entries + 4) * width, 0);
  Limb* modulus = work.data();
  Limb* table = modulus + width;
  Limb* acc = table + entries * width;
  Limb* factor = acc + width;
  Limb* one = factor + width;
  const Limb k0 = mInverse_ & kMask52;
  ToRadix52(modulus, width, m_.data(), n);
  ToRadix52(table, width, rPrime, n);
  ToRadix52(table + width, width, form, n);
  one[0] = 1;
  const auto product = [&](Limb* out, const Limb* x, const Limb* y) {
    AlmostMontgomeryProduct(out, x, y, modulus, digits, blocks, k0);
  };
  for (std::size_t i = 2; i < entries; ++i)
    product(table + i * width, table + (i - 1) * width, table + width);

  std::copy(table, table + width, acc);
  if (bits != 0) {
    const std::size_t windows = (bits + k - 1) / k;
    SelectEntry(acc, table, entries, width, Window(e, en, (windows - 1) * k, k));
    for (std::size_t w = windows - 1; w-- > 0;) {
      for (unsigned i = 0; i < k; ++i)
        product(acc, acc, acc);
      SelectEntry(factor, table, entries, width, Window(e, en, w * k, k));
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
