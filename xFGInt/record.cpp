// The record operations (release, copy, sign, magnitude comparison) and the bridge between
// records and limbs.
#include <algorithm>

#include "xFGInt/record_limbs.h"
#include "xFGInt/xFGInt.h"

namespace xkit {

namespace detail {

void RequireValue(const TFGInt& a) {
  if (a.Digits.empty()) throw Exception("TFGInt: an empty record is not a value");
  if (a.Digits.size() < 2 || a.Digits[0] != a.Digits.size() - 1) {
    throw Exception("TFGInt: malformed record (its digit count does not match its array)");
  }
}

void Normalise(TFGInt& a, std::size_t top) {
  std::size_t n = top;
  while (n > 1 && a.Digits[n] == 0)
    --n;
  a.Digits.resize(n + 1);
  a.Digits[0] = static_cast<std::uint32_t>(n);
}

void SetDigit(TFGInt& a, std::uint32_t digit, TBigSign sign) {
  a.Digits.assign({1, digit});
  a.Sign = sign;
}

std::size_t ToLimbs(const TFGInt& a, Limb* out) {
  const std::size_t n = DigitCount(a);
  const std::uint32_t* digit = a.Digits.data() + 1;
  std::size_t k = 0;
  Limb pending = 0;   // the low `bits` bits of the limb being filled
  unsigned bits = 0;  // always below 64
  for (std::size_t i = 0; i < n; ++i) {
    const Limb d = digit[i] & kDigitMask;
    pending |= d << bits;
    if (bits >= 64 - kDigitBits) {
      out[k++] = pending;
      pending = d >> (64 - bits);  // 64 - bits lies in 1..31
      bits -= 64 - kDigitBits;
    } else {
      bits += kDigitBits;
    }
  }
  if (bits != 0) out[k++] = pending;
  return NormalizedSize(out, k);
}

void FromLimbs(const Limb* a, std::size_t n, TBigSign sign, TFGInt& r) {
  n = NormalizedSize(a, n);
  const std::size_t count = std::max<std::size_t>(1, (n * 64 + kDigitBits - 1) / kDigitBits);
  r.Digits.resize(count + 1);
  std::uint32_t* digit = r.Digits.data() + 1;
  // Digit k is bits 31k .. 31k + 30 of a, taken independently of the others (no chain from
  // one digit to the next). A digit that starts at bit offset s of limb i takes its
  // remaining 31 - (64 - s) bits from limb i + 1; shifting that limb left by 1 and then by
  // 63 - s is a shift by 64 - s that stays defined for s = 0.
  std::size_t k = 0;
  for (; k < count; ++k) {
    const std::size_t bit = k * kDigitBits;
    const std::size_t i = bit / 64;
    if (i + 1 >= n) break;
    const unsigned s = bit % 64;
    digit[k] = static_cast<std::uint32_t>((a[i] >> s) | ((a[i + 1] << 1) << (63 - s))) & kDigitMask;
  }
  for (; k < count; ++k) {
    const std::size_t bit = k * kDigitBits;
    digit[k] = n == 0 ? 0 : static_cast<std::uint32_t>(a[bit / 64] >> (bit % 64)) & kDigitMask;
  }
  r.Sign = sign;
  Normalise(r, count);
}

}  // namespace detail

using detail::RequireValue;

void BigDestroy(TFGInt& a) {
  std::vector<std::uint32_t>().swap(a.Digits);
}

void BigCopy(const TFGInt& source, TFGInt& target) {
  if (&source == &target) return;
  RequireValue(source);
  target.Digits = source.Digits;
  target.Sign = source.Sign;
}

void BigAbs(TFGInt& a) {
  a.Sign = TBigSign::Positive;
}

void BigChangeSign(TFGInt& a) {
  a.Sign = a.Sign == TBigSign::Negative ? TBigSign::Positive : TBigSign::Negative;
}

TMagnitudeOrder BigCompareAbs(const TFGInt& a, const TFGInt& b) {
  RequireValue(a);
  RequireValue(b);
  const std::size_t na = detail::DigitCount(a);
  const std::size_t nb = detail::DigitCount(b);
  if (na != nb) return na > nb ? TMagnitudeOrder::Greater : TMagnitudeOrder::Smaller;
  for (std::size_t i = na; i >= 1; --i) {
    if (a.Digits[i] != b.Digits[i]) {
      return a.Digits[i] > b.Digits[i] ? TMagnitudeOrder::Greater : TMagnitudeOrder::Smaller;
    }
  }
  return TMagnitudeOrder::Equal;
}

}  // namespace xkit
