// The AES rounds on the CPU's AES instructions (AES-NI), compiled for them with target
// attributes and entered only after runtime detection. Deciphering uses the equivalent
// inverse cipher, which computes the same function as FIPS-197's direct InvCipher.
#include "crypto/aes_engine.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define XKIT_AES_NI __attribute__((target("aes,sse2")))

namespace xkit::detail {
namespace {

constexpr std::size_t kInFlight = 8;  // independent blocks interleaved to hide latency

XKIT_AES_NI inline __m128i Load(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

XKIT_AES_NI inline void Store(std::uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// `count` blocks through one schedule of rounds + 1 keys, kInFlight at a time.
template <bool kEncrypt>
XKIT_AES_NI void CryptBlocks(const std::uint8_t* schedule, int rounds, std::uint8_t* blocks,
                             std::size_t count) {
  std::size_t done = 0;
  for (; done + kInFlight <= count; done += kInFlight) {
    std::uint8_t* base = blocks + 16 * done;
    __m128i s[kInFlight];
    const __m128i first = Load(schedule);
#pragma GCC unroll 8
    for (std::size_t j = 0; j < kInFlight; ++j)
      s[j] = _mm_xor_si128(Load(base + 16 * j), first);
    for (int round = 1; round < rounds; ++round) {
      const __m128i k = Load(schedule + 16 * round);
#pragma GCC unroll 8
      for (std::size_t j = 0; j < kInFlight; ++j)
        s[j] = kEncrypt ? _mm_aesenc_si128(s[j], k) : _mm_aesdec_si128(s[j], k);
    }
    const __m128i last = Load(schedule + 16 * rounds);
#pragma GCC unroll 8
    for (std::size_t j = 0; j < kInFlight; ++j)
      Store(base + 16 * j,
            kEncrypt ? _mm_aesenclast_si128(s[j], last) : _mm_aesdeclast_si128(s[j], last));
  }
  for (; done < count; ++done) {
    std::uint8_t* block = blocks + 16 * done;
    __m128i s = _mm_xor_si128(Load(block), Load(schedule));
    for (int round = 1; round < rounds; ++round) {
      const __m128i k = Load(schedule + 16 * round);
      s = kEncrypt ? _mm_aesenc_si128(s, k) : _mm_aesdec_si128(s, k);
    }
    const __m128i last = Load(schedule + 16 * rounds);
    Store(block, kEncrypt ? _mm_aesenclast_si128(s, last) : _mm_aesdeclast_si128(s, last));
  }
}

}  // namespace

bool AesNiSupported() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse2");
}

XKIT_AES_NI void AesNiEncryptBlock(const TAesKey& aesKey, std::uint8_t* block) {
  CryptBlocks<true>(RoundKeyBytes(aesKey), UsableRounds(aesKey.Rounds), block, 1);
}

// One block needs no stored inverse schedule: InvMixColumns of each inner round key is
// computed on the way, independent of the state, so it overlaps the rounds.
XKIT_AES_NI void AesNiDecryptBlock(const TAesKey& aesKey, std::uint8_t* block) {
  const int rounds = UsableRounds(aesKey.Rounds);
  const std::uint8_t* rk = RoundKeyBytes(aesKey);
  __m128i s = _mm_xor_si128(Load(block), Load(rk + 16 * rounds));
  for (int round = rounds - 1; round >= 1; --round)
    s = _mm_aesdec_si128(s, _mm_aesimc_si128(Load(rk + 16 * round)));
  Store(block, _mm_aesdeclast_si128(s, Load(rk)));
}

XKIT_AES_NI void AesNiInverseSchedule(const TAesKey& aesKey, std::uint8_t* schedule) {
  const int rounds = UsableRounds(aesKey.Rounds);
  const std::uint8_t* rk = RoundKeyBytes(aesKey);
  Store(schedule, Load(rk + 16 * rounds));
  for (int i = 1; i < rounds; ++i)
    Store(schedule + 16 * i, _mm_aesimc_si128(Load(rk + 16 * (rounds - i))));
  Store(schedule + 16 * rounds, Load(rk));
}

void AesNiEncryptBlocks(const std::uint8_t* schedule, std::int32_t rounds, std::uint8_t* blocks,
                        std::size_t count) {
  CryptBlocks<true>(schedule, UsableRounds(rounds), blocks, count);
}

void AesNiDecryptBlocks(const std::uint8_t* schedule, std::int32_t rounds, std::uint8_t* blocks,
                        std::size_t count) {
  CryptBlocks<false>(schedule, UsableRounds(rounds), blocks, count);
}

}  // namespace xkit::detail

#else  // no AES instructions on this architecture: the portable rounds serve every call

#include <cstdlib>

namespace xkit::detail {

bool AesNiSupported() {
  return false;
}

// Never reached: every caller checks AesNiSupported() first.
void AesNiEncryptBlock(const TAesKey&, std::uint8_t*) {
  std::abort();
}
void AesNiDecryptBlock(const TAesKey&, std::uint8_t*) {
  std::abort();
}
void AesNiInverseSchedule(const TAesKey&, std::uint8_t*) {
  std::abort();
}
void AesNiEncryptBlocks(const std::uint8_t*, std::int32_t, std::uint8_t*, std::size_t) {
  std::abort();
}
void AesNiDecryptBlocks(const std::uint8_t*, std::int32_t, std::uint8_t*, std::size_t) {
  std::abort();
}

}  // namespace xkit::detail

#endif
