// Test helpers for the xFGInt suite: records built and read independently of the unit (with
// GMP), the record invariant as a checkable assertion, and random operands.
#pragma once

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tests/gmp_records.h"
#include "xFGInt/limbs.h"
#include "xFGInt/record_limbs.h"
#include "xFGInt/xFGInt.h"

namespace xkit::test {

inline constexpr TBigSign kPos = TBigSign::Positive;
inline constexpr TBigSign kNeg = TBigSign::Negative;

inline TBigSign Flip(TBigSign s) {
  return s == kNeg ? kPos : kNeg;
}
inline mpz_class Signed(const mpz_class& m, TBigSign s) {
  return s == kNeg ? mpz_class(-m) : m;
}
// The flag of a sum of magnitudes a and b with flags as and bs: the common flag, else that of
// the larger magnitude, else a's.
inline TBigSign SumSign(const mpz_class& a, TBigSign as, const mpz_class& b, TBigSign bs) {
  if (as == bs || a > b) return as;
  return a < b ? bs : as;
}

// Record(magnitude, sign), Magnitude and Value come from tests/gmp_records.h.
// A record from a decimal text ("-" allowed), digits made by GMP; "-0" is zero flagged
// Negative.
TFGInt Record(const std::string& decimal);

// Limb arrays: x as n limbs (at least one), and the value of limbs.
std::vector<detail::Limb> LimbsOf(const mpz_class& x, std::size_t n);
mpz_class ValueOf(const std::vector<detail::Limb>& x);

// The record invariant: count cell matches the array, digits below 2^31, normalised.
::testing::AssertionResult WellFormed(const TFGInt& a);
// Well formed, with this magnitude and this flag.
::testing::AssertionResult Holds(const TFGInt& a, const mpz_class& magnitude, TBigSign sign);

// Random magnitudes of 1..maxDigits base-2^31 digits, biased towards the awkward ones:
// all digits 2^31 - 1, single digits, zero, powers of 2^31 and sparse values.
class RandomValues {
public:
  explicit RandomValues(std::uint64_t seed) : engine_(seed) { gmp_.seed(seed); }
  mpz_class Magnitude(std::size_t maxDigits);
  mpz_class Bits(std::size_t bits) { return gmp_.get_z_bits(bits); }
  std::size_t Below(std::size_t bound) { return engine_() % bound; }
  TBigSign Sign() { return engine_() % 2 ? kPos : kNeg; }
  std::mt19937_64& Engine() { return engine_; }

private:
  std::mt19937_64 engine_;
  gmp_randclass gmp_{gmp_randinit_mt};
};

// Runs the body once per kernel path this CPU offers, restoring the default paths after.
// The portable run uses the portable digit kernels as well, the other run the best ones.
class EachKernelPath : public ::testing::TestWithParam<detail::KernelPath> {
protected:
  void SetUp() override;
  void TearDown() override;

private:
  detail::KernelPath saved_ = detail::KernelPath::kPortable;
  detail::DigitPath savedDigits_ = detail::DigitPath::kPortable;
};

std::string PathName(const ::testing::TestParamInfo<detail::KernelPath>& info);

// Runs the body once per digit-kernel path this CPU offers, restoring the default path after.
class EachDigitPath : public ::testing::TestWithParam<detail::DigitPath> {
protected:
  void SetUp() override;
  void TearDown() override;

private:
  detail::DigitPath saved_ = detail::DigitPath::kPortable;
};

std::string DigitPathName(const ::testing::TestParamInfo<detail::DigitPath>& info);

// Runs the body once per transform path this CPU offers, restoring the default path after.
class EachTransformPath : public ::testing::TestWithParam<detail::TransformPath> {
protected:
  void SetUp() override;
  void TearDown() override;

private:
  detail::TransformPath saved_ = detail::TransformPath::kPortable;
};

std::string TransformPathName(const ::testing::TestParamInfo<detail::TransformPath>& info);

#define XKIT_INSTANTIATE_TRANSFORM_PATHS(Suite)                                        \
  INSTANTIATE_TEST_SUITE_P(Paths, Suite,                                               \
                           ::testing::Values(::xkit::detail::TransformPath::kPortable, \
                                             ::xkit::detail::TransformPath::kAvx2,     \
                                             ::xkit::detail::TransformPath::kAvx512),  \
                           ::xkit::test::TransformPathName)

#define XKIT_INSTANTIATE_KERNEL_PATHS(Suite)                                              \
  INSTANTIATE_TEST_SUITE_P(Paths, Suite,                                                  \
                           ::testing::Values(::xkit::detail::KernelPath::kPortable,       \
                                             ::xkit::detail::KernelPath::kMulxAdx,        \
                                             ::xkit::detail::KernelPath::kAvx512Ifma,     \
                                             ::xkit::detail::KernelPath::kRadix52Scalar), \
                           ::xkit::test::PathName)

#define XKIT_INSTANTIATE_DIGIT_PATHS(Suite)                                                      \
  INSTANTIATE_TEST_SUITE_P(                                                                      \
      Paths, Suite,                                                                              \
      ::testing::Values(::xkit::detail::DigitPath::kPortable, ::xkit::detail::DigitPath::kAvx2), \
      ::xkit::test::DigitPathName)

}  // namespace xkit::test

namespace xkit::detail {

// GoogleTest prints a path parameter by its name (in ctest's list too) rather than its bytes.
void PrintTo(KernelPath path, std::ostream* out);
void PrintTo(DigitPath path, std::ostream* out);
void PrintTo(TransformPath path, std::ostream* out);

}  // namespace xkit::detail
