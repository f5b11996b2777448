// The Base64 coder on memory, shared by the stream coders and the string operation.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xkit::detail {

inline constexpr const char* kInvalidBase64 = "Invalid Base64 Character";

// Four characters for every started group of three bytes.
constexpr std::size_t Base64EncodedSize(std::size_t byteCount) {
  return (byteCount + 2) / 3 * 4;
}

// At most three bytes for every started group of four characters.
constexpr std::size_t Base64DecodedCapacity(std::size_t charCount) {
  return (charCount + 3) / 4 * 3;
}

// Writes exactly Base64EncodedSize(byteCount) characters, "=" padding a last short group.
void Base64Encode(const std::uint8_t* bytes, std::size_t byteCount, char* text);

struct Base64Decoded {
  std::size_t byteCount;  // bytes written, from the groups before any invalid one
  std::size_t invalidAt;  // offset of the first group with an invalid character
  bool valid;
};

// Decodes `charCount` characters into `bytes` (room for Base64DecodedCapacity(charCount)),
// with the rules of Base64DecodeStream (streams.h); the text starts a group.
Base64Decoded Base64Decode(const char* text, std::size_t charCount, std::uint8_t* bytes);

}  // namespace xkit::detail
