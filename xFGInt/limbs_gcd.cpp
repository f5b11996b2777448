// Greatest common divisor and modular inverse by the binary algorithm with word-sized
// approximations. The binary gcd keeps b odd and repeats: when a is odd, make a >= b by
// a swap and subtract b; then halve a. Each step shortens a or b by at least one bit, so
// 2 len - 1 steps finish it (a = 0, b = gcd). Here 31 steps at a time run on two 63-bit
// words that hold the operands' exact low 31 bits (so every parity decision is exact) under
// their top 32 bits, both taken at the longer operand's length (so most comparisons are
// right, and a word with its top bit set stays above a word without top bits for all 31
// halvings); the steps are recorded as update factors and applied to the full operands in
// one pass. A wrong comparison can make an operand negative, which the pass notices and
// undoes by negating it with its factors.
// Alongside, u and v follow a x = u y and b x = v y (mod m), which yields the inverse.
#include <algorithm>

#include "platform/declassify.h"
#include "xFGInt/limbs.h"

namespace xkit::detail {

namespace {

__extension__ typedef __int128 SignedDoubleLimb;

constexpr unsigned kStepsPerRound = 31;
constexpr Limb kLow31 = (Limb{1} << kStepsPerRound) - 1;

// The steps of one round as factors: a' = (f0 a + g0 b) / 2^31, b' = (f1 a + g1 b) / 2^31.
// After j steps |f0| + |g0| <= 2^j and |f1| + |g1| <= 2^j. Kept as two's complement words.
struct Factors {
  Limb f0 = 1, g0 = 0, f1 = 0, g1 = 1;
};

inline Limb Choose(Limb mask, Limb ifSet, Limb otherwise) {
  return otherwise ^ ((ifSet ^ otherwise) & mask);
}

inline void SwapIf(Limb& x, Limb& y, Limb mask) {
  const Limb t = (x ^ y) & mask;
  x ^= t;
  y ^= t;
}

// The 63-bit words that stand for a and b: the low 31 bits of each, under the 32 bits that
// start at the top bit of the longer one. When both fit in 63 bits they are exact.
void Approximate(const Limb* a, const Limb* b, std::size_t n, Limb& aBar, Limb& bBar) {
  Limb aHigh = 0, aLow = 0, bHigh = 0, bLow = 0, top = 0;
  Limb searching = ~Limb{0};  // until the first limb from the top where a or b is non-zero
  for (std::size_t i = n; i-- > 0;) {
    aHigh = Choose(searching, a[i], aHigh);
    bHigh = Choose(searching, b[i], bHigh);
    aLow = Choose(searching, i > 0 ? a[i - 1] : 0, aLow);
    bLow = Choose(searching, i > 0 ? b[i - 1] : 0, bLow);
    top = Choose(searching, i, top);
    searching &= MaskIfZero(a[i] | b[i]);
  }
  // b is odd, so aHigh | bHigh is non-zero and s lies in 0..63; the OR with 1 spares the
  // count its test for zero (BSR and LZCNT take the same time for every input).
  const unsigned s = static_cast<unsigned>(__builtin_clzll(aHigh | bHigh | 1));
  const Limb length = 64 * top + 64 - s;
  // Bits length - 64 .. length - 1; (x >> 1) >> (63 - s) is x >> (64 - s), and 0 for s = 0.
  const Limb aTop = (aHigh << s) | ((aLow >> 1) >> (63 - s));
  const Limb bTop = (bHigh << s) | ((bLow >> 1) >> (63 - s));
  const Limb exact = MaskFromBit((length - 64) >> 63);  // length <= 63
  aBar = Choose(exact, a[0], (a[0] & kLow31) | ((aTop >> 32) << 31));
  bBar = Choose(exact, b[0], (b[0] & kLow31) | ((bTop >> 32) << 31));
}

// 31 binary-gcd steps on the approximations.
Factors Steps(Limb aBar, Limb bBar) {
  Factors f;
  for (unsigned j = 0; j < kStepsPerRound; ++j) {
    const Limb odd = MaskFromBit(aBar & 1);
    // Both words are below 2^63, so the difference's top bit tells aBar < bBar.
    const Limb swap = odd & MaskFromBit((aBar - bBar) >> 63);
    SwapIf(aBar, bBar, swap);
    SwapIf(f.f0, f.f1, swap);
    SwapIf(f.g0, f.g1, swap);
    aBar -= bBar & odd;
    f.f0 -= f.f1 & odd;
    f.g0 -= f.g1 & odd;
    aBar >>= 1;
    f.f1 <<= 1;
    f.g1 <<= 1;
  }
  return f;
}

inline SignedDoubleLimb Signed(Limb f) {
  return static_cast<std::int64_t>(f);
}

// x[0..n] := (x shifted right by 31), arithmetically over n + 1 limbs.
void ShiftOut31(Limb* x, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    x[i] = (x[i] >> kStepsPerRound) | (x[i + 1] << (64 - kStepsPerRound));
  x[n] = static_cast<Limb>(static_cast<std::int64_t>(x[n]) >> kStepsPerRound);
}

// x[0..n) := -x when mask is all ones (two's complement), unchanged when it is zero.
void NegateIf(Limb* x, std::size_t n, Limb mask) {
  Limb carry = mask & 1;
  for (std::size_t i = 0; i < n; ++i) {
    const Limb t = (x[i] ^ mask) + carry;
    carry = t < carry;
    x[i] = t;
  }
}

// x[0..n) := |f a + g b| / 2^31 and returns all ones when f a + g b is negative. The sum
// is divisible by 2^31 and its magnitude is at most 2^31 max(a, b). x is n + 1 limbs.
Limb Combine(Limb* x, const Limb* a, const Limb* b, std::size_t n, Limb f, Limb g) {
  SignedDoubleLimb carry = 0;
  for (std::size_t i = 0; i < n; ++i) {
    // |a[i] f + b[i] g + carry| < 2^64 2^31 + 2^64 2^31 + 2^97: well inside 127 bits.
    const SignedDoubleLimb t = static_cast<SignedDoubleLimb>(a[i]) * Signed(f) +
                               static_cast<SignedDoubleLimb>(b[i]) * Signed(g) + carry;
    x[i] = static_cast<Limb>(t);
    carry = t >> 64;
  }
  x[n] = static_cast<Limb>(carry);
  ShiftOut31(x, n);
  const Limb negative = MaskFromBit(x[n] >> 63);
  NegateIf(x, n, negative);  // the magnitude is below 2^(64 n)
  return negative;
}

// x[0..n) := (f u + g v) / 2^31 mod m for u, v below the odd m; mInverse = -m^-1 mod 2^64.
// t: n + 1 limbs of scratch.
void CombineModular(Limb* x, const Limb* u, const Limb* v, const Limb* m, std::size_t n, Limb f,
                    Limb g, Limb mInverse, Limb* t) {
  // Adding q m with q = -(f u + g v) m^-1 mod 2^31 makes the sum divisible by 2^31.
  const Limb q = ((u[0] * f + v[0] * g) * mInverse) & kLow31;
  SignedDoubleLimb carry = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const SignedDoubleLimb s = static_cast<SignedDoubleLimb>(u[i]) * Signed(f) +
                               static_cast<SignedDoubleLimb>(v[i]) * Signed(g) +
                               static_cast<SignedDoubleLimb>(m[i]) * q + carry;
    t[i] = static_cast<Limb>(s);
    carry = s >> 64;
  }
  t[n] = static_cast<Limb>(carry);
  ShiftOut31(t, n);
  // |f u + g v| < 2^31 m and q m < 2^31 m, so t lies in (-m, 2m): add m when negative,
  // then subtract it when the result is still m or more.
  const Limb negative = MaskFromBit(t[n] >> 63);
  Limb c = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Limb add = m[i] & negative;
    const Limb s = t[i] + add;
    const Limb c1 = s < add;
    t[i] = s + c;
    c = c1 | (t[i] < c);
  }
  t[n] += c;
  Limb borrow = SubN(x, t, m, n);
  borrow = (t[n] - borrow) >> 63;  // the top limb is 0 or 1 here
  Select(x, t, x, n, MaskFromBit(borrow));
}

