// Base64 coding on memory and of streams.
#include "crypto/base64.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>

#include "crypto/stream_io.h"
#include "crypto/streams.h"
#include "crypto/wipe.h"

namespace xkit {
namespace detail {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two characters for every 12 bits: one look-up per half of a three-byte group.
constexpr std::array<std::array<char, 2>, 4096> MakeCharPairs() {
  std::array<std::array<char, 2>, 4096> pairs{};
  for (int v = 0; v < 4096; ++v)
    pairs[v] = {kAlphabet[v >> 6], kAlphabet[v & 63]};
  return pairs;
}

constexpr auto kCharPairs = MakeCharPairs();

// Only "+" (0x2B) to "z" (0x7A) may appear in a text. The value of a character in that range
// is its digit value, or 127 for the non-digits ("=" among them).
constexpr std::uint32_t kInvalidChar = 0x80000000u;
// "=" in the third or fourth place of a group, where it ends the group early.
constexpr std::uint32_t kPadChar = 0x40000000u;

constexpr std::uint32_t CharValue(int c) {
  if (c < '+' || c > 'z') return kInvalidChar;
  for (std::uint32_t v = 0; v < 64; ++v) {
    if (kAlphabet[v] == c) return v;
  }
  return 127;
}

// decode[k][c]: the value of c placed as the k-th character of a group, its six bits (seven
// for 127) at bit 18 - 6k; invalid characters carry kInvalidChar instead, and "=" in the
// last two places kPadChar besides. OR-ing the four of a group gives 24 bits whose bytes are
// exactly (v0 shl 2) or (v1 shr 4), (v1 shl 4) or (v2 shr 2) and (v2 shl 6) or v3, each cut
// to 8 bits: a seven-bit 127 reaches only bits that the same formulas OR in.
constexpr std::array<std::array<std::uint32_t, 256>, 4> MakeDecodeTables() {
  std::array<std::array<std::uint32_t, 256>, 4> tables{};
  for (int c = 0; c < 256; ++c) {
    const std::uint32_t v = CharValue(c);
    for (int k = 0; k < 4; ++k)
      tables[k][c] = v == kInvalidChar ? kInvalidChar : v << (18 - 6 * k);
  }
  tables[2]['='] |= kPadChar;
  tables[3]['='] |= kPadChar;
  return tables;
}

constexpr auto kDecode = MakeDecodeTables();

inline std::uint32_t Value(int k, char c) {
  return kDecode[k][static_cast<std::uint8_t>(c)];
}

// One group of four characters whose looked-up values OR to `bits`; false when one of them
// is invalid. Stores four bytes at `out`, of which one to three count.
inline bool DecodeGroup(std::uint32_t bits, const char* group, std::uint8_t*& out) {
  if ((bits & kInvalidChar) != 0) return false;
  std::uint32_t word = bits << 8;
  if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap32(word);
  std::memcpy(out, &word, 4);
  out += (bits & kPadChar) == 0 ? 3 : group[2] == '=' ? 1 : 2;
  return true;
}

constexpr int kUndecided = -1;
constinit std::atomic<int> gUseAvx2{kUndecided};

bool UseAvx2() {
  int use = gUseAvx2.load(std::memory_order_relaxed);
  if (use == kUndecided) {
    use = Base64Avx2Supported() ? 1 : 0;
    gUseAvx2.store(use, std::memory_order_relaxed);
  }
  return use == 1;
}

}  // namespace

void SetBase64Avx2Enabled(bool enabled) {
  gUseAvx2.store(enabled && Base64Avx2Supported() ? 1 : 0, std::memory_order_relaxed);
}

void Base64Encode(const std::uint8_t* bytes, std::size_t byteCount, char* text) {
  if (UseAvx2()) {
    const std::size_t done = Base64EncodeAvx2(bytes, byteCount, text);
    bytes += done;
    byteCount -= done;
  }
  const std::uint8_t* end = bytes + byteCount / 3 * 3;
  for (; bytes != end; bytes += 3, text += 4) {
    const std::uint32_t group = (std::uint32_t{bytes[0]} << 16) | (bytes[1] << 8) | bytes[2];
    std::memcpy(text, kCharPairs[group >> 12].data(), 2);
    std::memcpy(text + 2, kCharPairs[group & 0xFFF].data(), 2);
  }
  switch (byteCount % 3) {
    case 1:
      text[0] = kAlphabet[bytes[0] >> 2];
      text[1] = kAlphabet[(bytes[0] & 3) << 4];
      text[2] = '=';
      text[3] = '=';
      break;
    case 2:
      text[0] = kAlphabet[bytes[0] >> 2];
      text[1] = kAlphabet[((bytes[0] & 3) << 4) | (bytes[1] >> 4)];
      text[2] = kAlphabet[(bytes[1] & 15) << 2];
      text[3] = '=';
      break;
    default:
      break;
  }
}

Base64Decoded Base64Decode(const char* text, std::size_t charCount, std::uint8_t* bytes) {
  const bool avx2 = UseAvx2();
  const std::size_t whole = charCount / 4 * 4;  // the characters of whole groups
  std::uint8_t* out = bytes;
  std::size_t at = 0;
  while (at < whole) {
    // Plain digit runs in bulk where possible; a block they stop at goes group by group.
    if (avx2) at += Base64DecodeDigitsAvx2(text + at, whole - at, out);
    const std::size_t stop = avx2 ? std::min(whole, at + 32) : whole;
    for (; at < stop; at += 4) {
      const char* g = text + at;
      const std::uint32_t bits = Value(0, g[0]) | Value(1, g[1]) | Value(2, g[2]) | Value(3, g[3]);
      if (!DecodeGroup(bits, g, out)) return {static_cast<std::size_t>(out - bytes), at, false};
    }
  }
  // A last group of one to three characters: the bytes whose bits are all present, as if
  // the group were padded with "=".
  const std::size_t rest = charCount - at;
  if (rest != 0) {
    const char* g = text + at;
    std::uint32_t bits = 0;
    for (std::size_t k = 0; k < rest; ++k)
      bits |= Value(static_cast<int>(k), g[k]);
    if ((bits & kInvalidChar) != 0) return {static_cast<std::size_t>(out - bytes), at, false};
    const std::size_t produced = rest == 1 ? 0 : (rest == 2 || g[2] == '=') ? 1 : 2;
    for (std::size_t k = 0; k < produced; ++k)
      out[k] = static_cast<std::uint8_t>(bits >> (16 - 8 * k));
    out += produced;
  }
  return {static_cast<std::size_t>(out - bytes), charCount, true};
}

}  // namespace detail

