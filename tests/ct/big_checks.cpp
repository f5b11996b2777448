// Checks of the big-integer unit: exponentiation with an odd modulus (base and exponent
// secret), the inverse and the gcd (the first operand secret), RsaDecrypt on both paths,
// directly and with a prepared key (the key secret, the modulus and the text public),
// RsaEncrypt (the text secret) and RsaGenerateKey (every random byte secret). Lengths and
// sign flags are public throughout. Each operation runs once on public operands for the
// expected result, then on the same operands marked secret.
#include <gmpxx.h>

#include <string>

#include "tests/ct/checks.h"
#include "tests/gmp_records.h"
#include "xFGInt/random.h"
#include "xFGIntRSA/xFGIntRSA.h"

namespace xkit::ct {

namespace {

using test::Record;

gmp_randclass& Random() {
  static gmp_randclass random(gmp_randinit_mt);
  static const bool seeded = (random.seed(16), true);
  (void)seeded;
  return random;
}

mpz_class Bits(unsigned bits) {
  return Random().get_z_bits(bits) | (mpz_class(1) << (bits - 1));
}

mpz_class Prime(unsigned bits) {
  mpz_class p;
  const mpz_class start = Bits(bits);
  mpz_nextprime(p.get_mpz_t(), start.get_mpz_t());
  return p;
}

// The binary operation op(a, b, r) with the given operands secret.
template <class Op>
void CompareSecretRun(const char* what, Op op, TFGInt a, TFGInt b, bool bSecret) {
  TFGInt expected, r;
  op(a, b, expected);
  SecretDigits(a);
  if (bSecret) SecretDigits(b);
  op(a, b, r);
  Public(r);
  Expect(r.Sign == expected.Sign && r.Digits == expected.Digits, what);
}

void PowModOddModulus() {
  const mpz_class m = Bits(2048) | 1;
  const auto pow = [&](const TFGInt& base, const TFGInt& e, TFGInt& r) {
    BigPowMod(base, e, Record(m), r);
  };
  CompareSecretRun("BigPowMod", pow, Record(Bits(2048)), Record(Bits(2048)), true);
  // A negative base with an odd exponent, a base longer than the modulus, a short exponent.
  CompareSecretRun("BigPowMod, negative base", pow, Record(Bits(1000), TBigSign::Negative),
                   Record(Bits(999) | 1), true);
  CompareSecretRun("BigPowMod, long base", pow, Record(Bits(5000)), Record(Bits(17)), true);
}

void InverseModulo() {
  const auto inverse = [](const TFGInt& a, const TFGInt& m, TFGInt& r) { BigInvMod(a, m, r); };
  const mpz_class odd = Bits(2048) | 1;
  CompareSecretRun("BigInvMod, odd modulus", inverse, Record(Bits(2040) | 1), Record(odd), false);
  CompareSecretRun("BigInvMod, negative a", inverse, Record(Bits(2100) | 1, TBigSign::Negative),
                   Record(odd), false);
  CompareSecretRun("BigInvMod, even modulus", inverse, Record(Bits(1500) | 1), Record(odd << 200),
                   false);
  CompareSecretRun("BigInvMod, power of two", inverse, Record(Bits(300) | 1),
                   Record(mpz_class(1) << 256), false);
}

void GreatestCommonDivisor() {
  const auto gcd = [](const TFGInt& a, const TFGInt& b, TFGInt& g) { BigGcd(a, b, g); };
  const mpz_class common = Bits(300) << 70;
  CompareSecretRun("BigGcd", gcd, Record(common * Bits(1700)), Record(common * Bits(1800)), false);
  CompareSecretRun("BigGcd, negative operands", gcd, Record(common * Bits(900), TBigSign::Negative),
                   Record(common, TBigSign::Negative), false);
  CompareSecretRun("BigGcd, zero b", gcd, Record(Bits(2000) << 5), Record(0), false);
}

// An RSA key of two 1024-bit primes, and a text of two blocks.
struct RsaKey {
  mpz_class n, d, dp, dq, p, q;
  std::string text;
};

const RsaKey& Key() {
  static const RsaKey key = [] {
    RsaKey k;
    k.p = Prime(1024);
    k.q = Prime(1024);
    k.n = k.p * k.q;
    const mpz_class phi = (k.p - 1) * (k.q - 1);
    const mpz_class e = 65537;
    mpz_invert(k.d.get_mpz_t(), e.get_mpz_t(), phi.get_mpz_t());
    k.dp = k.d % (k.p - 1);
    k.dq = k.d % (k.q - 1);
    const mpz_class blocks = Bits(4000);
    k.text.resize(mpz_sizeinbase(blocks.get_mpz_t(), 256));
    mpz_export(k.text.data(), nullptr, 1, 1, 1, 0, blocks.get_mpz_t());
    return k;
  }();
  return key;
}

void RsaDirect() {
  const RsaKey& key = Key();
  const TFGInt n = Record(key.n), none;
  TFGInt d = Record(key.d);
  std::string expected, result;
  RsaDecrypt(key.text, d, n, none, none, none, none, expected);
  SecretDigits(d);
  RsaDecrypt(key.text, d, n, none, none, none, none, result);
  Public(result);
  Expect(result == expected, "RsaDecrypt, direct");
}

void RsaChineseRemainder() {
  const RsaKey& key = Key();
  const TFGInt n = Record(key.n), none;
  TFGInt dp = Record(key.dp), dq = Record(key.dq), p = Record(key.p), q = Record(key.q);
  std::string expected, result;
  RsaDecrypt(key.text, none, n, dp, dq, p, q, expected);
  for (const TFGInt* secret : {&dp, &dq, &p, &q})
    SecretDigits(*secret);
  RsaDecrypt(key.text, none, n, dp, dq, p, q, result);
  Public(result);
  Expect(result == expected, "RsaDecrypt, Chinese remainder");
}

// A prepared key, on each path: prepared and used with the private values secret.
void RsaPrepared() {
  const RsaKey& key = Key();
  TRsaKey crtKey, directKey;
  crtKey.Modulus = directKey.Modulus = Record(key.n);
  crtKey.P = Record(key.p);
  crtKey.Q = Record(key.q);
  crtKey.ExponentModP = Record(key.dp);
  crtKey.ExponentModQ = Record(key.dq);
  directKey.PrivateExponent = Record(key.d);
  for (TRsaKey* rsaKey : {&crtKey, &directKey}) {
    TRsaPreparedKey prepared;
    std::string expected, result;
    RsaPrepareKey(*rsaKey, prepared);
    RsaDecryptPrepared(key.text, prepared, expected);
    for (const TFGInt* secret : {&rsaKey->P, &rsaKey->Q, &rsaKey->ExponentModP,
                                 &rsaKey->ExponentModQ, &rsaKey->PrivateExponent}) {
      if (!secret->Digits.empty()) SecretDigits(*secret);
    }
    RsaPrepareKey(*rsaKey, prepared);
    RsaDecryptPrepared(key.text, prepared, result);
    Public(result);
    Expect(result == expected, rsaKey == &crtKey ? "RsaDecryptPrepared, Chinese remainder"
                                                 : "RsaDecryptPrepared, direct");
  }
}

// Encryption with the text secret and the key public.
void RsaEncryption() {
  const RsaKey& key = Key();
  const TFGInt n = Record(key.n), e = Record(65537);
  const std::string message = key.text.substr(0, 300);
  std::string expected, result;
  RsaEncrypt(message, e, n, expected);
  Secret(message);
  RsaEncrypt(message, e, n, result);
  Public(result);
  Expect(result == expected, "RsaEncrypt");
}

// Key generation with every random byte secret: the work on the kept primes, and on the
// rejected candidates up to their rejection. The draws repeat from a seed, so the secret run
// makes the same key as the public one.
void KeyGeneration() {
  constexpr std::uint64_t kSeed = 16;
  TRsaKey expected, key;
  {
    const detail::ScopedRandomSource source(kSeed);
    RsaGenerateKey(1024, expected);
  }
  {
    const detail::ScopedRandomSource source(
        kSeed, [](const void* bytes, std::size_t size) { Secret(bytes, size); });
    RsaGenerateKey(1024, key);
  }
  bool same = true;
  for (TFGInt TRsaKey::*field :
       {&TRsaKey::Modulus, &TRsaKey::PublicExponent, &TRsaKey::PrivateExponent, &TRsaKey::P,
        &TRsaKey::Q, &TRsaKey::ExponentModP, &TRsaKey::ExponentModQ, &TRsaKey::Coefficient}) {
    Public(key.*field);
    same = same && (key.*field).Digits == (expected.*field).Digits;
  }
  Expect(same, "RsaGenerateKey");
}

}  // namespace

std::vector<Check> BigIntegerChecks() {
  return {
      {"BigPowMod", PowModOddModulus},         {"BigInvMod", InverseModulo},
      {"BigGcd", GreatestCommonDivisor},       {"RsaDecrypt direct", RsaDirect},
      {"RsaDecrypt CRT", RsaChineseRemainder}, {"RsaPrepareKey + RsaDecryptPrepared", RsaPrepared},
      {"RsaEncrypt", RsaEncryption},           {"RsaGenerateKey", KeyGeneration}};
}

}  // namespace xkit::ct
