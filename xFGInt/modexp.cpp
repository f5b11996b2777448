// The Montgomery domain (constants, conversions, the fixed-window power) and the plain
// square-and-multiply path for even moduli.
#include "xFGInt/modexp.h"

#include <algorithm>
#include <bit>

#include "platform/declassify.h"
#include "xFGInt/radix52.h"

namespace xkit::detail {

// The window width for an exponent of `bits` bits modulo n limbs: the cheapest in products,
// counting 2^k - 2 to fill the table, one per window, and the window's table scan, 2^k
// entries of n limbs, at about 1 / (8 n) of a product each (measured with bench/); at most 6.
unsigned WindowBits(std::size_t bits, std::size_t n) {
  unsigned best = 1;
  std::size_t bestCost = ~std::size_t{0};
  for (unsigned k = 1; k <= 6; ++k) {
    const std::size_t entries = std::size_t{1} << k;
    const std::size_t windows = (bits + k - 1) / k;
    const std::size_t cost = 8 * n * (entries - 2) + windows * (8 * n + entries);  // x 8n
    if (cost < bestCost) {
      best = k;
      bestCost = cost;
    }
  }
  return best;
}

// Bits pos .. pos + k - 1 of e[0..en) (k <= 6), zeros beyond its end. pos is public; the value is
// not.
Limb Window(const Limb* e, std::size_t en, std::size_t pos, unsigned k) {
  const std::size_t limb = pos / 64;
  const unsigned shift = pos % 64;
  Limb w = e[limb] >> shift;
  if (shift + k > 64 && limb + 1 < en) w |= e[limb + 1] << (64 - shift);
  return w & ((Limb{1} << k) - 1);
}

// out[0..n) = table entry w, read by scanning every entry under a mask. out lies outside the
// table, which lets the compiler vectorise the scan.
void SelectEntry(Limb* __restrict out, const Limb* __restrict table, std::size_t entries,
                 std::size_t n, Limb w) {
  std::fill(out, out + n, Limb{0});
  for (std::size_t i = 0; i < entries; ++i) {
    const Limb mask = MaskIfZero(i ^ w);
    const Limb* entry = table + i * n;
    for (std::size_t j = 0; j < n; ++j)
      out[j] |= entry[j] & mask;
  }
}

MontgomeryDomain::MontgomeryDomain(const Limb* m, std::size_t n)
    : n_(n),
      // Public: the modulus's bit length is a size (RSA's primes are secret, their sizes are
      // not); the constants' derivation loops over it.
      bits_(Declassify(BitLength(m, n))),
      m_(m, m + n),
      mInverse_(MontgomeryInverse(m[0])),
      one_(n, 0),
      rSquared_(n),
      scratch_(3 * n) {
  // R mod m: 2^(bits - 1) is below m; doubling it modulo m 64n - bits + 1 times gives 2^64n.
  const std::size_t bits = bits_;
  one_[(bits - 1) / 64] = Limb{1} << ((bits - 1) % 64);
  for (std::size_t i = bits - 1; i < 64 * n; ++i)
    Add(one_.data(), one_.data(), one_.data());
  // R^2 mod m is 2^64n in Montgomery form. With 64n = c 2^t (c odd), c doublings of the
  // form of 1 give the form of 2^c, and t Montgomery squarings the form of 2^(c 2^t).
  const unsigned t = static_cast<unsigned>(std::countr_zero(64 * n));
  std::copy(one_.begin(), one_.end(), rSquared_.begin());
  for (std::size_t i = 0; i < (64 * n) >> t; ++i)
    Add(rSquared_.data(), rSquared_.data(), rSquared_.data());
  for (unsigned i = 0; i < t; ++i)
    Sqr(rSquared_.data(), rSquared_.data());
}

MontgomeryDomain::MontgomeryDomain(const Limb* m, std::size_t n, PublicModulus)
    : n_(n),
      bits_(BitLength(m, n)),
      m_(m, m + n),
      mInverse_(MontgomeryInverse(m[0])),
      one_(n),
      rSquared_(n),
      scratch_(3 * n) {
  // R mod m and R^2 mod m, the remainders of 2^(64 n) and 2^(128 n).
  std::vector<Limb> power(2 * n + 1, 0), quotient(n + 2), scratch(DivRemScratchSize(2 * n + 1, n));
  power[n] = 1;
  DivRem(quotient.data(), one_.data(), power.data(), n + 1, m, n, scratch.data());
  power[n] = 0;
  power[2 * n] = 1;
  DivRem(quotient.data(), rSquared_.data(), power.data(), 2 * n + 1, m, n, scratch.data());
}

void MontgomeryDomain::Mul(Limb* r, const Limb* a, const Limb* b) const {
  MontMul(r, a, b, m_.data(), n_, mInverse_, scratch_.data());
}

void MontgomeryDomain::Sqr(Limb* r, const Limb* a) const {
  MontSqr(r, a, m_.data(), n_, mInverse_, scratch_.data());
}

void MontgomeryDomain::Add(Limb* r, const Limb* a, const Limb* b) const {
  ModAdd(r, a, b, m_.data(), n_, scratch_.data());
}

void MontgomeryDomain::ToMontgomery(Limb* r, const Limb* a, std::size_t an) const {
  // Horner's rule over chunks of n limbs, a = sum c_j R^j, in Montgomery form: the form of
  // x R + c_j is (form of x) R^2 R^-1 + c_j R^2 R^-1. Each chunk is below R and R^2 mod m
  // below m, so every product stays below m R as Mul needs.
  Limb* chunk = scratch_.data() + 2 * n_;
  std::fill(r, r + n_, Limb{0});
  for (std::size_t j = (an + n_ - 1) / n_; j-- > 0;) {
    const std::size_t start = j * n_;
    const std::size_t count = std::min(n_, an - start);
    std::copy(a + start, a + start + count, chunk);
    std::fill(chunk + count, chunk + n_, Limb{0});
    if (start + n_ < an) Mul(r, r, rSquared_.data());  // r is still zero at the top chunk
    Mul(chunk, chunk, rSquared_.data());
    Add(r, r, chunk);
  }
}

void MontgomeryDomain::FromMontgomery(Limb* r, const Limb* a) const {
  Limb* t = scratch_.data();
  std::copy(a, a + n_, t);
  std::fill(t + n_, t + 2 * n_, Limb{0});
  Redc(r, t, m_.data(), n_, mInverse_);
}

void MontgomeryDomain::Reduce(Limb* r, const Limb* a, std::size_t an) const {
  ToMontgomery(r, a, an);
  FromMontgomery(r, r);
}

void MontgomeryDomain::Pow(Limb* r, const Limb* a, std::size_t an, const Limb* e,
                           std::size_t en) const {
  // Public: the exponent's bit length sets the number of windows, by design.
  Pow(r, a, an, e, en, Declassify(BitLength(e, en)));
}

void MontgomeryDomain::Pow(Limb* r, const Limb* a, std::size_t an, const Limb* e, std::size_t en,
                           std::size_t bits) const {
  const std::size_t n = n_;
  const unsigned k = WindowBits(bits, n);
  if (Radix52PathActive()) {
    const PowTask task{this, r, a, an, e, en};
    if (PowRadix52(std::span(&task, 1), bits, k, false)) return;
  }
  const std::size_t entries = std::size_t{1} << k;
  // One allocation per call: the table of x^0 .. x^(2^k - 1) and the accumulator.
  std::vector<Limb> work((entries + 2) * n);
  Limb* table = work.data();
  Limb* acc = table + entries * n;
  Limb* factor = acc + n;
  std::copy(one_.begin(), one_.end(), table);
  ToMontgomery(table + n, a, an);
  const Limb baseIsZero = MaskIfZeroN(table + n, n);
  for (std::size_t i = 2; i < entries; ++i)
    Mul(table + i * n, table + (i - 1) * n, table + n);

  std::copy(one_.begin(), one_.end(), acc);
  if (bits != 0) {
    const std::size_t windows = (bits + k - 1) / k;
    SelectEntry(acc, table, entries, n, Window(e, en, (windows - 1) * k, k));
    for (std::size_t w = windows - 1; w-- > 0;) {
      for (unsigned i = 0; i < k; ++i)
        Sqr(acc, acc);
      SelectEntry(factor, table, entries, n, Window(e, en, w * k, k));
      Mul(acc, acc, factor);
    }
  }
  FromMontgomery(r, acc);
  // For e >= 1 a zero base already gave zero; this covers e = 0.
  for (std::size_t i = 0; i < n; ++i)
    r[i] &= ~baseIsZero;
}

void MontgomeryDomain::PowPublicExponent(Limb* r, const Limb* a, std::size_t an, const Limb* e,
                                         std::size_t en) const {
  const std::size_t bits = BitLength(e, en);
  if (Radix52PathActive()) {
    const PowTask task{this, r, a, an, e, en};
    if (PowRadix52(std::span(&task, 1), bits, 1, true)) return;
  }
  const std::size_t n = n_;
  std::vector<Limb> work(2 * n);
  Limb* x = work.data();
  Limb* acc = x + n;
  ToMontgomery(x, a, an);
  const Limb baseIsZero = MaskIfZeroN(x, n);
  std::copy(one_.begin(), one_.end(), acc);
  if (bits != 0) {
    std::copy(x, x + n, acc);
    for (std::size_t i = bits - 1; i-- > 0;) {
      Sqr(acc, acc);
      if ((e[i / 64] >> (i % 64)) & 1) Mul(acc, acc, x);  // e is public
    }
  }
  FromMontgomery(r, acc);
  for (std::size_t i = 0; i < n; ++i)
    r[i] &= ~baseIsZero;  // covers e = 0
}

void PowPair(const PowTask& first, const PowTask& second, std::size_t bits) {
  if (Radix52PathActive()) {
    const PowTask tasks[] = {first, second};
    const std::size_t n = std::max(first.domain->Size(), second.domain->Size());
    if (PowRadix52(tasks, bits, WindowBits(bits, n), false)) return;
  }
  first.domain->Pow(first.r, first.a, first.an, first.e, first.en, bits);
  second.domain->Pow(second.r, second.a, second.an, second.e, second.en, bits);
}

void PowModPlain(Limb* r, const Limb* a, std::size_t an, const Limb* e, std::size_t en,
                 const Limb* m, std::size_t mn) {
  std::fill(r, r + mn, Limb{0});
  an = NormalizedSize(a, an);
  const std::size_t bits = BitLength(e, en);
  // Buffers: the base residue, a double-width product, its quotient, and the scratch of
  // the products and the division.
  const std::size_t productSize = std::max(2 * mn, an);
  std::vector<Limb> work(mn + productSize + productSize + 1 +
                         std::max(MulScratchSize(mn, mn), DivRemScratchSize(productSize, mn)));
  Limb* base = work.data();
  Limb* product = base + mn;
  Limb* quotient = product + productSize;
  Limb* scratch = quotient + productSize + 1;
  // x := x mod m for x of xn limbs, the remainder left in r.
  const auto reduce = [&](const Limb* x, std::size_t xn, Limb* out) {
    if (xn < mn) {
      std::copy(x, x + xn, out);
      std::fill(out + xn, out + mn, Limb{0});
    } else {
      DivRem(quotient, out, x, xn, m, mn, scratch);
    }
  };
  reduce(a, an, base);
  if (NormalizedSize(base, mn) == 0 || (mn == 1 && m[0] == 1)) return;
  if (bits == 0) {
    r[0] = 1;
    return;
  }
  std::copy(base, base + mn, r);
  for (std::size_t i = bits - 1; i-- > 0;) {
    Sqr(product, r, mn, scratch);
    reduce(product, 2 * mn, r);
    if ((e[i / 64] >> (i % 64)) & 1) {
      Mul(product, r, mn, base, mn, scratch);
      reduce(product, 2 * mn, r);
    }
  }
}

}  // namespace xkit::detail
