// The pi digest: its initial pool against pi computed with GMP, known answers from a plain model
// of the definition, padding, folding, digest sizes, and incremental use of the accumulator.
#include <gmp.h>
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "crypto/digests.h"
#include "tests/crypto/digest_test_util.h"

namespace xkit::test {
namespace {

constexpr int kPoolSize = 256;

// floor(2^scale * atan(1 / x)), less at most one unit per term of the series.
void ArctanInverse(mpz_t result, unsigned long x, mp_bitcnt_t scale) {
  mpz_t power, term;
  mpz_inits(power, term, nullptr);
  mpz_set_ui(result, 0);
  mpz_set_ui(power, 1);
  mpz_mul_2exp(power, power, scale);
  mpz_tdiv_q_ui(power, power, x);  // 2^scale / x^(2k+1)
  for (unsigned long k = 0; mpz_sgn(power) != 0; ++k) {
    mpz_tdiv_q_ui(term, power, 2 * k + 1);
    (k % 2 == 0 ? mpz_add : mpz_sub)(result, result, term);
    mpz_tdiv_q_ui(power, power, x * x);
  }
  mpz_clears(power, term, nullptr);
}

// The first 2,048 bits of the fractional part of pi, by Stormer's formula
// pi / 4 = 44 atan(1/57) + 7 atan(1/239) - 12 atan(1/682) + 24 atan(1/12943), with 64 guard bits.
std::string PiFractionBytes() {
  constexpr mp_bitcnt_t kBits = 8 * kPoolSize, kGuard = 64;
  mpz_t pi, part;
  mpz_inits(pi, part, nullptr);
  const std::pair<long, unsigned long> terms[] = {{44, 57}, {7, 239}, {-12, 682}, {24, 12943}};
  for (const auto& [factor, x] : terms) {
    ArctanInverse(part, x, kBits + kGuard + 2);  // + 2: pi = 4 * (pi / 4)
    mpz_mul_si(part, part, factor);
    mpz_add(pi, pi, part);
  }
  mpz_tdiv_q_2exp(pi, pi, kGuard);
  mpz_tdiv_r_2exp(pi, pi, kBits);
  std::string bytes(kPoolSize, '\0');
  std::size_t count = 0;
  mpz_export(bytes.data(), &count, 1, 1, 1, 0, pi);
  bytes.insert(0, kPoolSize - count, '\0');  // leading zero bytes, had there been any
  bytes.resize(kPoolSize);
  mpz_clears(pi, part, nullptr);
  return bytes;
}

std::string PiDigestHex(const std::string& message, std::int32_t size) {
  std::string digest(static_cast<std::size_t>(std::max(size, 0)), '\0');
  PiDigestOfString(digest.data(), size, message);
  return Hex(digest.data(), digest.size());
}

// "text:T" is the bytes of T; "seq:N" is N bytes, byte i = (i * 13 + 5) mod 256.
std::string VectorInput(const std::string& recipe) {
  if (recipe.starts_with("text:")) return recipe.substr(5);
  std::string bytes(std::stoul(recipe.substr(4)), '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>((i * 13 + 5) % 256);
  return bytes;
}

TEST(PiDigest, InitialPoolIsTheFractionOfPi) {
  TPiDigestAccumulator acc;
  PiDigestInit(acc);
  const std::string pool(reinterpret_cast<const char*>(acc.Pool), kPoolSize);
  EXPECT_EQ(Hex(pool.data(), 8), "243F6A8885A308D3");
  EXPECT_EQ(Hex(pool.data() + kPoolSize - 6, 6), "86AF7C72E993");
  EXPECT_EQ(Hex(pool.data(), kPoolSize), Hex(PiFractionBytes().data(), kPoolSize));
  EXPECT_EQ(acc.PoolPos, 0);
  EXPECT_EQ(acc.MixPos, 0);
  EXPECT_EQ(Hex(acc.MixState, 16), std::string(32, '5'));
}

TEST(PiDigest, KnownAnswers) {
  const std::vector<std::string> lines = DataLines("pi_digest_vectors.txt");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "text:abc|16|2AA17BAA76A4C4CD4B73A5F934B4CC1A");
  for (const std::string& line : lines) {
    const std::size_t bar1 = line.find('|'), bar2 = line.rfind('|');
    ASSERT_NE(bar1, bar2) << line;
    const std::string input = VectorInput(line.substr(0, bar1));
    const int size = std::stoi(line.substr(bar1 + 1, bar2 - bar1 - 1));
    EXPECT_EQ(PiDigestHex(input, size), line.substr(bar2 + 1)) << line;
  }
}

// The pad always completes a group of eight: eight bytes after a whole number of groups, a single
// 0x01 after 8k + 7 bytes. The finish leaves it absorbed in the caller's accumulator, exactly as
// if the caller had absorbed it.
TEST(PiDigest, PadCompletesTheLastGroup) {
  const std::string pad("\x01\0\0\0\0\0\0\0", 8);
  std::mt19937 rng(5);
  for (std::size_t length : {0, 1, 7, 8, 15, 16, 255, 256, 263}) {
    const std::string message = RandomBytes(rng, length);
    TPiDigestAccumulator finished, padded;
    PiDigestInit(finished);
    PiDigestUpdate(finished, message.data(), static_cast<std::int32_t>(length));
    unsigned char digest[16];
    PiDigestFinal(finished, digest, 16);

    const std::string withPad = message + pad.substr(0, 8 - length % 8);
    PiDigestInit(padded);
    PiDigestUpdate(padded, withPad.data(), static_cast<std::int32_t>(withPad.size()));
    EXPECT_EQ(finished.MixPos, 0) << "length " << length;
    EXPECT_EQ(finished.PoolPos, padded.PoolPos) << "length " << length;
    EXPECT_EQ(std::memcmp(finished.Pool, padded.Pool, kPoolSize), 0) << "length " << length;
    EXPECT_EQ(Hex(finished.MixState, 16), Hex(padded.MixState, 16)) << "length " << length;
  }
}

// Input byte i meets pool byte i mod 256.
TEST(PiDigest, LongInputFoldsOntoThePool) {
  std::mt19937 rng(6);
  const std::string message = RandomBytes(rng, 600);
  TPiDigestAccumulator initial, acc;
  PiDigestInit(initial);
  PiDigestInit(acc);
  PiDigestUpdate(acc, message.data(), static_cast<std::int32_t>(message.size()));
  unsigned char expected[kPoolSize];
  std::memcpy(expected, initial.Pool, kPoolSize);
  for (std::size_t i = 0; i < message.size(); ++i)
    expected[i % kPoolSize] ^= static_cast<unsigned char>(message[i]);
  EXPECT_EQ(Hex(acc.Pool, kPoolSize), Hex(expected, kPoolSize));
  EXPECT_EQ(acc.PoolPos, 600 % kPoolSize);
  EXPECT_EQ(acc.MixPos, 600 % 8);
}

TEST(PiDigest, DigestSizes) {
  constexpr unsigned char kUntouched = 0xC7;
  const std::string message = "pass phrase";
  unsigned char full[kPoolSize];
  PiDigestOfString(full, kPoolSize, message);

  for (std::int32_t size : {-5, 0, 1, 16, 17, 255, 256, 300}) {
    unsigned char buffer[300];
    std::memset(buffer, kUntouched, sizeof buffer);
    PiDigestOfString(buffer, size, message);
    const std::int32_t written = std::clamp(size, 0, kPoolSize);
    EXPECT_EQ(Hex(buffer, static_cast<std::size_t>(written)),
              Hex(full, static_cast<std::size_t>(written)))
        << "size " << size;
    for (std::size_t i = static_cast<std::size_t>(written); i < sizeof buffer; ++i)
      ASSERT_EQ(buffer[i], kUntouched) << "size " << size << ", byte " << i;
  }
  PiDigestOfString(nullptr, 0, message);  // nothing is written, so no buffer is needed
}

// The first n bytes of a longer digest are the digest of size n.
TEST(PiDigest, ShorterDigestsArePrefixes) {
  const std::string message = "prefix property";
  const std::string full = PiDigestHex(message, kPoolSize);
  for (std::int32_t size = 1; size <= kPoolSize; ++size)
    ASSERT_EQ(PiDigestHex(message, size), full.substr(0, 2 * static_cast<std::size_t>(size)))
        << "size " << size;
}

TEST(PiDigest, IncrementalEqualsOneShot) {
  std::mt19937 rng(7);
  const std::string message = RandomBytes(rng, 300);
  const std::string expected = PiDigestHex(message, 32);
  const auto finish = [](TPiDigestAccumulator& acc) {
    unsigned char digest[32];
    PiDigestFinal(acc, digest, 32);
    return Hex(digest, 32);
  };

  for (std::size_t split = 0; split <= message.size(); ++split) {
    TPiDigestAccumulator acc;
    PiDigestInit(acc);
    PiDigestUpdate(acc, message.data(), static_cast<std::int32_t>(split));
    TPiDigestAccumulator copy = acc;
    const auto rest = static_cast<std::int32_t>(message.size() - split);
    PiDigestUpdate(acc, message.data() + split, rest);
    PiDigestUpdate(copy, message.data() + split, rest);
    ASSERT_EQ(finish(acc), expected) << "split at " << split;
    ASSERT_EQ(finish(copy), expected) << "copy split at " << split;
  }

  TPiDigestAccumulator bytewise;
  PiDigestInit(bytewise);
  for (char c : message)
    PiDigestUpdate(bytewise, &c, 1);
  EXPECT_EQ(finish(bytewise), expected);
}

TEST(PiDigest, EmptyAndNegativeLengthsAbsorbNothing) {
  const std::string empty = PiDigestHex("", 16);
  unsigned char digest[16];
  PiDigestOfBuffer(digest, 16, nullptr, 0);
  EXPECT_EQ(Hex(digest, 16), empty);
  PiDigestOfBuffer(digest, 16, "abc", -3);
  EXPECT_EQ(Hex(digest, 16), empty);

  TPiDigestAccumulator acc;
  PiDigestInit(acc);
  PiDigestUpdate(acc, "abc", 3);
  PiDigestUpdate(acc, nullptr, 0);
  PiDigestUpdate(acc, "xyz", std::numeric_limits<std::int32_t>::min());
  PiDigestFinal(acc, digest, 16);
  EXPECT_EQ(Hex(digest, 16), "2AA17BAA76A4C4CD4B73A5F934B4CC1A");
}

// Positions outside their ranges (a record the caller damaged) are taken modulo the ranges
// rather than used to index past the pool or the mixing state.
TEST(PiDigest, OutOfRangePositionsStayInsideTheRecord) {
  TPiDigestAccumulator damaged, sound;
  PiDigestInit(damaged);
  PiDigestInit(sound);
  damaged.PoolPos = 256 + 40;
  damaged.MixPos = -7;  // 1 modulo 8
  sound.PoolPos = 40;
  sound.MixPos = 1;
  const std::string message(100, 'q');
  PiDigestUpdate(damaged, message.data(), 100);
  PiDigestUpdate(sound, message.data(), 100);
  unsigned char a[16], b[16];
  PiDigestFinal(damaged, a, 16);
  PiDigestFinal(sound, b, 16);
  EXPECT_EQ(Hex(a, 16), Hex(b, 16));
}

}  // namespace
}  // namespace xkit::test
