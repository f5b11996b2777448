// Cases of RSA: on keys made with GMP, RsaDecrypt's direct path against its
// Chinese-remainder path, RsaDecryptPrepared against RsaDecrypt, and a message through
// RsaEncrypt and back; now and then a key from RsaGenerateKey (its draws from the test source
// seeded by the case), every value of it checked against GMP, and used.
#include "tests/differential/cases.h"
#include "xFGInt/radix52.h"
#include "xFGInt/random.h"
#include "xFGIntRSA/xFGIntRSA.h"

namespace xkit::diff {

namespace {

std::string Bytes(const mpz_class& x) {
  std::string bytes(mpz_sizeinbase(x.get_mpz_t(), 256), '\0');
  std::size_t count = 0;
  mpz_export(bytes.data(), &count, 1, 1, 1, 0, x.get_mpz_t());
  bytes.resize(count);
  return bytes;
}

// What is wrong with a key from RsaGenerateKey(bits, e): each value well formed and flagged
// Positive, and what FIPS 186-5 A.1.3 asks of them.
std::string KeyFault(const TRsaKey& key, std::size_t bits, const mpz_class& e) {
  for (const TFGInt* value : {&key.Modulus, &key.PublicExponent, &key.PrivateExponent, &key.P,
                              &key.Q, &key.ExponentModP, &key.ExponentModQ, &key.Coefficient}) {
    const std::string formed = Mismatch(*value, Magnitude(*value), kPos);
    if (!formed.empty()) return formed;
  }
  const mpz_class n = Magnitude(key.Modulus), d = Magnitude(key.PrivateExponent);
  const mpz_class p = Magnitude(key.P), q = Magnitude(key.Q);
  const auto size = [](const mpz_class& x) { return mpz_sizeinbase(x.get_mpz_t(), 2); };
  const auto topTwo = [&](const mpz_class& x) { return (x >> (size(x) - 2)) == 3; };
  if (Magnitude(key.PublicExponent) != e) return "not the public exponent asked for";
  if (n != p * q || size(n) != bits) return "n is not p q of the size asked for";
  if (size(p) != (bits + 1) / 2 || size(q) != bits / 2 || !topTwo(p) || !topTwo(q)) {
    return "a prime of the wrong size or without its top two bits";
  }
  if (p <= q) return "p is not the larger prime";
  if (mpz_probab_prime_p(p.get_mpz_t(), 30) == 0 || mpz_probab_prime_p(q.get_mpz_t(), 30) == 0) {
    return "p or q is composite";
  }
  if (mpz_class(p - q) >> (bits / 2 - 100) == 0) return "|p - q| <= 2^(bits / 2 - 100)";
  mpz_class lambda, inverse;
  mpz_lcm(lambda.get_mpz_t(), mpz_class(p - 1).get_mpz_t(), mpz_class(q - 1).get_mpz_t());
  if (mpz_invert(inverse.get_mpz_t(), e.get_mpz_t(), lambda.get_mpz_t()) == 0 || d != inverse) {
    return "d is not e^-1 mod lcm(p - 1, q - 1)";
  }
  if (d >> (bits / 2) == 0) return "d <= 2^(bits / 2)";
  if (Magnitude(key.ExponentModP) != d % (p - 1) || Magnitude(key.ExponentModQ) != d % (q - 1)) {
    return "the exponents modulo p - 1 and q - 1 are not d's";
  }
  mpz_invert(inverse.get_mpz_t(), q.get_mpz_t(), p.get_mpz_t());
  if (Magnitude(key.Coefficient) != inverse) return "the coefficient is not q^-1 mod p";
  return "";
}

void KeyGeneration(Random& random, Report& report) {
  const detail::ScopedRandomSource source(random.Next());
  const std::size_t bits = 1024 + random.Below(100);
  mpz_class e = 65537;
  if (random.OneIn(2)) {  // any odd e with 2^16 < e < 2^256
    const std::size_t eBits = 17 + random.Below(240);
    e = random.Bits(eBits) | (mpz_class(1) << (eBits - 1)) | 1;
  }
  TRsaKey key;
  RsaGenerateKey(bits, Signed(random, e), key);
  const std::string fault = KeyFault(key, bits, e);
  // The key works: a message through RsaEncrypt comes back through RsaDecrypt and the
  // prepared key.
  const std::string message = Bytes(random.Bits(random.Below(2 * bits + 16)));
  std::string cipher, back, preparedBack;
  RsaEncrypt(message, key.PublicExponent, key.Modulus, cipher);
  RsaDecrypt(cipher, TFGInt{}, key.Modulus, key.ExponentModP, key.ExponentModQ, key.P, key.Q, back);
  TRsaPreparedKey prepared;
  RsaPrepareKey(key, prepared);
  RsaDecryptPrepared(cipher, prepared, preparedBack);
  if (!fault.empty() || back != message || preparedBack != message) {
    report.Fail("RsaGenerateKey(" + std::to_string(bits) + ", e = " + Describe(e) +
                "): " + (!fault.empty() ? fault : "a message did not come back"));
  }
}

void Rsa(Random& random, Report& report) {
  if (random.OneIn(32)) {  // a key of our own now and then; it costs some 30 cases
    KeyGeneration(random, report);
    return;
  }
  // Keys up to 2,200 bits, beyond 1,000 bits now and then (the primes cost most), and now and
  // then primes around the longest the side-by-side radix-2^52 kernel takes.
  const std::size_t maxPrimeBits = random.OneIn(20) ? 1100 : 500;
  std::size_t pBits = 2 + Size(random, maxPrimeBits);
  if (random.OneIn(500)) {
    pBits = 8 * detail::kDigitBits52 * detail::kMaxPairBlocks - 3 + random.Below(3);
  }
  const mpz_class p = RandomPrime(random, pBits);
  mpz_class q = RandomPrime(random, 2 + Size(random, maxPrimeBits));
  while (q == p)
    q = RandomPrime(random, 2 + random.Below(64));
  const mpz_class n = p * q;
  const mpz_class phi = (p - 1) * (q - 1);
  mpz_class e = random.OneIn(2) ? 65537 : 3, d;
  while (mpz_invert(d.get_mpz_t(), e.get_mpz_t(), phi.get_mpz_t()) == 0)
    e += 2;
  const mpz_class dp = d % (p - 1), dq = d % (q - 1);
  // A text of a few blocks, with leading zero bytes now and then.
  const std::size_t nBits = mpz_sizeinbase(n.get_mpz_t(), 2);
  std::string text = Bytes(random.Bits(random.Below(3 * nBits + 64)));
  if (random.OneIn(4)) text.insert(0, random.Below(4), '\0');
  // Key values are read by their magnitudes: their flags are random.
  const TFGInt none, exponent = Signed(random, d), modulus = Signed(random, n),
                     exponentModP = Signed(random, dp), exponentModQ = Signed(random, dq),
                     primeP = Signed(random, p), primeQ = Signed(random, q);
  std::string direct, crt;
  RsaDecrypt(text, exponent, modulus, none, none, none, none, direct);
  if (random.OneIn(4)) {  // the text's own string as the result
    crt = text;
    RsaDecrypt(crt, none, modulus, exponentModP, exponentModQ, primeP, primeQ, crt);
  } else {
    RsaDecrypt(text, none, modulus, exponentModP, exponentModQ, primeP, primeQ, crt);
  }
  // A prepared key, on the path its fields select.
  TRsaKey key;
  key.Modulus = modulus;
  if (random.OneIn(2)) {
    key.P = primeP;
    key.Q = primeQ;
    key.ExponentModP = exponentModP;
    key.ExponentModQ = exponentModQ;
  } else {
    key.PrivateExponent = exponent;
  }
  TRsaPreparedKey prepared;
  std::string preparedResult;
  RsaPrepareKey(key, prepared);
  RsaDecryptPrepared(text, prepared, preparedResult);
  // A message through RsaEncrypt comes back whole.
  const std::string message = Bytes(random.Bits(random.Below(2 * nBits + 16)));
  std::string cipher, back;
  RsaEncrypt(message, Signed(random, e), modulus, cipher);
  RsaDecrypt(cipher, exponent, modulus, none, none, none, none, back);
  if (crt != direct || preparedResult != direct || back != message) {
    report.Fail(crt != direct              ? "RsaDecrypt: the Chinese-remainder path differs"
                : preparedResult != direct ? "RsaDecryptPrepared differs from RsaDecrypt"
                                           : "RsaEncrypt, then RsaDecrypt: not the message");
    report.Fail("  n = " + Describe(n) + ", p = " + Describe(p) + ", q = " + Describe(q) +
                ", text of " + std::to_string(text.size()) + " bytes");
  }
}

}  // namespace

std::vector<Operation> RsaOperations() {
  return {{"RsaDecrypt, RsaDecryptPrepared, RsaEncrypt, RsaGenerateKey", 1, Rsa}};
}

}  // namespace xkit::diff
