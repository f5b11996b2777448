// The operand sizes at which the big-integer code changes method, beside the product
// thresholds of each kernel path (limbs_paths.h). The code reads them from here, and so does
// the differential driver (tests/differential/), which sizes its operands around every one:
// a new method's threshold belongs here, so that it is covered from the start.
#pragma once

#include <cstddef>

namespace xkit::detail {

// Quotients and divisors of at least this many limbs are divided by halves (divide and
// conquer), shorter ones by the schoolbook method; measured with the BigDivMod and
// BigToDecimal benchmarks.
inline constexpr std::size_t kDivideByHalvesThreshold = 40;

// Decimal texts up to this many digits convert by the quadratic method; longer ones split.
inline constexpr std::size_t kFromDecimalSplitDigits = 1400;
// Values up to this many limbs convert to decimal text by repeated division; longer ones split.
inline constexpr std::size_t kToDecimalSplitLimbs = 24;

// The AVX-512 IFMA exponentiation works on blocks of eight 52-bit digits, at most this many
// (moduli up to 6,654 bits, which leave it two bits of room); longer moduli take the limbs.
inline constexpr std::size_t kRadix52MaxBlocks = 16;

}  // namespace xkit::detail
