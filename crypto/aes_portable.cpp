// The portable AES rounds, in constant time: four blocks at a time bitsliced into eight 64-bit
// planes, the S-box as a circuit (aes_bitsliced.h), and ShiftRows folded into MixColumns so the
// rounds never move bytes. Every key and every block takes the same instructions and touches
// the same memory.
#include <bit>
#include <cstring>
#include <type_traits>

#include "crypto/aes_bitsliced.h"
#include "crypto/aes_engine.h"
#include "crypto/digest_words.h"
#include "crypto/wipe.h"

namespace xkit::detail {
namespace {

// Bit 16 r + 4 c + k of plane b is bit b of row r, column c of block k (r, c, k in 0..3):
// a row of the four blocks fills 16 bits, so moving between rows is a rotation of the word.
using Plane = std::uint64_t;

constexpr std::size_t kBatch = 4;
constexpr std::size_t kBlock = 16;

// ---- Blocks into planes and back ----

// Byte i of `x` to byte 2 i.
inline Plane Spread(std::uint32_t x) {
  Plane y = x;
  y = (y | y << 16) & 0x0000FFFF0000FFFF;
  return (y | y << 8) & 0x00FF00FF00FF00FF;
}

// Byte 2 i of `y` to byte i: the inverse of Spread.
inline std::uint32_t Gather(Plane y) {
  y &= 0x00FF00FF00FF00FF;
  y = (y | y >> 8) & 0x0000FFFF0000FFFF;
  return static_cast<std::uint32_t>(y | y >> 16);
}

// Exchanges the bits of `a` at the positions of mask << n with those of `b` at mask.
inline void SwapMove(Plane& a, Plane& b, Plane mask, int n) {
  const Plane t = ((a >> n) ^ b) & mask;
  b ^= t;
  a ^= t << n;
}

// Transposes, at every byte position m, the 8 x 8 bit matrix whose row j is byte m of q[j]:
// afterwards bit j of byte m of q[b] is what bit b of byte m of q[j] was. Its own inverse.
inline void TransposeBytes(Plane* q) {
  for (int j = 0; j < 8; j += 2)
    SwapMove(q[j], q[j + 1], 0x5555555555555555, 1);
  for (const int j : {0, 1, 4, 5})
    SwapMove(q[j], q[j + 2], 0x3333333333333333, 2);
  for (int j = 0; j < 4; ++j)
    SwapMove(q[j], q[j + 4], 0x0F0F0F0F0F0F0F0F, 4);
}

// The first `count` (1..4) blocks at `blocks` into planes; missing blocks are zero. Before the
// transposition q[k] holds columns 0 and 2 of block k byte by byte, q[k + 4] columns 1 and 3,
// so that byte m, bit j of word b lands on bit 8 m + j = 16 r + 4 c + k of plane b.
void Pack(const std::uint8_t* blocks, std::size_t count, Plane* q) {
  for (std::size_t k = 0; k < kBatch; ++k) {
    std::uint32_t column[4] = {};
    if (k < count) {
      for (int c = 0; c < 4; ++c)
        column[c] = LoadLe32(blocks + kBlock * k + 4 * c);
    }
    q[k] = Spread(column[0]) | Spread(column[2]) << 8;
    q[k + 4] = Spread(column[1]) | Spread(column[3]) << 8;
  }
  TransposeBytes(q);
}

// The inverse of Pack for the first `count` blocks; `q` is consumed.
void Unpack(Plane* q, std::uint8_t* blocks, std::size_t count) {
  TransposeBytes(q);
  for (std::size_t k = 0; k < count; ++k) {
    std::uint8_t* block = blocks + kBlock * k;
    StoreLe32(block, Gather(q[k]));
    StoreLe32(block + 4, Gather(q[k + 4]));
    StoreLe32(block + 8, Gather(q[k] >> 8));
    StoreLe32(block + 12, Gather(q[k + 4] >> 8));
  }
}

// One block's column words (row r in byte r) into lane 0 of the planes, the other lanes zero.
// This is Pack with blocks 1..3 missing: bits b of byte m of q[0] and q[4] before the
// transposition go to bits 8 m and 8 m + 4 of plane b. Nibbles of the two words side by side
// make both at once: low nibbles for planes 0..3, high nibbles for planes 4..7.
inline void PackColumns(const std::uint32_t* columns, Plane* q) {
  constexpr Plane kLowNibbles = 0x0F0F0F0F0F0F0F0F;
  constexpr Plane kLane0 = 0x1111111111111111;
  const Plane even = Spread(columns[0]) | Spread(columns[2]) << 8;
  const Plane odd = Spread(columns[1]) | Spread(columns[3]) << 8;
  const Plane low = (even & kLowNibbles) | (odd & kLowNibbles) << 4;
  const Plane high = ((even >> 4) & kLowNibbles) | (odd & ~kLowNibbles);
  for (int b = 0; b < 4; ++b) {
    q[b] = (low >> b) & kLane0;
    q[b + 4] = (high >> b) & kLane0;
  }
}

// One block's column words into all four lanes, as a round key for four blocks at once.
void PackColumnsEverywhere(const std::uint32_t* columns, Plane* q) {
  PackColumns(columns, q);
  for (int b = 0; b < 8; ++b) {
    q[b] |= q[b] << 1;
    q[b] |= q[b] << 2;
  }
}

// The inverse of PackColumns: lane 0's block as column words, whatever the other lanes hold.
inline void UnpackColumns(const Plane* q, std::uint32_t* columns) {
  constexpr Plane kLowNibbles = 0x0F0F0F0F0F0F0F0F;
  constexpr Plane kLane0 = 0x1111111111111111;
  Plane low = 0;
  Plane high = 0;
  for (int b = 0; b < 4; ++b) {
    low |= (q[b] & kLane0) << b;
    high |= (q[b + 4] & kLane0) << b;
  }
  const Plane even = (low & kLowNibbles) | (high & kLowNibbles) << 4;
  const Plane odd = ((low >> 4) & kLowNibbles) | (high & ~kLowNibbles);
  columns[0] = Gather(even);
  columns[1] = Gather(odd);
  columns[2] = Gather(even >> 8);
  columns[3] = Gather(odd >> 8);
}

// ---- The linear layers ----

// Lane (r, c, k) takes lane (r + rows, c + cols, k), rows and columns modulo 4.
template <int rows, int cols>
inline Plane Moved(Plane x) {
  constexpr int kUp = 16 * rows + 4 * cols;
  if constexpr (cols == 0) {
    return std::rotr(x, kUp);
  } else {
    // Columns 0 .. 3 - cols find theirs within the row field; the others wrap to its start.
    constexpr Plane kInField = 0x0001000100010001 * ((Plane{1} << (16 - 4 * cols)) - 1);
    return (std::rotr(x, kUp) & kInField) | (std::rotr(x, kUp - 16) & ~kInField);
  }
}

// ShiftRows applied m times: row r moves m r columns to the left.
template <int m>
inline Plane ShiftRowsBy(Plane x) {
  constexpr Plane kRow = 0xFFFF;
  return (x & kRow) | (Moved<0, m % 4>(x) & kRow << 16) | (Moved<0, 2 * m % 4>(x) & kRow << 32) |
         (Moved<0, 3 * m % 4>(x) & kRow << 48);
}

// The planes of 02 * x in GF(2^8) (the polynomial x^8 + x^4 + x^3 + x + 1, hence 0x1B).
inline void XTime(const Plane* x, Plane* out) {
  out[0] = x[7];
  out[1] = x[0] ^ x[7];
  out[2] = x[1];
  out[3] = x[2] ^ x[7];
  out[4] = x[3] ^ x[7];
  out[5] = x[4];
  out[6] = x[5];
  out[7] = x[6];
}

// The rounds never apply ShiftRows: the stored state S lags the true state T by j ShiftRows
// (modulo 4), T[r][c] = S[r][c + j r]. A column of T is then the lanes (r, c + j r) of S, and
// MixColumns of T, kept in the same lag, is
//   S'[r][c] = 02 a0 ^ 03 a1 ^ a2 ^ a3  with  ai = S[r + i][c + j i].
template <int j>
inline void MixColumns(Plane* q) {
  Plane next[8], sum[8], twice[8];
  for (int b = 0; b < 8; ++b) {
    next[b] = Moved<1, j>(q[b]);
    sum[b] = q[b] ^ next[b];  // a0 ^ a1, whose move by one more row is a2 ^ a3
  }
  XTime(sum, twice);
  for (int b = 0; b < 8; ++b)
    q[b] = twice[b] ^ next[b] ^ Moved<2, 2 * j % 4>(sum[b]);
}

// InvMixColumns in the same lag: its matrix is MixColumns' times that of 04 x^2 + 05, which
// turns a0 into a0 ^ 04 (a0 ^ a2).
template <int j>
inline void InvMixColumns(Plane* q) {
  Plane sum[8], twice[8], fourfold[8];
  for (int b = 0; b < 8; ++b)
    sum[b] = q[b] ^ Moved<2, 2 * j % 4>(q[b]);
  XTime(sum, twice);
  XTime(twice, fourfold);
  for (int b = 0; b < 8; ++b)
    q[b] ^= fourfold[b];
  MixColumns<j>(q);
}

template <int m>
inline void ApplyShiftRows(Plane* q) {
  if constexpr (m != 0) {
    for (int b = 0; b < 8; ++b)
      q[b] = ShiftRowsBy<m>(q[b]);
  }
}

// ---- The rounds ----
// Round i of the cipher leaves the stored state i ShiftRows behind the true one, round i of the
// inverse cipher -i (each InvShiftRows skipped), so a round key K must enter as K moved back by
// the lag. Round key 0 and the last one meet the true state and are the caller's to add, before
// and after the rounds; `addKey(q, i, KeyShift<m>())` adds the key of middle round i
// (1 .. rounds - 1) moved by m ShiftRows, as RoundKeyColumns<m> gives it.

template <int m>
using KeyShift = std::integral_constant<int, m>;

// Calls body(std::integral_constant<int, n mod 4>()): the templates below take a round's place
// in the cycle of four ShiftRows at compile time.
template <typename Body>
inline void WithQuarter(int n, const Body& body) {
  switch (n & 3) {
    case 0:
      return body(std::integral_constant<int, 0>());
    case 1:
      return body(std::integral_constant<int, 1>());
    case 2:
      return body(std::integral_constant<int, 2>());
    default:
      return body(std::integral_constant<int, 3>());
  }
}

// Round i of FIPS-197's Cipher, i mod 4 = j.
template <int j, typename AddKey>
inline void EncryptRound(Plane* q, int i, const AddKey& addKey) {
  SboxPlanesXor63(q);
  MixColumns<j>(q);
  addKey(q, i, KeyShift<(4 - j) % 4>());
}

// Round i of FIPS-197's InvCipher in its direct form, counted from its start (so round key
// rounds - i), i mod 4 = j.
template <int j, typename AddKey>
inline void DecryptRound(Plane* q, int i, const AddKey& addKey) {
  InvSboxPlanesOfXor63(q);
  addKey(q, i, KeyShift<j>());
  InvMixColumns<(4 - j) % 4>(q);
}

// The cipher from the first SubBytes to the last ShiftRows (its inverse from the first
// InvSubBytes to the last InvShiftRows), ShiftRows applied at the end as often as skipped.
template <typename AddKey>
void CryptRounds(bool encrypt, Plane* q, int rounds, const AddKey& addKey) {
  if (encrypt) {
    for (int i = 1; i < rounds; ++i)
      WithQuarter(i, [&](auto j) { EncryptRound<j>(q, i, addKey); });
    SboxPlanesXor63(q);
  } else {
    for (int i = 1; i < rounds; ++i)
      WithQuarter(i, [&](auto j) { DecryptRound<j>(q, i, addKey); });
    InvSboxPlanesOfXor63(q);
  }
  WithQuarter(encrypt ? rounds : -rounds, [q](auto m) { ApplyShiftRows<m>(q); });
}

// The round key added at step i (0 .. rounds) of the record's direction, as four column words
// (row r in byte r): round key i enciphering, rounds - i deciphering; moved by m ShiftRows
// (column c takes row r from column c + m r); and xored with 0x63 where it meets an S-box
// output (enciphering) or input (deciphering), the constant the S-box circuits leave out.
template <int m>
void RoundKeyColumns(const TAesKey& aesKey, int rounds, int step, std::uint32_t* columns) {
  const bool encrypt = aesKey.Encrypt;
  const std::uint8_t* key = RoundKeyBytes(aesKey) + kBlock * (encrypt ? step : rounds - step);
  const std::uint32_t bias = (encrypt ? step != 0 : step != rounds) ? 0x63636363 : 0;
  std::uint32_t k[4];
  for (int c = 0; c < 4; ++c)
    k[c] = LoadLe32(key + 4 * c);
  for (int c = 0; c < 4; ++c) {
    columns[c] = ((k[c] & 0x000000FF) | (k[(c + m) % 4] & 0x0000FF00) |
                  (k[(c + 2 * m) % 4] & 0x00FF0000) | (k[(c + 3 * m) % 4] & 0xFF000000)) ^
                 bias;
  }
}

}  // namespace

void AesPortablePrepare(const TAesKey& aesKey, AesPortableSchedule& schedule) {
  std::memset(&schedule, 0, sizeof schedule);
  schedule.encrypt = aesKey.Encrypt;
  schedule.rounds = UsableRounds(aesKey.Rounds);
  const int rounds = schedule.rounds;
  std::uint32_t columns[4];
  for (int step = 0; step <= rounds; ++step) {
    // Moved as EncryptRound and DecryptRound ask for their keys.
    const int shift = step == 0 || step == rounds ? 0 : schedule.encrypt ? -step : step;
    WithQuarter(shift, [&](auto m) { RoundKeyColumns<m>(aesKey, rounds, step, columns); });
    PackColumnsEverywhere(columns, schedule.planes[step]);
  }
  SecureWipe(columns, sizeof columns);
}

void AesPortableCryptBlocks(const AesPortableSchedule& schedule, std::uint8_t* blocks,
                            std::size_t count) {
  // The keys are moved already.
  const auto addKey = [&schedule](Plane* q, int step, auto /*shift*/) {
    for (int b = 0; b < 8; ++b)
      q[b] ^= schedule.planes[step][b];
  };
  Plane q[8];
  while (count > 0) {
    const std::size_t batch = count < kBatch ? count : kBatch;
    Pack(blocks, batch, q);
    addKey(q, 0, KeyShift<0>());
    CryptRounds(schedule.encrypt, q, schedule.rounds, addKey);
    addKey(q, schedule.rounds, KeyShift<0>());
    Unpack(q, blocks, batch);
    blocks += kBlock * batch;
    count -= batch;
  }
  SecureWipe(q, sizeof q);
}

// One block in lane 0, the other lanes idle. Each middle round key is converted as it is
// needed; the first and the last are added to the block's bytes outside the planes.
void AesPortableBlock(const TAesKey& aesKey, std::uint8_t* block) {
  const int rounds = UsableRounds(aesKey.Rounds);
  std::uint32_t columns[4], key[4];
  Plane q[8];
  RoundKeyColumns<0>(aesKey, rounds, 0, key);
  for (int c = 0; c < 4; ++c)
    columns[c] = LoadLe32(block + 4 * c) ^ key[c];
  PackColumns(columns, q);
  CryptRounds(aesKey.Encrypt, q, rounds, [&aesKey, rounds](Plane* state, int step, auto shift) {
    std::uint32_t stepKey[4];
    Plane planes[8];
    RoundKeyColumns<shift>(aesKey, rounds, step, stepKey);
    PackColumns(stepKey, planes);
    for (int b = 0; b < 8; ++b)
      state[b] ^= planes[b];
  });
  UnpackColumns(q, columns);
  RoundKeyColumns<0>(aesKey, rounds, rounds, key);
  for (int c = 0; c < 4; ++c)
    StoreLe32(block + 4 * c, columns[c] ^ key[c]);
  SecureWipe(columns, sizeof columns);
  SecureWipe(key, sizeof key);
  SecureWipe(q, sizeof q);
}

}  // namespace xkit::detail
