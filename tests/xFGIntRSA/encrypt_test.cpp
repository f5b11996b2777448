// RsaEncrypt: its bytes against a literal model of the layout (bit strings and GMP), and
// round trips through RsaDecrypt on both paths and through the prepared key, over a table of
// payload shapes and modulus sizes (odd ones too), on every kernel path.
#include <gmpxx.h>
#include <gtest/gtest.h>

#include "tests/xFGInt/support.h"
#include "tests/xFGIntRSA/rsa_keys.h"

namespace xkit::test {
namespace {

// The layout as the definition reads, on character bit strings.
std::string Model(const std::string& payload, const GmpKey& key) {
  const std::size_t width = mpz_sizeinbase(key.n.get_mpz_t(), 2);
  std::string bits = "111";
  for (const char c : payload) {
    for (int i = 7; i >= 0; --i)
      bits.push_back(((static_cast<unsigned char>(c) >> i) & 1) ? '1' : '0');
  }
  bits = std::string((width - 1 - bits.size() % (width - 1)) % (width - 1), '0') + bits;
  std::string out;
  for (std::size_t at = 0; at < bits.size(); at += width - 1) {
    const mpz_class block(bits.substr(at, width - 1), 2);
    mpz_class cipher;
    mpz_powm(cipher.get_mpz_t(), block.get_mpz_t(), key.e.get_mpz_t(), key.n.get_mpz_t());
    const std::string c = cipher.get_str(2);  // "0" for zero
    out += std::string(width - c.size(), '0') + c;
  }
  out = std::string((8 - out.size() % 8) % 8, '0') + out;
  std::string bytes;
  for (std::size_t at = 0; at < out.size(); at += 8)
    bytes.push_back(static_cast<char>(std::stoi(out.substr(at, 8), nullptr, 2)));
  return bytes;
}

std::string Encrypt(const std::string& payload, const GmpKey& key) {
  std::string cipher = "left over";
  RsaEncrypt(payload, Record(key.e), Record(key.n), cipher);
  return cipher;
}

// Payloads of every shape that matters for a modulus of `width` bits: empty, zero bytes in
// front, one byte, lengths around a block's capacity (3 + 8 k bits against L - 1), many
// blocks, and random bytes.
std::vector<std::string> Payloads(std::size_t width, RandomValues& random) {
  std::vector<std::string> payloads = {
      "", std::string(1, '\0'), std::string(3, '\0') + "\x01", "\xFF", "A", std::string(5, '\xFF')};
  const std::size_t capacity = (width - 1 - 3) / 8;  // whole bytes in one block after "111"
  for (const std::size_t size : {capacity, capacity + 1, 2 * capacity + 1, 5 * capacity + 3}) {
    std::string payload(size, '\0');
    for (char& c : payload)
      c = static_cast<char>(random.Below(256));
    if (size > 2) payload[0] = payload[1] = '\0';
    payloads.push_back(payload);
  }
  return payloads;
}

class RsaRoundTrip : public EachKernelPath {};

TEST_P(RsaRoundTrip, EveryPayloadComesBackOnEveryPath) {
  gmp_randclass gmp(gmp_randinit_mt);
  gmp.seed(14);
  RandomValues random(14);
  for (const std::size_t bits : {12u, 13u, 64u, 65u, 127u, 512u, 1031u, 2048u}) {
    const GmpKey key = MakeKey(bits, gmp);
    const TRsaKey records = RecordsOf(key);
    TRsaKey direct;
    direct.Modulus = records.Modulus;
    direct.PrivateExponent = records.PrivateExponent;
    TRsaPreparedKey crtPrepared, directPrepared;
    RsaPrepareKey(records, crtPrepared);
    RsaPrepareKey(direct, directPrepared);
    for (const std::string& payload : Payloads(bits, random)) {
      const std::string cipher = Encrypt(payload, key);
      ASSERT_EQ(cipher, Model(payload, key)) << bits << " bits, " << payload.size() << " bytes";
      std::string viaDirect, viaCrt, viaPrepared, viaPreparedDirect;
      RsaDecrypt(cipher, records.PrivateExponent, records.Modulus, TFGInt{}, TFGInt{}, TFGInt{},
                 TFGInt{}, viaDirect);
      RsaDecrypt(cipher, TFGInt{}, records.Modulus, records.ExponentModP, records.ExponentModQ,
                 records.P, records.Q, viaCrt);
      RsaDecryptPrepared(cipher, crtPrepared, viaPrepared);
      RsaDecryptPrepared(cipher, directPrepared, viaPreparedDirect);
      EXPECT_EQ(viaDirect, payload) << bits << " bits, " << payload.size() << " bytes";
      EXPECT_EQ(viaCrt, payload) << bits << " bits, " << payload.size() << " bytes";
      EXPECT_EQ(viaPrepared, payload) << bits << " bits, " << payload.size() << " bytes";
      EXPECT_EQ(viaPreparedDirect, payload) << bits << " bits, " << payload.size() << " bytes";
    }
  }
}

XKIT_INSTANTIATE_KERNEL_PATHS(RsaRoundTrip);

TEST(RsaEncrypt, TheTextbookKeyAndTheResultAsTheText) {
  // n = 61 * 53, e = 17: "A" is the block 111 01000001 = 1857 (11 bits = L - 1), whose
  // cipher 1857^17 mod 3233 = 3 takes L = 12 bits: 0000 00000011.
  const GmpKey key{3233, 17, 2753, 61, 53, 53, 49, 38};
  EXPECT_EQ(Encrypt("A", key), std::string("\x00\x03", 2));
  std::string text = "in place";
  RsaEncrypt(text, Record(key.e), Record(key.n), text);
  std::string back;
  RsaDecrypt(text, Record(key.d), Record(key.n), TFGInt{}, TFGInt{}, TFGInt{}, TFGInt{}, back);
  EXPECT_EQ(back, "in place");
}

TEST(RsaEncrypt, ModuliOutsideTheDomainRaiseAndLeaveTheResult) {
  for (const char* modulus : {"0", "1", "2", "64", "3234"}) {
    std::string result = "untouched";
    EXPECT_THROW(RsaEncrypt("x", Record("17"), Record(modulus), result), Exception) << modulus;
    EXPECT_EQ(result, "untouched");
  }
  std::string result;
  EXPECT_THROW(RsaEncrypt("x", TFGInt{}, Record("3233"), result), Exception);
  // n = 3 (L = 2): blocks of one bit still round-trip.
  RsaEncrypt("\x5A", Record("1"), Record("3"), result);
  std::string back;
  RsaDecrypt(result, Record("1"), Record("3"), TFGInt{}, TFGInt{}, TFGInt{}, TFGInt{}, back);
  EXPECT_EQ(back, "\x5A");
}

}  // namespace
}  // namespace xkit::test
