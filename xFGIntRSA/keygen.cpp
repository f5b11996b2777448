// RsaGenerateKey, by FIPS 186-5 Appendix A.1.3 with probable primes (Appendix B.3). Each
// candidate is drawn afresh from the operating system's generator, so a rejection (which
// shows in the time) tells nothing about the prime that is kept; everything done with the
// kept primes runs in constant time: trial division, Miller-Rabin, the checks of A.1.3 and
// the derivation of d, its residues and the coefficient.
#include <algorithm>

#include "platform/declassify.h"
#include "xFGInt/limbs_secret.h"
#include "xFGInt/primes.h"
#include "xFGInt/random.h"
#include "xFGInt/record_limbs.h"
#include "xFGIntRSA/key_limbs.h"
#include "xFGIntRSA/xFGIntRSA.h"

namespace xkit {

namespace {

using detail::Limb;
using detail::Limbs;

constexpr std::size_t kMinBits = 1024;
constexpr std::size_t kMaxBits = 16384;

std::size_t LimbsFor(std::size_t bits) {
  return (bits + 63) / 64;
}

// Whether gcd(x - 1, e) = 1 for an odd x, e odd; the outcome only rejects a candidate.
bool CoprimeToMinusOne(const Limbs& x, const Limbs& e) {
  const Limbs residue = detail::ModSecret(detail::MinusOne(x), e);
  Limbs gcd(e.size()), scratch(detail::GcdScratchSize(e.size()));
  detail::GcdOdd(gcd.data(), residue.data(), e.data(), e.size(), scratch.data());
  Limbs one(e.size(), 0);
  one[0] = 1;
  return detail::Equal(gcd, one);
}

// A probable prime of exactly `bits` bits with its top two bits set and gcd(p - 1, e) = 1:
// trial division, then the Miller-Rabin rounds of FIPS 186-5 Table B.1 with random bases.
Limbs GeneratePrime(std::size_t bits, const Limbs& e) {
  const std::size_t n = LimbsFor(bits);
  const unsigned rounds = detail::RoundsWithoutLucas(bits);
  Limbs candidate(n);
  for (;;) {
    detail::RandomLimbs(candidate.data(), n);
    const unsigned top = (bits - 1) % 64;  // the top bit's place in the top limb
    candidate[n - 1] &= (top == 63 ? ~Limb{0} : (Limb{1} << (top + 1)) - 1);
    candidate[(bits - 1) / 64] |= Limb{1} << top;
    candidate[(bits - 2) / 64] |= Limb{1} << ((bits - 2) % 64);
    candidate[0] |= 1;
    // Public, each test's outcome: a candidate that fails one is dropped and a fresh one
    // drawn, and the kept one passes them all.
    if (detail::Declassify(detail::SmallFactorMask(candidate.data(), n) != 0)) continue;
    if (!CoprimeToMinusOne(candidate, e)) continue;
    const detail::MillerRabin test(candidate.data(), n);
    if (!test.FixedSquarings()) continue;
    unsigned passed = 0;
    while (passed < rounds && detail::Declassify(test.PassesRandomBase()))
      ++passed;
    if (passed == rounds) return candidate;
  }
}

// x padded with zero limbs to n limbs.
Limbs Padded(Limbs x, std::size_t n) {
  x.resize(n, 0);
  return x;
}

// lcm(a, b), 2n limbs, for even a and b of n limbs: a b / gcd(a, b), the gcd's power of two taken
// apart (the binary gcd wants one odd operand) and shifted back by secret counts.
Limbs Lcm(const Limbs& a, const Limbs& b) {
  const std::size_t n = a.size();
  const std::size_t za = detail::TrailingZerosSecret(a.data(), n);
  const std::size_t zb = detail::TrailingZerosSecret(b.data(), n);
  const std::size_t common = zb ^ ((za ^ zb) & detail::LessMask1(za, zb));  // min(za, zb)
  Limbs oddB = b, gcd(n), scratch(detail::GcdScratchSize(n));
  detail::ShiftRightSecret(oddB.data(), n, zb);
  detail::GcdOdd(gcd.data(), a.data(), oddB.data(), n, scratch.data());
  detail::ShiftLeftSecret(gcd.data(), n, common);
  const Limbs product = detail::MulSecret(a, b);
  Limbs lcm(2 * n), remainder(n), divisionScratch(n + 1);
  detail::DivRemSecret(lcm.data(), remainder.data(), product.data(), 2 * n, gcd.data(), n,
                       divisionScratch.data());
  return lcm;
}

// e^-1 mod lambda for an odd e prime to lambda: with u = lambda^-1 mod e (a small, public
// modulus), d = (1 + lambda (e - u)) / e is an integer below lambda with e d = 1 (mod lambda).
Limbs InverseOfExponent(const Limbs& e, const Limbs& lambda) {
  const std::optional<Limbs> u = detail::InverseSecret(lambda, e);
  // gcd(e, p - 1) = gcd(e, q - 1) = 1 was checked for each prime, so lambda is prime to e.
  if (!u) throw Exception("RsaGenerateKey: e is not prime to lcm(p - 1, q - 1)");
  Limbs k(e.size());
  detail::SubN(k.data(), e.data(), u->data(), e.size());
  Limbs x = detail::MulSecret(lambda, k);
  x.push_back(0);
  const Limb one = 1;
  detail::AddSecret(x.data(), x.data(), x.size(), &one, 1);
  Limbs d(x.size()), remainder(e.size()), scratch(e.size() + 1);
  detail::DivRemSecret(d.data(), remainder.data(), x.data(), x.size(), e.data(), e.size(),
                       scratch.data());
  d.resize(lambda.size());
  return d;
}

// Whether x > 2^t, for x of n limbs and a public t below 64 n. Public: a key that fails the
// test is dropped and made afresh (FIPS 186-5 A.1.3), and the kept one passes.
bool Above(const Limbs& x, std::size_t t) {
  Limbs power(x.size(), 0);
  power[t / 64] = Limb{1} << (t % 64);
  return detail::Declassify(detail::LessMask(power.data(), x.data(), x.size()) != 0);
}

}  // namespace

void RsaGenerateKey(std::size_t bits, const TFGInt& publicExponent, TRsaKey& key) {
  if (bits < kMinBits || bits > kMaxBits) {
    throw Exception("RsaGenerateKey: the modulus size must be 1024 to 16384 bits");
  }
  const Limbs e = detail::Magnitude(publicExponent);
  const std::size_t eBits = detail::BitLength(e);
  if (e.empty() || (e[0] & 1) == 0 || eBits <= 16 || eBits > 256) {  // odd and 2^16 < e
    throw Exception("RsaGenerateKey: the public exponent must be odd, above 2^16 and below 2^256");
  }
  const std::size_t n = LimbsFor((bits + 1) / 2);  // limbs of the larger prime
  for (;;) {
    Limbs p = Padded(GeneratePrime((bits + 1) / 2, e), n);
    Limbs q, difference(n), other(n);
    do {
      q = Padded(GeneratePrime(bits / 2, e), n);
      // |p - q|, and p the larger: the choices by masks.
      const Limb borrow = detail::SubN(difference.data(), p.data(), q.data(), n);
      detail::SubN(other.data(), q.data(), p.data(), n);
      detail::Select(difference.data(), other.data(), difference.data(), n,
                     detail::MaskFromBit(borrow));
      detail::Select(other.data(), q.data(), p.data(), n, detail::MaskFromBit(borrow));
      detail::Select(q.data(), p.data(), q.data(), n, detail::MaskFromBit(borrow));
      p = other;
    } while (!Above(difference, bits / 2 - 100));

    const Limbs pMinusOne = detail::MinusOne(p), qMinusOne = detail::MinusOne(q);
    const Limbs lambda = Lcm(pMinusOne, qMinusOne);
    const Limbs d = InverseOfExponent(e, lambda);
    if (!Above(d, bits / 2)) continue;  // d <= 2^(bits / 2): new primes (A.1.1)

    key.Modulus = detail::RecordOf(detail::MulSecret(p, q));
    key.PublicExponent = detail::RecordOf(e);
    key.PrivateExponent = detail::RecordOf(d);
    key.P = detail::RecordOf(p);
    key.Q = detail::RecordOf(q);
    key.ExponentModP = detail::RecordOf(detail::ModSecret(d, pMinusOne));
    key.ExponentModQ = detail::RecordOf(detail::ModSecret(d, qMinusOne));
    key.Coefficient = detail::RecordOf(*detail::InverseSecret(q, p));
    return;
  }
}

void RsaGenerateKey(std::size_t bits, TRsaKey& key) {
  TFGInt e;
  detail::SetDigit(e, 65537, TBigSign::Positive);
  RsaGenerateKey(bits, e, key);
}

}  // namespace xkit
