// Exponentiation, gcd, inverse, primality and RSA side by side with their peers: BigPowMod
// beside GMP's mpz_powm and its constant-time mpz_powm_sec, BigGcd and BigInvMod beside
// mpz_gcd and mpz_invert, BigIsProbablePrime beside mpz_probab_prime_p at the same
// confidence; RsaDecrypt (key prepared per call) and RsaDecryptPrepared of one block beside
// OpenSSL's raw RSA private operation (no padding, key prepared by OpenSSL), RsaEncrypt of
// one block beside its raw public operation, and RsaGenerateKey beside RSA_generate_key_ex.
// The peers work on values already in their own form; our side on TFGInt records and byte
// strings, conversions included.
#include <benchmark/benchmark.h>
#include <gmp.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "bench/bench_gmp.h"
#include "xFGInt/primes.h"
#include "xFGInt/xFGInt.h"
#include "xFGIntRSA/xFGIntRSA.h"

namespace {

using xkit::TFGInt;

// One fixed random state for every case, so each run measures the same operands.
gmp_randstate_t& Random() {
  static gmp_randstate_t state;
  static const bool seeded = [] {
    gmp_randinit_mt(state);
    gmp_randseed_ui(state, 20240611);
    return true;
  }();
  (void)seeded;
  return state;
}

// A random value of exactly `bits` bits (odd when asked).
void RandomBits(Mpz& x, std::size_t bits, bool odd) {
  mpz_urandomb(x.value, Random(), bits);
  mpz_setbit(x.value, bits - 1);
  if (odd) mpz_setbit(x.value, 0);
}

void ToRecord(const Mpz& x, TFGInt& r) {
  xkit::BigFromDecimal(mpz_get_str(nullptr, 10, x.value), r);
}

void Register(const std::string& name, void (*body)(benchmark::State&, std::size_t),
              std::size_t bits) {
  benchmark::RegisterBenchmark(name.c_str(), body, bits)->Unit(benchmark::kMicrosecond);
}

// -- Exponentiation ------------------------------------------------------------------------

struct PowOperands {
  Mpz base, e, m;
  explicit PowOperands(std::size_t bits) {
    RandomBits(m, bits, true);
    RandomBits(e, bits, false);
    RandomBits(base, bits, false);
    mpz_mod(base.value, base.value, m.value);
  }
};

void PowModXkit(benchmark::State& state, std::size_t bits) {
  const PowOperands operands(bits);
  TFGInt base, e, m, r;
  ToRecord(operands.base, base);
  ToRecord(operands.e, e);
  ToRecord(operands.m, m);
  for (auto _ : state) {
    xkit::BigPowMod(base, e, m, r);
    benchmark::DoNotOptimize(r.Digits.data());
  }
}

void PowModGmp(benchmark::State& state, std::size_t bits) {
  const PowOperands operands(bits);
  Mpz r;
  for (auto _ : state) {
    mpz_powm(r.value, operands.base.value, operands.e.value, operands.m.value);
    benchmark::DoNotOptimize(r.value);
  }
}

void PowModGmpSec(benchmark::State& state, std::size_t bits) {
  const PowOperands operands(bits);
  Mpz r;
  for (auto _ : state) {
    mpz_powm_sec(r.value, operands.base.value, operands.e.value, operands.m.value);
    benchmark::DoNotOptimize(r.value);
  }
}

// -- Gcd and inverse -----------------------------------------------------------------------

void GcdXkit(benchmark::State& state, std::size_t bits) {
  Mpz a, b;
  RandomBits(a, bits, false);
  RandomBits(b, bits, false);
  TFGInt x, y, g;
  ToRecord(a, x);
  ToRecord(b, y);
  for (auto _ : state) {
    xkit::BigGcd(x, y, g);
    benchmark::DoNotOptimize(g.Digits.data());
  }
}

void GcdGmp(benchmark::State& state, std::size_t bits) {
  Mpz a, b, g;
  RandomBits(a, bits, false);
  RandomBits(b, bits, false);
  for (auto _ : state) {
    mpz_gcd(g.value, a.value, b.value);
    benchmark::DoNotOptimize(g.value);
  }
}

void InvModXkit(benchmark::State& state, std::size_t bits) {
  Mpz a, m;
  RandomBits(m, bits, true);
  RandomBits(a, bits - 1, false);
  TFGInt x, y, r;
  ToRecord(a, x);
  ToRecord(m, y);
  for (auto _ : state) {
    xkit::BigInvMod(x, y, r);
    benchmark::DoNotOptimize(r.Digits.data());
  }
}

void InvModGmp(benchmark::State& state, std::size_t bits) {
  Mpz a, m, r;
  RandomBits(m, bits, true);
  RandomBits(a, bits - 1, false);
  for (auto _ : state) {
    mpz_invert(r.value, a.value, m.value);
    benchmark::DoNotOptimize(r.value);
  }
}

// -- The RSA private operation ---------------------------------------------------------------

// An OpenSSL key (e = 65537), the same key as records, and one full-size cipher block whose
// plain value starts with the 111 marker.
struct RsaCase {
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key{nullptr, EVP_PKEY_free};
  TFGInt n, e, d, p, q, dp, dq, qinv;
  std::string cipher;
  std::string plain;  // the cipher's plain block: 0x00 0x07, then message bytes
};

TFGInt Parameter(const EVP_PKEY* key, const char* name) {
  BIGNUM* value = nullptr;
  if (EVP_PKEY_get_bn_param(key, name, &value) != 1) throw std::runtime_error(name);
  char* text = BN_bn2dec(value);
  TFGInt record;
  xkit::BigFromDecimal(text, record);
  OPENSSL_free(text);
  BN_free(value);
  return record;
}

const RsaCase& RsaCaseOf(std::size_t bits) {
  static std::map<std::size_t, std::unique_ptr<RsaCase>> cases;
  std::unique_ptr<RsaCase>& entry = cases[bits];
  if (entry) return *entry;
  entry = std::make_unique<RsaCase>();
  entry->key.reset(EVP_RSA_gen(static_cast<unsigned>(bits)));
  if (!entry->key) throw std::runtime_error("EVP_RSA_gen failed");
  entry->n = Parameter(entry->key.get(), OSSL_PKEY_PARAM_RSA_N);
  entry->p = Parameter(entry->key.get(), OSSL_PKEY_PARAM_RSA_FACTOR1);
  entry->q = Parameter(entry->key.get(), OSSL_PKEY_PARAM_RSA_FACTOR2);
  entry->dp = Parameter(entry->key.get(), OSSL_PKEY_PARAM_RSA_EXPONENT1);
  entry->dq = Parameter(entry->key.get(), OSSL_PKEY_PARAM_RSA_EXPONENT2);
  entry->e = Parameter(entry->key.get(), OSSL_PKEY_PARAM_RSA_E);
  entry->d = Parameter(entry->key.get(), OSSL_PKEY_PARAM_RSA_D);
  entry->qinv = Parameter(entry->key.get(), OSSL_PKEY_PARAM_RSA_COEFFICIENT1);
  // 0x00 0x07, then message bytes: below n, and 111 after the leading zeros.
  std::string plain(bits / 8, 'x');
  plain[0] = 0;
  plain[1] = 7;
  entry->plain = plain;
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
      EVP_PKEY_CTX_new(entry->key.get(), nullptr), EVP_PKEY_CTX_free);
  std::size_t size = bits / 8;
  entry->cipher.resize(size);
  if (EVP_PKEY_encrypt_init(context.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_NO_PADDING) != 1 ||
      EVP_PKEY_encrypt(context.get(), reinterpret_cast<unsigned char*>(entry->cipher.data()), &size,
                       reinterpret_cast<const unsigned char*>(plain.data()), plain.size()) != 1) {
    throw std::runtime_error("EVP_PKEY_encrypt failed");
  }
  return *entry;
}

