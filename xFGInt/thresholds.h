// The operand sizes at which the big-integer code changes method, beside the product
// thresholds of each kernel path (limbs_paths.h) and the moduli the radix-2^52 kernels take
// (radix52.h). The code reads them from here, and so does
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

}  // namespace xkit::detail
