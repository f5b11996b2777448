// The transform product against GMP on every transform path: each length class at both of
// its edges, the exactness bound at its edge with all-ones operands for every prime count,
// operands of every kind and shape, and records multiplied into one of their operands; and
// the working memory of the shapes chosen.
#include "xFGInt/transform.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/xFGInt/support.h"

namespace xkit::test {
namespace {

using detail::Limb;
using detail::TransformShape;
using Limbs = std::vector<Limb>;

std::size_t LimbsFor(std::size_t bits) {
  return bits / 64 + 1;
}

mpz_class AllOnes(std::size_t bits) {
  return (mpz_class(1) << bits) - 1;
}

// a b (a^2 when square) by the transform with the given shape (lg 0: the chosen one).
::testing::AssertionResult ProductMatchesGmp(const mpz_class& a, const mpz_class& b, bool square,
                                             TransformShape shape = {}) {
  const Limbs x = LimbsOf(a, LimbsFor(mpz_sizeinbase(a.get_mpz_t(), 2)));
  const Limbs y = square ? x : LimbsOf(b, LimbsFor(mpz_sizeinbase(b.get_mpz_t(), 2)));
  Limbs r(x.size() + y.size());
  detail::TransformMulShaped(r.data(), x.data(), x.size(), square ? x.data() : y.data(), y.size(),
                             shape);
  const mpz_class expected = square ? mpz_class(a * a) : mpz_class(a * b);
  if (ValueOf(r) == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << (square ? "square" : "product") << " of " << mpz_sizeinbase(a.get_mpz_t(), 2) << " and "
         << mpz_sizeinbase(b.get_mpz_t(), 2) << " bits differs";
}

// Balanced operand sizes in bits at which the chosen length changes, up to maxBits: each
// edge e is the last size of one length class, e + 1 the first of the next. Sampled
// geometrically, then bisected where the length differs between samples.
std::vector<std::size_t> LengthEdges(std::size_t maxBits, bool square) {
  const auto length = [square](std::size_t bits) {
    return detail::ChooseTransformShape(bits, bits, square).lg;
  };
  std::vector<std::size_t> edges;
  std::size_t previous = 1;
  for (std::size_t bits = 2; bits <= maxBits; bits += 1 + bits / 64) {
    if (length(bits) == length(previous)) {
      previous = bits;
      continue;
    }
    std::size_t low = previous;  // length(low) differs from length(high)
    std::size_t high = bits;
    while (high - low > 1) {
      const std::size_t middle = low + (high - low) / 2;
      (length(middle) == length(low) ? low : high) = middle;
    }
    edges.push_back(low);
    previous = bits;
  }
  return edges;
}

class TransformProduct : public EachTransformPath {
protected:
  RandomValues random_{20251210};
};

TEST_P(TransformProduct, EveryLengthClassAtBothEdges) {
  for (const bool square : {false, true}) {
    const std::vector<std::size_t> edges = LengthEdges(std::size_t{1} << 18, square);
    ASSERT_GE(edges.size(), 6u);  // lengths 2^6 to 2^12 at least
    for (const std::size_t edge : edges) {
      for (const std::size_t bits : {edge, edge + 1}) {
        const mpz_class a = random_.Bits(bits) | (mpz_class(1) << (bits - 1));
        const mpz_class b = random_.Bits(bits) | (mpz_class(1) << (bits - 1));
        ASSERT_TRUE(ProductMatchesGmp(a, b, square)) << "length class edge at " << edge;
        ASSERT_TRUE(ProductMatchesGmp(AllOnes(bits), AllOnes(bits), square)) << edge;
      }
    }
  }
}

// Every coefficient of all-ones operands is the largest it can be: min(na, nb) (2^bits - 1)^2.
// With the most bits the bound allows for each prime count, the products are still exact,
// and coefficients one bit wider no longer fit.
TEST_P(TransformProduct, ExactAtTheBoundWithAllOnesForEveryPrimeCount) {
  constexpr unsigned kLog = 8;
  for (unsigned primes = 1; primes <= 8; ++primes) {
    for (const std::size_t coefficients : {std::size_t{128}, std::size_t{100}}) {
      // 2 bits + bit_width(coefficients) + 3 <= 50 primes, with bit_width(100 or 128) of 7 or 8.
      const unsigned width = coefficients == 128 ? 8 : 7;
      const unsigned bits = std::min(200u, (50 * primes - 3 - width) / 2);
      const TransformShape shape{kLog, primes, bits};
      const std::size_t aBits = coefficients * bits;
      const std::size_t bBits = 128 * bits;  // a, b and the product fill 100 or 128 + 128 - 1
      ASSERT_TRUE(detail::TransformShapeFits(shape, aBits, bBits)) << primes;
      if (bits < 200) {
        const TransformShape wider{kLog, primes, bits + 1};
        ASSERT_FALSE(detail::TransformShapeFits(wider, coefficients * (bits + 1), 128 * (bits + 1)))
            << primes;
      }
      ASSERT_TRUE(ProductMatchesGmp(AllOnes(aBits), AllOnes(bBits), false, shape)) << primes;
      if (coefficients == 128) {
        ASSERT_TRUE(ProductMatchesGmp(AllOnes(aBits), 0, true, shape)) << primes;
      }
    }
  }
}

TEST_P(TransformProduct, OperandsOfEveryKindAndShape) {
  struct Shape {
    std::size_t aBits;
    std::size_t bBits;
  };
  const Shape shapes[] = {{64, 64},        {1, 19000},      {19200, 19200},
                          {64 * 1000, 37}, {130000, 98000}, {200000, 4100}};
  for (const Shape& s : shapes) {
    const mpz_class kinds[][2] = {
        {random_.Bits(s.aBits) | 1, random_.Bits(s.bBits) | 1},
        {AllOnes(s.aBits), AllOnes(s.bBits)},
        {mpz_class(1) << (s.aBits - 1), mpz_class(1) << (s.bBits - 1)},
        {(mpz_class(1) << (s.aBits - 1)) + 1, AllOnes(s.bBits)},
    };
    for (const auto& kind : kinds) {
      ASSERT_TRUE(ProductMatchesGmp(kind[0], kind[1], false)) << s.aBits << " x " << s.bBits;
      ASSERT_TRUE(ProductMatchesGmp(kind[1], kind[0], false)) << s.bBits << " x " << s.aBits;
      ASSERT_TRUE(ProductMatchesGmp(kind[0], 0, true)) << s.aBits << " squared";
    }
  }
  // Zero operands and high zero limbs.
  const Limbs zero(300, 0);
  Limbs one(300, 0);
  one[0] = 1;
  Limbs r(600, ~Limb{0});
  detail::TransformMul(r.data(), zero.data(), 300, one.data(), 300);
  EXPECT_EQ(ValueOf(r), 0);
  detail::TransformMul(r.data(), one.data(), 300, one.data(), 300);
  EXPECT_EQ(ValueOf(r), 1);
}

// Records at the sizes where products and squares change method on this path, and well above,
// with the result in an operand's record.
TEST_P(TransformProduct, RecordsAcrossTheThresholdsIntoTheirOperands) {
  const detail::TransformThresholds from = detail::gTransformKernels.thresholds;
  for (const std::size_t limbs : {from.mul - 1, from.mul, from.sqr - 1, from.sqr, 3 * from.mul}) {
    if (limbs > 4000) continue;  // the portable path's thresholds: its transform is run above
    const mpz_class am = random_.Bits(64 * limbs) | (mpz_class(1) << (64 * limbs - 1));
    const mpz_class bm = random_.Bits(64 * limbs - 5);
    TFGInt a = Record(am, kNeg);
    const TFGInt b = Record(bm);
    BigMul(a, b, a);
    ASSERT_TRUE(Holds(a, am * bm, kNeg)) << limbs;
    a = Record(am, kNeg);
    BigMul(a, a, a);
    ASSERT_TRUE(Holds(a, am * am, kPos)) << limbs;
    a = Record(am, kNeg);
    BigSquare(a, a);
    ASSERT_TRUE(Holds(a, am * am, kPos)) << limbs;
  }
}

XKIT_INSTANTIATE_TRANSFORM_PATHS(TransformProduct);

// The working memory of the chosen shape stays within its limit for every product the
// transform takes, from the lowest threshold to operands of 2^32 bits, balanced or not.
TEST(TransformShape, WorkingMemoryStaysWithinItsLimit) {
  const std::size_t from =
      64 * std::min(detail::kAvx512TransformThresholds.mul, detail::kAvx512TransformThresholds.sqr);
  for (std::size_t step = 0;; ++step) {
    const auto aBits = static_cast<std::size_t>(static_cast<double>(from) * std::exp2(step / 16.0));
    if (aBits > std::size_t{1} << 32) break;
    for (const std::size_t ratio : {1, 3, 16}) {
      const std::size_t bBits = std::max(from, aBits / ratio);
      for (const bool square : {false, true}) {
        if (square && bBits != aBits) continue;
        const TransformShape shape = detail::ChooseTransformShape(aBits, bBits, square);
        const double limit =
            detail::kTransformWorkspaceLimit * static_cast<double>(aBits + bBits) / 8;
        ASSERT_LE(static_cast<double>(detail::TransformWorkspaceBytes(shape, aBits, bBits, square)),
                  limit)
            << aBits << " x " << bBits << (square ? " squared" : "");
      }
    }
  }
}

// The largest sizes, run by scripts/test-large.sh rather than by ctest: to 2^27 bits on the
// vector paths; on the portable path, slower, across the size from which it takes the
// transform.
TEST_P(TransformProduct, DISABLED_LargeProductsAndSquares) {
  const detail::TransformThresholds from = detail::gTransformKernels.thresholds;
  const std::vector<std::size_t> sizes =
      GetParam() == detail::TransformPath::kPortable
          ? std::vector<std::size_t>{std::size_t{1} << 23, 64 * (from.mul - 1), 64 * from.mul}
          : std::vector<std::size_t>{std::size_t{1} << 23, std::size_t{1} << 25,
                                     std::size_t{1} << 27};
  for (const std::size_t bits : sizes) {
    const mpz_class am = random_.Bits(bits) | (mpz_class(1) << (bits - 1));
    const mpz_class bm = random_.Bits(bits) | (mpz_class(1) << (bits - 1));
    TFGInt c;
    BigMul(Record(am), Record(bm, kNeg), c);
    ASSERT_TRUE(Holds(c, am * bm, kNeg)) << bits;
    BigSquare(Record(am), c);
    ASSERT_TRUE(Holds(c, am * am, kPos)) << bits;
    ASSERT_TRUE(ProductMatchesGmp(AllOnes(bits), AllOnes(bits / 3), false)) << bits;
  }
}

}  // namespace
}  // namespace xkit::test
