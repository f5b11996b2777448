// The bit-level layout of the RSA operation, over packed bytes: reading the input's blocks
// aligned at its end, joining result blocks, and cutting the payload after the "111"
// start marker. Everything runs in one pass over the bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "xFGInt/limbs.h"

namespace xkit::detail {

// The input bytes seen as blocks of `width` bits. The bits after the text's leading zero
// bits are split into blocks from the end, so that only the first block is short (its
// missing high bits are zeros).
class InputBlocks {
public:
  InputBlocks(const std::string& text, std::size_t width);

  std::size_t Count() const { return count_; }
  // out[0..limbs) = the value of block `index` (0 = the first), limbs >= ceil(width / 64).
  void Read(std::size_t index, Limb* out, std::size_t limbs) const;

private:
  const std::string& text_;
  std::size_t width_;
  std::size_t count_;
};

// The joined output bits, most significant first.
class OutputBits {
public:
  // Appends the low `width` bits of value[0..n), most significant first (bits above n limbs
  // are zeros).
  void Append(const Limb* value, std::size_t n, std::size_t width);
  // The bytes of the bits after the first "111": right-aligned, zero bits in front up to a
  // multiple of 8. Empty when there is no "111".
  std::string PayloadAfterMarker() const;

private:
  bool Bit(std::size_t i) const { return (bytes_[i / 8] >> (7 - i % 8)) & 1; }

  std::vector<std::uint8_t> bytes_;
  std::size_t size_ = 0;  // in bits
};

}  // namespace xkit::detail
