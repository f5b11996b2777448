// The strong Lucas probable-prime test (Baillie and Wagstaff, 1980) with Selfridge's
// parameters, the second half of Baillie-PSW. With w + 1 = d 2^s (d odd), w passes when
// U_d = 0 or V_(d 2^r) = 0 (mod w) for some r < s. The sequences are followed as the pair
// V_k, V_(k+1) with Q^k, all in Montgomery form:
//   V_2k = V_k^2 - 2 Q^k,  V_(2k+1) = V_k V_(k+1) - P Q^k,
// and U_d comes from D U_d = 2 V_(d+1) - P V_d, D being prime to w once (D / w) = -1.
// The steps branch on w's bits: for public numbers only.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <utility>
#include <vector>

#include "xFGInt/limbs_secret.h"
#include "xFGInt/primes.h"

namespace xkit::detail {

namespace {

using Limbs = std::vector<Limb>;

// The Jacobi symbol (a / b) for an odd b.
int JacobiSmall(Limb a, Limb b) {
  int result = 1;
  a %= b;
  while (a != 0) {
    while ((a & 1) == 0) {
      a >>= 1;
      if ((b & 7) == 3 || (b & 7) == 5) result = -result;  // (2 / b)
    }
    std::swap(a, b);
    if ((a & 3) == 3 && (b & 3) == 3) result = -result;  // quadratic reciprocity
    a %= b;
  }
  return b == 1 ? result : 0;
}

// (D / w) for an odd |D| and an odd w[0..n) above |D|.
int Jacobi(std::int64_t d, const Limb* w, std::size_t n) {
  const Limb a = static_cast<Limb>(d < 0 ? -d : d);
  int sign = 1;
  if (d < 0 && (w[0] & 3) == 3) sign = -sign;         // (-1 / w)
  if ((a & 3) == 3 && (w[0] & 3) == 3) sign = -sign;  // (a / w) = (w / a) up to this sign
  return sign * JacobiSmall(DivRem1(nullptr, w, n, PrepareLimbDivisor(a)), a);
}

// Whether w[0..n) is a perfect square, by Newton's integer square root from above.
bool IsSquare(const Limb* w, std::size_t n) {
  const std::size_t bits = 64 * n - static_cast<std::size_t>(std::countl_zero(w[n - 1]));
  Limbs x(n + 1, 0), quotient(n + 1), remainder(n + 1), next(n + 1),
      scratch(DivRemScratchSize(n, n) + n);
  x[(bits + 1) / 2 / 64] = Limb{1} << ((bits + 1) / 2 % 64);  // 2^ceil(bits / 2) >= sqrt(w)
  for (;;) {
    const std::size_t xn = NormalizedSize(x.data(), n + 1);
    std::fill(quotient.begin(), quotient.end(), Limb{0});
    if (xn <= n) DivRem(quotient.data(), remainder.data(), w, n, x.data(), xn, scratch.data());
    const Limb carry = AddN(next.data(), x.data(), quotient.data(), n + 1);
    RShift(next.data(), next.data(), n + 1, 1);
    next[n] |= carry << 63;
    if (Compare(next.data(), x.data(), n + 1) >= 0) break;
    x.swap(next);
  }
  Limbs square(2 * n + 2);
  MulBasecase(square.data(), x.data(), n + 1, x.data(), n + 1);
  return NormalizedSize(square.data(), square.size()) == n && Compare(square.data(), w, n) == 0;
}

// Arithmetic modulo w beside the domain's: differences, and products by small integers.
class LucasArithmetic {
public:
  LucasArithmetic(const MontgomeryDomain& domain, const Limb* w, std::size_t n)
      : domain_(domain),
        w_(w),
        n_(n),
        wide_(n + 1),
        quotient_(2),
        scratch_(DivRemScratchSize(n + 1, n)) {}

