// Checks of the cipher unit: AES key set-up and single blocks, and AES over streams, with the
// key and the data secret, both directions and every key length; the pi digest of a secret
// pass phrase; the mix cipher under a secret key. Sizes are public.
#include <cstdint>
#include <sstream>
#include <string>

#include "crypto/aes.h"
#include "crypto/digests.h"
#include "crypto/streams.h"
#include "tests/ct/checks.h"

namespace xkit::ct {

namespace {

std::string Bytes(std::size_t count, unsigned seed) {
  std::string bytes(count, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (char& c : bytes) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<char>(x >> 24);
  }
  return bytes;
}

// Key sizes of 4 to 8 words (10 to 14 rounds, and the odd Nk 5 and 7 of xkit's key handling).
constexpr std::int32_t kKeySizes[] = {16, 20, 24, 28, 32};

void AesBlocks() {
  for (const bool encrypt : {true, false}) {
    for (const std::int32_t size : kKeySizes) {
      const std::string key = Bytes(static_cast<std::size_t>(size), static_cast<unsigned>(size));
      const std::string plain = Bytes(16, 99);
      TAesKey aesKey;
      AesInitKey(key.data(), size, aesKey, encrypt);
      std::string expected = plain;
      AesBlock(aesKey, expected.data());

      Secret(key);
      AesInitKey(key.data(), size, aesKey, encrypt);
      std::string block = plain;
      Secret(block);
      AesBlock(aesKey, block.data());
      Public(block);
      Expect(block == expected, "AesBlock, key size " + std::to_string(size));
    }
  }
}

std::string CryptStream(const std::string& input, const std::string& key, bool encrypt) {
  std::istringstream in(input);
  std::ostringstream out;
  AesCryptStream(in, out, key.data(), static_cast<std::int32_t>(key.size()), encrypt);
  return out.str();
}

void AesStreams() {
  for (const std::int32_t size : kKeySizes) {
    const std::string key = Bytes(static_cast<std::size_t>(size), static_cast<unsigned>(size));
    const std::string plain = Bytes(100, 7);  // six whole blocks and a tail of four bytes
    const std::string cipher = CryptStream(plain, key, true);

    Secret(key);
    Secret(plain);
    std::string enciphered = CryptStream(plain, key, true);
    Public(enciphered);
    Expect(enciphered == cipher, "AesCryptStream enciphering, key size " + std::to_string(size));
    Secret(cipher);
    std::string deciphered = CryptStream(cipher, key, false);
    Public(deciphered);
    Expect(deciphered == Bytes(100, 7),
           "AesCryptStream deciphering, key size " + std::to_string(size));
  }
}

void PiDigest() {
  const std::string passPhrase = Bytes(45, 3);
  std::uint8_t expected[32], digest[32];
  PiDigestOfString(expected, sizeof expected, passPhrase);
  Secret(passPhrase);
  PiDigestOfString(digest, sizeof digest, passPhrase);
  Public(digest, sizeof digest);
  Expect(std::string(digest, digest + 32) == std::string(expected, expected + 32), "pi digest");
}

void MixCipher() {
  for (const bool encrypt : {true, false}) {
    const std::string key = Bytes(16, 5);
    const std::string plain = Bytes(16, 6);
    TMixCipherKey schedule;
    MixCipherInitKey(key.data(), schedule, 8, encrypt);
    std::string expected = plain;
    MixCipherBlock(schedule, expected.data());

    Secret(key);
    MixCipherInitKey(key.data(), schedule, 8, encrypt);
    std::string block = plain;
    Secret(block);
    MixCipherBlock(schedule, block.data());
    Public(block);
    Expect(block == expected, encrypt ? "mix cipher enciphering" : "mix cipher deciphering");
  }
}

}  // namespace

std::vector<Check> CipherChecks() {
  return {{"AesInitKey + AesBlock", AesBlocks}, {"AesCryptStream", AesStreams}};
}

std::vector<Check> DigestChecks() {
  return {{"pi digest", PiDigest}, {"mix cipher", MixCipher}};
}

}  // namespace xkit::ct
