// Block reading and writing, output joining and the start-marker cut, 64 bits at a time.
#include "xFGIntRSA/bit_blocks.h"

#include <algorithm>
#include <bit>

namespace xkit::detail {

namespace {

// The `count` bits (at most 64) that end just before bit `end` of data[0..size), as a
// number; bits before the start or past the end of the data are zeros.
Limb BitsEndingAt(const std::uint8_t* data, std::size_t size, std::ptrdiff_t end, unsigned count) {
  if (end <= 0 || count == 0) return 0;
  // Nine bytes up to the one holding bit end - 1 cover the 64 bits and the up to 7 bits
  // of that byte that lie past `end`.
  const std::ptrdiff_t last = (end - 1) / 8;
  DoubleLimb window = 0;
  for (std::ptrdiff_t b = last - 8; b <= last; ++b) {
    const Limb byte = b >= 0 && static_cast<std::size_t>(b) < size ? data[b] : 0;
    window = (window << 8) | byte;
  }
  const Limb bits = static_cast<Limb>(window >> (8 * (last + 1) - end));
  return count == 64 ? bits : bits & ((Limb{1} << count) - 1);
}

// out[0..limbs) = the `width` bits that end just before bit `end`, as a number.
void ReadBlock(const std::uint8_t* data, std::size_t size, std::ptrdiff_t end, std::size_t width,
               Limb* out, std::size_t limbs) {
  std::fill(out, out + limbs, Limb{0});
  for (std::size_t low = 0; low < width; low += 64) {
    const auto count = static_cast<unsigned>(std::min<std::size_t>(64, width - low));
    out[low / 64] = BitsEndingAt(data, size, end - static_cast<std::ptrdiff_t>(low), count);
  }
}

const std::uint8_t* Data(const std::string& s) {
  return reinterpret_cast<const std::uint8_t*>(s.data());
}

}  // namespace

InputBlocks::InputBlocks(const std::string& text, std::size_t width)
    : text_(text), width_(width), count_(0) {
  // The significant bits: everything after the leading zero bits.
  std::size_t lead = 0;
  while (lead < text.size() && text[lead] == 0)
    ++lead;
  if (lead == text.size()) return;  // empty or all zeros: no blocks
  const auto first = static_cast<unsigned char>(text[lead]);
  const std::size_t bits = 8 * (text.size() - lead) - std::countl_zero(first);
  count_ = (bits + width - 1) / width;
}

void InputBlocks::Read(std::size_t index, Limb* out, std::size_t limbs) const {
  // Block `index` ends (count - index - 1) widths before the end of the text's bits; bits
  // before the text's start belong to the first block's zero padding.
  const std::size_t end = 8 * text_.size() - (count_ - index - 1) * width_;
  ReadBlock(Data(text_), text_.size(), static_cast<std::ptrdiff_t>(end), width_, out, limbs);
}

MarkedPayloadBlocks::MarkedPayloadBlocks(const std::string& payload, std::size_t width)
    : marked_(1, '\x07'), width_(width) {
  marked_ += payload;
  count_ = (3 + 8 * payload.size() + width - 1) / width;
}

void MarkedPayloadBlocks::Read(std::size_t index, Limb* out, std::size_t limbs) const {
  // The blocks end with the payload: block `index` ends (count - index - 1) widths before
  // its last bit, and the zeros in front come from the marker byte and from before it.
  const std::size_t end = 8 * marked_.size() - (count_ - index - 1) * width_;
  ReadBlock(Data(marked_), marked_.size(), static_cast<std::ptrdiff_t>(end), width_, out, limbs);
}

void OutputBits::Put(Limb bits, unsigned count) {
  const std::size_t end = size_ + count;
  // Shifted so that the last bit lands on a byte's lowest bit, then written byte by byte
  // from the back; the bits above `count` are zeros, so the first byte keeps its bits.
  const unsigned shift = (8 - end % 8) % 8;
  DoubleLimb window = static_cast<DoubleLimb>(bits) << shift;
  bytes_.resize((end + 7) / 8, 0);
  std::size_t byte = bytes_.size();
  for (unsigned filled = 0; filled < count + shift; filled += 8) {
    bytes_[--byte] |= static_cast<std::uint8_t>(window);
    window >>= 8;
  }
  size_ = end;
}

void OutputBits::Append(const Limb* value, std::size_t n, std::size_t width) {
  // From the top: first the width % 64 bits above the last whole limb, then whole limbs.
  for (std::size_t low = width; low > 0;) {
    const std::size_t count = low % 64 == 0 ? 64 : low % 64;
    low -= count;
    const Limb limb = low / 64 < n ? value[low / 64] : 0;
    Put(count == 64 ? limb : limb & ((Limb{1} << count) - 1), static_cast<unsigned>(count));
  }
}

void OutputBits::AppendBlock(const Limb* value, std::size_t n) {
  const std::size_t top = NormalizedSize(value, n);
  const std::size_t bits =
      top == 0 ? 1 : 64 * top - static_cast<std::size_t>(std::countl_zero(value[top - 1]));
  Append(value, n, (bits + unit_ - 1) / unit_ * unit_);
}

std::string OutputBits::BytesFrom(std::size_t start) const {
  const std::size_t bits = size_ - start;
  std::string bytes((bits + 7) / 8, '\0');
  if (bytes.empty()) return bytes;
  // Output byte j holds the 8 bits that end 8 (count - j - 1) bits before the end: all of
  // them straddle stored bytes the same way, `shift` bits into the next one.
  const unsigned shift = size_ % 8;
  const auto last = static_cast<std::ptrdiff_t>((size_ + 7) / 8);  // past the last stored byte
  const auto stored = [&](std::ptrdiff_t i) -> unsigned { return i >= 0 ? bytes_[i] : 0; };
  for (std::size_t j = 0; j < bytes.size(); ++j) {
    const std::ptrdiff_t high =
        last - static_cast<std::ptrdiff_t>(bytes.size() - j) - (shift == 0 ? 0 : 1);
    const unsigned value =
        shift == 0 ? stored(high) : (stored(high) << shift) | (stored(high + 1) >> (8 - shift));
    bytes[j] = static_cast<char>(value);
  }
  // The first byte reaches before `start`: those bits are cut off.
  if (bits % 8 != 0) bytes[0] = static_cast<char>(bytes[0] & ((1u << (bits % 8)) - 1));
  return bytes;
}

std::string OutputBits::Bytes() const {
  return BytesFrom(0);
}

std::string OutputBits::PayloadAfterMarker() const {
  std::size_t run = 0;  // ones in a row ending at the current bit
  for (std::size_t i = 0; i < size_; ++i) {
    run = (bytes_[i / 8] >> (7 - i % 8)) & 1 ? run + 1 : 0;
    if (run == 3) return BytesFrom(i + 1);
  }
  return "";
}

}  // namespace xkit::detail
