// Euclidean division of records and the modular sum and product built on it. The
// magnitudes repack into limbs for the division kernels; the sign rules are applied to the
// magnitudes' quotient and remainder afterwards.
#include <algorithm>

#include "xFGInt/record_limbs.h"
#include "xFGInt/xFGInt.h"

namespace xkit {

namespace {

using detail::DigitCount;
using detail::Limb;
using detail::RequireValue;

// The Euclidean quotient and remainder of the values a and b (b non-zero) as magnitudes:
// |a| = q0 |b| + r0, and for a flagged Negative with r0 != 0, q = q0 + 1 and r = |b| - r0.
// q may be nullptr. The operands are repacked before anything is written, so q and r may be
// a or b.
void DivideEuclidean(const TFGInt& a, const TFGInt& b, TFGInt* q, TFGInt& r,
                     TBigSign quotientSign) {
  const bool negative = a.Sign == TBigSign::Negative;
  const std::size_t la = detail::LimbsForDigits(DigitCount(a));
  const std::size_t lb = detail::LimbsForDigits(DigitCount(b));
  const std::size_t quotientRoom = la + 2;  // the quotient and its increment
  detail::LimbBuffer buffer(la + 2 * lb + quotientRoom + detail::DivRemScratchSize(la, lb));
  Limb* x = buffer.Data();
  Limb* y = x + la;
  Limb* rem = y + lb;
  Limb* quot = rem + lb;
  Limb* scratch = quot + quotientRoom;
  const std::size_t nx = detail::ToLimbs(a, x);
  const std::size_t ny = detail::ToLimbs(b, y);
  std::size_t nq = 0;
  std::size_t nr = nx;
  if (nx < ny || (nx == ny && detail::Compare(x, y, nx) < 0)) {
    std::copy(x, x + nx, rem);  // |a| < |b|: q0 = 0, r0 = |a|
  } else {
    nq = nx - ny + 1;
    nr = ny;
    detail::DivRem(quot, rem, x, nx, y, ny, scratch);
  }
  nr = detail::NormalizedSize(rem, nr);
  if (negative && nr != 0) {
    quot[nq] = 0;
    detail::Add1(quot, quot, nq + 1, 1);
    nq += 1;
    detail::Sub(rem, y, ny, rem, nr);
    nr = ny;
  }
  if (q != nullptr) detail::FromLimbs(quot, nq, quotientSign, *q);
  detail::FromLimbs(rem, nr, TBigSign::Positive, r);
}

void RequireDivisor(const TFGInt& b) {
  RequireValue(b);
  if (detail::IsZero(b)) throw EDivByZero();
}

}  // namespace

void BigDivMod(const TFGInt& a, const TFGInt& b, TFGInt& q, TFGInt& r) {
  RequireValue(a);
  RequireDivisor(b);
  if (&q == &r) throw Exception("BigDivMod: the quotient and the remainder need two records");
  // The quotient takes b's flag for a flagged Positive, and the opposite flag otherwise.
  TBigSign sign = b.Sign;
  if (a.Sign == TBigSign::Negative) {
    sign = b.Sign == TBigSign::Positive ? TBigSign::Negative : TBigSign::Positive;
  }
  DivideEuclidean(a, b, &q, r, sign);
}

void BigMod(const TFGInt& a, const TFGInt& b, TFGInt& r) {
  RequireValue(a);
  RequireDivisor(b);
  DivideEuclidean(a, b, nullptr, r, TBigSign::Positive);
}

void BigAddMod(const TFGInt& a, const TFGInt& b, const TFGInt& m, TFGInt& r) {
  RequireDivisor(m);
  TFGInt sum;
  BigAdd(a, b, sum);
  BigMod(sum, m, r);
}

void BigMulMod(const TFGInt& a, const TFGInt& b, const TFGInt& m, TFGInt& r) {
  RequireDivisor(m);
  TFGInt product;
  BigMul(a, b, product);
  BigMod(product, m, r);
}

}  // namespace xkit
