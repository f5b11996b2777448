// Decimal text to and from records. Digits travel in chunks of 19 (10^19 < 2^64); long
// texts are split in halves at powers 10^(19 2^j), so both directions cost a few
// multiplications or divisions of the full size instead of a quadratic number of limb steps.
#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "xFGInt/record_limbs.h"
#include "xFGInt/thresholds.h"
#include "xFGInt/xFGInt.h"

namespace xkit {

namespace {

using detail::kFromDecimalSplitDigits;
using detail::kToDecimalSplitLimbs;
using detail::Limb;

constexpr std::size_t kChunkDigits = 19;
constexpr Limb kChunkBase = 10000000000000000000ULL;  // 10^19

// The powers 10^(19 2^j), j = 0, 1, ..., each squared from the one before when first asked for,
// and for the divisions by them their normalised form and, when long, its reciprocal: built
// for one conversion and released with it.
class DecimalPowers {
public:
  const std::vector<Limb>& Power(std::size_t j) {
    if (powers_.empty()) powers_.push_back({{kChunkBase}, {}, {}});
    while (powers_.size() <= j) {
      const std::vector<Limb>& last = powers_.back().limbs;
      std::vector<Limb> square(2 * last.size());
      std::vector<Limb> scratch(detail::SqrScratchSizeOnce(last.size()));
      detail::Sqr(square.data(), last.data(), last.size(), scratch.data());
      square.resize(detail::NormalizedSize(square.data(), square.size()));
      powers_.push_back({std::move(square), {}, {}});
    }
    return powers_[j].limbs;
  }
  static std::size_t Digits(std::size_t j) { return kChunkDigits << j; }

