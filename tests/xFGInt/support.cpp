#include "tests/xFGInt/support.h"

#include <algorithm>

namespace xkit::test {

TFGInt Record(const std::string& decimal) {
  const bool negative = !decimal.empty() && decimal[0] == '-';
  return Record(mpz_class(negative ? decimal.substr(1) : decimal, 10), negative ? kNeg : kPos);
}

std::vector<detail::Limb> LimbsOf(const mpz_class& x, std::size_t n) {
  std::vector<detail::Limb> limbs(std::max<std::size_t>(n, 1), 0);
  mpz_export(limbs.data(), nullptr, -1, sizeof(detail::Limb), 0, 0, x.get_mpz_t());
  return limbs;
}

mpz_class ValueOf(const std::vector<detail::Limb>& x) {
  mpz_class v;
  mpz_import(v.get_mpz_t(), x.size(), -1, sizeof(detail::Limb), 0, 0, x.data());
  return v;
}

::testing::AssertionResult WellFormed(const TFGInt& a) {
  if (a.Digits.size() < 2) return ::testing::AssertionFailure() << "no digits";
  const std::size_t n = a.Digits[0];
  if (n + 1 != a.Digits.size()) {
    return ::testing::AssertionFailure()
           << "count " << n << " with " << a.Digits.size() << " cells";
  }
  for (std::size_t i = 1; i <= n; ++i) {
    if (a.Digits[i] >> 31) return ::testing::AssertionFailure() << "digit " << i << " has bit 31";
  }
  if (n > 1 && a.Digits[n] == 0) return ::testing::AssertionFailure() << "not normalised";
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult Holds(const TFGInt& a, const mpz_class& magnitude, TBigSign sign) {
  ::testing::AssertionResult formed = WellFormed(a);
  if (!formed) return formed;
  if (Magnitude(a) != abs(magnitude)) {
    return ::testing::AssertionFailure() << "magnitude " << Magnitude(a).get_str() << ", expected "
                                         << mpz_class(abs(magnitude)).get_str();
  }
  if (a.Sign != sign) {
    return ::testing::AssertionFailure()
           << "flag " << (a.Sign == kNeg ? "Negative" : "Positive") << ", expected "
           << (sign == kNeg ? "Negative" : "Positive") << " (magnitude " << magnitude.get_str()
           << ")";
  }
  return ::testing::AssertionSuccess();
}

mpz_class RandomValues::Magnitude(std::size_t maxDigits) {
  const std::size_t digits = 1 + Below(maxDigits);
  const mpz_class base = mpz_class(1) << (31 * digits);
  switch (Below(8)) {
    case 0:
      return base - 1;  // every digit 2^31 - 1
    case 1:
      return mpz_class(static_cast<unsigned long>(Below(0x80000000u)));  // one digit
    case 2:
      return 0;
    case 3:
      return mpz_class(1) << (31 * Below(digits));  // a power of 2^31
    case 4: {
      mpz_class sparse = 0;
      for (std::size_t i = 0; i < 3; ++i)
        sparse |= mpz_class(1) << Below(31 * digits);
      return sparse;
    }
    default:
      return gmp_.get_z_bits(31 * digits);
  }
}

void EachKernelPath::SetUp() {
  saved_ = detail::ActiveKernelPath();
  savedDigits_ = detail::ActiveDigitPath();
  if (!detail::SelectKernelPath(GetParam())) GTEST_SKIP() << "this CPU lacks the path";
  // The portable run is portable throughout; the other one takes the best digit path too.
  if (GetParam() == detail::KernelPath::kPortable) {
    detail::SelectDigitPath(detail::DigitPath::kPortable);
  } else {
    detail::SelectDigitPath(detail::DigitPath::kAvx2);
  }
}

void EachKernelPath::TearDown() {
  detail::SelectKernelPath(saved_);
  detail::SelectDigitPath(savedDigits_);
}

std::string PathName(const ::testing::TestParamInfo<detail::KernelPath>& info) {
  switch (info.param) {
    case detail::KernelPath::kPortable:
      return "Portable";
    case detail::KernelPath::kMulxAdx:
      return "MulxAdx";
    case detail::KernelPath::kAvx512Ifma:
      return "Avx512Ifma";
    case detail::KernelPath::kRadix52Scalar:
      return "Radix52Scalar";
  }
  return "Unknown";
}

void EachDigitPath::SetUp() {
  saved_ = detail::ActiveDigitPath();
  if (!detail::SelectDigitPath(GetParam())) GTEST_SKIP() << "this CPU lacks the path";
}

void EachDigitPath::TearDown() {
  detail::SelectDigitPath(saved_);
}

std::string DigitPathName(const ::testing::TestParamInfo<detail::DigitPath>& info) {
  return info.param == detail::DigitPath::kPortable ? "Portable" : "Avx2";
}

void EachTransformPath::SetUp() {
  saved_ = detail::ActiveTransformPath();
  if (!detail::SelectTransformPath(GetParam())) GTEST_SKIP() << "this CPU lacks the path";
}

void EachTransformPath::TearDown() {
  detail::SelectTransformPath(saved_);
}

std::string TransformPathName(const ::testing::TestParamInfo<detail::TransformPath>& info) {
  switch (info.param) {
    case detail::TransformPath::kPortable:
      return "Portable";
    case detail::TransformPath::kAvx2:
      return "Avx2";
    case detail::TransformPath::kAvx512:
      return "Avx512";
  }
  return "Unknown";
}

}  // namespace xkit::test

namespace xkit::detail {

void PrintTo(KernelPath path, std::ostream* out) {
  *out << test::PathName({path, 0});
}

void PrintTo(DigitPath path, std::ostream* out) {
  *out << test::DigitPathName({path, 0});
}

void PrintTo(TransformPath path, std::ostream* out) {
  *out << test::TransformPathName({path, 0});
}

}  // namespace xkit::detail
