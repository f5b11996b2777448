// The limb kernels against GMP, on both CPU paths: products across the Karatsuba
// thresholds, balanced and not, squares, division with its rare correction steps, and the
// one-limb kernels on every length that splits unevenly into their four-limb blocks.
#include "xFGInt/limbs.h"

#include <vector>

#include "tests/xFGInt/support.h"
#include "xFGInt/limbs_paths.h"

namespace xkit::test {
namespace {

using detail::Limb;
using Limbs = std::vector<Limb>;

mpz_class FromLimbs(const Limbs& x) {
  mpz_class v;
  if (!x.empty()) mpz_import(v.get_mpz_t(), x.size(), -1, sizeof(Limb), 0, 0, x.data());
  return v;
}

class LimbKernels : public EachKernelPath {
protected:
  // n limbs: random, all ones, or a sparse mix, chosen by `kind`.
  Limbs Make(std::size_t n, int kind) {
    Limbs x(n);
    for (Limb& limb : x) {
      switch (kind) {
        case 0:
          limb = random_.Engine()();
          break;
        case 1:
          limb = ~Limb{0};
          break;
        default:
          limb = random_.Below(4) == 0 ? random_.Engine()() : random_.Below(2) * ~Limb{0};
      }
    }
    if (n > 0 && x[n - 1] == 0) x[n - 1] = 1;
    return x;
  }
  RandomValues random_{20240611};
};

// DivRem of a by d against GMP's truncating division.
::testing::AssertionResult DivRemMatchesGmp(const Limbs& a, const Limbs& d) {
  Limbs q(a.size() - d.size() + 1);
  Limbs r(d.size());
  Limbs scratch(detail::DivRemScratchSize(a.size(), d.size()));
  detail::DivRem(q.data(), r.data(), a.data(), a.size(), d.data(), d.size(), scratch.data());
  mpz_class eq, er;
  mpz_tdiv_qr(eq.get_mpz_t(), er.get_mpz_t(), FromLimbs(a).get_mpz_t(), FromLimbs(d).get_mpz_t());
  if (FromLimbs(q) != eq) return ::testing::AssertionFailure() << "quotient differs";
  if (FromLimbs(r) != er) return ::testing::AssertionFailure() << "remainder differs";
  return ::testing::AssertionSuccess();
}

TEST_P(LimbKernels, MulMatchesGmpAcrossSizes) {
  const std::size_t sizes[] = {1, 2, 3, 5, 27, 28, 29, 41, 56, 57, 80, 113, 130, 250, 301};
  for (const std::size_t an : sizes) {
    for (const std::size_t bn : sizes) {
      for (int kind = 0; kind < 3; ++kind) {
        const Limbs a = Make(an, kind);
        const Limbs b = Make(bn, (kind + 1) % 3);
        Limbs r(an + bn);
        Limbs scratch(detail::MulScratchSize(an, bn));
        detail::Mul(r.data(), a.data(), an, b.data(), bn, scratch.data());
        ASSERT_EQ(FromLimbs(r), FromLimbs(a) * FromLimbs(b))
            << an << " x " << bn << " kind " << kind;
      }
    }
  }
}

TEST_P(LimbKernels, SquareMatchesGmpAcrossSizes) {
  for (const std::size_t n : {1, 2, 3, 4, 39, 40, 41, 79, 80, 81, 157, 320, 513}) {
    for (int kind = 0; kind < 3; ++kind) {
      const Limbs a = Make(n, kind);
      Limbs r(2 * n);
      Limbs scratch(detail::SqrScratchSize(n));
      detail::Sqr(r.data(), a.data(), n, scratch.data());
      ASSERT_EQ(FromLimbs(r), FromLimbs(a) * FromLimbs(a)) << n << " kind " << kind;
      // The product of an array with itself takes the square path as well.
      Limbs viaMul(2 * n);
      Limbs mulScratch(detail::MulScratchSize(n, n));
      detail::Mul(viaMul.data(), a.data(), n, a.data(), n, mulScratch.data());
      ASSERT_EQ(viaMul, r);
    }
  }
}

TEST_P(LimbKernels, OneLimbProductsOnEveryBlockSplit) {
  for (std::size_t n = 0; n <= 13; ++n) {
    for (int kind = 0; kind < 3; ++kind) {
      const Limbs a = Make(n, kind);
      const Limbs start = Make(n, (kind + 2) % 3);
      const Limb b = kind == 1 ? ~Limb{0} : random_.Engine()();
      const mpz_class limbBase = mpz_class(1) << (64 * n);

      Limbs r = start;
      Limb high = detail::Mul1(r.data(), a.data(), n, b);
      ASSERT_EQ(FromLimbs(r) + (mpz_class(high) << (64 * n)), FromLimbs(a) * b);

      r = start;
      high = detail::AddMul1(r.data(), a.data(), n, b);
      ASSERT_EQ(FromLimbs(r) + (mpz_class(high) << (64 * n)), FromLimbs(start) + FromLimbs(a) * b);

      r = start;
      high = detail::SubMul1(r.data(), a.data(), n, b);
      ASSERT_EQ(FromLimbs(r) - (mpz_class(high) << (64 * n)), FromLimbs(start) - FromLimbs(a) * b);
      ASSERT_LT(FromLimbs(r), limbBase);

      r = a;  // in place
      detail::AddMul1(r.data(), r.data(), n, b);
      Limbs expected = a;
      detail::AddMul1(expected.data(), a.data(), n, b);
      ASSERT_EQ(r, expected);
    }
  }
}

TEST_P(LimbKernels, LimbRunSumsOnEveryBlockSplit) {
  for (std::size_t n = 0; n <= 13; ++n) {
    for (int kind = 0; kind < 3; ++kind) {
      const Limbs a = Make(n, kind);
      const Limbs b = Make(n, (kind + 1) % 3);
      const mpz_class limbBase = mpz_class(1) << (64 * n);
      Limbs r(n);
      Limb carry = detail::AddN(r.data(), a.data(), b.data(), n);
      ASSERT_EQ(FromLimbs(r) + carry * limbBase, FromLimbs(a) + FromLimbs(b)) << n;
      Limb borrow = detail::SubN(r.data(), a.data(), b.data(), n);
      ASSERT_EQ(FromLimbs(r) - borrow * limbBase, FromLimbs(a) - FromLimbs(b)) << n;
      r = a;  // in place, into either operand
      carry = detail::AddN(r.data(), r.data(), b.data(), n);
      ASSERT_EQ(FromLimbs(r) + carry * limbBase, FromLimbs(a) + FromLimbs(b)) << n;
      r = b;
      borrow = detail::SubN(r.data(), a.data(), r.data(), n);
      ASSERT_EQ(FromLimbs(r) - borrow * limbBase, FromLimbs(a) - FromLimbs(b)) << n;
    }
  }
}

TEST_P(LimbKernels, DivRemMatchesGmp) {
  struct Case {
    std::size_t an, dn;
  };
  for (const Case c : {Case{1, 1},
                       {5, 1},
                       {2, 2},
                       {3, 2},
                       {9, 2},
                       {10, 3},
                       {40, 17},
                       {64, 32},
                       {33, 33},
                       {100, 60},
                       {7, 6}}) {
    for (int kind = 0; kind < 4; ++kind) {
      Limbs a = Make(c.an, kind % 3);
      Limbs d = Make(c.dn, (kind + 1) % 3);
      if (kind == 3) {
        // Top divisor limb 1, and a dividend whose top limbs repeat the divisor's, which
        // drives the quotient-limb estimate to its overflow case.
        d[c.dn - 1] = 1;
        for (std::size_t i = 0; i < c.dn && i < c.an; ++i)
          a[c.an - 1 - i] = d[c.dn - 1 - i];
      }
      ASSERT_TRUE(DivRemMatchesGmp(a, d)) << c.an << "/" << c.dn << " kind " << kind;
    }
  }
}

TEST_P(LimbKernels, DivRemWithNormalisedDivisorTopLimbsInTheDividend) {
  // Dividend limbs equal to the normalised divisor's top limbs force the quotient limb
  // 2^64 - 1 and the add-back step.
  for (int round = 0; round < 200; ++round) {
    const std::size_t dn = 2 + random_.Below(5);
    const std::size_t an = dn + 1 + random_.Below(6);
    Limbs d = Make(dn, round % 3);
    d[dn - 1] |= Limb{1} << 63;
    Limbs a = Make(an, (round + 1) % 3);
    const std::size_t at = dn + random_.Below(an - dn + 1) - 1;
    a[at] = d[dn - 1] - (random_.Below(2));
    a[at - 1] = d[dn - 2];
    if (at + 1 < an) a[at + 1] = 0;
    Limbs q(an - dn + 1);
    Limbs r(dn);
    Limbs scratch(detail::DivRemScratchSize(an, dn));
    detail::DivRem(q.data(), r.data(), a.data(), an, d.data(), dn, scratch.data());
    ASSERT_EQ(FromLimbs(q) * FromLimbs(d) + FromLimbs(r), FromLimbs(a));
    ASSERT_LT(FromLimbs(r), FromLimbs(d));
  }
}

TEST_P(LimbKernels, LongDivisionsByHalvesMatchGmp) {
  struct Case {
    std::size_t an, dn;
  };
  for (const Case c : {Case{80, 40},
                       {81, 40},
                       {120, 41},
                       {200, 100},
                       {201, 100},
                       {350, 100},
                       {700, 333},
                       {1200, 257}}) {
    for (int kind = 0; kind < 5; ++kind) {
      Limbs a = Make(c.an, kind % 3);
      Limbs d = Make(c.dn, (kind + 1) % 3);
      if (kind == 3) {
        // A divisor with a bare top limb (2^63 or 1 after the shift) and a dividend that
        // repeats its top limbs: the estimates from the divisor's top run high.
        std::fill(d.begin(), d.end() - 1, Limb{0});
        d[c.dn - 1] = Limb{1} << (random_.Below(2) * 63);
        std::fill(a.end() - static_cast<std::ptrdiff_t>(c.dn), a.end(), ~Limb{0});
      }
      if (kind == 4) {
        // a = d q - 1 for q = t B^k: every quotient limb below the top is B - 1 and every
        // partial remainder is d - 1, whose top limbs equal the divisor's, the case where
        // an estimate from the top overflows its limbs.
        const mpz_class quotient = mpz_class(1 + random_.Below(1000)) << (64 * (c.an - c.dn - 1));
        const mpz_class value = quotient * FromLimbs(d) - 1;
        std::fill(a.begin(), a.end(), Limb{0});
        mpz_export(a.data(), nullptr, -1, sizeof(Limb), 0, 0, value.get_mpz_t());
      }
      ASSERT_TRUE(DivRemMatchesGmp(a, d)) << c.an << "/" << c.dn << " kind " << kind;
    }
  }
}

TEST_P(LimbKernels, DivRem1ForEveryShift) {
  for (unsigned shift = 0; shift < 64; shift += 7) {
    for (int kind = 0; kind < 3; ++kind) {
      const Limb d = (~Limb{0} >> shift) - (kind == 0 ? random_.Below(1000) : 0);
      const Limbs a = Make(9, kind);
      Limbs q(9);
      const Limb r = detail::DivRem1(q.data(), a.data(), 9, detail::PrepareLimbDivisor(d));
      ASSERT_EQ(FromLimbs(q) * d + r, FromLimbs(a));
      ASSERT_LT(r, d);
    }
  }
}

TEST_P(LimbKernels, ShiftsAndCarries) {
  const Limbs a = Make(7, 0);
  Limbs r(7);
  for (unsigned s = 1; s < 64; s += 9) {
    const Limb out = detail::LShift(r.data(), a.data(), 7, s);
    ASSERT_EQ(FromLimbs(r) + (mpz_class(out) << (64 * 7)), FromLimbs(a) << s);
    const Limb low = detail::RShift(r.data(), a.data(), 7, s);
    ASSERT_EQ(FromLimbs(r), FromLimbs(a) >> s);
    ASSERT_EQ(low >> (64 - s), a[0] & ((Limb{1} << s) - 1));
  }
  Limbs ones(3, ~Limb{0});
  EXPECT_EQ(detail::Add1(ones.data(), ones.data(), 3, 1), 1u);
  EXPECT_EQ(ones, Limbs(3, 0));
  EXPECT_EQ(detail::Sub1(ones.data(), ones.data(), 3, 1), 1u);
  EXPECT_EQ(ones, Limbs(3, ~Limb{0}));
}

TEST_P(LimbKernels, SchoolbookProductsOnEverySmallShape) {
  for (std::size_t an = 1; an <= 20; ++an) {
    for (std::size_t bn = 1; bn <= an; ++bn) {
      for (int kind = 0; kind < 3; ++kind) {
        const Limbs a = Make(an, kind);
        const Limbs b = Make(bn, (kind + 1) % 3);
        Limbs r(an + bn);
        detail::MulBasecase(r.data(), a.data(), an, b.data(), bn);
        ASSERT_EQ(FromLimbs(r), FromLimbs(a) * FromLimbs(b)) << an << " x " << bn;
      }
    }
  }
  for (std::size_t n = 1; n <= 90; ++n) {
    for (int kind = 0; kind < 3; ++kind) {
      const Limbs a = Make(n, kind);
      Limbs r(2 * n);
      detail::SqrBasecase(r.data(), a.data(), n);
      ASSERT_EQ(FromLimbs(r), FromLimbs(a) * FromLimbs(a)) << n << " kind " << kind;
    }
  }
}

TEST_P(LimbKernels, ToomThreeProductsMatchGmp) {
  // Both paths' Toom-3 thresholds and their neighbours, top parts of every length k - 2, k - 1
  // and k (n = 3k - 2, 3k - 1, 3k), and lengths where the recursion takes Toom-3 again.
  for (const std::size_t n : {119, 120, 121, 239, 240, 241, 361, 362, 363, 724, 1000}) {
    for (int kind = 0; kind < 3; ++kind) {
      const Limbs a = Make(n, kind);
      const Limbs b = Make(n, (kind + 1) % 3);
      Limbs r(2 * n);
      Limbs scratch(detail::MulScratchSize(n, n));
      detail::Mul(r.data(), a.data(), n, b.data(), n, scratch.data());
      ASSERT_EQ(FromLimbs(r), FromLimbs(a) * FromLimbs(b)) << n << " kind " << kind;
      Limbs square(2 * n);
      Limbs squareScratch(detail::SqrScratchSize(n));
      detail::Sqr(square.data(), a.data(), n, squareScratch.data());
      ASSERT_EQ(FromLimbs(square), FromLimbs(a) * FromLimbs(a)) << n << " kind " << kind;
    }
  }
  // a(-1) negative and b(-1) positive, or the other way round: a middle third of all ones
  // over outer thirds that are short, against a middle third of zeros.
  for (const bool aNegative : {false, true}) {
    const std::size_t n = 150;
    Limbs a = Make(n, 0);
    Limbs b = Make(n, 0);
    Limbs& ones = aNegative ? a : b;
    Limbs& zeros = aNegative ? b : a;
    ones[49] = ones[148] = ones[149] = 0;
    for (std::size_t i = 50; i < 100; ++i) {
      ones[i] = ~Limb{0};
      zeros[i] = 0;
    }
    Limbs r(2 * n);
    Limbs scratch(detail::MulScratchSize(n, n));
    detail::Mul(r.data(), a.data(), n, b.data(), n, scratch.data());
    ASSERT_EQ(FromLimbs(r), FromLimbs(a) * FromLimbs(b)) << aNegative;
  }
}

// Sizes k - 1, k and k + 1 for each k = t and 2 t, t a Karatsuba threshold of either path.
std::vector<std::size_t> AroundKaratsuba(std::size_t detail::ProductThresholds::*threshold) {
  std::vector<std::size_t> sizes;
  for (const detail::ProductThresholds& t :
       {detail::kPortableThresholds, detail::kMulxAdxThresholds}) {
    for (const std::size_t k : {t.*threshold, 2 * (t.*threshold)}) {
      for (const std::size_t n : {k - 1, k, k + 1})
        sizes.push_back(n);
    }
  }
  return sizes;
}

TEST_P(LimbKernels, ProductsAroundTheKaratsubaThresholds) {
  for (const std::size_t n : AroundKaratsuba(&detail::ProductThresholds::mulKaratsuba)) {
    for (const std::size_t bn : {n - 1, n}) {
      const Limbs a = Make(n, 1);
      const Limbs b = Make(bn, 0);
      Limbs r(n + bn);
      Limbs scratch(detail::MulScratchSize(n, bn));
      detail::Mul(r.data(), a.data(), n, b.data(), bn, scratch.data());
      ASSERT_EQ(FromLimbs(r), FromLimbs(a) * FromLimbs(b)) << n << " x " << bn;
    }
  }
  for (const std::size_t n : AroundKaratsuba(&detail::ProductThresholds::sqrKaratsuba)) {
    const Limbs a = Make(n, 1);
    Limbs r(2 * n);
    Limbs scratch(detail::SqrScratchSize(n));
    detail::Sqr(r.data(), a.data(), n, scratch.data());
    ASSERT_EQ(FromLimbs(r), FromLimbs(a) * FromLimbs(a)) << n;
  }
}

XKIT_INSTANTIATE_KERNEL_PATHS(LimbKernels);

TEST(KernelPath, PortableIsAlwaysAvailable) {
  EXPECT_TRUE(detail::KernelPathAvailable(detail::KernelPath::kPortable));
}

}  // namespace
}  // namespace xkit::test
