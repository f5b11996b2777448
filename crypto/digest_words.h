// Pieces shared by the digests: little-endian loads and stores, the four-word mix pass that
// both the pi digest and the mix cipher stir their state with, and feeding a string of any size
// to an update that takes a signed 32-bit length.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>

namespace xkit::detail {

// Byte-wise so that any alignment and any host byte order give the same result; compilers turn
// both into single moves on little-endian hosts.
inline std::uint32_t LoadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline void StoreLe32(std::uint8_t* p, std::uint32_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
  p[2] = static_cast<std::uint8_t>(value >> 16);
  p[3] = static_cast<std::uint8_t>(value >> 24);
}

// Eight steps, each "x := x + y; y := y + x; x := x xor shift(x)" on the next pair. Step 7
// xors in d shifted, not c: that is the pass's definition, and stored pi digests depend on it.
inline void MixPass(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d) {
  a += d, d += a, a ^= a >> 7;
  b += a, a += b, b ^= b << 13;
  c += b, b += c, c ^= c >> 17;
  d += c, c += d, d ^= d << 9;
  a += d, d += a, a ^= a >> 3;
  b += a, a += b, b ^= b << 7;
  c += b, b += c, c ^= d >> 15;
  d += c, c += d, d ^= d << 11;
}

// Calls absorb(data, length) on consecutive pieces of bytes, each at most INT32_MAX long, so that
// a string longer than a signed 32-bit length is absorbed whole rather than cut or dropped.
template <typename Absorb>
void AbsorbInPieces(std::string_view bytes, Absorb absorb) {
  constexpr std::size_t kMaxPiece = std::numeric_limits<std::int32_t>::max();
  while (!bytes.empty()) {
    const std::size_t piece = std::min(bytes.size(), kMaxPiece);
    absorb(bytes.data(), static_cast<std::int32_t>(piece));
    bytes.remove_prefix(piece);
  }
}

}  // namespace xkit::detail
