// The record operations (release, copy, sign, magnitude comparison) and the bridge between
// records and limbs.
#include <algorithm>
#include <bit>

#include "platform/memory.h"
#include "xFGInt/digit_kernels.h"
#include "xFGInt/record_limbs.h"
#include "xFGInt/xFGInt.h"

namespace xkit {

namespace detail {

void ThrowNotAValue(const TFGInt& a) {
  if (a.Digits.empty()) throw Exception("TFGInt: an empty record is not a value");
  throw Exception("TFGInt: malformed record (its digit count does not match its array)");
}

void ThrowMalformedDigits(std::uint32_t seen) {
  // Public by now: the digits are malformed, and which way is the message.
  if (Declassify(seen >> 31) != 0) {
    throw Exception("TFGInt: malformed record (a digit has bit 31 set)");
  }
  throw Exception("TFGInt: malformed record (its top digit is zero)");
}

namespace {

std::uint32_t OrOfDigits(const TFGInt& a) {
  return gDigitKernels.orDigits(a.Digits.data() + 1, a.Digits.size() - 1);
}

}  // namespace

void RequireDigits(const TFGInt& a) {
  RequireValue(a);
  RequireDigitsValid(OrOfDigits(a), TopDigitZero(a));
}

void RequireDigits(const TFGInt& a, const TFGInt& b) {
  RequireValue(a);
  RequireValue(b);
  const std::uint32_t seen = &a == &b ? OrOfDigits(a) : OrOfDigits(a) | OrOfDigits(b);
  RequireDigitsValid(seen, TopDigitZero(a) | TopDigitZero(b));
}

void SetDigit(TFGInt& a, std::uint32_t digit, TBigSign sign) {
  a.Digits.assign({1, digit});
  a.Sign = sign;
}

std::size_t ToLimbsPadded(const TFGInt& a, Limb* out) {
  const std::size_t n = DigitCount(a);
  RequireDigitsValid(gDigitKernels.digitsToLimbs(a.Digits.data() + 1, n, out), TopDigitZero(a));
  return LimbsForDigits(n);
}

void FromLimbs(const Limb* a, std::size_t n, TBigSign sign, TFGInt& r) {
  n = NormalizedSize(a, n);
  // The exact digit count of the value, so the array is sized once.
  const std::size_t bits =
      n == 0 ? 0 : kLimbBits * n - static_cast<std::size_t>(std::countl_zero(a[n - 1]));
  const std::size_t count = std::max<std::size_t>(1, (bits + kDigitBits - 1) / kDigitBits);
  const std::size_t bytes = (count + 1) * sizeof(std::uint32_t);
  if (r.Digits.capacity() < count + 1 && bytes >= kHugeWorkspace) {
    // A fresh array this large is mapped afresh by the C library: with huge pages its first
    // touch costs a fault per 2 MiB instead of per 4 KiB. It replaces r's array only once
    // allocated, so a failure leaves r as it was; the old digits are not copied.
    std::vector<std::uint32_t> fresh;
    fresh.reserve(count + 1);
    AdviseHugePages(fresh.data(), bytes);
    r.Digits.swap(fresh);
  }
  r.Digits.resize(count + 1);
  r.Digits[0] = static_cast<std::uint32_t>(count);
  gDigitKernels.limbsToDigits(a, n, r.Digits.data() + 1, count);
  r.Sign = sign;
}

void FromLimbsSecret(const Limb* a, std::size_t n, TBigSign sign, TFGInt& r) {
  // All the digits n limbs can hold are written, and the count is found as they are.
  const std::size_t room = std::max<std::size_t>(1, (kLimbBits * n + kDigitBits - 1) / kDigitBits);
  r.Digits.resize(room + 1);
  const std::size_t top = gDigitKernels.limbsToDigitsSecret(a, n, r.Digits.data() + 1, room);
  // Public: the record format wants the normalised digit count; it tells the value's size
  // and nothing more.
  const std::size_t count = Declassify(top + (top == 0));
  r.Digits.resize(count + 1);
  r.Digits[0] = static_cast<std::uint32_t>(count);
  r.Sign = sign;
}

}  // namespace detail

using detail::RequireValue;

void BigDestroy(TFGInt& a) {
  std::vector<std::uint32_t>().swap(a.Digits);
}

void BigCopy(const TFGInt& source, TFGInt& target) {
  detail::RequireDigits(source);
  if (&source == &target) return;
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
  detail::RequireDigits(a);
  detail::RequireDigits(b);
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