void RsaDecryptXkit(benchmark::State& state, std::size_t bits) {
  const RsaCase& rsa = RsaCaseOf(bits);
  const TFGInt none;
  std::string result;
  for (auto _ : state) {
    xkit::RsaDecrypt(rsa.cipher, none, rsa.n, rsa.dp, rsa.dq, rsa.p, rsa.q, result);
    benchmark::DoNotOptimize(result.data());
  }
}

void RsaDecryptOpenssl(benchmark::State& state, std::size_t bits) {
  const RsaCase& rsa = RsaCaseOf(bits);
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
      EVP_PKEY_CTX_new(rsa.key.get(), nullptr), EVP_PKEY_CTX_free);
  if (EVP_PKEY_decrypt_init(context.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_NO_PADDING) != 1) {
    state.SkipWithError("EVP_PKEY_decrypt_init failed");
    return;
  }
  std::string plain(bits / 8, '\0');
  for (auto _ : state) {
    std::size_t size = plain.size();
    EVP_PKEY_decrypt(context.get(), reinterpret_cast<unsigned char*>(plain.data()), &size,
                     reinterpret_cast<const unsigned char*>(rsa.cipher.data()), rsa.cipher.size());
    benchmark::DoNotOptimize(plain.data());
  }
}

xkit::TRsaKey RecordsOf(const RsaCase& rsa) {
  return {rsa.n, rsa.e, rsa.d, rsa.p, rsa.q, rsa.dp, rsa.dq, rsa.qinv};
}

