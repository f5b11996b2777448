// The AVX2 path of the digit kernels (x86-64 CPUs with AVX2). Only functions marked for
// the AVX2 target use its instructions, and they run only after the CPU check, so the rest
// of the library stays portable.
#include "xFGInt/digit_kernels.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define XKIT_AVX2 __attribute__((target("avx2")))
#endif

namespace xkit::detail {

#if defined(XKIT_AVX2)

namespace {

XKIT_AVX2 inline __m256i Load(const void* p) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}
XKIT_AVX2 inline void Store(void* p, __m256i v) {
  _mm256_storeu_si256(static_cast<__m256i*>(p), v);
}

// -- Repacking ----------------------------------------------------------------------------------
// Four limbs or four digit pairs to a register; the per-lane shifts (VPSRLVQ, VPSLLVQ) follow
// the block pattern of digit_kernels.h, and give zero for a count of 64.

// The pairs of d[0..8) in four lanes: each lane holds two digits as loaded (bits 0..30 and
// 32..62) and becomes d[2j] + d[2j+1] 2^31.
XKIT_AVX2 inline __m256i Pairs(const std::uint32_t* d) {
  const __m256i lanes = Load(d);
  const __m256i low = _mm256_and_si256(lanes, _mm256_set1_epi64x(kDigitMask));
  const __m256i high =
      _mm256_and_si256(_mm256_srli_epi64(lanes, 1), _mm256_set1_epi64x(Limb{kDigitMask} << 31));
  return _mm256_or_si256(low, high);
}

XKIT_AVX2 std::uint32_t DigitGroupsToLimbs(const std::uint32_t* d, Limb* out, std::size_t groups) {
  __m256i down = _mm256_setr_epi64x(0, 2, 4, 6);  // 2 t for the four limbs t of a group
  const __m256i width = _mm256_set1_epi64x(62);
  __m256i seen = _mm256_setzero_si256();  // the OR of the group's digits as read
  for (std::size_t g = 0; g < groups; ++g) {
    seen = _mm256_or_si256(seen, Load(d + 8 * g));
    const __m256i pairs = Pairs(d + 8 * g);     // pairs t
    const __m256i next = Pairs(d + 8 * g + 2);  // pairs t + 1
    const __m256i limbs = _mm256_or_si256(_mm256_srlv_epi64(pairs, down),
                                          _mm256_sllv_epi64(next, _mm256_sub_epi64(width, down)));
    Store(out + 4 * g, limbs);
    down = _mm256_add_epi64(down, _mm256_set1_epi64x(8));
  }
  return static_cast<std::uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(seen)) != 0) << 31;
}

