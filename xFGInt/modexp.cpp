// The Montgomery domain (constants, conversions, the fixed-window power) and the plain
// square-and-multiply path for even moduli.
#include "xFGInt/modexp.h"

#include <algorithm>
#include <bit>

#include "platform/declassify.h"

namespace xkit::detail {

namespace {

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

}  // namespace

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
    Mul(r, r, rSquared_.data());
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
  const std::size_t n = n_;
  // Public: the exponent's bit length sets the number of windows, by design.
  const std::size_t bits = Declassify(BitLength(e, en));
  const unsigned k = WindowBits(bits, n);
  if (ActiveKernelPath() == KernelPath::kAvx512Ifma && PowRadix52(r, a, an, e, en, bits, k)) {
    return;
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
