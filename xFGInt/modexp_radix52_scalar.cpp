// The radix-2^52 kernels in scalar code: the same almost-Montgomery products and masked table
// scan as the AVX-512 IFMA kernels (modexp_ifma.cpp), with the same results, on any CPU. They
// are never chosen for speed; KernelPath::kRadix52Scalar runs the radix-2^52 driver
// (modexp_radix52.cpp) on them, so that the tests on every CPU, and the constant-time check
// under Valgrind (which cannot run AVX-512), reach every line of that driver.
#include <algorithm>
#include <array>

#include "xFGInt/radix52.h"

namespace xkit::detail {

namespace {

// Digits per value: the digits rounded up to whole blocks of eight, as the driver lays them out.
std::size_t Width(std::size_t digits) {
  return 8 * ((digits + 7) / 8);
}

// r = (a b + y m) / 2^(52 digits), y chosen digit by digit to clear the low digit of the
// running sum, as the vector kernel chooses it: each y depends on the sum's value alone, so
// the result is the vector kernel's, digit for digit. The sum t keeps every digit below 2^52
// and stays below a + m < 2^(52 digits) between steps.
void Product(Limb* r, const Limb* a, const Limb* b, const Limb* m, std::size_t digits, Limb k0) {
  std::array<Limb, 8 * kMaxBlocks + 1> t{};
  for (std::size_t i = 0; i < digits; ++i) {
    const Limb bi = b[i];
    const Limb y = ((t[0] + a[0] * bi) * k0) & kMask52;
    // Digit 0 of the step's sum is zero by the choice of y; every digit j moves to j - 1.
    // t_j + a_j b_i + y m_j + carry < 2^52 + 2 (2^52 - 1)^2 + 2^54 < 2^106.
    DoubleLimb sum = static_cast<DoubleLimb>(t[0]) + static_cast<DoubleLimb>(a[0]) * bi +
                     static_cast<DoubleLimb>(m[0]) * y;
    DoubleLimb carry = sum >> kDigitBits52;
    for (std::size_t j = 1; j < digits; ++j) {
      sum = static_cast<DoubleLimb>(t[j]) + static_cast<DoubleLimb>(a[j]) * bi +
            static_cast<DoubleLimb>(m[j]) * y + carry;
      t[j - 1] = static_cast<Limb>(sum) & kMask52;
      carry = sum >> kDigitBits52;
    }
    sum = t[digits] + carry;  // carry < 2^54
    t[digits - 1] = static_cast<Limb>(sum) & kMask52;
    t[digits] = static_cast<Limb>(sum >> kDigitBits52);
  }
  // The result is below 2^(52 digits): t[digits] is zero, like the digits up to the width.
  std::copy(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(Width(digits)), r);
}

void PairProduct(Limb* r1, const Limb* a1, const Limb* b1, const Limb* m1, Limb k01, Limb* r2,
                 const Limb* a2, const Limb* b2, const Limb* m2, Limb k02, std::size_t digits) {
  Product(r1, a1, b1, m1, digits, k01);
  Product(r2, a2, b2, m2, digits, k02);
}

// out[0..stride) = entry w, every entry read under a mask.
void Select(Limb* out, const Limb* table, std::size_t entries, std::size_t stride, Limb w) {
  std::fill(out, out + stride, Limb{0});
  for (std::size_t i = 0; i < entries; ++i) {
    const Limb mask = MaskIfZero(i ^ w);
    for (std::size_t d = 0; d < stride; ++d)
      out[d] |= table[i * stride + d] & mask;
  }
}

}  // namespace

Radix52Kernels Radix52ScalarKernels() {
  return {Product, PairProduct, Select};
}

}  // namespace xkit::detail