  // Power(j) prepared for dividing by it (j has been asked for already).
  detail::PreparedDivisor Divisor(std::size_t j) {
    Entry& e = powers_[j];
    const std::size_t n = e.limbs.size();
    const unsigned shift = static_cast<unsigned>(std::countl_zero(e.limbs.back()));
    if (e.normalised.empty()) {
      e.normalised.resize(n);
      if (shift != 0) {
        detail::LShift(e.normalised.data(), e.limbs.data(), n, shift);
      } else {
        e.normalised = e.limbs;
      }
      if (n >= detail::kPreparedInverseThreshold) {
        e.inverse.resize(n);
        std::vector<Limb> scratch(detail::InverseScratchSize(n));
        detail::Inverse(e.inverse.data(), e.normalised.data(), n, scratch.data());
      }
    }
    return {e.normalised.data(), n, shift, e.inverse.empty() ? nullptr : e.inverse.data(),
            e.inverse.size()};
  }

private:
  struct Entry {
    std::vector<Limb> limbs;
    std::vector<Limb> normalised;
    std::vector<Limb> inverse;
  };
  std::vector<Entry> powers_;
};

// -- Text to limbs ---------------------------------------------------------------------------

inline Limb ChunkValue(const char* p, std::size_t count) {
  Limb value = 0;
  for (std::size_t i = 0; i < count; ++i)
    value = value * 10 + static_cast<Limb>(p[i] - '0');
  return value;
}

// The value of the eight decimal digits p[0..8), combined within one word: neighbouring
// digits into pairs, pairs into fours, fours into the eight (each step's values fit its lane:
// 99, 9999, 99999999).
inline Limb EightDigitsValue(const char* p) {
  if constexpr (std::endian::native != std::endian::little) return ChunkValue(p, 8);
  std::uint64_t x;
  std::memcpy(&x, p, 8);  // p[0], the leading digit, in the low byte
  x -= 0x3030303030303030ULL;
  x = (x * 10 + (x >> 8)) & 0x00FF00FF00FF00FFULL;
  x = (x * 100 + (x >> 16)) & 0x0000FFFF0000FFFFULL;
  return (x * 10000 + (x >> 32)) & 0xFFFFFFFFULL;
}

// The value of a whole chunk of 19 digits.
inline Limb FullChunkValue(const char* p) {
  return (EightDigitsValue(p) * 100000000 + EightDigitsValue(p + 8)) * 1000 + ChunkValue(p + 16, 3);
}

// Room for the limbs of a value of len decimal digits, with the products of the split
// method: a product of two parts of h and l digits has at most 0.0520 (h + l) + 2 limbs.
inline std::size_t LimbRoom(std::size_t len) {
  return len / kChunkDigits + 3;
}

// out := the value of the decimal digits p[0..len); returns the limb count (no high zero
// limbs). out has LimbRoom(len) limbs.
std::size_t DecimalToLimbsBasecase(const char* p, std::size_t len, Limb* out) {
  std::size_t n = 0;
  std::size_t first = len % kChunkDigits;
  if (first == 0) first = kChunkDigits;
  out[0] = ChunkValue(p, first);
  n = out[0] != 0 ? 1 : 0;
  for (std::size_t i = first; i < len; i += kChunkDigits) {
    const Limb chunk = FullChunkValue(p + i);
    Limb carry = detail::Mul1(out, out, n, kChunkBase);
    carry += detail::Add1(out, out, n, chunk);  // out * 10^19 + chunk < 2^64 (n + 1)
    if (carry != 0) out[n++] = carry;
  }
  return n;
}

std::size_t DecimalToLimbs(const char* p, std::size_t len, Limb* out, DecimalPowers& powers) {
  if (len <= kFromDecimalSplitDigits) return DecimalToLimbsBasecase(p, len, out);
  // Pieces of s = 19 2^j digits, the largest such s with 2 s <= len, counted from the low
  // end; the top piece takes the other 1 .. s digits. Then by Horner's rule in base
  // P = 10^s: value = (..(top P + piece) P + ..) P + piece. The largest power needed is P,
  // about a quarter to a half of the value, and each product is of the value so far by P.
  std::size_t j = 0;
  while (2 * DecimalPowers::Digits(j + 1) <= len)
    ++j;
  const std::size_t pieceDigits = DecimalPowers::Digits(j);
  const std::size_t topDigits = (len - 1) % pieceDigits + 1;
  std::size_t n = DecimalToLimbs(p, topDigits, out, powers);
  std::vector<Limb> piece(LimbRoom(pieceDigits));
  std::vector<Limb> product(LimbRoom(len));
  for (std::size_t at = topDigits; at < len; at += pieceDigits) {
    const std::size_t pn = DecimalToLimbs(p + at, pieceDigits, piece.data(), powers);
    // The table may grow during the recursion, so the power is looked up only now.
    const std::vector<Limb>& power = powers.Power(j);
    std::size_t m = pn;
    if (n == 0) {
      std::copy(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(pn), product.begin());
    } else {
      std::vector<Limb> scratch(detail::MulScratchSizeOnce(n, power.size()));
      detail::Mul(product.data(), out, n, power.data(), power.size(), scratch.data());
      m = n + power.size();
      detail::Add(product.data(), product.data(), m, piece.data(), pn);  // below 10^len: no carry
    }
    n = detail::NormalizedSize(product.data(), m);
    std::copy(product.begin(), product.begin() + static_cast<std::ptrdiff_t>(n), out);
  }
  return n;
}

// -- Limbs to text ---------------------------------------------------------------------------

// Writes the `count` decimal digits of x (below 10^count), leading digit first.
inline void WriteDigits(Limb x, char* out, std::size_t count) {
  for (std::size_t i = count; i-- > 0;) {
    out[i] = static_cast<char>('0' + x % 10);
    x /= 10;
  }
}

// Writes the eight decimal digits of x < 10^8, leading digit first. Within one word, x splits
// into four-digit halves in 32-bit lanes, those into two-digit quarters in 16-bit lanes, and
// those into digits in bytes; the leading part always takes the lower lane, which is the
// first in memory. The divisions are products: (y 5243) >> 19 is y / 100 for y < 10^4, and
// (y 103) >> 10 is y / 10 for y < 100; no product leaves its lane.
inline void WriteEightDigits(std::uint32_t x, char* out) {
  if constexpr (std::endian::native != std::endian::little) {
    WriteDigits(x, out, 8);
    return;
  }
  std::uint64_t v = (x / 10000) | (std::uint64_t{x % 10000} << 32);
  std::uint64_t high = ((v * 5243) >> 19) & 0x0000007F0000007FULL;
  v = high | ((v - high * 100) << 16);
  high = ((v * 103) >> 10) & 0x000F000F000F000FULL;
  v = high | ((v - high * 10) << 8);
  v += 0x3030303030303030ULL;
  std::memcpy(out, &v, 8);
}

// Appends the 19 digits of chunk, zero-filled on the left, or without leading zeros.
void AppendChunk(std::string& text, Limb chunk, bool zeroFill) {
  constexpr Limb kEight = 100000000;
  char digits[kChunkDigits];
  const Limb low16 = chunk % (kEight * kEight);
  WriteDigits(chunk / (kEight * kEight), digits, 3);
  WriteEightDigits(static_cast<std::uint32_t>(low16 / kEight), digits + 3);
  WriteEightDigits(static_cast<std::uint32_t>(low16 % kEight), digits + 11);
  std::size_t start = 0;
  if (!zeroFill) {
    while (start + 1 < kChunkDigits && digits[start] == '0')
      ++start;
  }
  text.append(digits + start, kChunkDigits - start);
}

// Appends the decimal digits of x[0..n) (n may be 0), zero-filled on the left to `width`
// digits (0: no filling, and no leading zeros). x is destroyed.
void LimbsToDecimalBasecase(Limb* x, std::size_t n, std::size_t width, std::string& text) {
  static const detail::LimbDivisor kChunkDivisor = detail::PrepareLimbDivisor(kChunkBase);
  std::vector<Limb> chunks;  // least significant first
  n = detail::NormalizedSize(x, n);
  while (n > 0) {
    chunks.push_back(detail::DivRem1(x, x, n, kChunkDivisor));
    n = detail::NormalizedSize(x, n);
  }
  if (width == 0) {
    if (chunks.empty()) chunks.push_back(0);
    AppendChunk(text, chunks.back(), false);
    chunks.pop_back();
  } else {
    text.append(width - std::min(width, chunks.size() * kChunkDigits), '0');
  }
  for (std::size_t i = chunks.size(); i-- > 0;)
    AppendChunk(text, chunks[i], true);
}

void LimbsToDecimal(Limb* x, std::size_t n, std::size_t width, std::string& text,
                    DecimalPowers& powers) {
  n = detail::NormalizedSize(x, n);
  if (n <= kToDecimalSplitLimbs) {
    LimbsToDecimalBasecase(x, n, width, text);
    return;
  }
  // Split at the largest power P = 10^(19 2^j) of at most (n + 1) / 2 limbs: x = q P + r.
  // r < P fills exactly 19 2^j digits; q needs no bound, since x < 10^width already bounds
  // it by 10^(width - 19 2^j).
  std::size_t j = 0;
  while (2 * powers.Power(j + 1).size() <= n + 1)
    ++j;
  const detail::PreparedDivisor divisor = powers.Divisor(j);
  const std::size_t pn = divisor.n;
  const std::size_t lowDigits = DecimalPowers::Digits(j);
  std::vector<Limb> q(n - pn + 1);
  std::vector<Limb> r(pn);
  std::vector<Limb> scratch(detail::DivRemPreparedScratchSize(n, pn));
  detail::DivRemPrepared(q.data(), r.data(), x, n, divisor, scratch.data());
  LimbsToDecimal(q.data(), q.size(), width == 0 ? 0 : width - lowDigits, text, powers);
  LimbsToDecimal(r.data(), r.size(), lowDigits, text, powers);
}

// -- Validation ------------------------------------------------------------------------------

[[noreturn]] void ThrowGroupError(const std::string& group) {
  throw EConvertError("'" + group + "' n'est pas une valeur entière correcte");
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Raises the conversion error for the first group of four characters, cut from the right
// end of body and taken from the right, that is not made of decimal digits. A group that
// the runtime's integer conversion would still read (" 12", "+12", "-12", "$1F", "0x1F")
// does not stand for four decimal digits, so it raises as well instead of slipping a
// wrong value into the number.
void CheckGroups(const char* body, std::size_t len) {
  if (len == 0) ThrowGroupError("");
  // The usual all-digit text passes in one branch-free sweep.
  unsigned outside = 0;
  for (std::size_t i = 0; i < len; ++i)
    outside |= static_cast<unsigned char>(body[i] - '0') > 9;
  if (outside == 0) return;
  for (std::size_t end = len; end > 0;) {
    const std::size_t start = end >= 4 ? end - 4 : 0;
    if (!std::all_of(body + start, body + end, IsDigit)) {
      ThrowGroupError(std::string(body + start, body + end));
    }
    end = start;
  }
}

}  // namespace

void BigFromDecimal(const std::string& text, TFGInt& a) {
  if (text.empty()) {
    detail::SetDigit(a, 0, TBigSign::Positive);
    return;
  }
  const char* p = text.data();
  std::size_t len = text.size();
  // Skip what comes before the first '-' or digit, keeping at least one character.
  while (len > 1 && *p != '-' && !IsDigit(*p)) {
    ++p;
    --len;
  }
  TBigSign sign = TBigSign::Positive;
  if (*p == '-') {
    sign = TBigSign::Negative;
    ++p;
    --len;
  }
  while (len > 1 && *p == '0') {
    ++p;
    --len;
  }
  CheckGroups(p, len);
  std::vector<Limb> limbs(LimbRoom(len));
  DecimalPowers powers;
  const std::size_t n = DecimalToLimbs(p, len, limbs.data(), powers);
  detail::FromLimbs(limbs.data(), n, sign, a);
}

void BigToDecimal(const TFGInt& a, std::string& text) {
  detail::RequireValue(a);
  std::vector<Limb> limbs(detail::LimbsForDigits(detail::DigitCount(a)));
  const std::size_t n = detail::ToLimbs(a, limbs.data());
  std::string out;
  // log10(2) < 0.30103: room for every digit, the sign and a chunk's zero fill.
  out.reserve(n * 64 * 30103 / 100000 + kChunkDigits + 2);
  if (n != 0 && a.Sign == TBigSign::Negative) out.push_back('-');
  DecimalPowers powers;
  LimbsToDecimal(limbs.data(), n, 0, out, powers);
  text = std::move(out);
}

}  // namespace xkit