namespace {

// Pieces of about 8 KiB, which stay in the nearest cache between the read, the coding and
// the write. Bytes per read when encoding: a multiple of three, so that "=" can only come at
// the end, as with reads of 45 bytes.
constexpr std::size_t kEncodeChunk = 3 * 2048;
// Characters per read when decoding: a multiple of 88, so that a failing group leaves
// written exactly the stretches of 88 characters before it, as with reads of 88.
constexpr std::size_t kDecodeStretch = 88;
constexpr std::size_t kDecodeChunk = kDecodeStretch * 93;

}  // namespace

void Base64EncodeStream(std::istream& input, std::ostream& output) {
  detail::RequireReadable(input);
  detail::WipedBuffer bytes(kEncodeChunk);
  detail::WipedBuffer text(detail::Base64EncodedSize(kEncodeChunk));
  char* chars = reinterpret_cast<char*>(text.data());
  for (;;) {
    const std::size_t got = detail::ReadUpTo(input, bytes.data(), kEncodeChunk);
    if (got == 0) break;
    detail::Base64Encode(bytes.data(), got, chars);
    detail::WriteAll(output, chars, detail::Base64EncodedSize(got));
    if (got < kEncodeChunk) break;
  }
}

void Base64DecodeStream(std::istream& input, std::ostream& output) {
  detail::RequireReadable(input);
  detail::WipedBuffer text(kDecodeChunk);
  detail::WipedBuffer bytes(detail::Base64DecodeRoom(kDecodeChunk));
  const char* chars = reinterpret_cast<const char*>(text.data());
  for (;;) {
    const std::size_t got = detail::ReadUpTo(input, text.data(), kDecodeChunk);
    if (got == 0) break;
    const detail::Base64Decoded decoded = detail::Base64Decode(chars, got, bytes.data());
    if (!decoded.valid) {
      const std::size_t before = decoded.invalidAt - decoded.invalidAt % kDecodeStretch;
      const detail::Base64Decoded kept = detail::Base64Decode(chars, before, bytes.data());
      detail::WriteAll(output, bytes.data(), kept.byteCount);
      throw Exception(detail::kInvalidBase64);
    }
    detail::WriteAll(output, bytes.data(), decoded.byteCount);
    if (got < kDecodeChunk) break;
  }
}

}  // namespace xkit
