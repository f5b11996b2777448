// The portable digit kernels (repacking blocks, and digit-run sums by carry lookahead over
// SSE2 where the target has it), and the CPU-path switch of the digit kernels.
#include "xFGInt/digit_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace xkit::detail {

namespace {

// -- Repacking ----------------------------------------------------------------------------------

inline Limb Pair(const std::uint32_t* d) {
  return Limb{d[0] & kDigitMask} | (Limb{d[1] & kDigitMask} << kDigitBits);
}

std::uint32_t DigitGroupsToLimbs(const std::uint32_t* d, Limb* out, std::size_t groups) {
  std::uint32_t seen = 0;
  for (std::size_t i = 0; i < 8 * groups; ++i)
    seen |= d[i];
  Limb next = Pair(d);
  for (unsigned t = 0; t < 4 * groups; ++t) {
    const Limb pair = next;
    next = Pair(d + 2 * t + 2);
    out[t] = LimbOfPairs(pair, next, t);
  }
  return seen;
}

inline void SplitPair(Limb pair, std::uint32_t* d) {
  d[0] = static_cast<std::uint32_t>(pair) & kDigitMask;
  d[1] = static_cast<std::uint32_t>(pair >> kDigitBits) & kDigitMask;
}

template <bool kTop>
std::uint32_t LimbGroupsToDigits(const Limb* a, std::uint32_t* d, std::size_t groups) {
  SplitPair(a[0], d);
  for (unsigned m = 1; m < 4 * groups; ++m)
    SplitPair(PairOfLimbs(a[m - 1], a[m], m), d + 2 * m);
  std::size_t top = 0;
  if constexpr (kTop) {
    for (std::size_t i = 0; i < 8 * groups; ++i)
      top = TopAfter(top, d[i], i + 1);
  }
  return static_cast<std::uint32_t>(top);
}

std::uint32_t DigitsToLimbsPortable(const std::uint32_t* d, std::size_t n, Limb* out) {
  return DigitsToLimbsBy<DigitGroupsToLimbs>(d, n, out);
}

template <bool kTop>
std::size_t LimbsToDigitsPortable(const Limb* a, std::size_t n, std::uint32_t* d,
                                  std::size_t count) {
  return LimbsToDigitsBy<LimbGroupsToDigits<kTop>, kTop>(a, n, d, count);
}

// -- Digit-run sums -----------------------------------------------------------------------------
//
// A digit carries into the next one exactly when its digit sum is at least 2^31 (it
// generates a carry) or equals 2^31 - 1 and receives one (it propagates). With those two
// facts as bit masks over a block of digits, one 64-bit addition finds every carry of the
// block at once (carry lookahead): in G + (G | P) + carry-in, bit k of the result XOR G XOR
// (G | P) is the carry into digit k. The digit work is then independent from digit to
// digit, four digits to an SSE2 register. Differences work the same way with borrows: a
// negative digit difference generates one, a zero one propagates. Every function takes c,
// x, y at the same index, so c may be x or y.

// c[0..n) := x + y + carry (kSubtract: x - y - borrow) one digit at a time; returns the
// carry (borrow) out.
template <bool kSubtract>
std::uint32_t DigitRunTail(std::uint32_t* c, const std::uint32_t* x, const std::uint32_t* y,
                           std::size_t n, std::uint32_t carry, std::uint32_t& seen) {
  for (std::size_t i = 0; i < n; ++i) {
    seen |= x[i] | y[i];
    if (kSubtract) {
      // 2^31 + x - y - borrow lies in 1 .. 2^32 - 1; bit 31 clear means a borrow.
      const std::uint32_t t = 0x80000000u + x[i] - y[i] - carry;
      c[i] = t & kDigitMask;
      carry = 1 - (t >> 31);
    } else {
      const std::uint32_t t = x[i] + y[i] + carry;  // below 2^32: two digits and a carry
      c[i] = t & kDigitMask;
      carry = t >> 31;
    }
  }
  return carry;
}

constexpr std::size_t kLookaheadGroups = 15;  // 60 digits: the carry out lands on bit 60

#if defined(__SSE2__)
// Lane j of entry m holds bit j of m: the carries into four digits, as a vector.
alignas(16) constexpr std::uint32_t kCarryLanes[16][4] = {
    {0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {1, 1, 0, 0}, {0, 0, 1, 0}, {1, 0, 1, 0},
    {0, 1, 1, 0}, {1, 1, 1, 0}, {0, 0, 0, 1}, {1, 0, 0, 1}, {0, 1, 0, 1}, {1, 1, 0, 1},
    {0, 0, 1, 1}, {1, 0, 1, 1}, {0, 1, 1, 1}, {1, 1, 1, 1}};

inline __m128i Load(const std::uint32_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline std::uint64_t SignBits(__m128i v) {
  return static_cast<std::uint64_t>(_mm_movemask_ps(_mm_castsi128_ps(v)));
}

// c[0..n) := x + y + carry over digits; n is a multiple of 4 of at most 60. Returns the
// carry out. kSubtract selects x - y - borrow instead.
template <bool kSubtract>
std::uint32_t LookaheadBlock(std::uint32_t* c, const std::uint32_t* x, const std::uint32_t* y,
                             std::size_t n, std::uint32_t carry, std::uint32_t& seen) {
  const __m128i mask = _mm_set1_epi32(kDigitMask);
  const __m128i zero = _mm_setzero_si128();
  std::uint64_t generate = 0;
  std::uint64_t propagate = 0;
  __m128i operands = zero;  // the OR of every digit read, for the bit-31 check
  for (std::size_t i = 0; i < n; i += 4) {
    const __m128i xs = Load(x + i);
    const __m128i ys = Load(y + i);
    operands = _mm_or_si128(operands, _mm_or_si128(xs, ys));
    const __m128i t = kSubtract ? _mm_sub_epi32(xs, ys) : _mm_add_epi32(xs, ys);
    generate |= SignBits(t) << i;
    propagate |= SignBits(_mm_cmpeq_epi32(t, kSubtract ? zero : mask)) << i;
  }
  seen |= static_cast<std::uint32_t>(SignBits(operands) != 0) << 31;
  const std::uint64_t either = generate | propagate;
  const std::uint64_t carries = (generate + either + carry) ^ generate ^ either;
  for (std::size_t i = 0; i < n; i += 4) {
    const __m128i in =
        _mm_load_si128(reinterpret_cast<const __m128i*>(kCarryLanes[(carries >> i) & 15]));
    const __m128i t = kSubtract ? _mm_sub_epi32(_mm_sub_epi32(Load(x + i), Load(y + i)), in)
                                : _mm_add_epi32(_mm_add_epi32(Load(x + i), Load(y + i)), in);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(c + i), _mm_and_si128(t, mask));
  }
  return static_cast<std::uint32_t>(carries >> n) & 1;
}
#endif

template <bool kSubtract>
std::uint32_t DigitRun(std::uint32_t* c, const std::uint32_t* x, const std::uint32_t* y,
                       std::size_t n, std::uint32_t carry, std::uint32_t& seen) {
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; n - i >= 4;) {
    const std::size_t block = std::min(kLookaheadGroups * 4, (n - i) & ~std::size_t{3});
    carry = LookaheadBlock<kSubtract>(c + i, x + i, y + i, block, carry, seen);
    i += block;
  }
#endif
  return DigitRunTail<kSubtract>(c + i, x + i, y + i, n - i, carry, seen);
}

// Four accumulators, so that the loop is not one chain of ORs.
std::uint32_t OrDigits(const std::uint32_t* d, std::size_t n) {
  std::uint32_t or0 = 0, or1 = 0, or2 = 0, or3 = 0;
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    or0 |= d[i];
    or1 |= d[i + 1];
    or2 |= d[i + 2];
    or3 |= d[i + 3];
  }
  for (; i < n; ++i)
    or0 |= d[i];
  return or0 | or1 | or2 | or3;
}

constexpr DigitKernels kPortableKernels = {DigitsToLimbsPortable,
                                           LimbsToDigitsPortable<false>,
                                           LimbsToDigitsPortable<true>,
                                           DigitRun<false>,
                                           DigitRun<true>,
                                           OrDigits,
                                           DigitPath::kPortable};

// Upgrades the table once, during static initialisation.
[[maybe_unused]] const bool kBestPathSelected = SelectDigitPath(DigitPath::kAvx2);

}  // namespace

constinit DigitKernels gDigitKernels = kPortableKernels;

DigitKernels PortableDigitKernels() {
  return kPortableKernels;
}

bool DigitPathAvailable(DigitPath path) {
  return path == DigitPath::kPortable || Avx2Supported();
}

DigitPath ActiveDigitPath() {
  return gDigitKernels.path;
}

bool SelectDigitPath(DigitPath path) {
  if (!DigitPathAvailable(path)) return false;
  gDigitKernels = path == DigitPath::kPortable ? kPortableKernels : Avx2DigitKernels();
  return true;
}

}  // namespace xkit::detail
