// Toom-3 products and squares of long balanced operands. An operand of n limbs is taken as
// a polynomial in X = B^k, k = ceil(n / 3): a = a2 X^2 + a1 X + a0, with a2 of h = n - 2k
// limbs (1 <= h <= k). The product's five coefficients c0..c4 follow from its values at 0,
// 1, -1, 2 and infinity, five products of about n / 3 limbs:
//   c0 = v(0),  c4 = v(inf),  c2 = (v(1) + v(-1)) / 2 - c0 - c4,
//   s = (v(1) - v(-1)) / 2 = c1 + c3,  3 c3 = (v(2) - c0 - 16 c4) / 2 - 2 c2 - s,  c1 = s - c3.
// The coefficients of a and b are non-negative, so are all of c0..c4 and every value formed
// on the way; only v(-1) = a(-1) b(-1) has a sign, which the evaluation reports.
#include <algorithm>

#include "xFGInt/limbs.h"
#include "xFGInt/limbs_paths.h"

namespace xkit::detail {

namespace {

struct Split {
  std::size_t k;  // limbs of a0 and a1
  std::size_t h;  // limbs of a2
  explicit Split(std::size_t n) : k((n + 2) / 3), h(n - 2 * ((n + 2) / 3)) {}
};

// The values of a (n limbs) at 1, -1 and 2, each of k + 1 limbs (a(1) < 3 X, a(2) < 7 X);
// returns true when a(-1) is negative, whose magnitude is then written.
bool Evaluate(const Limb* a, const Split& s, Limb* at1, Limb* atMinus1, Limb* at2) {
  const std::size_t k = s.k;
  const Limb* a1 = a + k;
  const Limb* a2 = a + 2 * k;
  at1[k] = Add(at1, a, k, a2, s.h);  // a0 + a2
  bool negative = false;
  if (at1[k] != 0 || Compare(at1, a1, k) >= 0) {
    atMinus1[k] = at1[k] - SubN(atMinus1, at1, a1, k);
  } else {
    SubN(atMinus1, a1, at1, k);
    atMinus1[k] = 0;
    negative = true;
  }
  at1[k] += AddN(at1, at1, a1, k);
  // a(2) = a0 + 2 (a1 + 2 a2), doubling in place; no step leaves the k + 1 limbs.
  std::copy(a2, a2 + s.h, at2);
  std::fill(at2 + s.h, at2 + k + 1, Limb{0});
  LShift(at2, at2, k + 1, 1);
  at2[k] += AddN(at2, at2, a1, k);
  LShift(at2, at2, k + 1, 1);
  at2[k] += AddN(at2, at2, a, k);
  return negative;
}

// a[0..n) := a / 3 for an a divisible by 3, by multiplying with the inverse of 3 modulo
// B from the low limb up: each quotient limb q makes 3 q = x + hi B for the current limb x,
// and hi (with the borrow of forming x) comes off the next limb.
void DivideExactlyBy3(Limb* a, std::size_t n) {
  constexpr Limb kInverse3 = 0xAAAAAAAAAAAAAAABULL;  // 3 kInverse3 = 2 B + 1
  Limb borrow = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Limb x = a[i] - borrow;
    const Limb under = a[i] < borrow;
    const Limb q = x * kInverse3;
    a[i] = q;
    borrow = static_cast<Limb>((static_cast<DoubleLimb>(q) * 3) >> 64) + under;
  }
}

// r[0..2n) holds c0 at limb 0 and c4 at limb 4k; v1, vm1 and v2 (2k + 2 limbs each) hold
// v(1), |v(-1)| and v(2). Finds c1, c2, c3 in place of them and adds them into r.
void Interpolate(Limb* r, const Split& s, bool minusNegative, Limb* v1, Limb* vm1, Limb* v2) {
  const std::size_t k = s.k;
  const std::size_t n = 2 * k + s.h;
  const std::size_t len = 2 * k + 2;
  const Limb* c0 = r;
  const Limb* c4 = r + 4 * k;
  // vm1 := 2 s = v(1) - v(-1), v1 := 2 (c0 + c2 + c4) = 2 v(1) - 2 s, then both halved.
  if (minusNegative) {
    AddN(vm1, v1, vm1, len);
  } else {
    SubN(vm1, v1, vm1, len);
  }
  LShift(v1, v1, len, 1);
  SubN(v1, v1, vm1, len);
  RShift(vm1, vm1, len, 1);
  RShift(v1, v1, len, 1);
  // v1 := c2.
  Sub(v1, v1, len, c0, 2 * k);
  Sub(v1, v1, len, c4, 2 * s.h);
  // v2 := 3 c3 = (v(2) - c0 - 16 c4) / 2 - 2 c2 - s, then c3.
  Sub(v2, v2, len, c0, 2 * k);
  const Limb borrow = SubMul1(v2, c4, 2 * s.h, 16);
  Sub1(v2 + 2 * s.h, v2 + 2 * s.h, len - 2 * s.h, borrow);
  RShift(v2, v2, len, 1);
  SubMul1(v2, v1, len, 2);
  SubN(v2, v2, vm1, len);
  DivideExactlyBy3(v2, len);
  // vm1 := c1.
  SubN(vm1, vm1, v2, len);
  // r := c0 + c1 X + c2 X^2 + c3 X^3 + c4 X^4. Each coefficient is below 3 X^2 and fits the
  // limbs above its place (n >= 2k + 1).
  std::fill(r + 2 * k, r + 4 * k, Limb{0});
  Add(r + k, r + k, 2 * n - k, vm1, NormalizedSize(vm1, len));
  Add(r + 2 * k, r + 2 * k, 2 * n - 2 * k, v1, NormalizedSize(v1, len));
  Add(r + 3 * k, r + 3 * k, 2 * n - 3 * k, v2, NormalizedSize(v2, len));
}

}  // namespace

