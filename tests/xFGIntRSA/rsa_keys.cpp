#include "tests/xFGIntRSA/rsa_keys.h"

namespace xkit::test {

namespace {

mpz_class PrimeOf(std::size_t bits, gmp_randclass& random) {
  for (;;) {
    mpz_class p = random.get_z_bits(bits) | (mpz_class(3) << (bits - 2));
    mpz_nextprime(p.get_mpz_t(), p.get_mpz_t());
    if (mpz_sizeinbase(p.get_mpz_t(), 2) == bits) return p;
  }
}

}  // namespace

GmpKey MakeKey(std::size_t bits, gmp_randclass& random) {
  GmpKey key;
  key.e = 65537;
  for (;;) {
    key.p = PrimeOf((bits + 1) / 2, random);
    key.q = PrimeOf(bits / 2, random);
    if (key.p == key.q) continue;
    if (key.p < key.q) swap(key.p, key.q);
    const mpz_class lambda = lcm(key.p - 1, key.q - 1);
    if (gcd(key.e, lambda) != 1) continue;
    key.n = key.p * key.q;
    mpz_invert(key.d.get_mpz_t(), key.e.get_mpz_t(), lambda.get_mpz_t());
    break;
  }
  key.dp = key.d % (key.p - 1);
  key.dq = key.d % (key.q - 1);
  mpz_invert(key.qinv.get_mpz_t(), key.q.get_mpz_t(), key.p.get_mpz_t());
  return key;
}

TRsaKey RecordsOf(const GmpKey& key) {
  TRsaKey r;
  r.Modulus = Record(key.n);
  r.PublicExponent = Record(key.e);
  r.PrivateExponent = Record(key.d);
  r.P = Record(key.p);
  r.Q = Record(key.q);
  r.ExponentModP = Record(key.dp);
  r.ExponentModQ = Record(key.dq);
  r.Coefficient = Record(key.qinv);
  return r;
}

std::string BytesOf(const mpz_class& x) {
  std::string s((mpz_sizeinbase(x.get_mpz_t(), 2) + 7) / 8, '\0');
  if (x == 0) return "";
  mpz_export(s.data(), nullptr, 1, 1, 1, 0, x.get_mpz_t());
  return s;
}

}  // namespace xkit::test
