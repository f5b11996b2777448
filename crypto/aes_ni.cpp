// The AES rounds on the CPU's AES instructions: AES-NI (one block per instruction) and VAES
// (two per instruction on 256-bit registers), compiled for them with target attributes and
// entered only after runtime detection. Deciphering uses the equivalent inverse cipher, which
// computes the same function as FIPS-197's direct InvCipher.
#include "crypto/aes_engine.h"
#include "platform/cpu_features.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define XKIT_AES_NI __attribute__((target("aes,sse2")))
#define XKIT_VAES __attribute__((target("aes,sse2,avx2,vaes")))

namespace xkit::detail {
namespace {

// Independent blocks interleaved to hide the instructions' latency: 8 registers of one block
// on AES-NI, 8 registers of two blocks on VAES.
constexpr std::size_t kInFlight = 8;
constexpr std::size_t kVaesInFlight = 2 * kInFlight;

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

// One round key in both halves of a 256-bit register.
XKIT_VAES inline __m256i RoundKey256(const std::uint8_t* schedule, int round) {
  return _mm256_broadcastsi128_si256(Load(schedule + 16 * round));
}

// Groups of kVaesInFlight blocks on VAES, the rest on AES-NI.
template <bool kEncrypt>
XKIT_VAES void CryptBlocksVaes(const std::uint8_t* schedule, int rounds, std::uint8_t* blocks,
                               std::size_t count) {
  std::size_t done = 0;
  for (; done + kVaesInFlight <= count; done += kVaesInFlight) {
    auto* base = reinterpret_cast<__m256i*>(blocks + 16 * done);
    __m256i s[kInFlight];
    const __m256i first = RoundKey256(schedule, 0);
#pragma GCC unroll 8
    for (std::size_t j = 0; j < kInFlight; ++j)
      s[j] = _mm256_xor_si256(_mm256_loadu_si256(base + j), first);
    for (int round = 1; round < rounds; ++round) {
      const __m256i k = RoundKey256(schedule, round);
#pragma GCC unroll 8
      for (std::size_t j = 0; j < kInFlight; ++j)
        s[j] = kEncrypt ? _mm256_aesenc_epi128(s[j], k) : _mm256_aesdec_epi128(s[j], k);
    }
    const __m256i last = RoundKey256(schedule, rounds);
#pragma GCC unroll 8
    for (std::size_t j = 0; j < kInFlight; ++j)
      _mm256_storeu_si256(base + j, kEncrypt ? _mm256_aesenclast_epi128(s[j], last)
                                             : _mm256_aesdeclast_epi128(s[j], last));
  }
  CryptBlocks<kEncrypt>(schedule, rounds, blocks + 16 * done, count - done);
}

}  // namespace

bool AesPathSupported(AesPath path) {
  __builtin_cpu_init();
  const bool aesNi = __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse2");
  switch (path) {
    case AesPath::kPortable:
      return true;
    case AesPath::kAesNi:
      return aesNi;
    case AesPath::kVaes:
      return aesNi && __builtin_cpu_supports("avx2") && CpuHasVaes();
  }
  return false;
}

// AESKEYGENASSIST substitutes dwords 1 and 3 of its operand; dword 0 of its result is the
// substituted dword 1, unrotated and without Rcon.
XKIT_AES_NI std::uint32_t AesNiSubWord(std::uint32_t word) {
  const __m128i operand = _mm_set_epi32(0, 0, static_cast<int>(word), 0);
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_aeskeygenassist_si128(operand, 0)));
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

void AesCryptBlocks(AesPath path, bool encrypt, const std::uint8_t* schedule, std::int32_t rounds,
                    std::uint8_t* blocks, std::size_t count) {
  const int usable = UsableRounds(rounds);
  if (path == AesPath::kVaes) {
    encrypt ? CryptBlocksVaes<true>(schedule, usable, blocks, count)
            : CryptBlocksVaes<false>(schedule, usable, blocks, count);
  } else {
    encrypt ? CryptBlocks<true>(schedule, usable, blocks, count)
            : CryptBlocks<false>(schedule, usable, blocks, count);
  }
}

}  // namespace xkit::detail

#else  // no AES instructions on this architecture: the portable rounds serve every call

#include <cstdlib>

namespace xkit::detail {

bool AesPathSupported(AesPath path) {
  return path == AesPath::kPortable;
}

// Never reached: every caller checks AesPathSupported first.
std::uint32_t AesNiSubWord(std::uint32_t) {
  std::abort();
}
void AesNiEncryptBlock(const TAesKey&, std::uint8_t*) {
  std::abort();
}
void AesNiDecryptBlock(const TAesKey&, std::uint8_t*) {
  std::abort();
}
void AesNiInverseSchedule(const TAesKey&, std::uint8_t*) {
  std::abort();
}
void AesCryptBlocks(AesPath, bool, const std::uint8_t*, std::int32_t, std::uint8_t*, std::size_t) {
  std::abort();
}

}  // namespace xkit::detail

#endif
