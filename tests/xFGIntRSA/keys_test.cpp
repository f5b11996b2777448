// Keys: generated keys checked against GMP for every rule of FIPS 186-5 A.1.3 (and used),
// the size and exponent limits; the prepared key against RsaDecrypt on random texts (blocks
// at or above n included), its refusal of inconsistent keys, and its use from many threads.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <thread>

#include "tests/xFGInt/support.h"
#include "tests/xFGIntRSA/rsa_keys.h"

namespace xkit::test {
namespace {

GmpKey ValuesOf(const TRsaKey& key) {
  return {Magnitude(key.Modulus),
          Magnitude(key.PublicExponent),
          Magnitude(key.PrivateExponent),
          Magnitude(key.P),
          Magnitude(key.Q),
          Magnitude(key.ExponentModP),
          Magnitude(key.ExponentModQ),
          Magnitude(key.Coefficient)};
}

// Every rule a generated key must follow, with GMP as the oracle.
void ExpectFipsKey(const TRsaKey& records, std::size_t bits, const mpz_class& e) {
  for (const TFGInt* field :
       {&records.Modulus, &records.PublicExponent, &records.PrivateExponent, &records.P, &records.Q,
        &records.ExponentModP, &records.ExponentModQ, &records.Coefficient}) {
    EXPECT_TRUE(WellFormed(*field));
    EXPECT_EQ(field->Sign, kPos);
  }
  const GmpKey key = ValuesOf(records);
  EXPECT_EQ(key.e, e);
  EXPECT_EQ(key.n, key.p * key.q);
  EXPECT_EQ(mpz_sizeinbase(key.n.get_mpz_t(), 2), bits);
  EXPECT_GT(key.p, key.q);
  for (const auto& [prime, primeBits] : {std::pair{key.p, (bits + 1) / 2}, {key.q, bits / 2}}) {
    EXPECT_NE(mpz_probab_prime_p(prime.get_mpz_t(), 30), 0) << prime;
    EXPECT_EQ(mpz_sizeinbase(prime.get_mpz_t(), 2), primeBits);
    EXPECT_EQ(prime >> (primeBits - 2), 3) << "top two bits";
    EXPECT_EQ(gcd(key.e, prime - 1), 1);
  }
  EXPECT_GT(mpz_class(abs(key.p - key.q)), mpz_class(1) << (bits / 2 - 100));
  const mpz_class lambda = lcm(key.p - 1, key.q - 1);
  mpz_class d;
  mpz_invert(d.get_mpz_t(), key.e.get_mpz_t(), lambda.get_mpz_t());
  EXPECT_EQ(key.d, d);
  EXPECT_GT(key.d, mpz_class(1) << (bits / 2));
  EXPECT_EQ(key.dp, key.d % (key.p - 1));
  EXPECT_EQ(key.dq, key.d % (key.q - 1));
  EXPECT_EQ(mpz_class(key.qinv * key.q % key.p), 1);
}

TEST(RsaGenerateKey, KeysFollowEveryRuleAndWork) {
  struct Case {
    std::size_t bits;
    const char* e;
  };
  const Case cases[] = {
      {1024, "65537"},
      {1031, "65537"},
      {2048, "65537"},
      // the largest exponent allowed: 2^256 - 1 is odd but shares factors
      // with many p - 1, which only makes the search longer
      {1024, "115792089237316195423570985008687907853269984665640564039457584007913129639935"},
      {1040, "65539"}};
  for (const Case& c : cases) {
    TRsaKey key;
    RsaGenerateKey(c.bits, Record(c.e), key);
    ExpectFipsKey(key, c.bits, mpz_class(c.e));
    std::string cipher, plain;
    RsaEncrypt("generated", key.PublicExponent, key.Modulus, cipher);
    TRsaPreparedKey prepared;
    RsaPrepareKey(key, prepared);
    RsaDecryptPrepared(cipher, prepared, plain);
    EXPECT_EQ(plain, "generated") << c.bits;
  }
  TRsaKey key;
  RsaGenerateKey(1024, key);  // e = 65537 by default
  ExpectFipsKey(key, 1024, 65537);
  // Two keys never share a prime.
  TRsaKey other;
  RsaGenerateKey(1024, other);
  EXPECT_NE(Magnitude(key.P), Magnitude(other.P));
}

TEST(RsaGenerateKey, SizesAndExponentsOutsideTheRulesRaise) {
  const std::pair<std::size_t, const char*> cases[] = {
      {1023, "65537"},
      {16385, "65537"},
      {0, "65537"},
      {2048, "3"},
      {2048, "65535"},
      {2048, "65536"},
      {2048, "65538"},
      {2048, "0"},
      {2048, "115792089237316195423570985008687907853269984665640564039457584007913129639937"},
  };
  for (const auto& [bits, e] : cases) {
    TRsaKey key;
    EXPECT_THROW(RsaGenerateKey(bits, Record(e), key), Exception) << bits << " " << e;
  }
}

// -- The prepared key ------------------------------------------------------------------------

class PreparedKey : public EachKernelPath {};

TEST_P(PreparedKey, DecryptsEveryTextAsRsaDecryptDoes) {
  gmp_randclass gmp(gmp_randinit_mt);
  gmp.seed(15);
  RandomValues random(15);
  for (const std::size_t bits : {20u, 100u, 777u, 1024u, 2049u}) {
    const GmpKey key = MakeKey(bits, gmp);
    const TRsaKey records = RecordsOf(key);
    TRsaPreparedKey prepared;
    RsaPrepareKey(records, prepared);
    for (int i = 0; i < 6; ++i) {
      // Any bytes: blocks at and above n, zero blocks, several blocks.
      std::string text(random.Below(3 * bits / 8 + 2), '\0');
      for (char& c : text)
        c = static_cast<char>(random.Below(5) == 0 ? 0xFF : random.Below(256));
      std::string expected, result;
      RsaDecrypt(text, TFGInt{}, records.Modulus, records.ExponentModP, records.ExponentModQ,
                 records.P, records.Q, expected);
      RsaDecryptPrepared(text, prepared, result);
      ASSERT_EQ(result, expected) << bits << " bits";
    }
  }
}

XKIT_INSTANTIATE_KERNEL_PATHS(PreparedKey);

TEST(PreparedKeyCases, WhatAPathNeedsAndWhatMustAgree) {
  gmp_randclass gmp(gmp_randinit_mt);
  gmp.seed(16);
  const GmpKey key = MakeKey(512, gmp);
  const TRsaKey full = RecordsOf(key);
  const auto works = [](const TRsaKey& k, const TRsaKey& full) {
    TRsaPreparedKey prepared;
    RsaPrepareKey(k, prepared);
    std::string cipher, plain;
    RsaEncrypt("works", full.PublicExponent, full.Modulus, cipher);
    RsaDecryptPrepared(cipher, prepared, plain);
    return plain == "works";
  };
  EXPECT_TRUE(works(full, full));
  TRsaKey onlyD;  // the direct path
  onlyD.Modulus = full.Modulus;
  onlyD.PrivateExponent = full.PrivateExponent;
  EXPECT_TRUE(works(onlyD, full));
  TRsaKey primesAndD = onlyD;  // the exponents derived from d
  primesAndD.P = full.Q;       // in either order
  primesAndD.Q = full.P;
  EXPECT_TRUE(works(primesAndD, full));
  TRsaKey noD = full;
  noD.PrivateExponent = TFGInt{};
  noD.Coefficient = TFGInt{};
  EXPECT_TRUE(works(noD, full));

  struct Bad {
    const char* why;
    TRsaKey key;
  };
  std::vector<Bad> bad;
  bad.push_back({"no modulus", full});
  bad.back().key.Modulus = TFGInt{};
  bad.push_back({"no d and no primes", full});
  bad.back().key.P = bad.back().key.Q = bad.back().key.PrivateExponent = TFGInt{};
  bad.push_back({"p without q", full});
  bad.back().key.Q = TFGInt{};
  bad.push_back({"no exponents", noD});
  bad.back().key.ExponentModP = TFGInt{};
  bad.push_back({"n is not p q", full});
  bad.back().key.Modulus = Record(key.n + 2);
  bad.push_back({"wrong coefficient", full});
  bad.back().key.Coefficient = Record(key.qinv + 1);
  bad.push_back({"dp not d's", full});
  bad.back().key.ExponentModP = Record(key.dp + 2);
  bad.push_back({"even modulus", onlyD});
  bad.back().key.Modulus = Record(key.n + 1);
  bad.push_back({"p and q not coprime", full});
  bad.back().key.P = Record(key.q * 3);
  bad.back().key.Q = Record(key.q);
  bad.back().key.Modulus = Record(key.q * key.q * 3);
  for (const Bad& b : bad) {
    TRsaPreparedKey prepared;
    EXPECT_THROW(RsaPrepareKey(b.key, prepared), Exception) << b.why;
    EXPECT_FALSE(prepared.Operation) << b.why;
  }
  std::string result;
  EXPECT_THROW(RsaDecryptPrepared("x", TRsaPreparedKey{}, result), Exception);
}

TEST(PreparedKeyCases, ManyThreadsShareOnePreparedKey) {
  gmp_randclass gmp(gmp_randinit_mt);
  gmp.seed(17);
  const TRsaKey key = RecordsOf(MakeKey(1024, gmp));
  TRsaPreparedKey prepared;
  RsaPrepareKey(key, prepared);
  std::vector<std::string> ciphers;
  for (int t = 0; t < 4; ++t) {
    ciphers.emplace_back();
    RsaEncrypt("thread " + std::to_string(t), key.PublicExponent, key.Modulus, ciphers.back());
  }
  std::vector<std::string> results(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i)
        RsaDecryptPrepared(ciphers[t], prepared, results[t]);
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  for (int t = 0; t < 4; ++t)
    EXPECT_EQ(results[t], "thread " + std::to_string(t));
}

}  // namespace
}  // namespace xkit::test
