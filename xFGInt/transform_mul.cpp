// The transform product. Each operand is cut into coefficients of `bits` bits, so the product
// is the value at 2^bits of the product polynomial, whose coefficients are sums of at most
// min(na, nb) products of two coefficients. Their cyclic convolution of length N = 2^lg >=
// na + nb - 1 (so nothing wraps) is found modulo `primes` primes below 2^50 by the
// transforms of transform_engine.h, each coefficient is recovered from its residues by the
// Chinese remainder theorem (in mixed radix), and the coefficients are added up at their
// places.
//
// Exactness: every coefficient is below min(na, nb) 2^(2 bits) <= 2^(2 bits + bit_width(min)),
// and a shape fits only when that is at most 2^(50 primes - 3), below P / 4 for P the product
// of the primes (each above 2^49.9999, so P > 2^(50 primes - 1)): the residues then name each
// coefficient exactly.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

#include "platform/memory.h"
#include "xFGInt/limbs_paths.h"
#include "xFGInt/transform.h"

namespace xkit::detail {

namespace {

// Primes c 2^32 + 1 just below 2^50, the largest of that form, with a primitive 2^32-th root
// of unity each (a non-residue raised to the power c).
struct Prime {
  Limb p;
  Limb root;
};
constexpr Prime kPrimes[] = {
    {0x0003fff300000001, 0x0002cadec07dee3b}, {0x0003ffed00000001, 0x000086479089c323},
    {0x0003ffeb00000001, 0x00037cbd9d3034ce}, {0x0003ffc100000001, 0x0001acdbeb9b6c54},
    {0x0003ffc000000001, 0x00017c0e901d3ea7}, {0x0003ffa000000001, 0x0001a08edbfa4dd5},
    {0x0003ff7000000001, 0x0001e05c1cc37ae6}, {0x0003ff5800000001, 0x00027b48dd76c3d6},
};
constexpr unsigned kMaxPrimes = 8;
constexpr unsigned kRootLog = 32;  // the roots above have order 2^32
// The vector paths finish each block of 64 elements across lanes, so no transform is
// shorter; the roots bound the longest.
constexpr unsigned kMinLog = 6;
constexpr unsigned kMaxLog = kRootLog;
constexpr unsigned kPieceBits = 50;
constexpr unsigned kMaxPieces = 4;
constexpr std::size_t kPieceBlock = 8;
// Limbs of a recovered coefficient: below 2^(2 bits + bit_width) < 2^(50 kMaxPrimes).
constexpr unsigned kMaxCoefficientLimbs = (50 * kMaxPrimes + 63) / 64;

std::size_t CeilDiv(std::size_t a, std::size_t b) {
  return (a + b - 1) / b;
}
std::size_t RoundUp(std::size_t a, std::size_t b) {
  return CeilDiv(a, b) * b;
}

// -- The plan ------------------------------------------------------------------------------------

struct Plan {
  unsigned lg = 0;
  unsigned primes = 0;
  unsigned bits = 0;
  unsigned pieces = 0;     // ceil(bits / 50)
  std::size_t aCoefs = 0;  // coefficients of each operand
  std::size_t bCoefs = 0;
  std::size_t outCoefs = 0;  // aCoefs + bCoefs - 1
};

Plan MakePlan(const TransformShape& shape, std::size_t aBits, std::size_t bBits) {
  const std::size_t na = CeilDiv(aBits, shape.bits);
  const std::size_t nb = CeilDiv(bBits, shape.bits);
  return {
      shape.lg, shape.primes, shape.bits, static_cast<unsigned>(CeilDiv(shape.bits, kPieceBits)),
      na,       nb,           na + nb - 1};
}

}  // namespace

bool TransformShapeFits(const TransformShape& shape, std::size_t aBits, std::size_t bBits) {
  if (shape.lg < kMinLog || shape.lg > kMaxLog || shape.primes < 1 || shape.primes > kMaxPrimes ||
      shape.bits < 1 || shape.bits > kPieceBits * kMaxPieces) {
    return false;
  }
  const std::size_t na = CeilDiv(aBits, shape.bits);
  const std::size_t nb = CeilDiv(bBits, shape.bits);
  // The exactness bound: see the top of this file.
  return na + nb - 1 <= std::size_t{1} << shape.lg &&
         2 * shape.bits + std::bit_width(std::min(na, nb)) + 3 <= 50 * shape.primes;
}

namespace {

// Doubles of working memory a product of this plan takes: an array of residues per prime,
// one for b's residues, the twiddle tables (n in all), and b's pieces.
std::size_t WorkspaceDoubles(const Plan& plan, bool square) {
  const std::size_t n = std::size_t{1} << plan.lg;
  if (square) return (plan.primes + 1) * n;
  return (plan.primes + 2) * n + RoundUp(plan.bCoefs, kPieceBlock) * plan.pieces;
}

}  // namespace

std::size_t TransformWorkspaceBytes(const TransformShape& shape, std::size_t aBits,
                                    std::size_t bBits, bool square) {
  return sizeof(double) * WorkspaceDoubles(MakePlan(shape, aBits, bBits), square);
}

// Among the fitting shapes, the fewest primes for each length; of those, the cheapest whose
// working memory stays within the limit. Cost, in units of one butterfly level over one
// element: the transforms (three per prime, two for a square) with the passes around them,
// and per coefficient the residues (primes times pieces), then the mixed-radix digits and
// their sum at the coefficient's place, which grow with the square of the primes (the sum in
// scalar 64-bit products). The weights are fitted to the times of every fitting shape on
// operands of 230 to 150,000 limbs on the AVX-512 path. Without the memory limit they pick
// the fastest shape at all sizes timed but one (15% off there); with it, squares still take
// that shape, while products often keep a shorter transform with more primes, up to 16%
// slower but within the limit.
TransformShape ChooseTransformShape(std::size_t aBits, std::size_t bBits, bool square) {
  const double limit = kTransformWorkspaceLimit * static_cast<double>((aBits + bBits + 7) / 8);
  TransformShape best{};
  TransformShape bestWithin{};
  double bestCost = std::numeric_limits<double>::infinity();
  double bestCostWithin = bestCost;
  for (unsigned lg = kMinLog; lg <= kMaxLog; ++lg) {
    const std::size_t n = std::size_t{1} << lg;
    // The fewest bits per coefficient that fit the product's coefficients into n: at least
    // (aBits + bBits) / (n + 1), since fewer make more than n + 1 coefficients, and a few more
    // at most.
    std::size_t bits = std::max<std::size_t>(1, (aBits + bBits) / (n + 1));
    if (bits > kPieceBits * kMaxPieces) continue;
    while (CeilDiv(aBits, bits) + CeilDiv(bBits, bits) - 1 > n)
      ++bits;
    if (bits > kPieceBits * kMaxPieces) continue;
    TransformShape shape{lg, 1, static_cast<unsigned>(bits)};
    while (shape.primes <= kMaxPrimes && !TransformShapeFits(shape, aBits, bBits))
      ++shape.primes;
    if (shape.primes > kMaxPrimes) continue;
    const Plan plan = MakePlan(shape, aBits, bBits);
    const double primes = shape.primes;
    const double transforms = (square ? 2.0 : 3.0) * lg + 6.0;
    const double perCoefficient = 6.0 * primes * primes + primes * plan.pieces + 36.0;
    const double cost = static_cast<double>(n) * primes * transforms +
                        static_cast<double>(plan.aCoefs + plan.bCoefs) * perCoefficient;
    if (cost < bestCost) {
      bestCost = cost;
      best = shape;
    }
    const double bytes = static_cast<double>(sizeof(double) * WorkspaceDoubles(plan, square));
    if (cost < bestCostWithin && bytes <= limit) {
      bestCostWithin = cost;
      bestWithin = shape;
    }
    if (bits == 1) break;  // longer transforms only cost more
  }
  if (bestWithin.lg != 0) return bestWithin;
  if (best.lg == 0) throw std::bad_alloc();  // beyond any memory
  return best;  // a product far below the thresholds, where no shape keeps within the limit
}

namespace {

// -- Constants -------------------------------------------------------------------------------
// Everything that depends on the primes alone is worked out by the compiler. The twiddles
// depend on the length only through a prefix: tw[t] = w_(2^(i+1))^bitrev_i(t) for t < 2^i,
// whatever the length, so the first 64 and the octave roots serve every transform.

constexpr Limb MulMod(Limb a, Limb b, Limb p) {
  return static_cast<Limb>(static_cast<DoubleLimb>(a) * b % p);
}

constexpr Limb PowMod(Limb a, Limb e, Limb p) {
  Limb r = 1;
  for (; e != 0; e >>= 1) {
    if (e & 1) r = MulMod(r, a, p);
    a = MulMod(a, a, p);
  }
  return r;
}

// x in -p/2 .. p/2, as the transform keeps its constants.
constexpr double Centered(Limb x, Limb p) {
  return x > p / 2 ? -static_cast<double>(p - x) : static_cast<double>(x);
}

constexpr std::size_t kGivenTwiddles = 64;

struct PrimeConstants {
  double p;
  double shift[kMaxPieces];         // 2^(50 t) mod p
  double root[kMaxLog];             // root[i]: a primitive 2^(i+2)-th root of unity
  double twiddles[kGivenTwiddles];  // tw[0 .. 64)
  double inverse[kMaxPrimes];       // p_i^-1 mod p for the primes before this one
};

constexpr PrimeConstants MakePrimeConstants(unsigned j) {
  const Limb p = kPrimes[j].p;
  PrimeConstants c{};
  c.p = static_cast<double>(p);
  for (unsigned t = 0; t < kMaxPieces; ++t)
    c.shift[t] = Centered(PowMod(2, kPieceBits * t, p), p);
  // root[i] = w^(2^(30 - i)) for the root w of order 2^32, squared down from i = 30.
  Limb root[kMaxLog] = {};
  Limb w = kPrimes[j].root;
  for (unsigned i = kRootLog - 2; i + 1 > 0; --i) {
    root[i] = w;
    c.root[i] = Centered(w, p);
    w = MulMod(w, w, p);
  }
  Limb tw[kGivenTwiddles] = {1};
  for (unsigned i = 0; (std::size_t{1} << i) < kGivenTwiddles; ++i) {
    const std::size_t size = std::size_t{1} << i;
    for (std::size_t t = 0; t < size; ++t)
      tw[size + t] = MulMod(tw[t], root[i], p);
  }
  for (std::size_t t = 0; t < kGivenTwiddles; ++t)
    c.twiddles[t] = Centered(tw[t], p);
  for (unsigned i = 0; i < j; ++i)
    c.inverse[i] = Centered(PowMod(kPrimes[i].p % p, p - 2, p), p);
  return c;
}

struct AllPrimeConstants {
  PrimeConstants prime[kMaxPrimes];
};

constexpr AllPrimeConstants MakeAllPrimeConstants() {
  AllPrimeConstants all{};
  for (unsigned j = 0; j < kMaxPrimes; ++j)
    all.prime[j] = MakePrimeConstants(j);
  return all;
}

constexpr AllPrimeConstants kConstants = MakeAllPrimeConstants();

// -- Coefficients in -------------------------------------------------------------------------

std::size_t BitsOf(const Limb* a, std::size_t n) {
  return 64 * (n - 1) + static_cast<std::size_t>(std::bit_width(a[n - 1]));
}

// The 64 bits of a[0..n) from bit `at` on (zeros beyond the top).
inline Limb BitsAt(const Limb* a, std::size_t n, std::size_t at) {
  const std::size_t i = at / 64;
  const unsigned s = at % 64;
  if (i >= n) return 0;
  Limb x = a[i] >> s;
  if (s != 0 && i + 1 < n) x |= a[i + 1] << (64 - s);
  return x;
}

// The 57 or more bits of a from bit `at` on, by one unaligned load of the eight bytes that
// hold bit `at` (a's limbs read as bytes, least significant first); the eight bytes must lie
// within a.
inline Limb BitsAtUnaligned(const Limb* a, std::size_t at) {
  Limb x;
  std::memcpy(&x, reinterpret_cast<const unsigned char*>(a) + at / 8, sizeof x);
  return x >> (at % 8);
}

// The pieces of coefficients first .. first + count (a multiple of 8) of a, in the layout of
// transform::Residues; coefficients from `coefs` on are zero.
void ExtractPieces(const Limb* a, std::size_t n, std::size_t coefs, const Plan& plan,
                   std::size_t first, std::size_t count, double* out) {
  constexpr Limb kPieceMask = (Limb{1} << kPieceBits) - 1;
  const unsigned pieces = plan.pieces;
  const unsigned lastWidth = plan.bits - kPieceBits * (pieces - 1);
  const Limb lastMask = (Limb{1} << lastWidth) - 1;
  // Up to here every piece's eight bytes lie within a; beyond, pieces are read limb-wise.
  const std::size_t byteLimit = 8 * n - 8;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t coef = first + i;
    double* block = out + (i / kPieceBlock) * pieces * kPieceBlock + i % kPieceBlock;
    if (coef >= coefs) {
      for (unsigned t = 0; t < pieces; ++t)
        block[t * kPieceBlock] = 0.0;
      continue;
    }
    const std::size_t at = coef * plan.bits;
    const bool inside =
        std::endian::native == std::endian::little && (at + plan.bits - lastWidth) / 8 <= byteLimit;
    for (unsigned t = 0; t < pieces; ++t) {
      const std::size_t bit = at + kPieceBits * t;
      const Limb raw = inside ? BitsAtUnaligned(a, bit) : BitsAt(a, n, bit);
      const Limb piece = raw & (t + 1 < pieces ? kPieceMask : lastMask);
      block[t * kPieceBlock] = static_cast<double>(static_cast<std::int64_t>(piece));
    }
  }
}

// -- Coefficients out ------------------------------------------------------------------------

// The weights p_0 p_1 .. p_{j-1} of the mixed-radix digits, zero-filled to the limbs of the
// product of all eight: with them known to the compiler, the products by their zero limbs
// vanish from the code.
struct Weights {
  Limb limb[kMaxPrimes][kMaxCoefficientLimbs];
};

constexpr Weights MakeWeights() {
  Weights w{};
  w.limb[0][0] = 1;
  for (unsigned j = 1; j < kMaxPrimes; ++j) {
    Limb carry = 0;
    for (unsigned t = 0; t < kMaxCoefficientLimbs; ++t) {
      const DoubleLimb product =
          static_cast<DoubleLimb>(w.limb[j - 1][t]) * kPrimes[j - 1].p + carry;
      w.limb[j][t] = static_cast<Limb>(product);
      carry = static_cast<Limb>(product >> 64);
    }
  }
  return w;
}

constexpr Weights kWeights = MakeWeights();

// The constants of the vector kernel that finds the digits.
struct MixedRadixConstants {
  double p[kMaxPrimes];
  double nInverse[kMaxPrimes];              // N^-1 mod p_j
  double inverse[kMaxPrimes * kMaxPrimes];  // [8 j + i]: p_i^-1 mod p_j
};

MixedRadixConstants MakeMixedRadixConstants(unsigned lg) {
  MixedRadixConstants c{};
  for (unsigned j = 0; j < kMaxPrimes; ++j) {
    const Limb p = kPrimes[j].p;
    c.p[j] = static_cast<double>(p);
    // N^-1 = p - (p - 1) / N, since N (p - 1) / N = p - 1 = -1.
    c.nInverse[j] = Centered(p - ((p - 1) >> lg), p);
    for (unsigned i = 0; i < j; ++i)
      c.inverse[8 * j + i] = kConstants.prime[j].inverse[i];
  }
  return c;
}

// Adds coefficients first .. first + end of the block, whose digits are in digits[j count +
// i], into r at bit (first + i) bits. r is zero beyond the coefficients added so far. Each
// coefficient X = v_0 + v_1 p_0 + v_2 p_0 p_1 + .. is below the product of the primes,
// 2^(50 kPrimes), so it and every partial sum fit kLimbs limbs, and kLimbs + 1 after the
// shift to its bit.
template <unsigned kPrimes>
void AddCoefficients(Limb* r, std::size_t rn, const double* digits, std::size_t count,
                     std::size_t first, std::size_t end, unsigned bits) {
  constexpr unsigned kLimbs = (50 * kPrimes + 63) / 64;
  for (std::size_t i = 0; i < end; ++i) {
    Limb v[kPrimes];
#pragma GCC unroll 8
    for (unsigned j = 0; j < kPrimes; ++j)
      v[j] = static_cast<Limb>(digits[j * count + i]);
    // Column by column: limb t of X is the sum of the products' limbs at t and the carries,
    // kept in three limbs (at most 2 kPrimes products of 128 bits each per column).
    Limb x[kLimbs + 1];
    Limb low = v[0];
    Limb high = 0;
    Limb top = 0;
#pragma GCC unroll 8
    for (unsigned t = 0; t < kLimbs; ++t) {
#pragma GCC unroll 8
      for (unsigned j = 1; j < kPrimes; ++j) {
        if (kWeights.limb[j][t] == 0) continue;
        const DoubleLimb product = static_cast<DoubleLimb>(v[j]) * kWeights.limb[j][t];
        const unsigned char carry = AddCarry(0, low, static_cast<Limb>(product), low);
        top += AddCarry(carry, high, static_cast<Limb>(product >> 64), high);
      }
      x[t] = low;
      low = high;
      high = top;
      top = 0;
    }
    x[kLimbs] = 0;
    const std::size_t at = (first + i) * bits;
    const unsigned s = at % 64;
    if (s != 0) {
#pragma GCC unroll 8
      for (unsigned t = kLimbs; t > 0; --t)
        x[t] = (x[t] << s) | (x[t - 1] >> (64 - s));
      x[0] <<= s;
    }
    // The limbs past r's end hold zeros of the sum, and no carry reaches them.
    std::size_t index = at / 64;
    unsigned char carry = 0;
    if (index + kLimbs + 1 <= rn) {
#pragma GCC unroll 8
      for (unsigned t = 0; t <= kLimbs; ++t)
        carry = AddCarry(carry, r[index + t], x[t], r[index + t]);
      index += kLimbs + 1;
    } else {
      for (unsigned t = 0; index < rn; ++t, ++index)
        carry = AddCarry(carry, r[index], x[t], r[index]);
    }
    for (; carry != 0 && index < rn; ++index)
      carry = ++r[index] == 0;
  }
}

// r[0..rn) := the sum of the coefficients at their places, coefficient i at bit i bits, from
// the transforms' outputs, in blocks whose digits stay in the first-level cache.
void Recombine(Limb* r, std::size_t rn, const double* const* residues, const Plan& plan,
               const TransformKernels& kernels) {
  const MixedRadixConstants c = MakeMixedRadixConstants(plan.lg);
  constexpr std::size_t kBlock = 256;
  double digits[kMaxPrimes * kBlock];
  std::fill(r, r + rn, Limb{0});
  for (std::size_t first = 0; first < plan.outCoefs; first += kBlock) {
    const std::size_t count = std::min(kBlock, RoundUp(plan.outCoefs, kPieceBlock) - first);
    kernels.mixedRadix(residues, plan.primes, first, count, c.p, c.nInverse, c.inverse, digits);
    const std::size_t end = std::min(count, plan.outCoefs - first);
    const auto add = [&]<unsigned kPrimes>() {
      AddCoefficients<kPrimes>(r, rn, digits, count, first, end, plan.bits);
    };
    switch (plan.primes) {
      case 1:
        add.template operator()<1>();
        break;
      case 2:
        add.template operator()<2>();
        break;
      case 3:
        add.template operator()<3>();
        break;
      case 4:
        add.template operator()<4>();
        break;
      case 5:
        add.template operator()<5>();
        break;
      case 6:
        add.template operator()<6>();
        break;
      case 7:
        add.template operator()<7>();
        break;
      default:
        add.template operator()<8>();
        break;
    }
  }
}

// -- The product -----------------------------------------------------------------------------

// r[0..an+bn) = a b, or a^2 when b is nullptr (then bn = an); an, bn normalised, >= 1. The
// shape must fit, or be lg = 0 for the cheapest.
void Product(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn,
             TransformShape shape) {
  const bool square = b == nullptr;
  const TransformKernels& kernels = gTransformKernels;
  const std::size_t aBits = BitsOf(a, an);
  const std::size_t bBits = square ? aBits : BitsOf(b, bn);
  if (shape.lg == 0) shape = ChooseTransformShape(aBits, bBits, square);
  const Plan plan = MakePlan(shape, aBits, bBits);
  const std::size_t n = std::size_t{1} << plan.lg;
  const std::size_t half = n / 2;
  const std::size_t aPadded = RoundUp(plan.aCoefs, kPieceBlock);
  const std::size_t bPadded = RoundUp(plan.bCoefs, kPieceBlock);

  // One array of residues per prime, the residues of b, the twiddles, the pieces of b.
  const Workspace<double> memory = MakeWorkspace<double>(WorkspaceDoubles(plan, square));
  double* residues[kMaxPrimes];
  for (unsigned j = 0; j < plan.primes; ++j)
    residues[j] = memory.get() + j * n;
  double* other = memory.get() + plan.primes * n;
  double* tw = other + (square ? 0 : n);
  double* itw = tw + half;
  double* bPieces = itw + half;

  const PrimeConstants* primes = kConstants.prime;
  const std::size_t given = std::min(n / 2, kGivenTwiddles);

  // a's residues for every prime, from pieces cut once per chunk of coefficients. Elements
  // past the coefficients are never stored: the first pass of a transform reads them as zeros.
  constexpr std::size_t kChunk = 256;
  double chunk[kChunk * kMaxPieces];
  for (std::size_t first = 0; first < aPadded; first += kChunk) {
    const std::size_t count = std::min(kChunk, aPadded - first);
    ExtractPieces(a, an, plan.aCoefs, plan, first, count, chunk);
    for (unsigned j = 0; j < plan.primes; ++j) {
      kernels.residues(chunk, count / kPieceBlock, plan.pieces, primes[j].shift, primes[j].p,
                       residues[j] + first);
    }
  }
  if (!square) ExtractPieces(b, bn, plan.bCoefs, plan, 0, bPadded, bPieces);

  for (unsigned j = 0; j < plan.primes; ++j) {
    const PrimeConstants& c = primes[j];
    std::copy(c.twiddles, c.twiddles + given, tw);
    kernels.buildTwiddles(tw, itw, plan.lg, given, c.root, c.p);
    kernels.forward(residues[j], aPadded, plan.lg, tw, itw, c.p);
    if (square) {
      kernels.square(residues[j], plan.lg, tw, itw, c.p);
    } else {
      kernels.residues(bPieces, bPadded / kPieceBlock, plan.pieces, c.shift, c.p, other);
      kernels.convolve(residues[j], other, bPadded, plan.lg, tw, itw, c.p);
    }
  }
  Recombine(r, an + bn, residues, plan, kernels);
}

}  // namespace

