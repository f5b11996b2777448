// AES key set-up with xkit's key handling, the portable table-driven rounds, XorBytes, and
// the dispatch to the AES instructions (aes_ni.cpp) where the CPU has them.
#include "crypto/aes.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "crypto/aes_engine.h"
#include "crypto/wipe.h"

namespace xkit {
namespace detail {
namespace {

// ---- Tables (FIPS-197), built at compile time ----

constexpr std::uint8_t XTime(std::uint8_t x) {
  return static_cast<std::uint8_t>((x << 1) ^ ((x & 0x80) != 0 ? 0x1B : 0));
}

constexpr std::uint8_t GfMul(std::uint8_t a, std::uint8_t b) {
  std::uint8_t product = 0;
  for (; b != 0; b >>= 1, a = XTime(a)) {
    if ((b & 1) != 0) product ^= a;
  }
  return product;
}

constexpr std::uint8_t Rotl8(std::uint8_t x, int n) {
  return static_cast<std::uint8_t>((x << n) | (x >> (8 - n)));
}

constexpr std::uint32_t Rotl32(std::uint32_t x, int n) {
  return n == 0 ? x : (x << n) | (x >> (32 - n));
}

// Four bytes as one little-endian column word: byte k is row k.
constexpr std::uint32_t Column(std::uint8_t row0, std::uint8_t row1, std::uint8_t row2,
                               std::uint8_t row3) {
  return row0 | (std::uint32_t{row1} << 8) | (std::uint32_t{row2} << 16) |
         (std::uint32_t{row3} << 24);
}

struct Tables {
  std::uint8_t sbox[256];
  std::uint8_t invSbox[256];
  // forward[k][x]: the column that SubBytes and MixColumns make of byte x in row k.
  std::uint32_t forward[4][256];
  // invMix[k][x]: the column that InvMixColumns alone makes of byte x in row k.
  std::uint32_t invMix[4][256];
};

constexpr Tables MakeTables() {
  Tables t{};
  for (int x = 0; x < 256; ++x) {
    // The multiplicative inverse x^254 (0 for 0), then the affine map of FIPS-197 5.1.1.
    std::uint8_t inverse = 1;
    std::uint8_t square = static_cast<std::uint8_t>(x);
    for (int e = 254; e != 0; e >>= 1, square = GfMul(square, square)) {
      if ((e & 1) != 0) inverse = GfMul(inverse, square);
    }
    const std::uint8_t s =
        static_cast<std::uint8_t>(inverse ^ Rotl8(inverse, 1) ^ Rotl8(inverse, 2) ^
                                  Rotl8(inverse, 3) ^ Rotl8(inverse, 4) ^ 0x63);
    t.sbox[x] = s;
    t.invSbox[s] = static_cast<std::uint8_t>(x);
  }
  for (int x = 0; x < 256; ++x) {
    const std::uint8_t s = t.sbox[x];
    const auto b = static_cast<std::uint8_t>(x);
    const std::uint32_t forward = Column(GfMul(s, 2), s, s, GfMul(s, 3));
    const std::uint32_t invMix =
        Column(GfMul(b, 0x0E), GfMul(b, 0x09), GfMul(b, 0x0D), GfMul(b, 0x0B));
    for (int k = 0; k < 4; ++k) {
      t.forward[k][x] = Rotl32(forward, 8 * k);
      t.invMix[k][x] = Rotl32(invMix, 8 * k);
    }
  }
  return t;
}

alignas(64) constexpr Tables kTables = MakeTables();

constexpr std::uint8_t kRcon[11] = {0x00, 0x01, 0x02, 0x04, 0x08, 0x10,
                                    0x20, 0x40, 0x80, 0x1B, 0x36};

// ---- The portable rounds ----
// The state is four little-endian column words s0..s3 (byte k of sc is row k, column c).

inline std::uint32_t LoadLe32(const std::uint8_t* p) {
  return p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}

inline void StoreLe32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline std::uint8_t Byte(std::uint32_t word, int row) {
  return static_cast<std::uint8_t>(word >> (8 * row));
}

// One forward column: row k taken from column c + k (ShiftRows), through SubBytes and
// MixColumns.
inline std::uint32_t ForwardColumn(std::uint32_t a, std::uint32_t b, std::uint32_t c,
                                   std::uint32_t d) {
  return kTables.forward[0][Byte(a, 0)] ^ kTables.forward[1][Byte(b, 1)] ^
         kTables.forward[2][Byte(c, 2)] ^ kTables.forward[3][Byte(d, 3)];
}

inline std::uint32_t SubColumn(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  const auto& s = kTables.sbox;
  return Column(s[Byte(a, 0)], s[Byte(b, 1)], s[Byte(c, 2)], s[Byte(d, 3)]);
}

// One inverse column: row k taken from column c - k (InvShiftRows), through InvSubBytes.
inline std::uint32_t InvSubColumn(std::uint32_t a, std::uint32_t b, std::uint32_t c,
                                  std::uint32_t d) {
  const auto& s = kTables.invSbox;
  return Column(s[Byte(a, 0)], s[Byte(b, 1)], s[Byte(c, 2)], s[Byte(d, 3)]);
}

inline std::uint32_t InvMixColumn(std::uint32_t u) {
  return kTables.invMix[0][Byte(u, 0)] ^ kTables.invMix[1][Byte(u, 1)] ^
         kTables.invMix[2][Byte(u, 2)] ^ kTables.invMix[3][Byte(u, 3)];
}

void EncryptPortable(const TAesKey& key, std::uint8_t* block) {
  const int rounds = UsableRounds(key.Rounds);
  const std::uint8_t* rk = RoundKeyBytes(key);
  std::uint32_t s0 = LoadLe32(block) ^ LoadLe32(rk);
  std::uint32_t s1 = LoadLe32(block + 4) ^ LoadLe32(rk + 4);
  std::uint32_t s2 = LoadLe32(block + 8) ^ LoadLe32(rk + 8);
  std::uint32_t s3 = LoadLe32(block + 12) ^ LoadLe32(rk + 12);
  for (int round = 1; round < rounds; ++round) {
    rk += 16;
    const std::uint32_t t0 = ForwardColumn(s0, s1, s2, s3) ^ LoadLe32(rk);
    const std::uint32_t t1 = ForwardColumn(s1, s2, s3, s0) ^ LoadLe32(rk + 4);
    const std::uint32_t t2 = ForwardColumn(s2, s3, s0, s1) ^ LoadLe32(rk + 8);
    const std::uint32_t t3 = ForwardColumn(s3, s0, s1, s2) ^ LoadLe32(rk + 12);
    s0 = t0, s1 = t1, s2 = t2, s3 = t3;
  }
  rk += 16;
  StoreLe32(block, SubColumn(s0, s1, s2, s3) ^ LoadLe32(rk));
  StoreLe32(block + 4, SubColumn(s1, s2, s3, s0) ^ LoadLe32(rk + 4));
  StoreLe32(block + 8, SubColumn(s2, s3, s0, s1) ^ LoadLe32(rk + 8));
  StoreLe32(block + 12, SubColumn(s3, s0, s1, s2) ^ LoadLe32(rk + 12));
}

// FIPS-197's InvCipher in its direct form, with the enciphering round keys.
void DecryptPortable(const TAesKey& key, std::uint8_t* block) {
  const int rounds = UsableRounds(key.Rounds);
  const std::uint8_t* rk = RoundKeyBytes(key) + 16 * rounds;
  std::uint32_t s0 = LoadLe32(block) ^ LoadLe32(rk);
  std::uint32_t s1 = LoadLe32(block + 4) ^ LoadLe32(rk + 4);
  std::uint32_t s2 = LoadLe32(block + 8) ^ LoadLe32(rk + 8);
  std::uint32_t s3 = LoadLe32(block + 12) ^ LoadLe32(rk + 12);
  for (int round = rounds - 1; round >= 1; --round) {
    rk -= 16;
    const std::uint32_t u0 = InvSubColumn(s0, s3, s2, s1) ^ LoadLe32(rk);
    const std::uint32_t u1 = InvSubColumn(s1, s0, s3, s2) ^ LoadLe32(rk + 4);
    const std::uint32_t u2 = InvSubColumn(s2, s1, s0, s3) ^ LoadLe32(rk + 8);
    const std::uint32_t u3 = InvSubColumn(s3, s2, s1, s0) ^ LoadLe32(rk + 12);
    s0 = InvMixColumn(u0), s1 = InvMixColumn(u1), s2 = InvMixColumn(u2), s3 = InvMixColumn(u3);
  }
  rk -= 16;
  StoreLe32(block, InvSubColumn(s0, s3, s2, s1) ^ LoadLe32(rk));
  StoreLe32(block + 4, InvSubColumn(s1, s0, s3, s2) ^ LoadLe32(rk + 4));
  StoreLe32(block + 8, InvSubColumn(s2, s1, s0, s3) ^ LoadLe32(rk + 8));
  StoreLe32(block + 12, InvSubColumn(s3, s2, s1, s0) ^ LoadLe32(rk + 12));
}

// ---- Key set-up ----

// The key record with xkit's key handling (see aes.h).
void ExpandKey(const void* key, std::int32_t keySize, TAesKey& aesKey, bool encrypt) {
  std::memset(&aesKey, 0, sizeof aesKey);
  aesKey.Encrypt = encrypt;
  const std::int32_t size = std::max<std::int32_t>(keySize, 0);
  // Nk is (size div 4) held in 8 bits, so sizes from 1024 on act as size mod 1024.
  const int nk = std::clamp<int>(static_cast<std::uint8_t>(size / 4), 4, 8);
  aesKey.Rounds = nk + 6;
  auto* w = reinterpret_cast<std::uint8_t*>(aesKey.RoundKeys);
  // The expansion overwrites every key byte past the first 4 * Nk, so only those are copied;
  // a shorter key stays zero-extended.
  const int copied = std::min(size, 4 * nk);
  if (copied > 0) std::memcpy(w, key, static_cast<std::size_t>(copied));
  const int words = 4 * (aesKey.Rounds + 1);
  for (int i = nk; i < words; ++i) {
    std::uint8_t t[4];
    std::memcpy(t, w + 4 * (i - 1), 4);
    if (i % nk == 0) {
      const std::uint8_t first = t[0];  // RotWord, SubWord, then Rcon
      t[0] = static_cast<std::uint8_t>(kTables.sbox[t[1]] ^ kRcon[i / nk]);
      t[1] = kTables.sbox[t[2]];
      t[2] = kTables.sbox[t[3]];
      t[3] = kTables.sbox[first];
    } else if ((nk == 5 || nk > 6) && i % nk == 4) {
      for (std::uint8_t& b : t)
        b = kTables.sbox[b];
    }
    for (int j = 0; j < 4; ++j)
      w[4 * i + j] = static_cast<std::uint8_t>(w[4 * (i - nk) + j] ^ t[j]);
  }
}

// ---- Path selection ----

constexpr int kUndecided = -1;
constinit std::atomic<int> gPath{kUndecided};

AesPath BestSupportedUpTo(AesPath path) {
  while (path != AesPath::kTables && !AesPathSupported(path))
    path = static_cast<AesPath>(static_cast<int>(path) - 1);
  return path;
}

}  // namespace

AesPath CurrentAesPath() {
  int path = gPath.load(std::memory_order_relaxed);
  if (path == kUndecided) {
    path = static_cast<int>(BestSupportedUpTo(AesPath::kVaes));
    gPath.store(path, std::memory_order_relaxed);
  }
  return static_cast<AesPath>(path);
}

void SetAesPath(AesPath path) {
  gPath.store(static_cast<int>(BestSupportedUpTo(path)), std::memory_order_relaxed);
}

AesBlockCipher::AesBlockCipher(const void* key, std::int32_t keySize, bool encrypt)
    : path_(CurrentAesPath()) {
  ExpandKey(key, keySize, key_, encrypt);
  if (path_ != AesPath::kTables && !encrypt) AesNiInverseSchedule(key_, inverseSchedule_);
}

AesBlockCipher::~AesBlockCipher() {
  SecureWipe(&key_, sizeof key_);
  SecureWipe(inverseSchedule_, sizeof inverseSchedule_);
}

void AesBlockCipher::Process(std::uint8_t* blocks, std::size_t count) const {
  if (path_ != AesPath::kTables) {
    AesCryptBlocks(path_, key_.Encrypt, key_.Encrypt ? RoundKeyBytes(key_) : inverseSchedule_,
                   key_.Rounds, blocks, count);
    return;
  }
  for (std::size_t i = 0; i < count; ++i, blocks += 16) {
    key_.Encrypt ? EncryptPortable(key_, blocks) : DecryptPortable(key_, blocks);
  }
}

}  // namespace detail

void AesInitKey(const void* key, std::int32_t keySize, TAesKey& aesKey, bool encrypt) {
  detail::ExpandKey(key, keySize, aesKey, encrypt);
}

void AesBlock(const TAesKey& aesKey, void* block) {
  auto* bytes = static_cast<std::uint8_t*>(block);
  if (detail::CurrentAesPath() != detail::AesPath::kTables) {
    aesKey.Encrypt ? detail::AesNiEncryptBlock(aesKey, bytes)
                   : detail::AesNiDecryptBlock(aesKey, bytes);
  } else {
    aesKey.Encrypt ? detail::EncryptPortable(aesKey, bytes)
                   : detail::DecryptPortable(aesKey, bytes);
  }
}

void XorBytes(void* destination, const void* source, std::uint32_t count) {
  auto* d = static_cast<std::uint8_t*>(destination);
  const auto* s = static_cast<const std::uint8_t*>(source);
  for (std::uint32_t i = 0; i < count; ++i)
    d[i] ^= s[i];
}

}  // namespace xkit
