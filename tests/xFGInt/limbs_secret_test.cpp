// The constant-time limb kernels for secret values against GMP: comparison masks, trailing
// zeros, shifts by every count, and division, over random operands and the edge shapes.
#include "xFGInt/limbs_secret.h"

#include "tests/xFGInt/support.h"

namespace xkit::test {
namespace {

using detail::Limb;

TEST(SecretLimbs, ComparisonMasks) {
  RandomValues random(51);
  for (int i = 0; i < 300; ++i) {
    const std::size_t n = 1 + random.Below(6);
    const mpz_class a = random.Bits(64 * n - random.Below(64));
    const mpz_class b = i % 5 == 0 ? a : mpz_class(random.Bits(64 * n - random.Below(64)));
    const auto x = LimbsOf(a, n), y = LimbsOf(b, n);
    EXPECT_EQ(detail::LessMask(x.data(), y.data(), n), a < b ? ~Limb{0} : 0) << a << " " << b;
    EXPECT_EQ(detail::EqualMask(x.data(), y.data(), n), a == b ? ~Limb{0} : 0);
  }
  EXPECT_EQ(detail::LessMask1(0, ~Limb{0}), ~Limb{0});
  EXPECT_EQ(detail::LessMask1(~Limb{0}, 0), 0u);
  EXPECT_EQ(detail::LessMask1(5, 5), 0u);
}

TEST(SecretLimbs, TrailingZerosAndShiftsByEveryCount) {
  RandomValues random(52);
  for (const std::size_t n : {1u, 2u, 3u, 5u, 8u}) {
    for (std::size_t s = 0; s < 64 * n; ++s) {
      const mpz_class a = random.Bits(64 * n) | 1;
      auto x = LimbsOf(a, n);
      detail::ShiftLeftSecret(x.data(), n, s);
      const mpz_class shifted = (a << s) & ((mpz_class(1) << (64 * n)) - 1);
      ASSERT_EQ(ValueOf(x), shifted) << n << " limbs, " << s;
      if (shifted != 0) {
        ASSERT_EQ(detail::TrailingZerosSecret(x.data(), n), s);
      }
      detail::ShiftRightSecret(x.data(), n, s);
      ASSERT_EQ(ValueOf(x), shifted >> s) << n << " limbs, " << s;
    }
    const std::vector<Limb> zero(n, 0);
    EXPECT_EQ(detail::TrailingZerosSecret(zero.data(), n), 64 * n);
  }
}

TEST(SecretLimbs, DivisionMatchesGmp) {
  RandomValues random(53);
  for (int i = 0; i < 200; ++i) {
    const std::size_t an = 1 + random.Below(8), dn = 1 + random.Below(5);
    const mpz_class a = random.Bits(64 * an);
    // Any length up to dn limbs: high zero limbs are allowed.
    mpz_class d = random.Bits(1 + random.Below(64 * dn));
    if (d == 0) d = 1;
    const auto x = LimbsOf(a, an), y = LimbsOf(d, dn);
    std::vector<Limb> q(an), r(dn), scratch(dn + 1);
    detail::DivRemSecret(q.data(), r.data(), x.data(), an, y.data(), dn, scratch.data());
    ASSERT_EQ(ValueOf(q), a / d) << a << " / " << d;
    ASSERT_EQ(ValueOf(r), a % d) << a << " % " << d;
    detail::DivRemSecret(nullptr, r.data(), x.data(), an, y.data(), dn, scratch.data());
    ASSERT_EQ(ValueOf(r), a % d);
  }
}

}  // namespace
}  // namespace xkit::test
