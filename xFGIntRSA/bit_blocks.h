// The bit-level layout of the RSA operation, over packed bytes, in both directions. Bits are
// numbered from the first byte's top bit.
//
// Reading (RsaDecrypt): the input's bits after its leading zeros, cut into blocks of L bits
// from the end (only the first block is short), each result block written as a multiple of
// L - 1 bits, and the payload after the first "111" of the joined result.
// Writing (RsaEncrypt), the inverse: zeros, "111" and the payload's bits, a multiple of
// L - 1 bits in all, cut into blocks of L - 1 bits, each result block written as L bits.
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

// A payload behind the "111" start marker, zeros in front up to a multiple of `width` bits,
// seen as blocks of `width` bits: the plain blocks of RsaEncrypt.
class MarkedPayloadBlocks {
public:
  MarkedPayloadBlocks(const std::string& payload, std::size_t width);

  std::size_t Count() const { return count_; }
  // out[0..limbs) = the value of block `index` (0 = the first), limbs >= ceil(width / 64).
  void Read(std::size_t index, Limb* out, std::size_t limbs) const;

private:
  std::string marked_;  // the byte 7 ("00000111"), then the payload
  std::size_t width_;
  std::size_t count_;
};

// Joined output bits, most significant first.
class OutputBits {
public:
  // Blocks are written in units of `unit` bits.
  explicit OutputBits(std::size_t unit) : unit_(unit) {}

  // Appends value[0..n) in the fewest whole units that hold it, one unit for zero.
  void AppendBlock(const Limb* value, std::size_t n);
  // Appends the low `width` bits of value[0..n), most significant first (bits above n
  // limbs are zeros).
  void Append(const Limb* value, std::size_t n, std::size_t width);

  // All the bits as bytes: right-aligned, zero bits in front up to a multiple of 8.
  std::string Bytes() const;
  // The bytes of the bits after the first "111", aligned the same way; empty when there is
  // no "111".
  std::string PayloadAfterMarker() const;

private:
  // Appends the low `count` bits of bits (count <= 64).
  void Put(Limb bits, unsigned count);
  // The bits from `start` on as bytes, right-aligned.
  std::string BytesFrom(std::size_t start) const;

  std::size_t unit_;
  std::vector<std::uint8_t> bytes_;  // the bits, packed from the top of the first byte
  std::size_t size_ = 0;             // in bits
};

}  // namespace xkit::detail
