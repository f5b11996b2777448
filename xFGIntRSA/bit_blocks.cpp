// Block reading, output joining and the start-marker cut, bit by bit in single passes.
#include "xFGIntRSA/bit_blocks.h"

#include <algorithm>
#include <bit>

namespace xkit::detail {

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
  std::fill(out, out + limbs, Limb{0});
  // Block `index` ends (count - index - 1) widths before the end of the text's bits; bits
  // before the text's start belong to the first block's zero padding.
  const std::size_t total = 8 * text_.size();
  const std::size_t end = total - (count_ - index - 1) * width_;
  const std::size_t start = end >= width_ ? end - width_ : 0;
  for (std::size_t pos = start; pos < end; ++pos) {
    const Limb bit = (static_cast<unsigned char>(text_[pos / 8]) >> (7 - pos % 8)) & 1;
    const std::size_t k = end - 1 - pos;  // the bit's weight in the block
    out[k / 64] |= bit << (k % 64);
  }
}

void OutputBits::Append(const Limb* value, std::size_t n, std::size_t width) {
  bytes_.resize((size_ + width + 7) / 8, 0);
  for (std::size_t k = width; k-- > 0;) {
    const Limb bit = k / 64 < n ? (value[k / 64] >> (k % 64)) & 1 : 0;
    bytes_[size_ / 8] |= static_cast<std::uint8_t>(bit << (7 - size_ % 8));
    ++size_;
  }
}

std::string OutputBits::PayloadAfterMarker() const {
  std::size_t run = 0;  // ones in a row ending at the current bit
  std::size_t start = size_;
  for (std::size_t i = 0; i < size_; ++i) {
    run = Bit(i) ? run + 1 : 0;
    if (run == 3) {
      start = i + 1;
      break;
    }
  }
  const std::size_t bits = size_ - start;
  std::string payload((bits + 7) / 8, '\0');
  // The first byte takes bits % 8 bits (all 8 when that is 0); each next one 8 more.
  std::size_t byte = 0;
  std::size_t filled = (8 - bits % 8) % 8;
  for (std::size_t i = start; i < size_; ++i) {
    payload[byte] = static_cast<char>((static_cast<unsigned char>(payload[byte]) << 1) | Bit(i));
    if (++filled == 8) {
      filled = 0;
      ++byte;
    }
  }
  return payload;
}

}  // namespace xkit::detail
