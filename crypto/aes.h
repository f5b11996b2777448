// AES (FIPS-197) on single 16-byte blocks, with xkit's own key handling: a key of any length
// maps onto 4 to 8 words, and the direction is fixed when the key record is built.
#pragma once

#include <cstdint>

namespace xkit {

// An expanded key. `Rounds` is Nk + 6 (10..14) where Nk, the key length in words, is
// (key size div 4) taken modulo 256 and clamped to 4..8. `RoundKeys` holds the expanded key
// w[0 .. 4 * (Rounds + 1) - 1] in FIPS-197 byte order (the bytes of the array, in memory
// order, are the bytes of the expanded key); the words past the last one in use are zero.
// A record is immutable once built and may serve any number of threads at once.
struct TAesKey {
  bool Encrypt;
  std::int32_t Rounds;
  std::uint32_t RoundKeys[60];
};

// Builds `aesKey` from `keySize` bytes at `key`, for enciphering (`encrypt` true) or
// deciphering. Every size is accepted:
//   0..19 bytes      Nk 4, the first 16 bytes in effect, zero-extended when fewer are given
//   20..23           Nk 5 (11 rounds; the extra SubWord at i mod 5 = 4, as for Nk 7 and 8)
//   24..27           Nk 6
//   28..31           Nk 7
//   32..1023         Nk 8, the first 32 bytes in effect
//   1024 and more    as for (key size mod 1024)
// Bytes past the first 4 * Nk have no effect. A negative size acts as 0.
void AesInitKey(const void* key, std::int32_t keySize, TAesKey& aesKey, bool encrypt);

// Enciphers or deciphers (as `aesKey.Encrypt` says) the 16 bytes at `block` in place.
void AesBlock(const TAesKey& aesKey, void* block);

// destination[i] ^= source[i] for i in 0 .. count - 1.
void XorBytes(void* destination, const void* source, std::uint32_t count);

}  // namespace xkit
