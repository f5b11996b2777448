// BigInvMod for a modulus of either parity, in time that depends on the operands' sizes and
// on the modulus alone. With m = 2^k o, o odd: |a| is reduced modulo o by masked
// subtractions or in o's Montgomery domain (never by long division, whose steps branch on
// the values) and inverted by the binary gcd kernel; the inverse modulo 2^k comes from
// Newton's iteration; Garner's formula joins the two.
// A negative a gets m minus the inverse of |a|.
#include <algorithm>

#include "xFGInt/limbs_secret.h"
#include "xFGInt/modexp.h"
#include "xFGInt/record_limbs.h"
#include "xFGInt/xFGInt.h"

namespace xkit {

namespace {

using detail::Limb;

// r[0..n) := a b mod B^n for a, b of n limbs; r may be a or b. t: 2n limbs of scratch.
void MulLow(Limb* r, const Limb* a, const Limb* b, std::size_t n, Limb* t) {
  detail::MulBasecase(t, a, n, b, n);
  std::copy(t, t + n, r);
}

// z[0..n) := a^-1 mod B^n for an odd a of n limbs (some value for an even a). Newton's
// iteration z := z (2 - a z) doubles the number of correct low limbs, starting from the
// inverse of a[0] modulo B. t: 3n limbs of scratch.
void InverseModPowerOfB(Limb* z, const Limb* a, std::size_t n, Limb* t) {
  std::fill(z, z + n, Limb{0});
  z[0] = Limb{0} - detail::MontgomeryInverse(a[0]);
  Limb* e = t + 2 * n;
  for (std::size_t done = 1; done < n;) {
    const std::size_t next = std::min(2 * done, n);
    MulLow(e, a, z, next, t);
    Limb carry = 3;  // e := 2 - a z = ~(a z) + 3, the carry run through every limb
    for (std::size_t i = 0; i < next; ++i) {
      e[i] = ~e[i] + carry;
      carry = e[i] < carry;
    }
    MulLow(z, z, e, next, t);
    done = next;
  }
}

// r[0..mn) := a mod m for a of an limbs and a public odd m > 1 of mn limbs (m[mn-1] != 0),
// without a branch or an address that depends on a. A short quotient (a below 2^128 m, as
// when a is no longer than m) takes one masked subtraction of m 2^j per quotient bit j, from
// the top; a longer one takes m's Montgomery domain, whose set-up costs a dozen products.
// t: 3 max(an, mn) limbs of scratch.
void ReduceSecret(Limb* r, const Limb* a, std::size_t an, const Limb* m, std::size_t mn, Limb* t) {
  const std::size_t mBits = detail::BitLength(m, mn);
  const std::size_t size = std::max(an, mn);
  const std::size_t quotientBits = 64 * size - mBits + 1;  // a < 2^(64 size) <= m 2^quotientBits
  if (quotientBits > 128) {
    detail::MontgomeryDomain(m, mn).Reduce(r, a, an);
    return;
  }
  Limb* rest = t;            // size limbs: the remainder so far, below m 2^(j + 1) at step j
  Limb* shifted = t + size;  // size limbs: m 2^j
  Limb* difference = shifted + size;
  std::copy(a, a + an, rest);
  std::fill(rest + an, rest + size, Limb{0});
  for (std::size_t j = quotientBits; j-- > 0;) {
    std::fill(shifted, shifted + size, Limb{0});
    std::copy(m, m + mn, shifted + j / 64);  // m 2^j < 2^(64 size), so it fits
    if (j % 64 != 0) detail::LShift(shifted + j / 64, shifted + j / 64, size - j / 64, j % 64);
    const Limb borrow = detail::SubN(difference, rest, shifted, size);
    detail::Select(rest, rest, difference, size, detail::MaskFromBit(borrow));
  }
  std::copy(rest, rest + mn, r);
}

// x[0..kl) := the low k bits of p[0..pn), for kl = ceil(k / 64).
void LowBits(Limb* x, std::size_t kl, const Limb* p, std::size_t pn, std::size_t k) {
  const std::size_t copied = std::min(pn, kl);
  std::copy(p, p + copied, x);
  std::fill(x + copied, x + kl, Limb{0});
  if (k % 64 != 0) x[kl - 1] &= (Limb{1} << (k % 64)) - 1;
}

}  // namespace

void BigInvMod(const TFGInt& a, const TFGInt& m, TFGInt& r) {
  detail::RequireValue(a);
  detail::RequireValue(m);
  if (detail::IsZero(m)) throw EDivByZero();
  const std::size_t la = detail::LimbsForDigits(detail::DigitCount(a));
  const std::size_t lm = detail::LimbsForDigits(detail::DigitCount(m));
  // The modulus is public; only |a| is kept secret, padded to its record's size.
  detail::LimbBuffer operands(la + 2 * lm);
  Limb* x = operands.Data();
  Limb* modulus = x + la;
  Limb* inverse = modulus + lm;
  detail::ToLimbsPadded(a, x);
  const std::size_t mn = detail::ToLimbs(m, modulus);
  if (mn == 1 && modulus[0] == 1) {
    detail::SetDigit(r, 0, TBigSign::Positive);  // every residue modulo 1 is 0
    return;
  }
  std::size_t k = 0;  // m = 2^k o
  while (((modulus[k / 64] >> (k % 64)) & 1) == 0)
    ++k;
  const std::size_t kl = (k + 63) / 64;
  const std::size_t on = mn - k / 64;
  detail::LimbBuffer buffer(4 * on + 7 * kl +
                            std::max(detail::GcdScratchSize(on), 3 * std::max(la, on)));
  Limb* odd = buffer.Data();
  Limb* reduced = odd + on;
  Limb* oddInverse = reduced + on;   // |a|^-1 mod o
  Limb* product = oddInverse + on;   // on + kl limbs
  Limb* low = product + on + kl;     // kl limbs each: a value's low k bits,
  Limb* w = low + kl;                // the inverse modulo 2^k,
  Limb* oddInverse2 = w + kl;        // and o^-1 mod 2^k
  Limb* scratch = oddInverse2 + kl;  // also for the reduction and the Newton iteration
  std::copy(modulus + k / 64, modulus + mn, odd);
  if (k % 64 != 0) detail::RShift(odd, odd, on, k % 64);
  const std::size_t oddSize = detail::NormalizedSize(odd, on);

  bool found = true;
  std::fill(oddInverse, oddInverse + on, Limb{0});
  if (oddSize > 1 || odd[0] > 1) {
    ReduceSecret(reduced, x, la, odd, oddSize, scratch);
    found = detail::ModInverse(oddInverse, reduced, odd, oddSize, scratch);
  }
  if (k == 0) {
    std::copy(oddInverse, oddInverse + mn, inverse);
  } else {
    // w = |a|^-1 mod 2^k exists when a is odd; then inverse = v + o ((w - v) o^-1 mod 2^k)
    // with v = |a|^-1 mod o, which lies below o 2^k = m.
    found &= (x[0] & 1) != 0;
    LowBits(low, kl, x, la, k);
    InverseModPowerOfB(w, low, kl, scratch);
    LowBits(low, kl, oddInverse, on, k);
    detail::SubN(w, w, low, kl);  // w - v modulo 2^(64 kl)
    LowBits(low, kl, odd, on, k);
    InverseModPowerOfB(oddInverse2, low, kl, scratch);
    MulLow(w, w, oddInverse2, kl, scratch);
    LowBits(w, kl, w, kl, k);
    if (on >= kl) {
      detail::MulBasecase(product, odd, on, w, kl);
    } else {
      detail::MulBasecase(product, w, kl, odd, on);
    }
    detail::AddSecret(product, product, on + kl, oddInverse, on);
    std::copy(product, product + mn, inverse);
  }
  // Public: whether the inverse exists, which the caller learns from r anyway.
  if (!detail::Declassify(found)) return;
  if (a.Sign == TBigSign::Negative) detail::SubN(inverse, modulus, inverse, mn);
  detail::FromLimbsSecret(inverse, mn, TBigSign::Positive, r);
}

}  // namespace xkit
