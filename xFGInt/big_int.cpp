// xkit::BigInt: each operation hands its records to the free function that computes it.
#include <ostream>

#include "xFGInt/BigInt.h"
#include "xFGInt/record_limbs.h"

namespace xkit {

namespace {

constexpr std::uint32_t kDigitMask = 0x7FFFFFFFu;  // one base-2^31 digit

bool IsZeroRecord(const TFGInt& a) {
  return a.Digits.size() == 2 && a.Digits[1] == 0;
}

}  // namespace

BigInt::BigInt() {
  FromMagnitude(0, false);
}

BigInt::BigInt(std::string_view decimal) {
  BigFromDecimal(std::string(decimal), value_);
}

BigInt::BigInt(const TFGInt& record) {
  BigCopy(record, value_);
}

BigInt::BigInt(TFGInt&& record) {
  detail::RequireDigits(record);
  value_ = std::move(record);
}

void BigInt::FromSigned(std::int64_t value) {
  // The magnitude of INT64_MIN does not fit in int64, so it is formed in uint64.
  const std::uint64_t magnitude =
      value < 0 ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
  FromMagnitude(magnitude, value < 0);
}

void BigInt::FromMagnitude(std::uint64_t magnitude, bool negative) {
  // 64 bits are at most three base-2^31 digits (31 + 31 + 2 bits); the record is normalised
  // by dropping the zero digits on top.
  const std::uint32_t digits[3] = {static_cast<std::uint32_t>(magnitude) & kDigitMask,
                                   static_cast<std::uint32_t>(magnitude >> 31) & kDigitMask,
                                   static_cast<std::uint32_t>(magnitude >> 62)};
  std::uint32_t n = 3;
  while (n > 1 && digits[n - 1] == 0)
    --n;
  value_.Digits.assign({n});
  value_.Digits.insert(value_.Digits.end(), digits, digits + n);
  value_.Sign = negative ? TBigSign::Negative : TBigSign::Positive;
}

std::string BigInt::ToBytes() const {
  std::string bits, bytes;
  BigToBits(value_, bits);
  BitsToBytes(bits, bytes);
  return bytes;
}

BigInt BigInt::FromBytes(const std::string& bytes) {
  TFGInt record;
  BigFromBytes(bytes, record);
  return BigInt(std::move(record));
}

std::string BigInt::ToDecimal() const {
  std::string text;
  BigToDecimal(value_, text);
  return text;
}

bool BigInt::IsZero() const {
  detail::RequireValue(value_);  // a moved-from BigInt raises here, as everywhere else
  return IsZeroRecord(value_);
}

bool BigInt::IsNegative() const {
  return !IsZero() && value_.Sign == TBigSign::Negative;
}

BigInt operator-(const BigInt& a) {
  BigInt r = a;
  BigChangeSign(r.value_);
  return r;
}

BigInt operator+(const BigInt& a, const BigInt& b) {
  BigInt r = a;
  return r += b;
}

BigInt operator-(const BigInt& a, const BigInt& b) {
  BigInt r = a;
  return r -= b;
}

BigInt operator*(const BigInt& a, const BigInt& b) {
  BigInt r = a;
  return r *= b;
}

BigInt operator/(const BigInt& a, const BigInt& b) {
  return DivMod(a, b).quotient;
}

BigInt operator%(const BigInt& a, const BigInt& b) {
  BigInt r = a;
  return r %= b;
}

// Every result record may be an operand of the free functions, so the compound forms write
// straight into this value.
BigInt& BigInt::operator+=(const BigInt& b) {
  BigAdd(value_, b.value_, value_);
  return *this;
}

BigInt& BigInt::operator-=(const BigInt& b) {
  BigSub(value_, b.value_, value_);
  return *this;
}

BigInt& BigInt::operator*=(const BigInt& b) {
  BigMul(value_, b.value_, value_);
  return *this;
}

BigInt& BigInt::operator/=(const BigInt& b) {
  return *this = DivMod(*this, b).quotient;
}

BigInt& BigInt::operator%=(const BigInt& b) {
  BigMod(value_, b.value_, value_);
  return *this;
}

bool operator==(const BigInt& a, const BigInt& b) {
  return (a <=> b) == 0;
}

std::strong_ordering operator<=>(const BigInt& a, const BigInt& b) {
  const bool aNegative = a.IsNegative(), bNegative = b.IsNegative();
  if (aNegative != bNegative)
    return aNegative ? std::strong_ordering::less : std::strong_ordering::greater;
  // Same side of zero (a zero of either flag counts as non-negative): order the magnitudes,
  // reversed below zero.
  const TMagnitudeOrder order = BigCompareAbs(a.value_, b.value_);
  if (order == TMagnitudeOrder::Equal) return std::strong_ordering::equal;
  const bool aLarger = order == TMagnitudeOrder::Greater;
  return aLarger != aNegative ? std::strong_ordering::greater : std::strong_ordering::less;
}

BigDivResult DivMod(const BigInt& a, const BigInt& b) {
  TFGInt q, r;
  BigDivMod(a.Record(), b.Record(), q, r);
  return {BigInt(std::move(q)), BigInt(std::move(r))};
}

BigInt PowMod(const BigInt& base, const BigInt& e, const BigInt& m) {
  TFGInt r;
  BigPowMod(base.Record(), e.Record(), m.Record(), r);
  return BigInt(std::move(r));
}

BigInt Gcd(const BigInt& a, const BigInt& b) {
  TFGInt g;
  BigGcd(a.Record(), b.Record(), g);
  BigAbs(g);  // the record's flag follows its Euclidean recursion; the gcd itself is |g|
  return BigInt(std::move(g));
}

std::optional<BigInt> InvMod(const BigInt& a, const BigInt& m) {
  TFGInt r;  // stays empty when there is no inverse
  BigInvMod(a.Record(), m.Record(), r);
  if (r.Digits.empty()) return std::nullopt;
  return BigInt(std::move(r));
}

std::ostream& operator<<(std::ostream& out, const BigInt& a) {
  return out << a.ToDecimal();
}

}  // namespace xkit
