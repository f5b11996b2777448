// The modular exponentiation engine over limbs, shared by BigPowMod and the RSA operation:
// a Montgomery domain for an odd modulus, whose constants are derived once and whose
// exponentiation runs in constant time, and a plain path for the even moduli that
// Montgomery arithmetic cannot serve.
#pragma once

#include <cstddef>
#include <vector>

#include "xFGInt/limbs.h"

namespace xkit::detail {

// Arithmetic modulo an odd m > 1 of n limbs (m[n-1] != 0) in Montgomery form, R = 2^(64 n).
// The constructor derives -m^-1 mod 2^64, R mod m and R^2 mod m without any long division;
// after it, the time of every operation depends on the operand sizes alone (for Pow, also
// on the exponent's bit length), never on the values: no branch and no memory address
// depends on them. A domain keeps scratch space of its own, so one thread uses it at a time.
class MontgomeryDomain {
public:
  MontgomeryDomain(const Limb* m, std::size_t n);
  // For a public modulus: the same domain, its constants found by long division, whose time
  // depends on m's value. Everything after construction is as above.
  struct PublicModulus {};
  MontgomeryDomain(const Limb* m, std::size_t n, PublicModulus);

  std::size_t Size() const { return n_; }
  // The modulus's bit length (public: a size).
  std::size_t Bits() const { return bits_; }

  // r[0..n) = a R mod m for a of an limbs, of any size (an = 0 is zero).
  void ToMontgomery(Limb* r, const Limb* a, std::size_t an) const;
  // r[0..n) = a R^-1 mod m for a[0..n) below R: back from Montgomery form.
  void FromMontgomery(Limb* r, const Limb* a) const;
  // r[0..n) = a mod m for a of an limbs, of any size: a long division's result, in time that
  // depends on the sizes alone.
  void Reduce(Limb* r, const Limb* a, std::size_t an) const;
  // r = a b R^-1 mod m, r = a^2 R^-1 mod m, r = (a + b) mod m, for operands below m; r may be
  // an operand.
  void Mul(Limb* r, const Limb* a, const Limb* b) const;
  void Sqr(Limb* r, const Limb* a) const;
  void Add(Limb* r, const Limb* a, const Limb* b) const;

  // r[0..n) = a^e mod m in plain form, for a of an limbs (any value) and e of en limbs.
  // a = 0 mod m gives 0 for every exponent, 0 included. Fixed windows: every window costs
  // the same squarings and one multiplication, and its table entry is read by a masked scan
  // of the whole table. On the AVX-512 IFMA kernel path the products run in radix 2^52.
  void Pow(Limb* r, const Limb* a, std::size_t an, const Limb* e, std::size_t en) const;
  // As Pow, with e read as a number of `bits` bits (at least its bit length, at most 64 en),
  // so that the time depends on `bits` and not on e's own length.
  void Pow(Limb* r, const Limb* a, std::size_t an, const Limb* e, std::size_t en,
           std::size_t bits) const;

  // As Pow for a public exponent: square-and-multiply that skips the products for zero bits,
  // so the time follows e's bits as well as its length. The base stays secret.
  void PowPublicExponent(Limb* r, const Limb* a, std::size_t an, const Limb* e,
                         std::size_t en) const;

  // The modulus and -m^-1 mod 2^64, for engines built on the domain.
  const Limb* Modulus() const { return m_.data(); }
  Limb MInverse() const { return mInverse_; }

private:
  std::size_t n_;
  std::size_t bits_;  // the modulus's bit length
  std::vector<Limb> m_;
  Limb mInverse_;                      // -m^-1 mod 2^64
  std::vector<Limb> one_;              // R mod m: 1 in Montgomery form
  std::vector<Limb> rSquared_;         // R^2 mod m: turns a plain value into its form
  mutable std::vector<Limb> scratch_;  // 3n limbs: a double-width product, a spare
};

// One exponentiation for PowPair: r[0..domain's size) = a^e mod m in plain form, for a of
// an limbs and e of en limbs.
struct PowTask {
  const MontgomeryDomain* domain;
  Limb* r;
  const Limb* a;
  std::size_t an;
  const Limb* e;
  std::size_t en;
};
// Two exponentiations with both exponents read as `bits` bits (at most 64 en each), with
// the results of two calls of Pow. On the AVX-512 IFMA path the two run side by side, their
// products interleaved, when both moduli fit the pair kernel; otherwise one after the other.
void PowPair(const PowTask& first, const PowTask& second, std::size_t bits);

// The fixed-window width for an exponent of `bits` bits modulo n limbs (1 to 6).
unsigned WindowBits(std::size_t bits, std::size_t n);
// Bits pos .. pos + k - 1 of e[0..en) (k <= 6), zeros beyond its end; pos is public.
Limb Window(const Limb* e, std::size_t en, std::size_t pos, unsigned k);
// out[0..n) = table entry w of `entries` entries of n limbs, read by scanning every entry
// under a mask; out lies outside the table.
void SelectEntry(Limb* __restrict out, const Limb* __restrict table, std::size_t entries,
                 std::size_t n, Limb w);

// r[0..mn) = a^e mod m for any m > 0 of mn limbs (m[mn-1] != 0), by square-and-multiply
// with long division; for the even moduli. Its time depends on the values. a = 0 mod m
// gives 0 for every exponent, and m = 1 gives 0.
void PowModPlain(Limb* r, const Limb* a, std::size_t an, const Limb* e, std::size_t en,
                 const Limb* m, std::size_t mn);

}  // namespace xkit::detail
