// The digit kernels on both CPU paths: repacking between 31-bit digits and 64-bit limbs at
// every length around their 64-digit blocks and 8-digit groups, and signed sums and
// differences whose carries and borrows run across vector and block boundaries.
#include <vector>

#include "tests/xFGInt/support.h"

namespace xkit::test {
namespace {

using detail::Limb;

class DigitKernels : public EachDigitPath {
protected:
  // A magnitude of exactly n digits: random, every digit 2^31 - 1, or a power of 2^31 with
  // a few bits set below it.
  mpz_class Digits(std::size_t n, int kind) {
    const mpz_class top = mpz_class(1) << (31 * (n - 1));
    switch (kind) {
      case 0:
        return random_.Bits(31 * (n - 1)) + top * (1 + random_.Below(0x7FFFFFFF));
      case 1:
        return (top << 31) - 1;
      default: {
        mpz_class sparse = top;
        for (int i = 0; i < 2; ++i)
          sparse |= mpz_class(1) << random_.Below(31 * n);
        return sparse;
      }
    }
  }
  RandomValues random_{20240612};
};

// Every digit count up to three blocks, then a few long values.
std::vector<std::size_t> RepackLengths() {
  std::vector<std::size_t> lengths;
  for (std::size_t n = 1; n <= 200; ++n)
    lengths.push_back(n);
  for (const std::size_t n : {255, 256, 257, 1023, 1024, 1025, 3001})
    lengths.push_back(n);
  return lengths;
}

TEST_P(DigitKernels, ToLimbsWritesExactlyTheLimbsOfTheValue) {
  constexpr Limb kGuard = 0xA5A5A5A5A5A5A5A5ULL;
  for (const std::size_t n : RepackLengths()) {
    for (int kind = 0; kind < 3; ++kind) {
      const mpz_class m = Digits(n, kind);
      const std::size_t size = detail::LimbsForDigits(n);
      std::vector<Limb> expected(size + 2, 0);
      mpz_export(expected.data(), nullptr, -1, sizeof(Limb), 0, 0, m.get_mpz_t());
      expected[size] = expected[size + 1] = kGuard;
      std::vector<Limb> limbs(size + 2, kGuard);
      const std::size_t used = detail::ToLimbs(Record(m, kNeg), limbs.data());
      ASSERT_EQ(limbs, expected) << n << " digits, kind " << kind;
      ASSERT_EQ(used, detail::NormalizedSize(expected.data(), size)) << n << " digits";
    }
  }
}

// The conversion for public values and the one for secret values, which finds the digit
// count without a branch.
constexpr std::pair<const char*, void (*)(const Limb*, std::size_t, TBigSign, TFGInt&)>
    kFromLimbs[] = {{"public", detail::FromLimbs}, {"secret", detail::FromLimbsSecret}};

TEST_P(DigitKernels, FromLimbsBuildsTheNormalisedRecord) {
  for (const auto& [name, fromLimbs] : kFromLimbs) {
    for (const std::size_t n : RepackLengths()) {
      for (int kind = 0; kind < 3; ++kind) {
        const mpz_class m = Digits(n, kind);
        // High zero limbs are allowed in the input and must not show in the record.
        std::vector<Limb> limbs(detail::LimbsForDigits(n) + 2, 0);
        mpz_export(limbs.data(), nullptr, -1, sizeof(Limb), 0, 0, m.get_mpz_t());
        TFGInt r = Record(mpz_class(1) << 40000);  // a longer value to be replaced
        fromLimbs(limbs.data(), limbs.size(), kNeg, r);
        const TFGInt expected = Record(m, kNeg);
        ASSERT_EQ(r.Digits, expected.Digits) << name << ", " << n << " digits, kind " << kind;
        ASSERT_EQ(r.Sign, kNeg);
      }
    }
  }
}

TEST_P(DigitKernels, ZeroRepacksAsNoLimbsAndOneDigit) {
  Limb limb = 7;
  EXPECT_EQ(detail::ToLimbs(Record("0"), &limb), 0u);
  EXPECT_EQ(limb, 0u);
  const Limb zeros[3] = {0, 0, 0};
  for (const auto& [name, fromLimbs] : kFromLimbs) {
    for (const std::size_t n : {0, 3}) {
      TFGInt r = Record("-123456789012345678901234567890");
      fromLimbs(zeros, n, kPos, r);
      EXPECT_TRUE(Holds(r, 0, kPos)) << name << ", " << n;
    }
  }
}

// Lengths on both sides of the 8-digit vectors and the 64-digit lookahead blocks, and with
// each size of last block after whole ones.
constexpr std::size_t kSumLengths[] = {1,  2,  3,  7,   8,   9,   31,  32,  33, 63,
                                       64, 65, 84, 104, 127, 128, 129, 135, 200};

TEST_P(DigitKernels, SumsAndDifferencesMatchGmpAcrossBlockBoundaries) {
  for (const std::size_t nx : kSumLengths) {
    for (const std::size_t ny : kSumLengths) {
      for (int kind = 0; kind < 4; ++kind) {
        // Kind 1 runs a carry across all of a, kind 2 a borrow from a's top digit down,
        // kind 3 gives equal magnitudes where the lengths agree.
        const mpz_class am = Digits(nx, kind == 1 ? 1 : kind == 2 ? 2 : 0);
        const mpz_class bm = kind == 3 && nx == ny ? am : Digits(ny, kind == 1 ? 1 : 0);
        const TBigSign as = random_.Sign();
        const TBigSign bs = random_.Sign();
        const TFGInt a = Record(am, as);
        const TFGInt b = Record(bm, bs);
        TFGInt c;
        BigAdd(a, b, c);
        ASSERT_TRUE(Holds(c, Signed(am, as) + Signed(bm, bs), SumSign(am, as, bm, bs)))
            << nx << " + " << ny << " digits, kind " << kind;
        BigSub(a, b, c);
        ASSERT_TRUE(Holds(c, Signed(am, as) - Signed(bm, bs), SumSign(am, as, bm, Flip(bs))))
            << nx << " - " << ny << " digits, kind " << kind;
        // In place, into either operand.
        TFGInt x = a;
        BigAdd(x, b, x);
        ASSERT_TRUE(Holds(x, Signed(am, as) + Signed(bm, bs), SumSign(am, as, bm, bs)));
        TFGInt y = b;
        BigSub(a, y, y);
        ASSERT_TRUE(Holds(y, Signed(am, as) - Signed(bm, bs), SumSign(am, as, bm, Flip(bs))));
        if (am >= bm) {
          x = a;
          BigSubAbsInPlace(x, b);
          ASSERT_TRUE(Holds(x, am - bm, as)) << nx << " - " << ny << " digits, kind " << kind;
        }
      }
    }
  }
}

XKIT_INSTANTIATE_DIGIT_PATHS(DigitKernels);

TEST(DigitPath, PortableIsAlwaysAvailable) {
  EXPECT_TRUE(detail::DigitPathAvailable(detail::DigitPath::kPortable));
}

}  // namespace
}  // namespace xkit::test