// The working set of the algorithm, laid out in the caller's scratch.
struct GcdState {
  Limb* a;
  Limb* b;
  Limb* u;  // nullptr when only the gcd is wanted
  Limb* v;
  Limb* spare[4];  // n + 1 limbs each
};

void Round(GcdState& s, const Limb* m, std::size_t n, Limb mInverse) {
  Limb aBar, bBar;
  Approximate(s.a, s.b, n, aBar, bBar);
  Factors f = Steps(aBar, bBar);
  const Limb aNegative = Combine(s.spare[0], s.a, s.b, n, f.f0, f.g0);
  const Limb bNegative = Combine(s.spare[1], s.a, s.b, n, f.f1, f.g1);
  std::swap(s.a, s.spare[0]);
  std::swap(s.b, s.spare[1]);
  if (s.u == nullptr) return;
  f.f0 = (f.f0 ^ aNegative) - aNegative;
  f.g0 = (f.g0 ^ aNegative) - aNegative;
  f.f1 = (f.f1 ^ bNegative) - bNegative;
  f.g1 = (f.g1 ^ bNegative) - bNegative;
  CombineModular(s.spare[2], s.u, s.v, m, n, f.f0, f.g0, mInverse, s.spare[0]);
  CombineModular(s.spare[3], s.u, s.v, m, n, f.f1, f.g1, mInverse, s.spare[1]);
  std::swap(s.u, s.spare[2]);
  std::swap(s.v, s.spare[3]);
}