  void Sub(Limb* r, const Limb* a, const Limb* b) const {
    if (SubN(r, a, b, n_)) AddN(r, r, w_, n_);
  }
  // r = a c mod w for a below w and a small signed c.
  void MulSmall(Limb* r, const Limb* a, std::int64_t c) {
    const Limb magnitude = static_cast<Limb>(c < 0 ? -c : c);
    wide_[n_] = Mul1(wide_.data(), a, n_, magnitude);
    DivRem(quotient_.data(), r, wide_.data(), n_ + 1, w_, n_, scratch_.data());
    if (c < 0 && NormalizedSize(r, n_) != 0) SubN(r, w_, r, n_);
  }
  // r = a^2 - 2 b.
  void SquareMinusTwice(Limb* r, const Limb* a, const Limb* b) {
    domain_.Sqr(r, a);
    Sub(r, r, b);
    Sub(r, r, b);
  }

private:
  const MontgomeryDomain& domain_;
  const Limb* w_;
  std::size_t n_;
  Limbs wide_, quotient_, scratch_;
};

}  // namespace

bool PassesStrongLucas(const Limb* w, std::size_t n) {
  // Selfridge's D: the first of 5, -7, 9, -11, ... with (D / w) = -1. None exists for a
  // square, which the search looks for once it has run a while.
  std::int64_t d = 5;
  for (int tries = 1;; ++tries, d = d > 0 ? -(d + 2) : -d + 2) {
    const int symbol = Jacobi(d, w, n);
    if (symbol == -1) break;
    if (symbol == 0) return false;  // |D| < w shares a factor with w
    if (tries == 10 && IsSquare(w, n)) return false;
  }
  const std::int64_t q = (1 - d) / 4;

  const MontgomeryDomain domain(w, n);
  LucasArithmetic arithmetic(domain, w, n);
  // w + 1 = e 2^s with e odd (w + 1 may need one limb more than w).
  Limbs e(w, w + n);
  e.push_back(Add1(e.data(), e.data(), n, 1));
  const std::size_t s = TrailingZerosSecret(e.data(), e.size());
  ShiftRightSecret(e.data(), e.size(), s);
  const std::size_t en = NormalizedSize(e.data(), e.size());
  const std::size_t eBits = 64 * en - static_cast<std::size_t>(std::countl_zero(e[en - 1]));

  // k = 1: V_1 = P = 1, V_2 = P^2 - 2 Q, Q^1 = Q.
  Limbs v(n), v1(n), qk(n), t(n);
  const Limb unit = 1;
  domain.ToMontgomery(v.data(), &unit, 1);
  arithmetic.MulSmall(qk.data(), v.data(), q);
  arithmetic.Sub(v1.data(), v.data(), qk.data());
  arithmetic.Sub(v1.data(), v1.data(), qk.data());
  for (std::size_t bit = eBits - 1; bit-- > 0;) {
    domain.Mul(t.data(), v.data(), v1.data());
    arithmetic.Sub(t.data(), t.data(), qk.data());  // V_(2k+1) = V_k V_(k+1) - Q^k
    if ((e[bit / 64] >> (bit % 64)) & 1) {          // k := 2k + 1
      v.swap(t);
      arithmetic.MulSmall(t.data(), qk.data(), q);  // Q^(k+1)
      arithmetic.SquareMinusTwice(v1.data(), v1.data(), t.data());
      domain.Sqr(qk.data(), qk.data());
      arithmetic.MulSmall(qk.data(), qk.data(), q);
    } else {  // k := 2k
      v1.swap(t);
      arithmetic.SquareMinusTwice(v.data(), v.data(), qk.data());
      domain.Sqr(qk.data(), qk.data());
    }
  }
  // U_e = 0 exactly when 2 V_(e+1) = V_e.
  domain.Add(t.data(), v1.data(), v1.data());
  if (Compare(t.data(), v.data(), n) == 0 || NormalizedSize(v.data(), n) == 0) return true;
  for (std::size_t r = 1; r < s; ++r) {
    arithmetic.SquareMinusTwice(v.data(), v.data(), qk.data());
    if (NormalizedSize(v.data(), n) == 0) return true;
    domain.Sqr(qk.data(), qk.data());
  }
  return false;
}

}  // namespace xkit::detail
