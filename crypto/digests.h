// Message digests: MD5 (RFC 1321), the pi digest (1 to 256 bytes of output from any input,
// finished by the mix cipher, a 128-bit Feistel cipher of its own) and uppercase hexadecimal text.
//
// All operations are plain functions over records the caller owns; none fails and none allocates
// except BytesToHex. 32-bit words are read from and stored into bytes little-endian. A buffer is
// an address and a length in bytes; a length of zero or less absorbs nothing, and the address of
// an empty buffer may be null.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace xkit {

// ---- MD5 -------------------------------------------------------------------------------------

// Running state of an MD5 computation. Pending holds (BitCount[0] >> 3) mod 64 bytes of the
// current, not yet transformed block.
struct TMd5Accumulator {
  std::uint32_t BitCount[2];  // message bits absorbed so far, modulo 2^64, low word first
  std::uint32_t Chain[4];     // chaining values A, B, C, D
  std::uint8_t Pending[64];
};

// A, B, C, D, each as a little-endian word.
using TMd5Digest = std::array<std::uint8_t, 16>;

// Starts a computation; Pending keeps whatever it held.
void Md5Init(TMd5Accumulator& acc);
void Md5Update(TMd5Accumulator& acc, const void* buffer, std::int32_t length);
// Pads, transforms the last block and writes the digest. Initialise again before reusing acc.
void Md5Final(TMd5Accumulator& acc, TMd5Digest& digest);
void Md5OfBuffer(TMd5Digest& digest, const void* buffer, std::int32_t length);
void Md5OfString(TMd5Digest& digest, const std::string& s);

// ---- Pi digest -------------------------------------------------------------------------------

// Running state of a pi digest. PoolPos is the next position in Pool (0..255), MixPos the next
// position in the first 8 bytes of MixState (0..7). Pool starts as the first 2,048 bits of the
// fractional part of pi; MixState is read as four little-endian words W0..W3, each 0x55555555
// at the start.
struct TPiDigestAccumulator {
  std::int32_t PoolPos;
  std::uint8_t Pool[256];
  std::int32_t MixPos;
  std::uint8_t MixState[16];
};

void PiDigestInit(TPiDigestAccumulator& acc);
void PiDigestUpdate(TPiDigestAccumulator& acc, const void* buffer, std::int32_t length);
// Absorbs the pad (0x01, then zeros up to a multiple of 8 bytes; the accumulator keeps it),
// enciphers a copy of Pool under MixState and writes min(digestSize, 256) bytes of it: nothing
// for a size of zero or less, and bytes 256 and on of a larger buffer stay as they were.
void PiDigestFinal(TPiDigestAccumulator& acc, void* digest, std::int32_t digestSize);
void PiDigestOfBuffer(void* digest, std::int32_t digestSize, const void* buffer,
                      std::int32_t length);
void PiDigestOfString(void* digest, std::int32_t digestSize, const std::string& s);

// ---- Mix cipher ------------------------------------------------------------------------------

// Key schedule of the mix cipher: the direction and round count (4..16) fixed at set-up, and
// sub-key pair r for round r.
struct TMixCipherKey {
  bool Encrypt;
  std::int32_t Rounds;
  std::uint32_t SubKeys[16][2];
};

// key: 16 bytes. A round count outside 4..16 is clamped into it. A schedule set up with
// encrypt = false undoes the blocks of one set up with the same key and rounds and encrypt = true.
void MixCipherInitKey(const void* key, TMixCipherKey& schedule, std::int32_t rounds, bool encrypt);
// block: 16 bytes, enciphered or deciphered in place as the schedule says.
void MixCipherBlock(const TMixCipherKey& schedule, void* block);

// ---- Hexadecimal text ------------------------------------------------------------------------

// result := two uppercase hexadecimal digits per byte, high nibble first; empty for count <= 0.
void BytesToHex(const void* buffer, std::int32_t count, std::string& result);

}  // namespace xkit
