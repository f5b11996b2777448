// Operand sizes, value shapes, aliased calls and result checks of the differential driver.
#include <algorithm>
#include <cmath>
#include <sstream>

#include "tests/differential/cases.h"
#include "xFGInt/digit_kernels.h"
#include "xFGInt/limbs_paths.h"
#include "xFGInt/radix52.h"
#include "xFGInt/transform.h"
#include "xFGInt/record_limbs.h"
#include "xFGInt/thresholds.h"

namespace xkit::diff {

mpz_class Random::Bits(std::size_t bits) {
  std::vector<std::uint64_t> words((bits + 63) / 64);
  for (std::uint64_t& word : words)
    word = engine_();
  mpz_class x;
  mpz_import(x.get_mpz_t(), words.size(), -1, sizeof(std::uint64_t), 0, 0, words.data());
  mpz_fdiv_r_2exp(x.get_mpz_t(), x.get_mpz_t(), bits);
  return x;
}

const std::vector<std::size_t>& ThresholdSizes() {
  static const std::vector<std::size_t> sizes = [] {
    namespace d = detail;
    std::vector<std::size_t> limbs;
    // The recursive products split at halves and thirds, so their thresholds matter at
    // multiples of the sizes too.
    for (const d::ProductThresholds& t : {d::kPortableThresholds, d::kMulxAdxThresholds}) {
      for (const std::size_t limit : {t.mulKaratsuba, t.sqrKaratsuba, t.mulToom3, t.sqrToom3}) {
        for (const std::size_t multiple : {1, 2, 3, 4})
          limbs.push_back(limit * multiple);
      }
    }
    // The transform products take over from Toom-3 (the portable path's threshold lies past
    // the driver's sizes), and the division by a reciprocal from the division by halves.
    for (const d::TransformThresholds& t :
         {d::kAvx2TransformThresholds, d::kAvx512TransformThresholds}) {
      for (const std::size_t multiple : {1, 2})
        limbs.insert(limbs.end(), {t.mul * multiple, t.sqr * multiple});
    }
    for (const std::size_t multiple : {1, 2})
      limbs.push_back(d::kNewtonDivisionThreshold * multiple);
    for (const std::size_t multiple : {1, 2, 3, 4}) {
      limbs.push_back(d::kDivideByHalvesThreshold * multiple);
      limbs.push_back(d::kToDecimalSplitLimbs * multiple);
    }
    for (const std::size_t part : {1, 2, 3, 4, 6})
      limbs.push_back(d::LimbBuffer::kInline / part);
    std::vector<std::size_t> bits;
    for (const std::size_t l : limbs) {
      for (const std::size_t b : {64 * l - 64, 64 * l - 1, 64 * l, 64 * l + 1})
        bits.push_back(b);
    }
    for (const std::size_t blocks : {1, 2, 3}) {
      const std::size_t digits = d::kBlockDigits * blocks;
      for (const std::size_t b : {31 * digits - 31, 31 * digits - 1, 31 * digits, 31 * digits + 1})
        bits.push_back(b);
    }
    for (const std::size_t multiple : {1, 2, 4}) {
      const auto decimalBits = static_cast<std::size_t>(
          std::ceil(static_cast<double>(d::kFromDecimalSplitDigits * multiple) * std::log2(10.0)));
      for (const std::size_t b : {decimalBits - 4, decimalBits, decimalBits + 4})
        bits.push_back(b);
    }
    // Moduli of the radix-2^52 exponentiation: a block holds 8 digits, and the modulus needs
    // two bits of room; the single kernel takes up to kMaxBlocks blocks, the pair kernel (the
    // two halves of an RSA key) up to kMaxPairBlocks.
    for (std::size_t blocks = 1; blocks <= d::kMaxBlocks + 1; ++blocks) {
      const std::size_t top = 8 * d::kDigitBits52 * blocks - 2;
      for (const std::size_t b : {top - 1, top, top + 1})
        bits.push_back(b);
    }
    for (const std::size_t b : {62, 63, 64, 65})  // the gcd's one-word approximations
      bits.push_back(b);
    std::sort(bits.begin(), bits.end());
    bits.erase(std::unique(bits.begin(), bits.end()), bits.end());
    return bits;
  }();
  return sizes;
}

std::size_t Size(Random& random, std::size_t maxBits) {
  const std::size_t kind = random.Below(100);
  if (kind < 35) {
    const std::vector<std::size_t>& sizes = ThresholdSizes();
    const auto end = std::upper_bound(sizes.begin(), sizes.end(), maxBits);
    if (end != sizes.begin())
      return sizes[random.Below(static_cast<std::size_t>(end - sizes.begin()))];
  }
  if (kind < 60) return 1 + random.Below(std::min<std::size_t>(maxBits, 31 * 140));
  // Log-uniform over the range, which reaches far only rarely (the long cases cost most).
  std::size_t cap = std::min<std::size_t>(maxBits, std::size_t{1} << 14);
  if (random.OneIn(100)) cap = std::min<std::size_t>(maxBits, std::size_t{1} << 18);
  if (random.OneIn(1000)) cap = maxBits;
  const double exponent =
      std::log2(static_cast<double>(cap)) * static_cast<double>(random.Below(1000001)) / 1000000.0;
  return std::clamp<std::size_t>(static_cast<std::size_t>(std::exp2(exponent)), 1, cap);
}

mpz_class Shaped(Random& random, std::size_t bits) {
  if (bits == 0) return 0;
  const mpz_class top = mpz_class(1) << (bits - 1);
  const mpz_class ones = (top << 1) - 1;
  switch (random.Below(10)) {
    case 0:
      return ones;
    case 1:
      return top;
    case 2:  // a top bit over a run of low ones
      return top | ((mpz_class(1) << random.Below(bits)) - 1);
    case 3: {  // sparse
      mpz_class x = top;
      for (int i = 0; i < 3; ++i)
        mpz_setbit(x.get_mpz_t(), random.Below(bits));
      return x;
    }
    case 4: {  // all ones but one zero limb
      mpz_class x = ones;
      const std::size_t limb = random.Below(bits / 64 + 1);
      for (std::size_t i = 64 * limb; i < std::min(bits - 1, 64 * limb + 64); ++i)
        mpz_clrbit(x.get_mpz_t(), i);
      return x;
    }
    case 5: {  // digits alternately 2^31 - 1 and 0
      mpz_class x = top;
      for (std::size_t i = 0; i + 1 < bits; ++i) {
        if ((i / 31) % 2 == 0) mpz_setbit(x.get_mpz_t(), i);
      }
      return x;
    }
    default:
      return random.Bits(bits) | top;
  }
}

mpz_class Operand(Random& random, std::size_t maxBits) {
  switch (random.Below(32)) {
    case 0:
    case 1:
      return 0;
    case 2:
      return 1;
    case 3:
    case 4:
      return random.Bits(31);  // one digit
    default:
      return Shaped(random, Size(random, maxBits));
  }
}

mpz_class RandomPrime(Random& random, std::size_t bits) {
  mpz_class p;
  const mpz_class start = random.Bits(bits) | (mpz_class(1) << (bits - 1));
  mpz_nextprime(p.get_mpz_t(), start.get_mpz_t());
  return p;
}

std::string Describe(const mpz_class& value) {
  const std::string hex = mpz_class(abs(value)).get_str(16);
  std::ostringstream out;
  out << (value < 0 ? "-" : "") << mpz_sizeinbase(value.get_mpz_t(), 2) << " bits 0x";
  if (hex.size() <= 40) {
    out << hex;
  } else {
    out << hex.substr(0, 16) << "..." << hex.substr(hex.size() - 16);
  }
  return out.str();
}

std::string Describe(const TFGInt& a) {
  if (a.Digits.empty()) return "empty";
  return std::string(a.Sign == kNeg ? "flag - " : "flag + ") + Describe(Magnitude(a));
}

std::string Mismatch(const TFGInt& r, const mpz_class& magnitude, TBigSign sign) {
  const std::size_t n = r.Digits.empty() ? 0 : r.Digits[0];
  bool formed = r.Digits.size() >= 2 && n + 1 == r.Digits.size() && (n == 1 || r.Digits[n] != 0);
  for (std::size_t i = 1; formed && i <= n; ++i)
    formed = r.Digits[i] < 0x80000000u;
  std::ostringstream out;
  if (!formed) {
    out << "malformed result (" << r.Digits.size() << " cells, count " << n << ")";
  } else if (Magnitude(r) != magnitude || r.Sign != sign) {
    out << "got " << Describe(r) << ", expected flag " << (sign == kNeg ? "- " : "+ ")
        << Describe(magnitude);
    const mpz_class difference = Magnitude(r) ^ magnitude;
    if (difference != 0) out << "; lowest differing bit " << mpz_scan1(difference.get_mpz_t(), 0);
  }
  return out.str();
}

AliasedCall::AliasedCall(Random& random, std::vector<TFGInt> inputs, std::size_t outputs,
                         Inputs sharing)
    : inputs_(std::move(inputs)) {
  for (std::size_t j = 0; j < inputs_.size(); ++j) {
    if (j > 0 && sharing == Inputs::kMayShare && random.OneIn(4)) {
      const std::size_t earlier = random.Below(j);
      slotOf_.push_back(slotOf_[earlier]);
      inputs_[j] = inputs_[earlier];
    } else {
      slotOf_.push_back(slots_.size());
      slots_.push_back(inputs_[j]);
    }
  }
  for (std::size_t k = 0; k < outputs; ++k) {
    std::size_t slot = slots_.size();
    if (random.OneIn(2)) {
      slot = slotOf_[random.Below(inputs_.size())];
      for (std::size_t i = 0; i < k; ++i) {
        if (slotOf_[inputs_.size() + i] == slot) slot = slots_.size();
      }
    }
    if (slot == slots_.size()) {
      // A result record of its own: empty, or holding a stale value of another size.
      slots_.emplace_back();
      if (random.OneIn(2)) slots_.back() = Record(random.Bits(1 + random.Below(300)), kNeg);
    }
    slotOf_.push_back(slot);
  }
  before_ = slots_;
}

std::string AliasedCall::Pattern() const {
  std::string pattern;
  const auto name = [&](std::size_t position) {
    return position < inputs_.size() ? static_cast<char>('a' + position)
                                     : static_cast<char>('r' + position - inputs_.size());
  };
  for (std::size_t p = 0; p < slotOf_.size(); ++p) {
    for (std::size_t q = 0; q < p; ++q) {
      if (slotOf_[q] == slotOf_[p]) {
        if (!pattern.empty()) pattern.push_back(' ');
        pattern.push_back(name(p));
        pattern.push_back('=');
        pattern.push_back(name(q));
        break;
      }
    }
  }
  return pattern.empty() ? "no aliasing" : pattern;
}

std::string AliasedCall::ChangedInputs() const {
  for (std::size_t j = 0; j < inputs_.size(); ++j) {
    const std::size_t slot = slotOf_[j];
    bool written = false;
    for (std::size_t p = inputs_.size(); p < slotOf_.size(); ++p)
      written = written || slotOf_[p] == slot;
    const TFGInt& now = slots_[slot];
    if (!written && (now.Digits != inputs_[j].Digits || now.Sign != inputs_[j].Sign)) {
      return std::string("operand ") + static_cast<char>('a' + j) + " changed: " + Describe(now);
    }
  }
  return "";
}

void Report::Check(const std::string& what, const std::string& mismatch, const AliasedCall& call,
                   std::size_t inputs) {
  if (mismatch.empty()) return;
  Fail(what + ": " + mismatch);
  Fail("  aliasing: " + call.Pattern());
  for (std::size_t j = 0; j < inputs; ++j)
    Fail(std::string("  ") + static_cast<char>('a' + j) + " = " + Describe(call.Input(j)));
}

TBigSign SumSign(const mpz_class& a, TBigSign as, const mpz_class& b, TBigSign bs) {
  if (as == bs || a > b) return as;
  return a < b ? bs : as;
}

}  // namespace xkit::diff
