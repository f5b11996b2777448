// Division of long operands by a reciprocal of the divisor: the reciprocal comes from
// Newton's iteration, which doubles its precision with two products per step, and each block
// of quotient limbs costs two more (an estimate from the reciprocal, then its product with
// the divisor), after Brent and Zimmermann, "Modern Computer Arithmetic", 3.4.1 and 1.4.
#include <algorithm>

#include "platform/memory.h"
#include "xFGInt/limbs.h"
#include "xFGInt/limbs_paths.h"

namespace xkit::detail {

namespace {

// Reciprocals of at most this many limbs come exactly from one division.
constexpr std::size_t kInverseBasecase = 32;
static_assert(kInverseBasecase < kNewtonDivisionThreshold, "the base case divides by halves");

// The Newton step's sizes: the reciprocal of d's top l limbs gives the one of all n.
std::size_t StepLimbs(std::size_t n) {
  return n / 2 + 1;
}

}  // namespace

std::size_t InverseScratchSize(std::size_t n) {
  if (n <= kInverseBasecase) return 2 * n + (n + 1) + n + DivRemScratchSize(2 * n, n);
  const std::size_t l = StepLimbs(n);
  const std::size_t step = (l + 1) + (n + l + 1) + (n + 3) +
                           std::max(MulScratchSize(n, l + 1), MulScratchSize(l + 1, n + 2 - l));
  return std::max(step, InverseScratchSize(l));
}

void Inverse(Limb* v, const Limb* d, std::size_t n, Limb* scratch) {
  if (n <= kInverseBasecase) {
    Limb* numerator = scratch;  // B^(2n) - 1
    Limb* quotient = numerator + 2 * n;
    Limb* remainder = quotient + n + 1;
    std::fill(numerator, numerator + 2 * n, ~Limb{0});
    DivRem(quotient, remainder, numerator, 2 * n, d, n, remainder + n);
    // d >= B^n / 2 puts the quotient in B^n .. 2 B^n - 1: its top limb is 1.
    std::copy(quotient, quotient + n, v);
    return;
  }
  // With X = B^l + v_l the reciprocal of d's top l limbs (l > n/2, so its error squared is
  // below one unit of B^-n), the error e = B^(n+l) - d X has |e| < 12 B^n, and
  //   B^(2n) / d = X B^(n-l) + X e / B^(2l) + (less than one unit).
  const std::size_t l = StepLimbs(n);
  Inverse(v + (n - l), d + (n - l), l, scratch);
  Limb* x = scratch;
  Limb* t = x + (l + 1);
  Limb* c = t + (n + l + 1);
  Limb* rest = c + (n + 3);
  std::copy(v + (n - l), v + n, x);
  x[l] = 1;
  Mul(t, d, n, x, l + 1, rest);
  // t := |e|, which fits n + 1 limbs.
  const bool negative = t[n + l] != 0;
  if (negative) {
    t[n + l] -= 1;
  } else {
    for (std::size_t i = 0; i < n + l; ++i)
      t[i] = ~t[i];
    Add1(t, t, n + l, 1);
  }
  // X |e| / B^(2l) from |e|'s limbs from l - 1 up: the ones below change it by less than
  // 2 B^l B^(l-1) / B^(2l), far below one unit.
  Mul(c, x, l + 1, t + (l - 1), n + 2 - l, rest);
  const Limb* correction = c + (l + 1);  // below 24 B^(n-l): n - l + 1 limbs
  std::fill(v, v + (n - l), Limb{0});
  if (negative) {
    if (Sub(v, v, n, correction, n - l + 1) != 0) std::fill(v, v + n, Limb{0});
  } else {
    if (Add(v, v, n, correction, n - l + 1) != 0) std::fill(v, v + n, ~Limb{0});
  }
}

namespace {

// The s quotient limbs of w[0..dn+s) by the normalised d[0..dn), for w's top dn limbs below
// d; w[0..dn) gets the remainder. inverse is the Inverse of d's top s limbs (or the top s
// limbs of the Inverse of more of them). The estimate top + top inverse / B^s, top = w's top
// s limbs, is within a few units of the quotient: its own truncations and the inverse's
// error cost a few, and a quotient from d's top s limbs alone overshoots by at most two.
// The remainder of the estimate then moves by whole divisors until it lies in 0 .. d - 1.
void DivideBlock(Limb* q, Limb* w, std::size_t s, const Limb* d, std::size_t dn,
                 const Limb* inverse, Limb* scratch) {
  Limb* product = scratch;
  Limb* estimate = product + 2 * s;
  Limb* multiple = estimate + (s + 1);
  Limb* rest = multiple + (s + dn);
  const Limb* top = w + dn;
  Mul(product, top, s, inverse, s, rest);
  estimate[s] = AddN(estimate, product + s, top, s);
  if (estimate[s] != 0) std::fill(estimate, estimate + s, ~Limb{0});  // the quotient is < B^s
  Mul(multiple, d, dn, estimate, s, rest);
  Limb borrow = SubN(w, w, multiple, dn + s);
  while (borrow != 0) {
    Sub1(estimate, estimate, s, 1);
    borrow -= Add(w, w, dn + s, d, dn);  // the carry out cancels the borrow
  }
  while (NormalizedSize(w + dn, s) != 0 || Compare(w, d, dn) >= 0) {
    Add1(estimate, estimate, s, 1);
    Sub(w, w, dn + s, d, dn);
  }
  std::copy(estimate, estimate + s, q);
}

}  // namespace

void DivideNewton(Limb* q, Limb* np, std::size_t an, const Limb* d, std::size_t dn,
                  const Limb* inverse, std::size_t h) {
  const std::size_t qn = an - dn + 1;
  const bool computeInverse = inverse == nullptr;
  if (computeInverse) h = std::min(dn, qn);
  const std::size_t blockScratch =
      2 * h + (h + 1) + (h + dn) + std::max(MulScratchSize(h, h), MulScratchSize(h, dn));
  // The inverse's own scratch is free again once it is found; the blocks reuse it.
  const std::size_t inverseLimbs = computeInverse ? h : 0;
  const std::size_t work = std::max(blockScratch, computeInverse ? InverseScratchSize(h) : 0);
  const Workspace<Limb> memory = MakeWorkspace<Limb>(inverseLimbs + work);
  Limb* scratch = memory.get() + inverseLimbs;
  if (computeInverse) {
    Inverse(memory.get(), d + (dn - h), h, scratch);
    inverse = memory.get();
  }
  // Blocks of h limbs from the top down, the first taking the odd size; each leaves its
  // remainder as the top of the next one's dividend.
  for (std::size_t left = qn; left > 0;) {
    const std::size_t s = left % h == 0 ? h : left % h;
    left -= s;
    DivideBlock(q + left, np + left, s, d, dn, inverse + (h - s), scratch);
  }
}

}  // namespace xkit::detail
