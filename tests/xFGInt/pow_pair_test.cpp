// The exponentiation engine's other entries, against GMP on every kernel path: PowPair (two
// powers side by side, moduli of equal and of different sizes, and past the pair kernel's
// reach where it falls back to one power after the other), Pow at a given exponent width,
// and a public modulus's domain with PowPublicExponent.
#include "tests/xFGInt/support.h"
#include "xFGInt/modexp.h"

namespace xkit::test {
namespace {

using detail::Limb;

std::size_t LimbCount(const mpz_class& x) {
  return std::max<std::size_t>(1, (mpz_sizeinbase(x.get_mpz_t(), 2) + 63) / 64);
}

mpz_class Expected(const mpz_class& a, const mpz_class& e, const mpz_class& m) {
  mpz_class r;
  mpz_powm(r.get_mpz_t(), a.get_mpz_t(), e.get_mpz_t(), m.get_mpz_t());
  return mpz_class(a % m) == 0 ? mpz_class(0) : r;
}

class PowEntries : public EachKernelPath {};

TEST_P(PowEntries, PairsMatchGmp) {
  RandomValues random(61);
  // Bit lengths of the two moduli: equal, a digit or a block apart, and beyond the pair
  // kernel (3,326 bits), where both run on their own.
  const std::pair<std::size_t, std::size_t> sizes[] = {
      {64, 64}, {100, 100}, {1024, 1024}, {1025, 1023}, {500, 1100}, {2048, 2047}, {3400, 1000}};
  for (const auto& [firstBits, secondBits] : sizes) {
    const mpz_class m1 = random.Bits(firstBits) | (mpz_class(1) << (firstBits - 1)) | 1;
    const mpz_class m2 = random.Bits(secondBits) | (mpz_class(1) << (secondBits - 1)) | 1;
    const mpz_class a = random.Bits(firstBits + secondBits);
    const std::size_t bits = 1 + random.Below(std::min(firstBits, secondBits));
    const mpz_class e1 = random.Bits(bits), e2 = random.Bits(bits) | (mpz_class(1) << (bits - 1));
    const auto M1 = LimbsOf(m1, LimbCount(m1)), M2 = LimbsOf(m2, LimbCount(m2));
    const detail::MontgomeryDomain d1(M1.data(), M1.size()), d2(M2.data(), M2.size());
    const std::size_t en = (bits + 63) / 64;
    const auto A = LimbsOf(a, LimbCount(a)), E1 = LimbsOf(e1, en), E2 = LimbsOf(e2, en);
    std::vector<Limb> r1(M1.size()), r2(M2.size());
    detail::PowPair({&d1, r1.data(), A.data(), A.size(), E1.data(), E1.size()},
                    {&d2, r2.data(), A.data(), A.size(), E2.data(), E2.size()}, bits);
    EXPECT_EQ(ValueOf(r1), Expected(a, e1, m1)) << firstBits << " / " << secondBits;
    EXPECT_EQ(ValueOf(r2), Expected(a, e2, m2)) << firstBits << " / " << secondBits;
    // Pow at a width above the exponent's own length gives the same.
    std::vector<Limb> wide(E1);
    wide.push_back(0);
    d1.Pow(r1.data(), A.data(), A.size(), wide.data(), wide.size(), 64 * wide.size());
    EXPECT_EQ(ValueOf(r1), Expected(a, e1, m1)) << firstBits;
  }
}

TEST_P(PowEntries, PublicModulusAndExponentMatchGmp) {
  RandomValues random(62);
  for (const std::size_t bits : {3u, 64u, 65u, 1024u, 2048u, 2049u, 7000u}) {
    const mpz_class m = random.Bits(bits) | (mpz_class(1) << (bits - 1)) | 1;
    const auto M = LimbsOf(m, LimbCount(m));
    const detail::MontgomeryDomain domain(M.data(), M.size(),
                                          detail::MontgomeryDomain::PublicModulus{});
    for (const mpz_class& e : {mpz_class(0), mpz_class(1), mpz_class(65537), random.Bits(200)}) {
      const mpz_class a = random.Bits(bits + 10);
      const auto A = LimbsOf(a, LimbCount(a)), E = LimbsOf(e, LimbCount(e));
      std::vector<Limb> r(M.size());
      domain.PowPublicExponent(r.data(), A.data(), A.size(), E.data(), E.size());
      EXPECT_EQ(ValueOf(r), Expected(a, e, m)) << bits << " bits, e = " << e;
    }
  }
}

XKIT_INSTANTIATE_KERNEL_PATHS(PowEntries);

}  // namespace
}  // namespace xkit::test
