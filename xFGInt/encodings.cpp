// Conversions between records, bit strings, byte strings and the xkit base-64 text. All run
// in linear time: bit strings are read and written eight characters at a time.
#include <array>
#include <cstring>

#include "xFGInt/record_limbs.h"
#include "xFGInt/xFGInt.h"

namespace xkit {

namespace {

using detail::Limb;

constexpr char kBase64Alphabet[] =
    "aAbBcCdDeEfFgGhHiIjJkKlLmMnNoOpPqQrRsStTuUvVwWxXyYzZ0123456789+=";

// The eight characters of each byte value, most significant bit first, as they lie in
// memory when stored as one little-endian word.
constexpr std::array<std::uint64_t, 256> MakeByteBitTable() {
  std::array<std::uint64_t, 256> table{};
  for (unsigned value = 0; value < 256; ++value) {
    std::uint64_t chars = 0;
    for (unsigned i = 0; i < 8; ++i) {
      const std::uint64_t bit = (value >> (7 - i)) & 1;
      chars |= ('0' + bit) << (8 * i);
    }
    table[value] = chars;
  }
  return table;
}
constexpr std::array<std::uint64_t, 256> kByteBits = MakeByteBitTable();

// Byte value of 8 bit-string characters at p (p[0] the most significant bit): '1' is a one
// bit, anything else a zero bit.
inline unsigned EightBits(const char* p) {
  std::uint64_t chars;
  std::memcpy(&chars, p, 8);
  const std::uint64_t ones = chars ^ 0x3131313131313131ULL;  // zero bytes where p[i] == '1'
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
  // Bit 7 of each byte is set exactly where that byte of `ones` is zero (no carry crosses a
  // byte: each byte sum is at most 0xFE).
  const std::uint64_t zero = ~(((ones & kLow7) + kLow7) | ones) & ~kLow7;
  // The flags sit at bits 8i; the multiplier moves flag i to bit 63 - i, no two partial
  // products meet, so the top byte is the value with p[0] as its high bit.
  return static_cast<unsigned>(((zero >> 7) * 0x8040201008040201ULL) >> 56);
}

// The value of up to 8 characters (fewer than 8 are the low bits of the group).
inline unsigned FewBits(const char* p, std::size_t count) {
  unsigned value = 0;
  for (std::size_t i = 0; i < count; ++i)
    value = (value << 1) | (p[i] == '1');
  return value;
}

// out[0..ceil(len/64)) := the value of the bit string p[0..len), least significant limb first.
std::size_t BitsToLimbs(const char* p, std::size_t len, Limb* out) {
  std::size_t k = 0;
  std::size_t end = len;
  for (; end >= 64; end -= 64) {
    Limb limb = 0;
    for (std::size_t i = end - 64; i < end; i += 8)
      limb = (limb << 8) | EightBits(p + i);
    out[k++] = limb;
  }
  if (end > 0) {
    Limb limb = 0;
    std::size_t i = 0;
    for (; i + 8 <= end; i += 8)
      limb = (limb << 8) | EightBits(p + i);
    const std::size_t rest = end - i;
    limb = (limb << rest) | FewBits(p + i, rest);
    out[k++] = limb;
  }
  return k;
}

}  // namespace

void BigFromBits(const std::string& bits, TFGInt& a) {
  detail::LimbBuffer limbs(bits.size() / 64 + 1);
  const std::size_t n = BitsToLimbs(bits.data(), bits.size(), limbs.Data());
  detail::FromLimbs(limbs.Data(), n, TBigSign::Positive, a);
}

void BigToBits(const TFGInt& a, std::string& bits) {
  if (a.Digits.empty()) {
    bits.assign(1, '0');
    return;
  }
  detail::RequireValue(a);
  detail::LimbBuffer buffer(detail::LimbsForDigits(detail::DigitCount(a)));
  Limb* limbs = buffer.Data();
  const std::size_t n = detail::ToLimbs(a, limbs);
  if (n == 0) {
    bits.assign(1, '0');
    return;
  }
  const unsigned topBits = 64 - static_cast<unsigned>(__builtin_clzll(limbs[n - 1]));
  std::string text(topBits + 64 * (n - 1), '0');
  char* out = text.data();
  for (unsigned i = topBits; i-- > 0;)
    *out++ = static_cast<char>('0' + ((limbs[n - 1] >> i) & 1));
  for (std::size_t k = n - 1; k-- > 0;) {
    for (int shift = 56; shift >= 0; shift -= 8) {
      std::memcpy(out, &kByteBits[(limbs[k] >> shift) & 0xFF], 8);
      out += 8;
    }
  }
  bits = std::move(text);
}

void BytesToBits(const std::string& bytes, std::string& bits) {
  std::string text(bytes.size() * 8, '0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    std::memcpy(text.data() + 8 * i, &kByteBits[static_cast<unsigned char>(bytes[i])], 8);
  bits = std::move(text);
}

void BitsToBytes(const std::string& bits, std::string& bytes) {
  const std::size_t head = bits.size() % 8;  // the leftmost group, zero-filled on the left
  std::string out((bits.size() + 7) / 8, '\0');
  std::size_t k = 0;
  if (head != 0) out[k++] = static_cast<char>(FewBits(bits.data(), head));
  for (std::size_t i = head; i < bits.size(); i += 8)
    out[k++] = static_cast<char>(EightBits(bits.data() + i));
  bytes = std::move(out);
}

void BigFromBytes(const std::string& bytes, TFGInt& a) {
  const std::size_t n = (bytes.size() + 7) / 8;
  detail::LimbBuffer buffer(n + 1);
  Limb* limbs = buffer.Data();
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t end = bytes.size();
  std::size_t k = 0;
  for (; end >= 8; end -= 8) {
    Limb word;
    std::memcpy(&word, p + end - 8, 8);
    limbs[k++] = __builtin_bswap64(word);  // the bytes are big-endian
  }
  if (end > 0) {
    Limb word = 0;
    for (std::size_t i = 0; i < end; ++i)
      word = (word << 8) | p[i];
    limbs[k++] = word;
  }
  detail::FromLimbs(limbs, k, TBigSign::Positive, a);
}

void Base64ToBytes(const std::string& text, std::string& bytes) {
  std::array<signed char, 256> sextet;
  sextet.fill(-1);
  for (int v = 0; v < 64; ++v)
    sextet[static_cast<unsigned char>(kBase64Alphabet[v])] = static_cast<signed char>(v);
  std::string out;
  out.reserve(text.size() * 3 / 4 + 1);
  std::uint32_t pending = 0;  // the low `bits` bits wait for a complete byte
  unsigned bits = 0;
  for (const char c : text) {
    const int v = sextet[static_cast<unsigned char>(c)];
    if (v < 0) continue;  // not in the alphabet: skipped
    pending = (pending << 6) | static_cast<std::uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>(pending >> bits));
      pending &= (1u << bits) - 1;
    }
  }
  bytes = std::move(out);
}

void BytesToBase64(const std::string& bytes, std::string& text) {
  std::string out;
  out.reserve((bytes.size() * 8 + 5) / 6);
  std::uint32_t pending = 0;
  unsigned bits = 0;
  for (const char c : bytes) {
    pending = (pending << 8) | static_cast<unsigned char>(c);
    bits += 8;
    while (bits >= 6) {
      bits -= 6;
      out.push_back(kBase64Alphabet[(pending >> bits) & 63]);
    }
    pending &= (1u << bits) - 1;
  }
  if (bits > 0) out.push_back(kBase64Alphabet[(pending << (6 - bits)) & 63]);
  text = std::move(out);
}

}  // namespace xkit