template <bool kTop>
XKIT_AVX2 std::uint32_t LimbGroupsToDigits(const Limb* a, std::uint32_t* d, std::size_t groups) {
  __m256i up = _mm256_setr_epi64x(0, 2, 4, 6);  // 2 m for the four pairs m of a group
  const __m256i full = _mm256_set1_epi64x(64);
  const __m256i lowMask = _mm256_set1_epi64x(kDigitMask);
  const __m256i highMask = _mm256_set1_epi64x(Limb{kDigitMask} << 32);
  // Lane j: the largest 1-based position of a non-zero digit written in lane j so far.
  __m256i positions = _mm256_setr_epi32(1, 2, 3, 4, 5, 6, 7, 8);
  __m256i tops = _mm256_setzero_si256();
  for (std::size_t g = 0; g < groups; ++g) {
    const __m256i here = Load(a + 4 * g);  // limbs m
    // Limbs m - 1. Pair 0 has none, and its count of 64 clears whatever stands in its lane,
    // so the first group takes limb 0 there instead of reading below a.
    const __m256i below =
        g == 0 ? _mm256_permute4x64_epi64(here, _MM_SHUFFLE(2, 1, 0, 0)) : Load(a + 4 * g - 1);
    const __m256i pairs = _mm256_or_si256(_mm256_srlv_epi64(below, _mm256_sub_epi64(full, up)),
                                          _mm256_sllv_epi64(here, up));
    // Digit 2 m in the low half of the lane, digit 2 m + 1 in the high half.
    const __m256i digits = _mm256_or_si256(_mm256_and_si256(pairs, lowMask),
                                           _mm256_and_si256(_mm256_slli_epi64(pairs, 1), highMask));
    Store(d + 8 * g, digits);
    if constexpr (kTop) {
      const __m256i zero = _mm256_cmpeq_epi32(digits, _mm256_setzero_si256());
      tops = _mm256_max_epu32(tops, _mm256_andnot_si256(zero, positions));
      positions = _mm256_add_epi32(positions, _mm256_set1_epi32(8));
    }
    up = _mm256_add_epi64(up, _mm256_set1_epi64x(8));
  }
  if constexpr (kTop) {
    __m128i top = _mm_max_epu32(_mm256_castsi256_si128(tops), _mm256_extracti128_si256(tops, 1));
    top = _mm_max_epu32(top, _mm_shuffle_epi32(top, _MM_SHUFFLE(1, 0, 3, 2)));
    top = _mm_max_epu32(top, _mm_shuffle_epi32(top, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(top));
  } else {
    return 0;
  }
}

std::uint32_t DigitsToLimbsAvx2(const std::uint32_t* d, std::size_t n, Limb* out) {
  return DigitsToLimbsBy<DigitGroupsToLimbs>(d, n, out);
}

template <bool kTop>
std::size_t LimbsToDigitsAvx2(const Limb* a, std::size_t n, std::uint32_t* d, std::size_t count) {
  return LimbsToDigitsBy<LimbGroupsToDigits<kTop>, kTop>(a, n, d, count);
}

// -- Digit-run sums -----------------------------------------------------------------------------
// The carry lookahead of digit_kernels.cpp over eight digits to a register and 64 digits to
// a block. The digit sums of a block stay in registers between finding the carries and
// adding them in, and the carry facts need no compare: a sum t generates a carry when
// t >= 2^31 and generates or propagates one when t + 1 >= 2^31; a difference generates a
// borrow when t < 0 and generates or propagates one when t - 1 < 0. Each is a sign bit.

constexpr std::size_t kRunBlock = 64;

// The sign bits of the 32-bit lanes of v[0..4) as one mask, lane j of v[k] at bit 8 k + j.
// The packs keep each lane's sign but work within 128-bit halves, which leaves groups of
// four lanes interleaved; the permutation puts them back in order.
XKIT_AVX2 inline std::uint32_t SignMask(const __m256i* v) {
  const __m256i bytes =
      _mm256_packs_epi16(_mm256_packs_epi32(v[0], v[1]), _mm256_packs_epi32(v[2], v[3]));
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  return static_cast<std::uint32_t>(
      _mm256_movemask_epi8(_mm256_permutevar8x32_epi32(bytes, order)));
}

// c[0..n) := x + y + carry (kSubtract: x - y - borrow) for 1 <= n <= 8 kVectors, kVectors
// 1, 4 or 8; returns the carry (borrow) out, and ORs the digits read into `operands`. Lanes
// beyond n are neither read nor written.
template <bool kSubtract, std::size_t kVectors>
[[gnu::always_inline]] XKIT_AVX2 inline std::uint32_t LookaheadBlock(
    std::uint32_t* c, const std::uint32_t* x, const std::uint32_t* y, std::size_t n,
    std::uint32_t carry, __m256i& operands) {
  const std::size_t whole = n / 8;
  const std::size_t vectors = (n + 7) / 8;
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i inside = _mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int>(n % 8)), lanes);
  const __m256i one = _mm256_set1_epi32(1);
  // Lanes beyond n hold 0; they can only change carries above n. The sums stay in registers
  // for the second pass; t + 1 (kSubtract: t - 1) only until its signs are taken, four
  // vectors at a time, which leaves a register for the operands' OR.
  __m256i t[kVectors];
  std::uint64_t generate = 0;
  std::uint64_t either = 0;
  constexpr std::size_t kQuarter = kVectors < 4 ? kVectors : 4;
  for (std::size_t h = 0; h < kVectors; h += kQuarter) {
    __m256i stepped[kQuarter];
    for (std::size_t k = 0; k < kQuarter; ++k) {
      const std::size_t v = h + k;
      __m256i xs = _mm256_setzero_si256();
      __m256i ys = _mm256_setzero_si256();
      if (v < whole) {
        xs = Load(x + 8 * v);
        ys = Load(y + 8 * v);
      } else if (v < vectors) {
        xs = _mm256_maskload_epi32(reinterpret_cast<const int*>(x + 8 * v), inside);
        ys = _mm256_maskload_epi32(reinterpret_cast<const int*>(y + 8 * v), inside);
      }
      operands = _mm256_or_si256(operands, _mm256_or_si256(xs, ys));
      t[v] = kSubtract ? _mm256_sub_epi32(xs, ys) : _mm256_add_epi32(xs, ys);
      stepped[k] = kSubtract ? _mm256_sub_epi32(t[v], one) : _mm256_add_epi32(t[v], one);
    }
    if constexpr (kVectors == 1) {
      generate = static_cast<std::uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(t[0])));
      either = static_cast<std::uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(stepped[0])));
    } else {
      generate |= std::uint64_t{SignMask(t + h)} << (8 * h);
      either |= std::uint64_t{SignMask(stepped)} << (8 * h);
    }
  }
  // 65 bits: bit 64 is the carry out of a whole block of 64 digits.
  const DoubleLimb sum = DoubleLimb{generate} + either + carry;
  const std::uint64_t carries = static_cast<std::uint64_t>(sum) ^ generate ^ either;
  const std::uint32_t out = n == kRunBlock ? static_cast<std::uint32_t>(sum >> 64)
                                           : static_cast<std::uint32_t>(carries >> n) & 1;
  // Carry bit 8 k + j moves to the sign of lane j of vector k, then spreads over the lane:
  // all ones (-1) where a carry (borrow) comes in.
  const __m256i mask = _mm256_set1_epi32(kDigitMask);
  const __m256i toSign = _mm256_sub_epi32(_mm256_set1_epi32(31), lanes);
  const __m256i halves[2] = {_mm256_set1_epi32(static_cast<int>(carries & 0xFFFFFFFF)),
                             _mm256_set1_epi32(static_cast<int>(carries >> 32))};
  for (std::size_t v = 0; v < vectors; ++v) {
    const __m256i shift =
        _mm256_sub_epi32(toSign, _mm256_set1_epi32(static_cast<int>(8 * (v % 4))));
    const __m256i in = _mm256_srai_epi32(_mm256_sllv_epi32(halves[v / 4], shift), 31);
    const __m256i digits =
        _mm256_and_si256(kSubtract ? _mm256_add_epi32(t[v], in) : _mm256_sub_epi32(t[v], in), mask);
    if (v < whole) {
      Store(c + 8 * v, digits);
    } else {
      _mm256_maskstore_epi32(reinterpret_cast<int*>(c + 8 * v), inside, digits);
    }
  }
  return out;
}