void RsaDecryptPreparedXkit(benchmark::State& state, std::size_t bits) {
  const RsaCase& rsa = RsaCaseOf(bits);
  xkit::TRsaPreparedKey prepared;
  xkit::RsaPrepareKey(RecordsOf(rsa), prepared);
  std::string result;
  for (auto _ : state) {
    xkit::RsaDecryptPrepared(rsa.cipher, prepared, result);
    benchmark::DoNotOptimize(result.data());
  }
}

// One block with e = 65537: the payload after "111" fills L - 1 bits but for the padding.
void RsaEncryptXkit(benchmark::State& state, std::size_t bits) {
  const RsaCase& rsa = RsaCaseOf(bits);
  const std::string payload(rsa.plain.substr(2, (bits - 4) / 8));
  std::string cipher;
  for (auto _ : state) {
    xkit::RsaEncrypt(payload, rsa.e, rsa.n, cipher);
    benchmark::DoNotOptimize(cipher.data());
  }
  if (cipher.size() != bits / 8) state.SkipWithError("not one block");
}

void RsaEncryptOpenssl(benchmark::State& state, std::size_t bits) {
  const RsaCase& rsa = RsaCaseOf(bits);
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
      EVP_PKEY_CTX_new(rsa.key.get(), nullptr), EVP_PKEY_CTX_free);
  if (EVP_PKEY_encrypt_init(context.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_NO_PADDING) != 1) {
    state.SkipWithError("EVP_PKEY_encrypt_init failed");
    return;
  }
  std::string cipher(bits / 8, '\0');
  for (auto _ : state) {
    std::size_t size = cipher.size();
    EVP_PKEY_encrypt(context.get(), reinterpret_cast<unsigned char*>(cipher.data()), &size,
                     reinterpret_cast<const unsigned char*>(rsa.plain.data()), rsa.plain.size());
    benchmark::DoNotOptimize(cipher.data());
  }
}

// Key generation time is random: each repetition makes one key, and the ratio takes the
// medians of 21.
void RsaKeygenXkit(benchmark::State& state, std::size_t bits) {
  for (auto _ : state) {
    xkit::TRsaKey key;
    xkit::RsaGenerateKey(bits, key);
    benchmark::DoNotOptimize(key.Modulus.Digits.data());
  }
}

