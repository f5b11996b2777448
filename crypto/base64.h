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

// Room Base64Decode needs: three bytes for every started group of four characters, and eight
// it may overwrite past the last byte it decodes.
constexpr std::size_t Base64DecodeRoom(std::size_t charCount) {
  return (charCount + 3) / 4 * 3 + 8;
}

// Writes exactly Base64EncodedSize(byteCount) characters, "=" padding a last short group.
void Base64Encode(const std::uint8_t* bytes, std::size_t byteCount, char* text);

struct Base64Decoded {
  std::size_t byteCount;  // bytes written, from the groups before any invalid one
  std::size_t invalidAt;  // offset of the first group with an invalid character
  bool valid;
};

// Decodes `charCount` characters into `bytes` (Base64DecodeRoom(charCount) bytes long),
// with the rules of Base64DecodeStream (streams.h); the text starts a group.
Base64Decoded Base64Decode(const char* text, std::size_t charCount, std::uint8_t* bytes);

// The AVX2 coder (base64_avx2.cpp), on by default where supported; tests switch it off to run
// the scalar coder alone.
bool Base64Avx2Supported();
void SetBase64Avx2Enabled(bool enabled);
// Encodes whole 24-byte steps from the start of `bytes` while 28 bytes remain; returns the
// bytes consumed, `text` advanced by 32 characters per step.
std::size_t Base64EncodeAvx2(const std::uint8_t* bytes, std::size_t byteCount, char*& text);
// Decodes the 32-character blocks at the start of `text` that hold only alphabet characters,
// stopping at the first other block or when fewer than 32 characters remain; returns the
// characters consumed. `out` advances 24 bytes per block and may be written 8 bytes past.
std::size_t Base64DecodeDigitsAvx2(const char* text, std::size_t charCount, std::uint8_t*& out);

}  // namespace xkit::detail