template <bool kSubtract>
XKIT_AVX2 std::uint32_t DigitRun(std::uint32_t* c, const std::uint32_t* x, const std::uint32_t* y,
                                 std::size_t n, std::uint32_t carry, std::uint32_t& seen) {
  std::size_t i = 0;
  __m256i operands = _mm256_setzero_si256();
  for (; n - i >= kRunBlock; i += kRunBlock)
    carry = LookaheadBlock<kSubtract, 8>(c + i, x + i, y + i, kRunBlock, carry, operands);
  if (n - i > kRunBlock / 2) {
    carry = LookaheadBlock<kSubtract, 8>(c + i, x + i, y + i, n - i, carry, operands);
  } else if (n - i > 8) {
    carry = LookaheadBlock<kSubtract, 4>(c + i, x + i, y + i, n - i, carry, operands);
  } else if (i < n) {
    carry = LookaheadBlock<kSubtract, 1>(c + i, x + i, y + i, n - i, carry, operands);
  }
  seen |= static_cast<std::uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(operands)) != 0) << 31;
  return carry;
}

// Four vectors at a time into four accumulators; the rest under a mask.
XKIT_AVX2 std::uint32_t OrDigits(const std::uint32_t* d, std::size_t n) {
  __m256i acc[4] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(),
                    _mm256_setzero_si256()};
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    for (std::size_t k = 0; k < 4; ++k)
      acc[k] = _mm256_or_si256(acc[k], Load(d + i + 8 * k));
  }
  for (; i + 8 <= n; i += 8)
    acc[0] = _mm256_or_si256(acc[0], Load(d + i));
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i inside = _mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int>(n - i)), lanes);
  acc[1] =
      _mm256_or_si256(acc[1], _mm256_maskload_epi32(reinterpret_cast<const int*>(d + i), inside));
  const __m256i all =
      _mm256_or_si256(_mm256_or_si256(acc[0], acc[1]), _mm256_or_si256(acc[2], acc[3]));
  __m128i half = _mm_or_si128(_mm256_castsi256_si128(all), _mm256_extracti128_si256(all, 1));
  half = _mm_or_si128(half, _mm_shuffle_epi32(half, _MM_SHUFFLE(1, 0, 3, 2)));
  half = _mm_or_si128(half, _mm_shuffle_epi32(half, _MM_SHUFFLE(2, 3, 0, 1)));
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(half));
}

}  // namespace

bool Avx2Supported() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

DigitKernels Avx2DigitKernels() {
  return {DigitsToLimbsAvx2, LimbsToDigitsAvx2<false>, LimbsToDigitsAvx2<true>,
          DigitRun<false>,   DigitRun<true>,           OrDigits,
          DigitPath::kAvx2};
}

#else

bool Avx2Supported() {
  return false;
}
DigitKernels Avx2DigitKernels() {
  return PortableDigitKernels();
}

#endif

}  // namespace xkit::detail
