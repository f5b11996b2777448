// Division kernels: division by one limb and schoolbook long division, both by invariant
// reciprocals (Moller and Granlund, "Improved division by invariant integers", 2011): each
// quotient limb costs multiplications and a correction instead of a hardware division. Long
// quotients are found by halves (Burnikel and Ziegler's recursive division, as in Brent and
// Zimmermann, "Modern Computer Arithmetic", 1.4.3), so they cost a few multiplications; long
// divisors divide by a reciprocal instead (limbs_newton.cpp).
#include <algorithm>
#include <bit>

#include "xFGInt/limbs.h"
#include "xFGInt/limbs_paths.h"
#include "xFGInt/thresholds.h"

namespace xkit::detail {

namespace {

constexpr DoubleLimb Join(Limb high, Limb low) {
  return (static_cast<DoubleLimb>(high) << 64) | low;
}
constexpr Limb High(DoubleLimb x) {
  return static_cast<Limb>(x >> 64);
}
constexpr Limb Low(DoubleLimb x) {
  return static_cast<Limb>(x);
}

// Divides u1:u0 by the normalised d with u1 < d, given v = Reciprocal(d); returns the
// quotient limb and stores the remainder.
inline Limb Divide2By1(Limb u1, Limb u0, Limb d, Limb v, Limb& remainder) {
  // v u1 + u1:u0 < 2^128 because u1 < d and v = floor((2^128 - 1) / d) - 2^64.
  const DoubleLimb estimate = static_cast<DoubleLimb>(v) * u1 + Join(u1, u0);
  Limb q = High(estimate) + 1;
  Limb r = u0 - q * d;  // the true remainder, modulo 2^64, for the candidate q
  if (r > Low(estimate)) {
    --q;
    r += d;
  }
  if (r >= d) [[unlikely]] {
    ++q;
    r -= d;
  }
  remainder = r;
  return q;
}

// floor((2^192 - 1) / (d1:d0)) - 2^64 for d1 normalised: the reciprocal for Divide3By2.
Limb Reciprocal3By2(Limb d1, Limb d0) {
  Limb v = Reciprocal(d1);
  Limb p = d1 * v + d0;
  if (p < d0) {
    --v;
    if (p >= d1) {
      --v;
      p -= d1;
    }
    p -= d1;
  }
  const DoubleLimb t = static_cast<DoubleLimb>(v) * d0;
  p += High(t);
  if (p < High(t)) {
    --v;
    if (Join(p, Low(t)) >= Join(d1, d0)) --v;
  }
  return v;
}

// Divides u2:u1:u0 by d1:d0 (d1 normalised, u2:u1 < d1:d0) with v = Reciprocal3By2(d1, d0);
// returns the quotient limb and stores the two-limb remainder.
inline Limb Divide3By2(Limb u2, Limb u1, Limb u0, Limb d1, Limb d0, Limb v, DoubleLimb& rem) {
  const DoubleLimb d = Join(d1, d0);
  const DoubleLimb estimate = static_cast<DoubleLimb>(v) * u2 + Join(u2, u1);
  Limb q = High(estimate);
  const Limb r1 = u1 - q * d1;
  // All arithmetic on r below is modulo 2^128 by design.
  DoubleLimb r = Join(r1, u0) - static_cast<DoubleLimb>(d0) * q - d;
  ++q;
  if (High(r) >= Low(estimate)) {
    --q;
    r += d;
  }
  if (r >= d) [[unlikely]] {
    ++q;
    r -= d;
  }
  rem = r;
  return q;
}

// Schoolbook division of np[0..nn] (nn + 1 limbs, the top dn of them below the divisor) by
// the normalised dp[0..dn), dn >= 2: q[0..nn-dn+1) gets the quotient, np[0..dn) the
// remainder. Each step takes the quotient limb from the top three numerator limbs by one
// 3/2 division; it is never too small and at most one too large, which one add-back fixes.
void DivSchoolbook(Limb* q, Limb* np, std::size_t nn, const Limb* dp, std::size_t dn) {
  const Limb d1 = dp[dn - 1];
  const Limb d0 = dp[dn - 2];
  const Limb v = Reciprocal3By2(d1, d0);
  Limb n1 = np[nn];  // the running top limb, kept out of np
  for (std::size_t i = nn - dn + 1; i-- > 0;) {
    const Limb n0 = np[i + dn - 1];
    Limb qi;
    if (n1 == d1 && n0 == d0) [[unlikely]] {
      // The 3/2 division would overflow; the quotient limb is then exactly 2^64 - 1.
      qi = ~Limb{0};
      SubMul1(np + i, dp, dn, qi);
      n1 = np[i + dn - 1];
    } else {
      DoubleLimb rem;
      qi = Divide3By2(n1, n0, np[i + dn - 2], d1, d0, v, rem);
      // Subtract qi times the divisor's low dn - 2 limbs; the top two are in rem already.
      const Limb borrow = SubMul1(np + i, dp, dn - 2, qi);
      const Limb below = Low(rem) < borrow;
      Limb r0 = Low(rem) - borrow;
      Limb r1 = High(rem);
      const Limb negative = r1 < below;
      r1 -= below;
      if (negative) [[unlikely]] {
        np[i + dn - 2] = r0;
        r1 += d1 + AddN(np + i, np + i, dp, dn - 1);
        r0 = np[i + dn - 2];
        --qi;
      }
      np[i + dn - 2] = r0;
      n1 = r1;
    }
    q[i] = qi;
  }
  np[dn - 1] = n1;
}

// Scratch limbs that the division by halves needs for a divisor of n limbs.
std::size_t HalvesScratchSize(std::size_t n) {
  return n + MulScratchSize(n, n);
}

Limb DivideByHalves(Limb* q, Limb* a, std::size_t m, const Limb* d, std::size_t n, Limb* scratch);

// The p quotient limbs of a[0..n+p) by the normalised d[0..n), for 1 <= p < n and
// a div B^p < d; a[0..n) gets the remainder. The quotient is first estimated from the top 2p
// limbs of a and the top p limbs of d; the estimate is never too small, and subtracting its
// product with the rest of d and adding d back while the result is negative corrects it.
void DivideHalf(Limb* q, Limb* a, std::size_t p, const Limb* d, std::size_t n, Limb* scratch) {
  Limb qh = DivideByHalves(q, a + n - p, p, d + n - p, p, scratch);
  // a[0..n) holds the estimate's remainder over a's low n - p limbs; take off the estimate
  // (qh B^p + q) times d's low n - p limbs.
  Limb* product = scratch;
  Mul(product, q, p, d, n - p, scratch + n);
  Limb borrow = SubN(a, a, product, n);
  if (qh != 0) borrow += Sub(a + p, a + p, n - p, d, n - p);
  while (borrow != 0) {
    qh -= Sub1(q, q, p, 1);
    borrow -= AddN(a, a, d, n);
  }
  // The true quotient is below B^p, so qh has dropped back to 0.
}

// Divides a[0..n+m) by the normalised d[0..n), 1 <= m <= n, n >= 2, where the top n limbs
// of a are at most d. The quotient is qh B^m + q[0..m), with qh (0 or 1) returned; a[0..n)
// gets the remainder and the limbs above it are left undefined. scratch has
// HalvesScratchSize(n) limbs.
Limb DivideByHalves(Limb* q, Limb* a, std::size_t m, const Limb* d, std::size_t n, Limb* scratch) {
  Limb qh = 0;
  if (Compare(a + m, d, n) >= 0) {
    SubN(a + m, a + m, d, n);  // the top is now below d
    qh = 1;
  }
  if (m < kDivideByHalvesThreshold) {
    DivSchoolbook(q, a, n + m - 1, d, n);
  } else {
    const std::size_t low = m / 2;
    DivideHalf(q + low, a + low, m - low, d, n, scratch);
    DivideHalf(q, a, low, d, n, scratch);
  }
  return qh;
}

}  // namespace

Limb Reciprocal(Limb d) {
  // floor((2^128 - 1) / d) - 2^64 = floor(((2^64 - 1 - d) 2^64 + 2^64 - 1) / d), below 2^64.
  return static_cast<Limb>(Join(~d, ~Limb{0}) / d);
}

LimbDivisor PrepareLimbDivisor(Limb d) {
  const unsigned shift = static_cast<unsigned>(std::countl_zero(d));
  const Limb normalised = d << shift;
  return {d, normalised, Reciprocal(normalised), shift};
}

Limb DivRem1(Limb* q, const Limb* a, std::size_t n, const LimbDivisor& d) {
  if (n == 0) return 0;
  const unsigned s = d.shift;
  // Divides a << s by d << s on the fly; the remainder comes out shifted by s as well.
  Limb r = s == 0 ? 0 : a[n - 1] >> (kLimbBits - s);
  for (std::size_t i = n; i-- > 0;) {
    Limb u0 = a[i] << s;
    if (s != 0 && i > 0) u0 |= a[i - 1] >> (kLimbBits - s);
    const Limb qi = Divide2By1(r, u0, d.normalised, d.inverse, r);
    if (q != nullptr) q[i] = qi;
  }
  return r >> s;
}

namespace {

// The quotient of np[0..an] by the normalised d[0..dn), dn >= 2, by the method the sizes call
// for; np[0..dn) gets the remainder. inverse: as for DivideNewton. scratch from halvesScratch
// on: HalvesScratchSize(dn) limbs when dn reaches the halves' threshold.
void DivideNormalised(Limb* q, Limb* np, std::size_t an, const Limb* d, std::size_t dn,
                      const Limb* inverse, std::size_t inverseLimbs, Limb* halvesScratch) {
  const std::size_t qn = an - dn + 1;
  if (dn < kDivideByHalvesThreshold || qn < kDivideByHalvesThreshold) {
    DivSchoolbook(q, np, an, d, dn);
  } else if (const std::size_t from =
                 inverse != nullptr ? kPreparedInverseThreshold : kNewtonDivisionThreshold;
             dn >= from && qn >= from) {
    DivideNewton(q, np, an, d, dn, inverse, inverseLimbs);
  } else {
    // Quotient blocks of at most dn limbs from the top down, each leaving its remainder as
    // the top of the next block's dividend; the first block takes the odd size.
    for (std::size_t left = qn; left > 0;) {
      const std::size_t m = left % dn == 0 ? dn : left % dn;
      left -= m;
      DivideByHalves(q + left, np + left, m, d, dn, halvesScratch);
    }
  }
}

}  // namespace

std::size_t DivRemScratchSize(std::size_t an, std::size_t dn) {
  return an + 1 + dn + (dn >= kDivideByHalvesThreshold ? HalvesScratchSize(dn) : 0);
}

void DivRem(Limb* q, Limb* r, const Limb* a, std::size_t an, const Limb* d, std::size_t dn,
            Limb* scratch) {
  if (dn == 1) {
    r[0] = DivRem1(q, a, an, PrepareLimbDivisor(d[0]));
    return;
  }
  const unsigned s = static_cast<unsigned>(std::countl_zero(d[dn - 1]));
  Limb* dp = scratch;
  Limb* np = scratch + dn;
  if (s != 0) {
    LShift(dp, d, dn, s);
    np[an] = LShift(np, a, an, s);
  } else {
    std::copy(d, d + dn, dp);
    std::copy(a, a + an, np);
    np[an] = 0;
  }
  DivideNormalised(q, np, an, dp, dn, nullptr, 0, np + an + 1);
  if (s != 0) {
    RShift(r, np, dn, s);
  } else {
    std::copy(np, np + dn, r);
  }
}

std::size_t DivRemPreparedScratchSize(std::size_t an, std::size_t dn) {
  return an + 1 + (dn >= kDivideByHalvesThreshold ? HalvesScratchSize(dn) : 0);
}

void DivRemPrepared(Limb* q, Limb* r, const Limb* a, std::size_t an, const PreparedDivisor& d,
                    Limb* scratch) {
  const unsigned s = d.shift;
  Limb* np = scratch;
  if (s != 0) {
    np[an] = LShift(np, a, an, s);
  } else {
    std::copy(a, a + an, np);
    np[an] = 0;
  }
  DivideNormalised(q, np, an, d.normalised, d.n, d.inverse, d.inverseLimbs, np + an + 1);
  if (s != 0) {
    RShift(r, np, d.n, s);
  } else {
    std::copy(np, np + d.n, r);
  }
}

}  // namespace xkit::detail
