// Linear-time kernels: comparison, addition and subtraction, shifts, and the one-limb
// products with their CPU-path dispatch.
#include "xFGInt/limbs.h"
#include "xFGInt/limbs_paths.h"

namespace xkit::detail {

int Compare(const Limb* a, const Limb* b, std::size_t n) {
  while (n > 0) {
    --n;
    if (a[n] != b[n]) return a[n] > b[n] ? 1 : -1;
  }
  return 0;
}

#if defined(__x86_64__) && defined(__GNUC__)

// r[0..n) := a OP b with the carry flag chained through every limb: ADC adds, SBB subtracts.
// The first n mod 4 limbs go one at a time, the rest four at a time; LEA, DEC and JRCXZ
// leave the carry flag alone, so the chain runs through the loop control.
// clang-format off
#define XKIT_CARRY_CHAIN_STEP(op, offset)          \
  "mov " offset "(%[a]), %[t]\n\t"                 \
  op " " offset "(%[b]), %[t]\n\t"                 \
  "mov %[t], " offset "(%[r])\n\t"
#define XKIT_CARRY_CHAIN(op)                       \
  "mov %[head], %[count]\n\t"                      \
  "test %[count], %[count]\n\t" /* CF := 0 */      \
  "jz 2f\n"                                        \
  "1:\n\t"                                         \
  XKIT_CARRY_CHAIN_STEP(op, "")                    \
  "lea 8(%[a]), %[a]\n\t"                          \
  "lea 8(%[b]), %[b]\n\t"                          \
  "lea 8(%[r]), %[r]\n\t"                          \
  "dec %[count]\n\t"                               \
  "jnz 1b\n"                                       \
  "2:\n\t"                                         \
  "mov %[blocks], %[count]\n\t"                    \
  "jrcxz 4f\n"                                     \
  "3:\n\t"                                         \
  XKIT_CARRY_CHAIN_STEP(op, "")                    \
  XKIT_CARRY_CHAIN_STEP(op, "8")                   \
  XKIT_CARRY_CHAIN_STEP(op, "16")                  \
  XKIT_CARRY_CHAIN_STEP(op, "24")                  \
  "lea 32(%[a]), %[a]\n\t"                         \
  "lea 32(%[b]), %[b]\n\t"                         \
  "lea 32(%[r]), %[r]\n\t"                         \
  "dec %[count]\n\t"                               \
  "jnz 3b\n"                                       \
  "4:\n\t"                                         \
  "setc %[out]\n\t"
// clang-format on

Limb AddNCarryChain(Limb* r, const Limb* a, const Limb* b, std::size_t n) {
  unsigned char out;
  Limb t;
  std::size_t count;
  asm volatile(
      XKIT_CARRY_CHAIN("adc")
      : [a] "+r"(a), [b] "+r"(b), [r] "+r"(r), [count] "=&c"(count), [t] "=&r"(t), [out] "=&q"(out)
      : [head] "r"(n & 3), [blocks] "r"(n >> 2)
      : "cc", "memory");
  return out;
}

Limb SubNCarryChain(Limb* r, const Limb* a, const Limb* b, std::size_t n) {
  unsigned char out;
  Limb t;
  std::size_t count;
  asm volatile(
      XKIT_CARRY_CHAIN("sbb")
      : [a] "+r"(a), [b] "+r"(b), [r] "+r"(r), [count] "=&c"(count), [t] "=&r"(t), [out] "=&q"(out)
      : [head] "r"(n & 3), [blocks] "r"(n >> 2)
      : "cc", "memory");
  return out;
}

#undef XKIT_CARRY_CHAIN
#undef XKIT_CARRY_CHAIN_STEP

#endif

// The portable chains take each carry from a comparison, so it stays data: Memcheck follows
// data through every step, while a carry flag held across instructions it only approximates
// (it takes the flag that ADC, SBB or DEC pass on as defined), which would hide a secret
// carry from the constant-time check.
Limb AddNPortable(Limb* r, const Limb* a, const Limb* b, std::size_t n) {
  Limb carry = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Limb s = a[i] + carry;
    const Limb t = s + b[i];
    carry = static_cast<Limb>(s < carry) + static_cast<Limb>(t < s);  // at most one is set
    r[i] = t;
  }
  return carry;
}

Limb SubNPortable(Limb* r, const Limb* a, const Limb* b, std::size_t n) {
  Limb borrow = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Limb x = a[i];
    const Limb y = b[i] + borrow;
    borrow = y < borrow;  // b[i] + borrow wrapped: b[i] was all ones and borrow 1
    borrow += x < y;
    r[i] = x - y;
  }
  return borrow;
}

Limb AddN(Limb* r, const Limb* a, const Limb* b, std::size_t n) {
  return gProductKernels.addN(r, a, b, n);
}

Limb SubN(Limb* r, const Limb* a, const Limb* b, std::size_t n) {
  return gProductKernels.subN(r, a, b, n);
}

Limb Add1(Limb* r, const Limb* a, std::size_t n, Limb b) {
  std::size_t i = 0;
  for (; i < n && b != 0; ++i) {
    const Limb t = a[i] + b;
    b = t < b;
    r[i] = t;
  }
  if (r != a) {
    for (; i < n; ++i)
      r[i] = a[i];
  }
  return b;
}

Limb Sub1(Limb* r, const Limb* a, std::size_t n, Limb b) {
  std::size_t i = 0;
  for (; i < n && b != 0; ++i) {
    const Limb x = a[i];
    r[i] = x - b;
    b = x < b;
  }
  if (r != a) {
    for (; i < n; ++i)
      r[i] = a[i];
  }
  return b;
}