void TransformMulShaped(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn,
                        const TransformShape& shape) {
  const std::size_t na = NormalizedSize(a, an);
  const std::size_t nb = NormalizedSize(b, bn);
  if (na == 0 || nb == 0) {
    std::fill(r, r + an + bn, Limb{0});
    return;
  }
  if (a == b && na == nb) {
    Product(r, a, na, nullptr, na, shape);
  } else {
    Product(r, a, na, b, nb, shape);
  }
  std::fill(r + na + nb, r + an + bn, Limb{0});
}

void TransformMul(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn) {
  TransformMulShaped(r, a, an, b, bn, TransformShape{});
}

void TransformSqr(Limb* r, const Limb* a, std::size_t n) {
  TransformMulShaped(r, a, n, a, n, TransformShape{});
}

// -- Path selection --------------------------------------------------------------------------

namespace {

// Upgrades the table once, during static initialisation.
[[maybe_unused]] const bool kBestTransformSelected =
    SelectTransformPath(TransformPath::kAvx512) || SelectTransformPath(TransformPath::kAvx2);

}  // namespace

bool TransformPathAvailable(TransformPath path) {
  switch (path) {
    case TransformPath::kPortable:
      return true;
    case TransformPath::kAvx2:
      return Avx2TransformSupported();
    case TransformPath::kAvx512:
      return Avx512TransformSupported();
  }
  return false;
}

TransformPath ActiveTransformPath() {
  return gTransformKernels.path;
}

bool SelectTransformPath(TransformPath path) {
  if (!TransformPathAvailable(path)) return false;
  switch (path) {
    case TransformPath::kPortable:
      gTransformKernels = PortableTransformKernels();
      break;
    case TransformPath::kAvx2:
      gTransformKernels = Avx2TransformKernels();
      break;
    case TransformPath::kAvx512:
      gTransformKernels = Avx512TransformKernels();
      break;
  }
  return true;
}

}  // namespace xkit::detail
