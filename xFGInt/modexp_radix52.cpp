// The exponentiation on the AVX-512 IFMA path: one task, or two side by side with their
// products interleaved (the two halves of an RSA private operation). Each task keeps its
// values in radix 2^52 with R' = 2^(52 N); both tasks of a pair share N, the larger of
// their needs, and one window schedule.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

#include "xFGInt/radix52.h"

namespace xkit::detail {

namespace {

// Digits for a modulus of `bits` bits with R' >= 4m.
std::size_t DigitsFor(std::size_t bits) {
  return (bits + 2 + kDigitBits52 - 1) / kDigitBits52;
}

// One task's values in radix 2^52, each in a slot of width digits, the slots aligned to 64
// bytes (a vector load that crosses a cache line costs two): the modulus, the accumulator,
// the selected factor, the constant 1, then the table of x^0 .. x^(entries - 1) in R'-form.
class Side {
public:
  enum Slot : std::size_t { kModulus, kAcc, kFactor, kOne, kTable };

  Side(const PowTask& task, std::size_t digits, std::size_t entries)
      : task_(task), domain_(*task.domain), width_(8 * ((digits + 7) / 8)) {
    const std::size_t n = domain_.Size();
    const std::size_t bits = domain_.Bits();
    // Plain limbs: R' mod m (by doublings from 2^(bits - 1), which is below m), and the
    // base's form a R' = (a R) (R' mod m) R^-1.
    limbs_.assign(3 * n, 0);
    Limb* rPrime = limbs_.data();
    Limb* form = rPrime + n;
    rPrime[(bits - 1) / 64] = Limb{1} << ((bits - 1) % 64);
    for (std::size_t i = bits - 1; i < kDigitBits52 * digits; ++i)
      domain_.Add(rPrime, rPrime, rPrime);
    domain_.ToMontgomery(form, task.a, task.an);
    baseIsZero_ = MaskIfZeroN(form, n);
    domain_.Mul(form, form, rPrime);

    work_.assign((kTable + entries) * width_ + 8, 0);  // + 8: room to align the start
    const auto address = reinterpret_cast<std::uintptr_t>(work_.data());
    base_ = work_.data() + (64 - address % 64) % 64 / sizeof(Limb);
    ToRadix52(Value(kModulus), width_, domain_.Modulus(), n);
    ToRadix52(Value(kTable), width_, rPrime, n);
    ToRadix52(Value(kTable + 1), width_, form, n);
    Value(kOne)[0] = 1;
    k0_ = domain_.MInverse() & kMask52;
  }

  Limb* Value(std::size_t slot) { return base_ + slot * width_; }
  Limb K0() const { return k0_; }
  std::size_t Stride() const { return width_; }
  const PowTask& Task() const { return task_; }

  // r := the accumulator out of R'-form, reduced: (acc + y m) / R' <= m after the product
  // with 1 that the caller ran, so at most one subtraction remains.
  void Finish() {
    const std::size_t n = domain_.Size();
    Limb* result = limbs_.data() + 2 * n;
    Limb* reduced = limbs_.data() + n;
    FromRadix52(result, n, Value(kAcc), width_);
    const Limb borrow = SubN(reduced, result, domain_.Modulus(), n);
    Select(task_.r, result, reduced, n, MaskFromBit(borrow));
    for (std::size_t i = 0; i < n; ++i)
      task_.r[i] &= ~baseIsZero_;  // covers e = 0; for e >= 1 a zero base gave zero already
  }

private:
  PowTask task_;
  const MontgomeryDomain& domain_;
  std::size_t width_;
  std::vector<Limb> limbs_, work_;
  Limb* base_;
  Limb k0_ = 0;
  Limb baseIsZero_ = 0;
};

// The tasks' kernels and digit count: slot[out] := slot[x] slot[y] on every side at once.
class Sides {
public:
  Sides(std::vector<Side>& sides, const Radix52Kernels& kernels, std::size_t digits)
      : sides_(sides), kernels_(kernels), digits_(digits) {}

  void Product(std::size_t out, std::size_t x, std::size_t y) {
    Side& a = sides_[0];
    if (sides_.size() == 1) {
      kernels_.product(a.Value(out), a.Value(x), a.Value(y), a.Value(Side::kModulus), digits_,
                       a.K0());
      return;
    }
    Side& b = sides_[1];
    kernels_.pairProduct(a.Value(out), a.Value(x), a.Value(y), a.Value(Side::kModulus), a.K0(),
                         b.Value(out), b.Value(x), b.Value(y), b.Value(Side::kModulus), b.K0(),
                         digits_);
  }

  // slot[out] := the table entry of the window at bit `pos` of each side's exponent.
  void Select(std::size_t out, std::size_t entries, std::size_t pos, unsigned k) {
    for (Side& side : sides_) {
      const PowTask& task = side.Task();
      kernels_.select(side.Value(out), side.Value(Side::kTable), entries, side.Stride(),
                      Window(task.e, task.en, pos, k));
    }
  }

private:
  std::vector<Side>& sides_;
  Radix52Kernels kernels_;
  std::size_t digits_;
};

}  // namespace

bool PowRadix52(std::span<const PowTask> tasks, std::size_t bits, unsigned k, bool publicExponent) {
  std::size_t digits = 0;
  for (const PowTask& task : tasks)
    digits = std::max(digits, DigitsFor(task.domain->Bits()));
  const std::size_t blocks = (digits + 7) / 8;
  if (blocks > (tasks.size() == 1 ? kMaxBlocks : kMaxPairBlocks)) return false;

  const std::size_t entries = std::size_t{1} << k;
  std::vector<Side> sides;
  sides.reserve(tasks.size());
  for (const PowTask& task : tasks)
    sides.emplace_back(task, digits, entries);
  const Radix52Kernels kernels = ActiveKernelPath() == KernelPath::kRadix52Scalar
                                     ? Radix52ScalarKernels()
                                     : Radix52KernelsFor(blocks);
  Sides all(sides, kernels, digits);

  for (std::size_t i = 2; i < entries; ++i)
    all.Product(Side::kTable + i, Side::kTable + i - 1, Side::kTable + 1);
  for (Side& side : sides)
    std::copy(side.Value(Side::kTable), side.Value(Side::kTable) + side.Stride(),
              side.Value(Side::kAcc));
  if (publicExponent && bits != 0) {
    const PowTask& task = tasks[0];
    Side& side = sides[0];
    std::copy(side.Value(Side::kTable + 1), side.Value(Side::kTable + 1) + side.Stride(),
              side.Value(Side::kAcc));
    for (std::size_t i = bits - 1; i-- > 0;) {
      all.Product(Side::kAcc, Side::kAcc, Side::kAcc);
      if ((task.e[i / 64] >> (i % 64)) & 1) all.Product(Side::kAcc, Side::kAcc, Side::kTable + 1);
    }
  } else if (bits != 0) {
    const std::size_t windows = (bits + k - 1) / k;
    all.Select(Side::kAcc, entries, (windows - 1) * k, k);
    for (std::size_t w = windows - 1; w-- > 0;) {
      for (unsigned i = 0; i < k; ++i)
        all.Product(Side::kAcc, Side::kAcc, Side::kAcc);
      all.Select(Side::kFactor, entries, w * k, k);
      all.Product(Side::kAcc, Side::kAcc, Side::kFactor);
    }
  }
  all.Product(Side::kAcc, Side::kAcc, Side::kOne);
  for (Side& side : sides)
    side.Finish();
  return true;
}

}  // namespace xkit::detail
