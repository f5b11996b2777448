// The mix cipher: a 128-bit Feistel cipher whose round function is two mix passes over a half
// block and a sub-key pair. Its sub-keys come from the key by the ISAAC generator's mixing step.
#include <algorithm>
#include <cstdint>
#include <utility>

#include "crypto/digest_words.h"
#include "crypto/digests.h"

namespace xkit {
namespace detail {
namespace {

constexpr std::int32_t kMinRounds = 4;
constexpr std::int32_t kMaxRounds = 16;
// One constant per group of eight sub-key words, interleaved with the four key words.
constexpr std::uint32_t kGroupConstants[4] = {0x55555555, 0xAAAAAAAA, 0x33333333, 0xCCCCCCCC};

// The mixing step of the ISAAC generator over s[0..7] = a..h.
void IsaacMix(std::uint32_t (&s)[8]) {
  auto& [a, b, c, d, e, f, g, h] = s;
  a ^= b << 11, d += a, b += c;
  b ^= c >> 2, e += b, c += d;
  c ^= d << 8, f += c, d += e;
  d ^= e >> 16, g += d, e += f;
  e ^= f << 10, h += e, f += g;
  f ^= g >> 4, a += f, g += h;
  g ^= h << 8, b += g, h += a;
  h ^= a >> 9, c += h, a += b;
}

}  // namespace
}  // namespace detail

void MixCipherInitKey(const void* key, TMixCipherKey& schedule, std::int32_t rounds, bool encrypt) {
  const auto* keyBytes = static_cast<const std::uint8_t*>(key);
  schedule.Encrypt = encrypt;
  schedule.Rounds = std::clamp(rounds, detail::kMinRounds, detail::kMaxRounds);
  for (int group = 0; group < 4; ++group) {
    const std::uint32_t constant = detail::kGroupConstants[group];
    std::uint32_t words[8];
    for (int k = 0; k < 4; ++k) {
      words[2 * k] = detail::LoadLe32(keyBytes + 4 * k);
      words[2 * k + 1] = constant;
    }
    for (int step = 0; step < 8; ++step)
      detail::IsaacMix(words);
    // Words 8 * group .. 8 * group + 7 of the schedule: four pairs.
    for (int k = 0; k < 4; ++k) {
      schedule.SubKeys[4 * group + k][0] = words[2 * k];
      schedule.SubKeys[4 * group + k][1] = words[2 * k + 1];
    }
  }
  // Deciphering runs the rounds' sub-keys backwards; pairs past the round count are unused.
  if (!encrypt) std::reverse(schedule.SubKeys, schedule.SubKeys + schedule.Rounds);
}

void MixCipherBlock(const TMixCipherKey& schedule, void* block) {
  auto* bytes = static_cast<std::uint8_t*>(block);
  // R = (X0, X1), L = (X2, X3). The round count is clamped as at set-up, so that not even a
  // damaged schedule is read past its sixteen pairs.
  std::uint32_t r0 = detail::LoadLe32(bytes), r1 = detail::LoadLe32(bytes + 4);
  std::uint32_t l0 = detail::LoadLe32(bytes + 8), l1 = detail::LoadLe32(bytes + 12);
  const std::int32_t rounds = std::clamp(schedule.Rounds, detail::kMinRounds, detail::kMaxRounds);
  for (std::int32_t round = 0; round < rounds; ++round) {
    std::uint32_t a = r0, b = schedule.SubKeys[round][0], c = r1, d = schedule.SubKeys[round][1];
    detail::MixPass(a, b, c, d);
    std::swap(a, c);
    std::swap(b, d);
    detail::MixPass(a, b, c, d);
    const std::uint32_t n0 = l0 ^ a ^ b, n1 = l1 ^ c ^ d;
    l0 = r0, l1 = r1;
    r0 = n0, r1 = n1;
  }
  detail::StoreLe32(bytes, l0);
  detail::StoreLe32(bytes + 4, l1);
  detail::StoreLe32(bytes + 8, r0);
  detail::StoreLe32(bytes + 12, r1);
}

}  // namespace xkit
