// Internals of the AES unit shared by its files and its tests: the choice between the AES
// instructions and the portable constant-time rounds, and a cipher that runs one key over many
// blocks, as the stream and string operations need.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/aes.h"

namespace xkit::detail {

// The expanded key as bytes, in FIPS-197 order.
inline const std::uint8_t* RoundKeyBytes(const TAesKey& aesKey) {
  return reinterpret_cast<const std::uint8_t*>(aesKey.RoundKeys);
}

// A record built by AesInitKey has 10..14 rounds; any other value is kept inside the 60
// words of RoundKeys, so a hand-made record never reads past them.
inline int UsableRounds(std::int32_t rounds) {
  return rounds < 1 ? 1 : rounds > 14 ? 14 : rounds;
}

// The ways to run the rounds, from the portable ones up: the AES instructions on one block
// per instruction (AES-NI), and on two per instruction (VAES on 256-bit registers, for many
// blocks at once; single blocks still take AES-NI). All give the same bytes, and all run in
// time independent of the key and the data.
enum class AesPath { kPortable, kAesNi, kVaes };

bool AesPathSupported(AesPath path);
// The path AesBlock and new AesBlockCipher objects use: by default the best supported.
AesPath CurrentAesPath();
// For tests, benchmarks and constant-time checks: SetAesPath(AesPath::kPortable) forces the
// portable rounds on any CPU; an unsupported path leaves the best supported one below it.
void SetAesPath(AesPath path);

// The portable rounds (aes_portable.cpp): bitsliced, four blocks per pass, no table.
// The round keys of one key record in the order and form those rounds take them.
struct AesPortableSchedule {
  std::uint64_t planes[15][8];  // the key of each step, in all four block lanes
  std::int32_t rounds;          // UsableRounds of the record's
  bool encrypt;
};
void AesPortablePrepare(const TAesKey& aesKey, AesPortableSchedule& schedule);
// `count` blocks in place, four at a time.
void AesPortableCryptBlocks(const AesPortableSchedule& schedule, std::uint8_t* blocks,
                            std::size_t count);
// One block in place straight from the key record, which it converts on the way.
void AesPortableBlock(const TAesKey& aesKey, std::uint8_t* block);

// The instruction paths (aes_ni.cpp); call only where AesPathSupported says so.
// SubWord of the key schedule (the S-box on each byte of a word).
std::uint32_t AesNiSubWord(std::uint32_t word);
void AesNiEncryptBlock(const TAesKey& aesKey, std::uint8_t* block);
void AesNiDecryptBlock(const TAesKey& aesKey, std::uint8_t* block);
// The 16 * (Rounds + 1) bytes of round keys in the order the decipher instructions take them:
// last round key first, InvMixColumns applied to the inner ones (the equivalent inverse
// cipher of FIPS-197 5.3.5, which computes the same function as the direct one).
void AesNiInverseSchedule(const TAesKey& aesKey, std::uint8_t* schedule);
// `count` blocks in place through `schedule`, Rounds + 1 round keys: the key record's own
// for enciphering, AesNiInverseSchedule's for deciphering.
void AesCryptBlocks(AesPath path, bool encrypt, const std::uint8_t* schedule, std::int32_t rounds,
                    std::uint8_t* blocks, std::size_t count);

// One key, one direction, any number of blocks in place; wipes its key schedules when it
// goes. The path is chosen when it is built.
class AesBlockCipher {
public:
  AesBlockCipher(const void* key, std::int32_t keySize, bool encrypt);
  ~AesBlockCipher();
  AesBlockCipher(const AesBlockCipher&) = delete;
  AesBlockCipher& operator=(const AesBlockCipher&) = delete;

  void Process(std::uint8_t* blocks, std::size_t count) const;

private:
  TAesKey key_;
  alignas(16) std::uint8_t inverseSchedule_[16 * 15];  // deciphering on the instructions
  AesPortableSchedule portable_;                       // on the portable path
  AesPath path_;
};

}  // namespace xkit::detail
