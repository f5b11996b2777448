// AES on single blocks: FIPS-197's vectors, OpenSSL on random keys and blocks, xkit's key
// table (sizes 0 to 1,044 bytes) against an independent key expansion, the portable path's
// S-box circuits on every byte and its bytes against the instruction paths, and XorBytes.
#include "crypto/aes.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <array>
#include <cstring>
#include <memory>

#include "crypto/aes_bitsliced.h"
#include "crypto/aes_engine.h"
#include "tests/crypto/cipher_test_util.h"

namespace xkit::test {
namespace {

std::string Crypt(const std::string& key, std::int32_t keySize, const std::string& block,
                  bool encrypt) {
  TAesKey aesKey;
  AesInitKey(key.data(), keySize, aesKey, encrypt);
  std::string out = block;
  AesBlock(aesKey, out.data());
  return out;
}

std::string Crypt(const std::string& key, const std::string& block, bool encrypt) {
  return Crypt(key, static_cast<std::int32_t>(key.size()), block, encrypt);
}

// ---- An independent key expansion, byte-wise, for the fixture ----

// The S-box from log and antilog tables of the generator 3, then the affine map.
std::array<std::uint8_t, 256> ReferenceSbox() {
  std::array<std::uint8_t, 256> exp{}, log{}, sbox{};
  std::uint8_t x = 1;
  for (int i = 0; i < 255; ++i) {
    exp[i] = x;
    log[x] = static_cast<std::uint8_t>(i);
    x = static_cast<std::uint8_t>(x ^ (x << 1) ^ ((x & 0x80) != 0 ? 0x1B : 0));  // x * 3
  }
  for (int v = 0; v < 256; ++v) {
    const std::uint8_t inverse = v == 0 ? 0 : exp[(255 - log[v]) % 255];
    std::uint8_t s = 0x63;
    for (int bit = 0; bit < 8; ++bit) {
      int parity = 0;
      for (int k : {0, 4, 5, 6, 7})
        parity ^= (inverse >> ((bit + k) % 8)) & 1;
      s = static_cast<std::uint8_t>(s ^ (parity << bit));
    }
    sbox[v] = s;
  }
  return sbox;
}

// The expanded key bytes for Nk words of key (already cut and zero-extended to 4 * Nk
// bytes); `extraSubWordAt5` chooses whether Nk = 5 takes the substitution at i mod 5 = 4.
std::string ReferenceExpansion(const std::string& key, int nk, bool extraSubWordAt5) {
  static const std::array<std::uint8_t, 256> sbox = ReferenceSbox();
  const int words = 4 * (nk + 7);
  std::vector<std::array<std::uint8_t, 4>> w(words);
  for (int i = 0; i < nk; ++i)
    for (int j = 0; j < 4; ++j)
      w[i][j] = static_cast<std::uint8_t>(key[4 * i + j]);
  std::uint8_t rcon = 1;
  for (int i = nk; i < words; ++i) {
    std::array<std::uint8_t, 4> t = w[i - 1];
    if (i % nk == 0) {
      t = {static_cast<std::uint8_t>(sbox[t[1]] ^ rcon), sbox[t[2]], sbox[t[3]], sbox[t[0]]};
      rcon = static_cast<std::uint8_t>((rcon << 1) ^ ((rcon & 0x80) != 0 ? 0x1B : 0));
    } else if ((nk > 6 || (nk == 5 && extraSubWordAt5)) && i % nk == 4) {
      for (std::uint8_t& b : t)
        b = sbox[b];
    }
    for (int j = 0; j < 4; ++j)
      w[i][j] = w[i - nk][j] ^ t[j];
  }
  std::string bytes;
  for (const auto& word : w)
    bytes.append(reinterpret_cast<const char*>(word.data()), 4);
  return bytes;
}

std::string RoundKeyBytes(const TAesKey& key) {
  return std::string(reinterpret_cast<const char*>(key.RoundKeys), sizeof key.RoundKeys);
}

// ---- Known answers, on both paths ----

using AesBlockTest = EveryAesPath;

TEST_P(AesBlockTest, Fips197AppendixCBothWays) {
  const auto rows = ReadVectors("aes_fips197.txt");
  ASSERT_EQ(rows.size(), 3u);
  for (const auto& row : rows) {
    const std::string key = FromHex(row[0]), plain = FromHex(row[1]), cipher = FromHex(row[2]);
    EXPECT_EQ(ToHex(Crypt(key, plain, true)), ToHex(cipher)) << row[0];
    EXPECT_EQ(ToHex(Crypt(key, cipher, false)), ToHex(plain)) << row[0];
  }
}

TEST_P(AesBlockTest, OwnKeySizesKnownAnswersBothWays) {
  const auto rows = ReadVectors("aes_key_sizes.txt");
  ASSERT_EQ(rows.size(), 6u);
  for (const auto& row : rows) {
    const auto size = static_cast<std::int32_t>(std::stol(row[0]));
    const std::string key = row[1] == "-" ? "" : FromHex(row[1]);
    ASSERT_EQ(key.size(), static_cast<std::size_t>(size));
    const std::string plain = FromHex(row[2]), cipher = FromHex(row[3]);
    EXPECT_EQ(ToHex(Crypt(key, size, plain, true)), ToHex(cipher)) << size;
    EXPECT_EQ(ToHex(Crypt(key, size, cipher, false)), ToHex(plain)) << size;
  }
}

TEST_P(AesBlockTest, MatchesOpenSslOnRandomKeysAndBlocks) {
  std::mt19937 random(2024);
  const std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                            EVP_CIPHER_CTX_free);
  for (const auto& [size, cipher] :
       {std::pair{16, EVP_aes_128_ecb()}, std::pair{24, EVP_aes_192_ecb()},
        std::pair{32, EVP_aes_256_ecb()}}) {
    for (int trial = 0; trial < 200; ++trial) {
      const std::string key = RandomBytes(random, static_cast<std::size_t>(size));
      const std::string block = RandomBytes(random, 16);
      for (const bool encrypt : {true, false}) {
        const auto* k = reinterpret_cast<const unsigned char*>(key.data());
        ASSERT_EQ(EVP_CipherInit_ex(ctx.get(), cipher, nullptr, k, nullptr, encrypt ? 1 : 0), 1);
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
        std::string expected(16, '\0');
        int written = 0;
        ASSERT_EQ(
            EVP_CipherUpdate(ctx.get(), reinterpret_cast<unsigned char*>(expected.data()), &written,
                             reinterpret_cast<const unsigned char*>(block.data()), 16),
            1);
        ASSERT_EQ(written, 16);
        EXPECT_EQ(ToHex(Crypt(key, block, encrypt)), ToHex(expected))
            << "key " << ToHex(key) << (encrypt ? " encrypt" : " decrypt");
      }
    }
  }
}

// The cipher over many blocks (groups in flight on the instructions, then the rest) agrees with
// AesBlock, and deciphering restores the plaintext, for every round count.
TEST_P(AesBlockTest, BlockCipherOverManyBlocksMatchesAesBlock) {
  std::mt19937 random(7);
  for (const std::int32_t size : {16, 20, 24, 28, 32}) {
    const std::string key = RandomBytes(random, static_cast<std::size_t>(size));
    for (std::size_t count = 0; count <= 40; ++count) {
      const std::string plain = RandomBytes(random, 16 * count);
      std::string expected;
      for (std::size_t i = 0; i < count; ++i)
        expected += Crypt(key, plain.substr(16 * i, 16), true);
      std::string data = plain;
      detail::AesBlockCipher(key.data(), size, true)
          .Process(reinterpret_cast<std::uint8_t*>(data.data()), count);
      EXPECT_EQ(data, expected) << size << " " << count;
      detail::AesBlockCipher(key.data(), size, false)
          .Process(reinterpret_cast<std::uint8_t*>(data.data()), count);
      EXPECT_EQ(data, plain) << size << " " << count;
    }
  }
}

// A record made by hand with a round count outside 10..14 stays inside its 60 words: more
// than 14 acts as 14, fewer than 1 as 1, on both paths alike.
TEST_P(AesBlockTest, HandMadeRoundCountsStayInsideTheRecord) {
  const std::string key(32, '\x5A');
  const std::string block = "sixteen byte blk";
  for (const auto& [rounds, actsAs] : {std::pair{99, 14}, std::pair{-7, 1}, std::pair{0, 1}}) {
    for (const bool encrypt : {true, false}) {
      TAesKey odd, reference;
      AesInitKey(key.data(), 32, odd, encrypt);
      AesInitKey(key.data(), 32, reference, encrypt);
      odd.Rounds = rounds;
      reference.Rounds = actsAs;
      std::string a = block, b = block;
      AesBlock(odd, a.data());
      AesBlock(reference, b.data());
      EXPECT_EQ(a, b) << rounds;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, AesBlockTest, kEveryAesPath, PathName);

// ---- The portable path ----

// The circuits on 32-bit planes, one byte value per lane: all 256 at once in eight passes.
TEST(AesSboxCircuit, MatchesTheSboxAndItsInverseOnEveryByte) {
  const std::array<std::uint8_t, 256> sbox = ReferenceSbox();
  std::array<std::uint8_t, 256> inverse{};
  for (int x = 0; x < 256; ++x)
    inverse[sbox[x]] = static_cast<std::uint8_t>(x);
  for (int first = 0; first < 256; first += 32) {
    std::uint32_t forward[8] = {}, backward[8] = {};
    for (int lane = 0; lane < 32; ++lane) {
      for (int b = 0; b < 8; ++b) {
        forward[b] |= static_cast<std::uint32_t>(((first + lane) >> b) & 1) << lane;
        backward[b] |= static_cast<std::uint32_t>(((first + lane) ^ 0x63) >> b & 1) << lane;
      }
    }
    detail::SboxPlanesXor63(forward);
    detail::InvSboxPlanesOfXor63(backward);
    for (int lane = 0; lane < 32; ++lane) {
      const int x = first + lane;
      int s = 0, t = 0;
      for (int b = 0; b < 8; ++b) {
        s |= static_cast<int>((forward[b] >> lane) & 1) << b;
        t |= static_cast<int>((backward[b] >> lane) & 1) << b;
      }
      EXPECT_EQ(s ^ 0x63, sbox[x]) << x;
      EXPECT_EQ(t, inverse[x]) << x;
    }
  }
  for (const std::uint32_t word : {0x00000000u, 0x01234567u, 0xFFFEFDFCu})
    EXPECT_EQ(detail::SubWordConstantTime(word),
              std::uint32_t{sbox[word & 0xFF]} | std::uint32_t{sbox[(word >> 8) & 0xFF]} << 8 |
                  std::uint32_t{sbox[(word >> 16) & 0xFF]} << 16 |
                  std::uint32_t{sbox[word >> 24]} << 24);
}

// Hand-made records with every round count from 1 to 14 and random round keys in all 60 words,
// both directions: each instruction path gives the portable path's bytes, one block at a time
// and (for the records AesInitKey builds) many at once.
TEST(AesPaths, GiveThePortableBytesForEveryRoundCount) {
  std::mt19937 random(16);
  for (const detail::AesPath path : {detail::AesPath::kAesNi, detail::AesPath::kVaes}) {
    if (!detail::AesPathSupported(path)) continue;
    for (std::int32_t rounds = 1; rounds <= 14; ++rounds) {
      for (const bool encrypt : {true, false}) {
        TAesKey aesKey{};
        aesKey.Encrypt = encrypt;
        aesKey.Rounds = rounds;
        const std::string words = RandomBytes(random, sizeof aesKey.RoundKeys);
        std::memcpy(aesKey.RoundKeys, words.data(), words.size());
        const std::string block = RandomBytes(random, 16);
        std::string portable = block, instructions = block;
        detail::SetAesPath(detail::AesPath::kPortable);
        AesBlock(aesKey, portable.data());
        detail::SetAesPath(path);
        AesBlock(aesKey, instructions.data());
        EXPECT_EQ(ToHex(instructions), ToHex(portable))
            << AesPathName(path) << " rounds " << rounds << (encrypt ? " encrypt" : " decrypt");
      }
    }
    for (const std::int32_t size : {16, 20, 24, 28, 32}) {
      const std::string key = RandomBytes(random, static_cast<std::size_t>(size));
      for (const bool encrypt : {true, false}) {
        const std::string plain = RandomBytes(random, 16 * 37);
        std::string portable = plain, instructions = plain;
        detail::SetAesPath(detail::AesPath::kPortable);
        detail::AesBlockCipher(key.data(), size, encrypt)
            .Process(reinterpret_cast<std::uint8_t*>(portable.data()), 37);
        detail::SetAesPath(path);
        detail::AesBlockCipher(key.data(), size, encrypt)
            .Process(reinterpret_cast<std::uint8_t*>(instructions.data()), 37);
        EXPECT_EQ(instructions, portable) << AesPathName(path) << " key size " << size;
      }
    }
  }
  detail::SetAesPath(detail::AesPath::kVaes);
}

// ---- The key table ----

// The substitutions of the expansion take the AES instructions where the path has them.
using AesInitKeyTest = EveryAesPath;

TEST_P(AesInitKeyTest, RoundKeysMatchAnIndependentExpansion) {
  std::mt19937 random(11);
  for (const int size : {16, 20, 24, 28, 32}) {
    const std::string key = RandomBytes(random, static_cast<std::size_t>(size));
    TAesKey aesKey;
    AesInitKey(key.data(), size, aesKey, true);
    const int nk = size / 4;
    EXPECT_EQ(aesKey.Rounds, nk + 6);
    std::string expected = ReferenceExpansion(key, nk, true);
    expected.resize(sizeof aesKey.RoundKeys, '\0');  // words past the last in use are zero
    EXPECT_EQ(ToHex(RoundKeyBytes(aesKey)), ToHex(expected)) << size;
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, AesInitKeyTest, kEveryAesPath, PathName);

TEST(AesInitKey, TwentyByteKeysTakeTheExtraSubstitution) {
  const std::string key = FromHex("01080f161d242b323940474e555c636a71787f86");
  TAesKey aesKey;
  AesInitKey(key.data(), 20, aesKey, true);
  EXPECT_EQ(aesKey.Rounds, 11);
  const std::string rijndael = ReferenceExpansion(key, 5, false);
  EXPECT_NE(RoundKeyBytes(aesKey).substr(0, rijndael.size()), rijndael);
  // The schedules agree up to w[9], the first word the substitution touches.
  EXPECT_EQ(RoundKeyBytes(aesKey).substr(0, 36), rijndael.substr(0, 36));
}

TEST(AesInitKey, KeySizesActAsTheirEquivalentKeys) {
  std::mt19937 random(3);
  const std::string longKey = RandomBytes(random, 1100);
  struct Case {
    std::int32_t size;
    std::size_t bytesInEffect;  // of longKey, zero-extended to 16 when fewer
    std::int32_t standardSize;
  };
  const Case cases[] = {
      {0, 0, 16},     {10, 10, 16},   {15, 15, 16},   {17, 16, 16},   {19, 16, 16},
      {23, 20, 20},   {27, 24, 24},   {31, 28, 28},   {40, 32, 32},   {1023, 32, 32},
      {1024, 16, 16}, {1043, 16, 16}, {1044, 20, 20}, {1052, 28, 28}, {1080, 32, 32},
      {-1, 0, 16},    {-1044, 0, 16},
  };
  for (const Case& c : cases) {
    std::string equivalent = longKey.substr(0, c.bytesInEffect);
    equivalent.resize(static_cast<std::size_t>(c.standardSize), '\0');
    TAesKey actual, expected;
    AesInitKey(longKey.data(), c.size, actual, false);
    AesInitKey(equivalent.data(), c.standardSize, expected, false);
    EXPECT_EQ(actual.Rounds, expected.Rounds) << c.size;
    EXPECT_EQ(ToHex(RoundKeyBytes(actual)), ToHex(RoundKeyBytes(expected))) << c.size;
  }
}

TEST(AesInitKey, ScheduleDoesNotDependOnDirection) {
  const std::string key = "a key of 28 bytes, say, here";
  TAesKey forward, inverse;
  AesInitKey(key.data(), 28, forward, true);
  AesInitKey(key.data(), 28, inverse, false);
  EXPECT_TRUE(forward.Encrypt);
  EXPECT_FALSE(inverse.Encrypt);
  EXPECT_EQ(forward.Rounds, 13);
  EXPECT_EQ(RoundKeyBytes(forward), RoundKeyBytes(inverse));
}

// ---- XorBytes ----

TEST(XorBytes, TouchesExactlyCountBytes) {
  for (const std::uint32_t count : {0u, 3u, 4u, 7u}) {
    std::string destination(12, '\x0F');
    const std::string source(12, '\xF3');
    XorBytes(destination.data(), source.data(), count);
    for (std::size_t i = 0; i < destination.size(); ++i)
      EXPECT_EQ(destination[i], i < count ? '\xFC' : '\x0F') << count << " " << i;
  }
}

}  // namespace
}  // namespace xkit::test
