// The RSA block operation: the start-marker cases, zero blocks and zero bytes, empty text,
// a result that is the text's own string, a literal model of the block layout (bit strings
// and GMP) as the oracle on random texts and keys, real keys generated with GMP at 512 to
// 2,048 bits on both paths, and key material outside the domain.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include <functional>

#include "tests/xFGInt/support.h"
#include "xFGIntRSA/xFGIntRSA.h"

namespace xkit::test {
namespace {

// -- A literal model of the operation, on character bit strings ----------------------------

std::string BitsOf(const std::string& bytes) {
  std::string bits;
  for (const char c : bytes) {
    for (int i = 7; i >= 0; --i)
      bits.push_back(((static_cast<unsigned char>(c) >> i) & 1) ? '1' : '0');
  }
  return bits;
}

// base^|e| mod m with a base that is 0 mod m giving 0.
mpz_class PowMod(const mpz_class& base, const mpz_class& e, const mpz_class& m) {
  if (mpz_class(base % m) == 0) return 0;
  mpz_class r;
  mpz_powm(r.get_mpz_t(), base.get_mpz_t(), e.get_mpz_t(), m.get_mpz_t());
  return r;
}

struct Key {
  mpz_class n, e;  // e < 0: the Chinese-remainder path
  mpz_class dp, dq, p, q;
  bool Direct() const { return e >= 0; }
};

std::string Model(const std::string& text, const Key& key) {
  const std::size_t L = mpz_sizeinbase(key.n.get_mpz_t(), 2);
  std::string bits = BitsOf(text);
  bits.erase(0, bits.find_first_not_of('0') == std::string::npos ? bits.size()
                                                                 : bits.find_first_not_of('0'));
  while (bits.size() % L != 0)
    bits.insert(bits.begin(), '0');
  mpz_class cp, cq, inverse;
  if (!key.Direct()) {
    mpz_invert(inverse.get_mpz_t(), key.q.get_mpz_t(), key.p.get_mpz_t());
    cp = key.q * inverse;
    mpz_invert(inverse.get_mpz_t(), key.p.get_mpz_t(), key.q.get_mpz_t());
    cq = key.p * inverse;
  }
  std::string out;
  for (std::size_t at = 0; at < bits.size(); at += L) {
    const mpz_class c(bits.substr(at, L), 2);
    mpz_class m = 0;
    if (c != 0) {
      m = key.Direct()
              ? PowMod(c, key.e, key.n)
              : mpz_class((PowMod(c, key.dp, key.p) * cp + PowMod(c, key.dq, key.q) * cq) % key.n);
    }
    std::string mb = m.get_str(2);
    while (mb.size() % (L - 1) != 0)
      mb.insert(mb.begin(), '0');
    out += mb;
  }
  while (out.compare(0, 3, "111") != 0 && out.size() > 3)
    out.erase(0, 1);
  out.erase(0, 3);
  while (out.size() % 8 != 0)
    out.insert(out.begin(), '0');
  std::string result;
  for (std::size_t at = 0; at < out.size(); at += 8)
    result.push_back(static_cast<char>(std::stoi(out.substr(at, 8), nullptr, 2)));
  return result;
}

// -- Calling the operation -------------------------------------------------------------------

std::string Decrypt(const std::string& text, const Key& key) {
  TFGInt exponent;  // empty: the Chinese-remainder path
  if (key.Direct()) exponent = Record(key.e);
  std::string result = "left over";
  RsaDecrypt(text, exponent, Record(key.n), Record(key.dp), Record(key.dq), Record(key.p),
             Record(key.q), result);
  return result;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (const int v : values)
    s.push_back(static_cast<char>(v));
  return s;
}

Key DirectKey(const mpz_class& n, const mpz_class& e) {
  return {n, e, 0, 0, 0, 0};
}

TEST(Rsa, StartMarkerCases) {
  // Exponent 1 writes every block back at width L - 1. Modulus 63 (L = 6): the byte 15 is
  // one block 001111, written as 01111: the leading 0 goes, 111 is the marker, 1 remains.
  EXPECT_EQ(Decrypt(Bytes({15}), DirectKey(63, 1)), Bytes({1}));
  // Modulus 255 (L = 8): the byte 110 is written as 1101110; the three characters before
  // the first 111 go, then the marker, and 0 remains.
  EXPECT_EQ(Decrypt(Bytes({110}), DirectKey(255, 1)), Bytes({0}));
  // No 111 anywhere, and 111 only at the very end: empty.
  EXPECT_EQ(Decrypt(Bytes({0x2A}), DirectKey(255, 1)), "");  // 0101010
  EXPECT_EQ(Decrypt(Bytes({7}), DirectKey(255, 1)), "");     // 0000111
}

TEST(Rsa, ZeroBlocksAndZeroBytes) {
  const Key key = DirectKey(63, 1);
  // 00000001 11110000 00000001: after the leading zeros, the blocks 011111 000000 000001,
  // written as 11111 00000 00001 (the zero block without exponentiation); after the
  // marker, 110000000001 is the bytes 0x0C 0x01.
  const std::string text = Bytes({0x01, 0xF0, 0x01});
  EXPECT_EQ(Decrypt(text, key), Bytes({0x0C, 0x01}));
  // Two zero blocks in a row, and a block of 48 that takes two widths.
  const std::string longer = Bytes({0x07, 0xC0, 0x00, 0x01});
  EXPECT_EQ(Decrypt(longer, key), Model(longer, key));
  // A leading zero byte changes nothing: its bits vanish and blocks align at the end.
  EXPECT_EQ(Decrypt(Bytes({0}) + text, key), Decrypt(text, key));
  EXPECT_EQ(Decrypt("", key), "");
  EXPECT_EQ(Decrypt(std::string(100, '\0'), key), "");
}

TEST(Rsa, ResultMayBeTheTextString) {
  const Key key = DirectKey(mpz_class("1000000000000000000000000000057"), 65537);
  std::string text = "some bytes \x01\x02\x03 of a text that spans a few blocks";
  const std::string expected = Model(text, key);
  RsaDecrypt(text, Record(key.e), Record(key.n), TFGInt{}, TFGInt{}, TFGInt{}, TFGInt{}, text);
  EXPECT_EQ(text, expected);
}

// Random texts and small keys against the model, on both paths and both kernel paths.
class RsaModel : public EachKernelPath {};

TEST_P(RsaModel, RandomTextsAndKeysMatchTheModel) {
  RandomValues random(21);
  for (int i = 0; i < 150; ++i) {
    // Two distinct primes of 3 to 90 bits and a modulus that is their product.
    mpz_class p, q;
    const std::size_t pBits = 3 + random.Below(88), qBits = 3 + random.Below(88);
    mpz_nextprime(p.get_mpz_t(), mpz_class(random.Bits(pBits) | 2).get_mpz_t());
    do {
      mpz_nextprime(q.get_mpz_t(), mpz_class(random.Bits(qBits) | 2).get_mpz_t());
    } while (q == p);
    const mpz_class n = p * q;
    std::string text(random.Below(60), '\0');
    for (char& c : text)
      c = static_cast<char>(random.Below(4) == 0 ? 0 : random.Below(256));
    const Key direct = DirectKey(n, random.Magnitude(4));
    ASSERT_EQ(Decrypt(text, direct), Model(text, direct)) << n << " ^ " << direct.e;
    const Key crt{n, -1, random.Magnitude(3), random.Magnitude(3), p, q};
    ASSERT_EQ(Decrypt(text, crt), Model(text, crt)) << p << " " << q;
  }
}

XKIT_INSTANTIATE_KERNEL_PATHS(RsaModel);

// -- Real keys -------------------------------------------------------------------------------

struct RealKey {
  mpz_class n, e, d, dp, dq, p, q;
};

RealKey Generate(std::size_t bits, gmp_randclass& random) {
  RealKey key;
  key.e = 65537;
  do {
    for (mpz_class* prime : {&key.p, &key.q}) {
      const mpz_class start = random.get_z_bits(bits / 2) | (mpz_class(3) << (bits / 2 - 2));
      mpz_nextprime(prime->get_mpz_t(), start.get_mpz_t());
    }
    key.n = key.p * key.q;
  } while (key.p == key.q || mpz_sizeinbase(key.n.get_mpz_t(), 2) != bits ||
           gcd(key.e, (key.p - 1) * (key.q - 1)) != 1);
  const mpz_class phi = (key.p - 1) * (key.q - 1);
  mpz_invert(key.d.get_mpz_t(), key.e.get_mpz_t(), phi.get_mpz_t());
  key.dp = key.d % (key.p - 1);
  key.dq = key.d % (key.q - 1);
  return key;
}

// The bytes of a value, big-endian.
std::string BytesOf(const mpz_class& x) {
  std::string s((mpz_sizeinbase(x.get_mpz_t(), 2) + 7) / 8, '\0');
  mpz_export(s.data(), nullptr, 1, 1, 1, 0, x.get_mpz_t());
  return s;
}

TEST(RsaRealKeys, BothPathsRecoverTheMessageFrom512To2048Bits) {
  gmp_randclass random(gmp_randinit_mt);
  random.seed(2024);
  for (const std::size_t bits : {512u, 1024u, 2048u}) {
    const RealKey key = Generate(bits, random);
    // A message behind the start marker, below n: 111, then bytes.
    const std::string payload = "attack at dawn, " + std::to_string(bits) + " bits";
    mpz_class message;
    mpz_import(message.get_mpz_t(), payload.size(), 1, 1, 1, 0, payload.data());
    message |= mpz_class(7) << (8 * payload.size());
    mpz_class cipher;
    mpz_powm(cipher.get_mpz_t(), message.get_mpz_t(), key.e.get_mpz_t(), key.n.get_mpz_t());
    const std::string text = BytesOf(cipher);

    std::string viaCrt, viaDirect;
    RsaDecrypt(text, TFGInt{}, Record(key.n), Record(key.dp), Record(key.dq), Record(key.p),
               Record(key.q), viaCrt);
    RsaDecrypt(text, Record(key.d), Record(key.n), TFGInt{}, TFGInt{}, TFGInt{}, TFGInt{},
               viaDirect);
    EXPECT_EQ(viaCrt, payload) << bits;
    EXPECT_EQ(viaDirect, payload) << bits;
    if (bits == 512) {
      // Three blocks, the first short, with primes given in the other order.
      const std::string longText = text + text + text.substr(5);
      const Key crt{key.n, -1, key.dq, key.dp, key.q, key.p};
      EXPECT_EQ(Decrypt(longText, crt), Model(longText, crt));
      EXPECT_EQ(Decrypt(longText, DirectKey(key.n, key.d)), Decrypt(longText, crt));
    }
  }
}

// -- Key material outside the domain ---------------------------------------------------------

TEST(Rsa, KeysOutsideTheDomainRaiseAndLeaveTheResult) {
  const Key cases[] = {
      DirectKey(64, 3),                                                // even modulus
      DirectKey(1, 3),                                                 // below 3
      DirectKey(2, 3),       DirectKey(0, 3), {77, -1, 1, 1, 14, 11},  // even p
      {77, -1, 1, 1, 7, 0},                                            // q zero
      {77, -1, 1, 1, 1, 77},                                           // p below 3
      {63, -1, 1, 1, 9, 21},                                           // p and q share 3
      {49, -1, 1, 1, 7, 7},                                            // p = q
  };
  for (const Key& key : cases) {
    TFGInt exponent;
    if (key.Direct()) exponent = Record(key.e);
    std::string result = "untouched";
    EXPECT_THROW(RsaDecrypt(Bytes({1, 2, 3}), exponent, Record(key.n), Record(key.dp),
                            Record(key.dq), Record(key.p), Record(key.q), result),
                 Exception)
        << key.n << " " << key.p << " " << key.q;
    EXPECT_EQ(result, "untouched");
  }
  // Empty records where values are read.
  std::string result;
  EXPECT_THROW(
      RsaDecrypt("x", Record("3"), TFGInt{}, TFGInt{}, TFGInt{}, TFGInt{}, TFGInt{}, result),
      Exception);
  EXPECT_THROW(RsaDecrypt("x", TFGInt{}, Record("77"), Record("1"), TFGInt{}, Record("7"),
                          Record("11"), result),
               Exception);
  // Malformed records where values are read: a digit with bit 31 set, a zero top digit. The
  // direct path reads no CRT values, so those may be anything there.
  TFGInt highBit = Record("3"), zeroTop = Record("77");
  highBit.Digits[1] |= 0x80000000u;
  zeroTop.Digits = {2, 77, 0};
  const TFGInt n = Record("77"), e = Record("7"), five = Record("5"), seven = Record("7"),
               eleven = Record("11");
  // Refused by the record check itself, not by a later check of the key.
  const auto refused = [](const std::function<void()>& run) {
    try {
      run();
    } catch (const Exception& e) {
      return std::string(e.what()).rfind("TFGInt: malformed record", 0) == 0;
    }
    return false;
  };
  for (const TFGInt* bad : {&highBit, &zeroTop}) {
    EXPECT_TRUE(refused([&] { RsaDecrypt("x", *bad, n, *bad, *bad, *bad, *bad, result); }));
    EXPECT_TRUE(refused([&] { RsaDecrypt("x", e, *bad, *bad, *bad, *bad, *bad, result); }));
    EXPECT_NO_THROW(RsaDecrypt("x", e, n, *bad, *bad, *bad, *bad, result));
    EXPECT_TRUE(
        refused([&] { RsaDecrypt("x", TFGInt{}, *bad, five, seven, seven, eleven, result); }));
    EXPECT_TRUE(refused([&] { RsaDecrypt("x", TFGInt{}, n, *bad, seven, seven, eleven, result); }));
    EXPECT_TRUE(refused([&] { RsaDecrypt("x", TFGInt{}, n, five, *bad, seven, eleven, result); }));
    EXPECT_TRUE(refused([&] { RsaDecrypt("x", TFGInt{}, n, five, seven, *bad, eleven, result); }));
    EXPECT_TRUE(refused([&] { RsaDecrypt("x", TFGInt{}, n, five, seven, seven, *bad, result); }));
    EXPECT_TRUE(refused([&] { RsaEncrypt("x", *bad, n, result); }));
    EXPECT_TRUE(refused([&] { RsaEncrypt("x", e, *bad, result); }));
    TRsaKey generated;
    EXPECT_TRUE(refused([&] { RsaGenerateKey(1024, *bad, generated); }));
    // n = 77 = 11 * 7, e = 7, d = 43: every field of a prepared key is read.
    TRsaKey valid;
    valid.Modulus = n;
    valid.PublicExponent = e;
    valid.PrivateExponent = Record("43");
    valid.P = eleven;
    valid.Q = seven;
    valid.ExponentModP = Record("3");
    valid.ExponentModQ = Record("1");
    valid.Coefficient = Record("8");  // 7 * 8 = 56 = 1 mod 11
    TRsaPreparedKey prepared;
    ASSERT_NO_THROW(RsaPrepareKey(valid, prepared));
    for (TFGInt TRsaKey::*field :
         {&TRsaKey::Modulus, &TRsaKey::PrivateExponent, &TRsaKey::P, &TRsaKey::Q,
          &TRsaKey::ExponentModP, &TRsaKey::ExponentModQ, &TRsaKey::Coefficient}) {
      TRsaKey broken = valid;
      broken.*field = *bad;
      EXPECT_TRUE(refused([&] { RsaPrepareKey(broken, prepared); }));
    }
  }
  // Signs are ignored: every key value is read by its magnitude.
  const Key key{77, -1, 5, 7, 7, 11};
  std::string negative;
  RsaDecrypt(Bytes({0x5A, 0xC3}), TFGInt{}, Record("-77"), Record("-5"), Record("-7"), Record("-7"),
             Record("-11"), negative);
  EXPECT_EQ(negative, Model(Bytes({0x5A, 0xC3}), key));
}

}  // namespace
}  // namespace xkit::test
