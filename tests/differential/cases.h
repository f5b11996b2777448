// The differential driver's vocabulary: a case's random source (everything a case does
// follows from its seed), operand sizes around every threshold of the code, value shapes,
// calls under every aliasing pattern of their records, and checks of results against GMP.
#pragma once

#include <gmpxx.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/gmp_records.h"
#include "xFGInt/xFGInt.h"

namespace xkit::diff {

using test::Magnitude;
using test::Record;
using test::Value;

inline constexpr TBigSign kPos = TBigSign::Positive;
inline constexpr TBigSign kNeg = TBigSign::Negative;

// The largest operands of the linear and sub-quadratic operations.
inline constexpr std::size_t kMaxBits = std::size_t{1} << 21;

// A case's random source, seeded from the case's seed alone.
class Random {
public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}
  std::uint64_t Next() { return engine_(); }
  std::size_t Below(std::size_t bound) { return static_cast<std::size_t>(engine_() % bound); }
  bool OneIn(std::size_t n) { return Below(n) == 0; }
  TBigSign Sign() { return engine_() & 1 ? kPos : kNeg; }
  // A random value below 2^bits.
  mpz_class Bits(std::size_t bits);

private:
  std::mt19937_64 engine_;
};

// The operand sizes in bits around the code's thresholds (thresholds.h, the product
// thresholds of every kernel path, the digit blocks, the scratch buffer on the stack).
const std::vector<std::size_t>& ThresholdSizes();
// A size of 1..maxBits bits: around a threshold, small (up to 140 digits, every digit count
// of the digit kernels' blocks), or spread over the range, rarely up to maxBits.
std::size_t Size(Random& random, std::size_t maxBits);
// A magnitude of exactly `bits` bits (zero for 0) in a shape that stresses the code: all
// ones, a power of two, a top bit over low ones, sparse, a zero limb inside all ones,
// alternating digits, or random.
mpz_class Shaped(Random& random, std::size_t bits);
// An operand magnitude of at most maxBits bits: Shaped(Size()), and now and then zero, one
// or a single digit.
mpz_class Operand(Random& random, std::size_t maxBits);
// A record of the magnitude with a random flag.
inline TFGInt Signed(Random& random, const mpz_class& magnitude) {
  return Record(magnitude, random.Sign());
}

// A prime of `bits` bits (bits >= 2; now and then one more): GMP's next prime above a random
// start with the top bit set.
mpz_class RandomPrime(Random& random, std::size_t bits);

// A short description of a value: its bit length and its first and last hexadecimal digits.
std::string Describe(const mpz_class& value);
std::string Describe(const TFGInt& a);
// What is wrong with r against the magnitude and the flag; empty when r is well formed and
// holds them.
std::string Mismatch(const TFGInt& r, const mpz_class& magnitude, TBigSign sign);

// The records of one call under a random aliasing pattern. Inputs are named a, b, c, ... and
// outputs r, s: each input has a record of its own or (unless the operation's inputs must
// keep their values) shares an earlier input's, and then its value; each output has a record
// of its own (empty, or holding a stale value) or is one of the inputs' records. Outputs are
// always distinct records.
class AliasedCall {
public:
  enum class Inputs { kMayShare, kOwnRecords };
  AliasedCall(Random& random, std::vector<TFGInt> inputs, std::size_t outputs,
              Inputs sharing = Inputs::kMayShare);
  // An input's value, as the call sees it.
  const TFGInt& Input(std::size_t j) const { return inputs_[j]; }
  // The record for argument `position`: the inputs first, then the outputs.
  TFGInt& Arg(std::size_t position) { return slots_[slotOf_[position]]; }
  const TFGInt& Out(std::size_t k) const { return slots_[slotOf_[inputs_.size() + k]]; }
  // An output record as it was before the call.
  const TFGInt& OutBefore(std::size_t k) const { return before_[slotOf_[inputs_.size() + k]]; }
  // The pattern, as "b=a r=b".
  std::string Pattern() const;
  // Empty when every input record that no output shares still holds its value.
  std::string ChangedInputs() const;

private:
  std::vector<TFGInt> inputs_;
  std::vector<TFGInt> slots_;
  std::vector<TFGInt> before_;
  std::vector<std::size_t> slotOf_;
};

// What a case found wrong; the driver prints it with the seed that replays the case.
class Report {
public:
  void Fail(const std::string& line) { lines_.push_back(line); }
  // Records a mismatch of r (empty text: none) with the call's pattern and operands.
  void Check(const std::string& what, const std::string& mismatch, const AliasedCall& call,
             std::size_t inputs);
  const std::vector<std::string>& Lines() const { return lines_; }

private:
  std::vector<std::string> lines_;
};

// The flag of a sum of values with magnitudes a, b and flags as, bs: the common flag, else
// that of the larger magnitude, else a's.
TBigSign SumSign(const mpz_class& a, TBigSign as, const mpz_class& b, TBigSign bs);

// An operation the driver exercises: its name, its share of the cases, and a case's body.
struct Operation {
  const char* name;
  unsigned weight;
  void (*run)(Random& random, Report& report);
};

std::vector<Operation> ArithmeticOperations();
std::vector<Operation> DivisionOperations();
std::vector<Operation> ModularOperations();
std::vector<Operation> PrimeOperations();
std::vector<Operation> RsaOperations();
std::vector<Operation> ConversionOperations();

}  // namespace xkit::diff