void RsaKeygenOpenssl(benchmark::State& state, std::size_t bits) {
  std::unique_ptr<BIGNUM, decltype(&BN_free)> e(BN_new(), BN_free);
  BN_set_word(e.get(), RSA_F4);
  for (auto _ : state) {
// RSA_generate_key_ex is deprecated in OpenSSL 3 in favour of EVP_PKEY_keygen, which runs
// the same generator behind a provider's dispatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    std::unique_ptr<RSA, decltype(&RSA_free)> key(RSA_new(), RSA_free);
    if (RSA_generate_key_ex(key.get(), static_cast<int>(bits), e.get(), nullptr) != 1) {
      state.SkipWithError("RSA_generate_key_ex failed");
    }
#pragma GCC diagnostic pop
    benchmark::DoNotOptimize(key.get());
  }
}

// -- Primality ---------------------------------------------------------------------------------

// A prime of exactly `bits` bits, found by GMP.
void RandomPrime(Mpz& p, std::size_t bits) {
  do {
    RandomBits(p, bits, true);
    mpz_nextprime(p.value, p.value);
  } while (mpz_sizeinbase(p.value, 2) != bits);
}

void IsProbablePrimeXkit(benchmark::State& state, std::size_t bits) {
  Mpz p;
  RandomPrime(p, bits);
  TFGInt record;
  ToRecord(p, record);
  for (auto _ : state)
    benchmark::DoNotOptimize(xkit::BigIsProbablePrime(record));
}

// GMP's test runs Baillie-PSW and then reps - 24 Miller-Rabin rounds: the same work as ours.
void IsProbablePrimeGmp(benchmark::State& state, std::size_t bits) {
  Mpz p;
  RandomPrime(p, bits);
  const int reps = 24 + static_cast<int>(xkit::detail::RoundsAfterLucas(bits));
  for (auto _ : state)
    benchmark::DoNotOptimize(mpz_probab_prime_p(p.value, reps));
}

const bool kRegistered = [] {
  for (const std::size_t bits : {1024u, 2048u, 4096u}) {
    const std::string name = "BigPowMod/" + std::to_string(bits);
    Register(name + "/xkit", PowModXkit, bits);
    Register(name + "/gmp", PowModGmp, bits);
    Register(name + "/gmp_sec", PowModGmpSec, bits);
  }
  Register("BigGcd/2048/xkit", GcdXkit, 2048);
  Register("BigGcd/2048/gmp", GcdGmp, 2048);
  Register("BigInvMod/2048/xkit", InvModXkit, 2048);
  Register("BigInvMod/2048/gmp", InvModGmp, 2048);
  for (const std::size_t bits : {2048u, 4096u}) {
    const std::string name = "RsaDecryptCrt/" + std::to_string(bits);
    Register(name + "/xkit", RsaDecryptXkit, bits);
    Register(name + "/openssl", RsaDecryptOpenssl, bits);
    const std::string prepared = "RsaDecryptPrepared/" + std::to_string(bits);
    Register(prepared + "/xkit", RsaDecryptPreparedXkit, bits);
    Register(prepared + "/openssl", RsaDecryptOpenssl, bits);
  }
  Register("RsaEncrypt/2048/xkit", RsaEncryptXkit, 2048);
  Register("RsaEncrypt/2048/openssl", RsaEncryptOpenssl, 2048);
  using Body = void (*)(benchmark::State&, std::size_t);
  for (const auto& [name, body] :
       {std::pair<const char*, Body>{"RsaKeygen/2048/xkit", RsaKeygenXkit},
        std::pair<const char*, Body>{"RsaKeygen/2048/openssl", RsaKeygenOpenssl}}) {
    benchmark::RegisterBenchmark(name, body, std::size_t{2048})
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(21);
  }
  Register("BigIsProbablePrime/1024/xkit", IsProbablePrimeXkit, 1024);
  Register("BigIsProbablePrime/1024/gmp", IsProbablePrimeGmp, 1024);
  return true;
}();

}  // namespace
