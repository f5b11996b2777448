// AES key set-up with xkit's key handling, XorBytes, and the dispatch between the portable
// constant-time rounds (aes_portable.cpp) and the AES instructions (aes_ni.cpp).
#include "crypto/aes.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

#include "crypto/aes_bitsliced.h"
#include "crypto/aes_engine.h"
#include "crypto/digest_words.h"
#include "crypto/wipe.h"

namespace xkit {
namespace detail {
namespace {

// ---- Key set-up ----

// Rcon[i / Nk] of FIPS-197, in the first byte of its word.
constexpr std::uint8_t kRcon[11] = {0x00, 0x01, 0x02, 0x04, 0x08, 0x10,
                                    0x20, 0x40, 0x80, 0x1B, 0x36};

// The key record with xkit's key handling (see aes.h). The substitutions take the AES
// instructions or the S-box circuit, so the key leaves no trace in timing or memory access;
// Nk and the round count follow from the key's size alone.
void ExpandKey(const void* key, std::int32_t keySize, TAesKey& aesKey, bool encrypt) {
  const auto subWord =
      CurrentAesPath() == AesPath::kPortable ? SubWordConstantTime : AesNiSubWord;
  std::memset(&aesKey, 0, sizeof aesKey);
  aesKey.Encrypt = encrypt;
  const std::int32_t size = std::max<std::int32_t>(keySize, 0);
  // Nk is (size div 4) held in 8 bits, so sizes from 1024 on act as size mod 1024.
  const int nk = std::clamp<int>(static_cast<std::uint8_t>(size / 4), 4, 8);
  aesKey.Rounds = nk + 6;
  auto* bytes = reinterpret_cast<std::uint8_t*>(aesKey.RoundKeys);
  // The expansion overwrites every key byte past the first 4 * Nk, so only those are copied;
  // a shorter key stays zero-extended.
  const int copied = std::min(size, 4 * nk);
  if (copied > 0) std::memcpy(bytes, key, static_cast<std::size_t>(copied));
  // Words as little-endian values: the first byte is the low one, so RotWord is a rotation
  // right by 8 and Rcon enters the low byte.
  const int words = 4 * (aesKey.Rounds + 1);
  std::uint32_t previous = LoadLe32(bytes + 4 * (nk - 1));
  for (int i = nk; i < words; ++i) {
    std::uint32_t t = previous;
    if (i % nk == 0) {
      t = subWord(std::rotr(t, 8)) ^ kRcon[i / nk];
    } else if ((nk == 5 || nk > 6) && i % nk == 4) {
      t = subWord(t);
    }
    previous = LoadLe32(bytes + 4 * (i - nk)) ^ t;
    StoreLe32(bytes + 4 * i, previous);
  }
}

// ---- Path selection ----

constexpr int kUndecided = -1;
constinit std::atomic<int> gPath{kUndecided};

AesPath BestSupportedUpTo(AesPath path) {
  while (path != AesPath::kPortable && !AesPathSupported(path))
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
  if (path_ == AesPath::kPortable) {
    AesPortablePrepare(key_, portable_);
  } else if (!encrypt) {
    AesNiInverseSchedule(key_, inverseSchedule_);
  }
}

AesBlockCipher::~AesBlockCipher() {
  SecureWipe(&key_, sizeof key_);
  SecureWipe(inverseSchedule_, sizeof inverseSchedule_);
  SecureWipe(&portable_, sizeof portable_);
}

void AesBlockCipher::Process(std::uint8_t* blocks, std::size_t count) const {
  if (path_ == AesPath::kPortable) {
    AesPortableCryptBlocks(portable_, blocks, count);
  } else {
    AesCryptBlocks(path_, key_.Encrypt, key_.Encrypt ? RoundKeyBytes(key_) : inverseSchedule_,
                   key_.Rounds, blocks, count);
  }
}

}  // namespace detail

void AesInitKey(const void* key, std::int32_t keySize, TAesKey& aesKey, bool encrypt) {
  detail::ExpandKey(key, keySize, aesKey, encrypt);
}

void AesBlock(const TAesKey& aesKey, void* block) {
  auto* bytes = static_cast<std::uint8_t*>(block);
  if (detail::CurrentAesPath() == detail::AesPath::kPortable) {
    detail::AesPortableBlock(aesKey, bytes);
  } else {
    aesKey.Encrypt ? detail::AesNiEncryptBlock(aesKey, bytes)
                   : detail::AesNiDecryptBlock(aesKey, bytes);
  }
}

void XorBytes(void* destination, const void* source, std::uint32_t count) {
  auto* d = static_cast<std::uint8_t*>(destination);
  const auto* s = static_cast<const std::uint8_t*>(source);
  for (std::uint32_t i = 0; i < count; ++i)
    d[i] ^= s[i];
}

}  // namespace xkit
