// MD5: RFC 1321's suite, OpenSSL as the oracle at every length and under random update splits,
// and the accumulator's own behaviour (incremental updates, copies, the 64-bit bit count).
// The low-level MD5 context lets the bit-count test start from a count near the wrap.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/md5.h>

#include <cctype>
#include <limits>

#include "crypto/digests.h"
#include "tests/crypto/digest_test_util.h"

namespace xkit::test {
namespace {

std::string OpenSslMd5(const std::string& message) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EXPECT_EQ(EVP_Digest(message.data(), message.size(), digest, &size, EVP_md5(), nullptr), 1);
  return Hex(digest, size);
}

std::string Md5Hex(const std::string& message) {
  TMd5Digest digest;
  Md5OfString(digest, message);
  return Hex(digest.data(), digest.size());
}

// The digest of `message` fed to one accumulator in the pieces `sizes` gives (the last piece
// takes what is left).
std::string Md5HexInPieces(const std::string& message, const std::vector<std::size_t>& sizes) {
  TMd5Accumulator acc;
  Md5Init(acc);
  std::size_t offset = 0;
  for (std::size_t size : sizes) {
    Md5Update(acc, message.data() + offset, static_cast<std::int32_t>(size));
    offset += size;
  }
  Md5Update(acc, message.data() + offset, static_cast<std::int32_t>(message.size() - offset));
  TMd5Digest digest;
  Md5Final(acc, digest);
  return Hex(digest.data(), digest.size());
}

TEST(Md5, Rfc1321Suite) {
  const std::vector<std::string> lines = DataLines("md5_rfc1321.txt");
  ASSERT_EQ(lines.size(), 7u);
  for (const std::string& line : lines) {
    const std::size_t open = line.find("(\""), close = line.rfind("\") = ");
    ASSERT_TRUE(open != std::string::npos && close != std::string::npos) << line;
    const std::string message = line.substr(open + 2, close - open - 2);
    std::string expected = line.substr(close + 5);
    for (char& c : expected)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(Md5Hex(message), expected) << line;
  }
}

// Every length up to 1,000 passes each padding boundary (55, 56, 63, 64, 119, 120, ...).
TEST(Md5, MatchesOpenSslAtEveryLength) {
  std::mt19937 rng(1);
  const std::string message = RandomBytes(rng, 1000);
  for (std::size_t length = 0; length <= message.size(); ++length) {
    const std::string prefix = message.substr(0, length);
    ASSERT_EQ(Md5Hex(prefix), OpenSslMd5(prefix)) << "length " << length;
  }
}

TEST(Md5, RandomUpdateSplitsMatchOpenSsl) {
  std::mt19937 rng(2);
  std::uniform_int_distribution<std::size_t> length(0, 1000), piece(0, 150);
  for (int trial = 0; trial < 300; ++trial) {
    const std::string message = RandomBytes(rng, length(rng));
    std::vector<std::size_t> sizes;
    for (std::size_t used = 0;;) {
      const std::size_t size = piece(rng);
      if (used + size > message.size()) break;
      sizes.push_back(size);
      used += size;
    }
    ASSERT_EQ(Md5HexInPieces(message, sizes), OpenSslMd5(message)) << "trial " << trial;
  }
}

TEST(Md5, IncrementalEqualsOneShot) {
  std::mt19937 rng(3);
  const std::string message = RandomBytes(rng, 200);
  const std::string expected = Md5Hex(message);
  for (std::size_t split = 0; split <= message.size(); ++split)
    EXPECT_EQ(Md5HexInPieces(message, {split}), expected) << "split at " << split;
  EXPECT_EQ(Md5HexInPieces(message, std::vector<std::size_t>(message.size(), 1)), expected);
}

// The accumulator is a plain record: a copy taken part-way finishes like the original.
TEST(Md5, CopiedAccumulatorFinishesLikeTheOriginal) {
  std::mt19937 rng(4);
  const std::string message = RandomBytes(rng, 200);
  const std::string expected = Md5Hex(message);
  for (std::size_t split = 0; split <= message.size(); split += 7) {
    TMd5Accumulator original;
    Md5Init(original);
    Md5Update(original, message.data(), static_cast<std::int32_t>(split));
    TMd5Accumulator copy = original;
    const auto rest = static_cast<std::int32_t>(message.size() - split);
    TMd5Digest fromCopy, fromOriginal;
    Md5Update(copy, message.data() + split, rest);
    Md5Final(copy, fromCopy);
    Md5Update(original, message.data() + split, rest);
    Md5Final(original, fromOriginal);
    EXPECT_EQ(Hex(fromCopy.data(), 16), expected) << "split at " << split;
    EXPECT_EQ(fromOriginal, fromCopy);
  }
}

TEST(Md5, EmptyAndNegativeLengthsAbsorbNothing) {
  const std::string empty = OpenSslMd5("");
  TMd5Digest digest;
  Md5OfBuffer(digest, nullptr, 0);
  EXPECT_EQ(Hex(digest.data(), 16), empty);
  Md5OfBuffer(digest, "abc", -3);
  EXPECT_EQ(Hex(digest.data(), 16), empty);

  TMd5Accumulator acc;
  Md5Init(acc);
  Md5Update(acc, "abc", 3);
  Md5Update(acc, nullptr, 0);
  Md5Update(acc, "xyz", -1);
  Md5Update(acc, "xyz", std::numeric_limits<std::int32_t>::min());
  Md5Final(acc, digest);
  EXPECT_EQ(Hex(digest.data(), 16), OpenSslMd5("abc"));
}

TEST(Md5, StringBytesIncludeZeros) {
  const std::string message("a\0b\0", 4);
  TMd5Digest fromString, fromBuffer;
  Md5OfString(fromString, message);
  Md5OfBuffer(fromBuffer, message.data(), 4);
  EXPECT_EQ(fromString, fromBuffer);
  EXPECT_EQ(Hex(fromString.data(), 16), OpenSslMd5(message));
}

// The bit count is 64 bits wide: a low word that wraps carries into the high word, which enters
// the final block. OpenSSL's low-level context, started from the same count, is the oracle.
TEST(Md5, BitCountCarriesIntoTheHighWord) {
  constexpr std::uint32_t kStartBits = 0xFFFFFE00;  // a whole number of blocks: nothing pending
  const std::string message = std::string(64, 'x') + "abc";

  TMd5Accumulator acc;
  Md5Init(acc);
  acc.BitCount[0] = kStartBits;
  Md5Update(acc, message.data(), 64);
  EXPECT_EQ(acc.BitCount[0], 0u);
  EXPECT_EQ(acc.BitCount[1], 1u);
  Md5Update(acc, message.data() + 64, 3);
  TMd5Digest digest;
  Md5Final(acc, digest);

  MD5_CTX context;
  MD5_Init(&context);
  context.Nl = kStartBits;
  MD5_Update(&context, message.data(), message.size());
  unsigned char expected[MD5_DIGEST_LENGTH];
  MD5_Final(expected, &context);
  EXPECT_EQ(Hex(digest.data(), 16), Hex(expected, sizeof expected));
}

}  // namespace
}  // namespace xkit::test