Limb Add(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn) {
  const Limb carry = AddN(r, a, b, bn);
  return Add1(r + bn, a + bn, an - bn, carry);
}

Limb Sub(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn) {
  const Limb borrow = SubN(r, a, b, bn);
  return Sub1(r + bn, a + bn, an - bn, borrow);
}

Limb LShift(Limb* r, const Limb* a, std::size_t n, unsigned s) {
  const unsigned back = kLimbBits - s;
  const Limb out = a[n - 1] >> back;
  for (std::size_t i = n - 1; i > 0; --i)
    r[i] = (a[i] << s) | (a[i - 1] >> back);
  r[0] = a[0] << s;
  return out;
}

Limb RShift(Limb* r, const Limb* a, std::size_t n, unsigned s) {
  const unsigned back = kLimbBits - s;
  const Limb out = a[0] << back;
  for (std::size_t i = 0; i + 1 < n; ++i)
    r[i] = (a[i] >> s) | (a[i + 1] << back);
  r[n - 1] = a[n - 1] >> s;
  return out;
}

// -- One-limb products, portable path -----------------------------------------------------

Limb Mul1Portable(Limb* r, const Limb* a, std::size_t n, Limb b) {
  Limb carry = 0;
  for (std::size_t i = 0; i < n; ++i) {
    // (2^64-1)^2 + (2^64-1) < 2^128: the product plus a carry limb fits.
    const DoubleLimb t = static_cast<DoubleLimb>(a[i]) * b + carry;
    r[i] = static_cast<Limb>(t);
    carry = static_cast<Limb>(t >> 64);
  }
  return carry;
}

Limb AddMul1Portable(Limb* r, const Limb* a, std::size_t n, Limb b) {
  Limb carry = 0;
  for (std::size_t i = 0; i < n; ++i) {
    // (2^64-1)^2 + 2 (2^64-1) = 2^128 - 1: the product plus two limbs still fits.
    const DoubleLimb t = static_cast<DoubleLimb>(a[i]) * b + r[i] + carry;
    r[i] = static_cast<Limb>(t);
    carry = static_cast<Limb>(t >> 64);
  }
  return carry;
}

Limb SubMul1Portable(Limb* r, const Limb* a, std::size_t n, Limb b) {
  Limb carry = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const DoubleLimb t = static_cast<DoubleLimb>(a[i]) * b + carry;
    const Limb low = static_cast<Limb>(t);
    const Limb x = r[i];
    r[i] = x - low;
    // The high half is at most 2^64 - 2 whenever the low half is non-zero, so adding the
    // borrow cannot wrap.
    carry = static_cast<Limb>(t >> 64) + (x < low);
  }
  return carry;
}

void AddDoubledSquaresPortable(Limb* r, const Limb* a, std::size_t n) {
  Limb shiftedOut = 0;  // the top bit of the limb doubled before
  unsigned char carry = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Limb low = r[2 * i];
    const Limb high = r[2 * i + 1];
    const DoubleLimb square = static_cast<DoubleLimb>(a[i]) * a[i];
    carry = AddCarry(carry, (low << 1) | shiftedOut, static_cast<Limb>(square), r[2 * i]);
    carry =
        AddCarry(carry, (high << 1) | (low >> 63), static_cast<Limb>(square >> 64), r[2 * i + 1]);
    shiftedOut = high >> 63;
  }
}

// -- Path selection ------------------------------------------------------------------------

namespace {

constexpr ProductKernels kPortableKernels = {
    AddNPortable,        SubNPortable,         Mul1Portable,        AddMul1Portable,
    SubMul1Portable,     MulBasecasePortable,  SqrBasecasePortable, RedcRowsPortable,
    kPortableThresholds, KernelPath::kPortable};

// Upgrades the table once, during static initialisation.
[[maybe_unused]] const bool kBestPathSelected =
    SelectKernelPath(KernelPath::kAvx512Ifma) || SelectKernelPath(KernelPath::kMulxAdx);

}  // namespace

constinit ProductKernels gProductKernels = kPortableKernels;

Limb Mul1(Limb* r, const Limb* a, std::size_t n, Limb b) {
  return gProductKernels.mul1(r, a, n, b);
}

Limb AddMul1(Limb* r, const Limb* a, std::size_t n, Limb b) {
  return gProductKernels.addMul1(r, a, n, b);
}

Limb SubMul1(Limb* r, const Limb* a, std::size_t n, Limb b) {
  return gProductKernels.subMul1(r, a, n, b);
}

bool KernelPathAvailable(KernelPath path) {
  switch (path) {
    case KernelPath::kPortable:
      return true;
    case KernelPath::kMulxAdx:
      return MulxAdxSupported();
    case KernelPath::kAvx512Ifma:
      return MulxAdxSupported() && Radix52Supported();
    case KernelPath::kRadix52Scalar:
      return true;
  }
  return false;
}

KernelPath ActiveKernelPath() {
  return gProductKernels.path;
}

bool SelectKernelPath(KernelPath path) {
  if (!KernelPathAvailable(path)) return false;
  const bool portable = path == KernelPath::kPortable || path == KernelPath::kRadix52Scalar;
  gProductKernels = portable ? kPortableKernels : MulxAdxKernels();
  gProductKernels.path = path;
  return true;
}

}  // namespace xkit::detail