std::size_t MulToom3ScratchSize(std::size_t n) {
  const std::size_t k = Split(n).k;
  return 6 * (k + 1) + 3 * (2 * k + 2) + MulBalancedScratchSize(k + 1);
}

void MulToom3(Limb* r, const Limb* a, const Limb* b, std::size_t n, Limb* scratch) {
  const Split s(n);
  const std::size_t k = s.k;
  Limb* a1 = scratch;  // a(1), then b(1), a(-1), b(-1), a(2), b(2)
  Limb* b1 = a1 + (k + 1);
  Limb* am1 = b1 + (k + 1);
  Limb* bm1 = am1 + (k + 1);
  Limb* a2 = bm1 + (k + 1);
  Limb* b2 = a2 + (k + 1);
  Limb* v1 = b2 + (k + 1);
  Limb* vm1 = v1 + (2 * k + 2);
  Limb* v2 = vm1 + (2 * k + 2);
  Limb* rest = v2 + (2 * k + 2);
  const bool minusNegative = Evaluate(a, s, a1, am1, a2) != Evaluate(b, s, b1, bm1, b2);
  MulBalanced(r, a, b, k, rest);
  MulBalanced(r + 4 * k, a + 2 * k, b + 2 * k, s.h, rest);
  MulBalanced(v1, a1, b1, k + 1, rest);
  MulBalanced(vm1, am1, bm1, k + 1, rest);
  MulBalanced(v2, a2, b2, k + 1, rest);
  Interpolate(r, s, minusNegative, v1, vm1, v2);
}

std::size_t SqrToom3ScratchSize(std::size_t n) {
  const std::size_t k = Split(n).k;
  return 3 * (k + 1) + 3 * (2 * k + 2) + SqrScratchSize(k + 1);
}

void SqrToom3(Limb* r, const Limb* a, std::size_t n, Limb* scratch) {
  const Split s(n);
  const std::size_t k = s.k;
  Limb* a1 = scratch;  // a(1), then a(-1), a(2)
  Limb* am1 = a1 + (k + 1);
  Limb* a2 = am1 + (k + 1);
  Limb* v1 = a2 + (k + 1);
  Limb* vm1 = v1 + (2 * k + 2);
  Limb* v2 = vm1 + (2 * k + 2);
  Limb* rest = v2 + (2 * k + 2);
  Evaluate(a, s, a1, am1, a2);
  Sqr(r, a, k, rest);
  Sqr(r + 4 * k, a + 2 * k, s.h, rest);
  Sqr(v1, a1, k + 1, rest);
  Sqr(vm1, am1, k + 1, rest);
  Sqr(v2, a2, k + 1, rest);
  Interpolate(r, s, false, v1, vm1, v2);
}

}  // namespace xkit::detail