// Runs rounds until a = 0. Each round shortens a and b together by 30 bits or more, so the
// fixed count for operands of `bits` bits finishes (the tests' adversarial operands end well
// inside it); the loop after it only guards that bound and is not entered in practice.
void Run(GcdState& s, const Limb* m, std::size_t n, Limb mInverse, std::size_t bits) {
  const std::size_t rounds = (2 * bits + kStepsPerRound - 2) / (kStepsPerRound - 1) + 1;
  for (std::size_t i = 0; i < rounds; ++i)
    Round(s, m, n, mInverse);
  // Public: the fixed rounds always finish, so this is false for every input.
  while (Declassify(MaskIfZeroN(s.a, n)) == 0)
    Round(s, m, n, mInverse);
}

GcdState Lay(Limb* scratch, std::size_t n, bool withCoefficients) {
  GcdState s{};
  s.a = scratch;
  s.b = scratch + n + 1;
  Limb* next = scratch + 2 * (n + 1);
  if (withCoefficients) {
    s.u = next;
    s.v = next + n + 1;
    next += 2 * (n + 1);
  }
  for (Limb*& spare : s.spare) {
    spare = next;
    next += n + 1;
  }
  return s;
}

}  // namespace

std::size_t GcdScratchSize(std::size_t n) {
  return 8 * (n + 1);
}

void GcdOdd(Limb* g, const Limb* a, const Limb* b, std::size_t n, Limb* scratch) {
  GcdState s = Lay(scratch, n, false);
  std::copy(a, a + n, s.a);
  std::copy(b, b + n, s.b);
  Run(s, nullptr, n, 0, kLimbBits * n);
  std::copy(s.b, s.b + n, g);
}

bool ModInverse(Limb* r, const Limb* y, const Limb* m, std::size_t n, Limb* scratch) {
  GcdState s = Lay(scratch, n, true);
  std::copy(y, y + n, s.a);
  std::copy(m, m + n, s.b);
  std::fill(s.u, s.u + n, Limb{0});
  std::fill(s.v, s.v + n, Limb{0});
  s.u[0] = 1;
  // Public: m's bit length is a size (BigInvMod's modulus is public, RSA's primes are secret
  // but their sizes are not).
  Run(s, m, n, MontgomeryInverse(m[0]), Declassify(BitLength(m, n)));
  std::copy(s.v, s.v + n, r);
  // b holds the gcd: one exactly when the inverse exists.
  s.b[0] ^= 1;
  return MaskIfZeroN(s.b, n) != 0;
}

}  // namespace xkit::detail
