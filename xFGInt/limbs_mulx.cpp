// The MULX/ADCX/ADOX path of the product kernels (x86-64 with BMI2 and ADX).
// MULX leaves the flags alone, so a product row runs two independent carry chains: ADCX
// (carry flag) adds each low half to the previous high half, ADOX (overflow flag) adds the
// limb already in r (or, for SubMul1, subtracts by adding the complement). Loop control uses
// LEA and JRCXZ, which touch neither flag. A row takes its first n mod 4 limbs one at a time
// and the rest four at a time, both inside one asm block so the chains run through. The
// schoolbook products call these rows directly.
#include "platform/cpu_features.h"
#include "xFGInt/limbs_paths.h"

namespace xkit::detail {

#if defined(__x86_64__) && defined(__GNUC__)

namespace {

// clang-format off

// One limb of a Mul1 row: r[0] := low(a[0] b) + `in` + CF, and `out` := high(a[0] b).
#define XKIT_MUL1_STEP(offset, in, out)            \
  "mulx " offset "(%[a]), %[low], %[" out "]\n\t"  \
  "adcx %[" in "], %[low]\n\t"                     \
  "mov %[low], " offset "(%[r])\n\t"

// One limb of an AddMul1 row: as above, with r[0] added in on the overflow chain.
#define XKIT_ADDMUL1_STEP(offset, in, out)         \
  "mulx " offset "(%[a]), %[low], %[" out "]\n\t"  \
  "adcx %[" in "], %[low]\n\t"                     \
  "adox " offset "(%[r]), %[low]\n\t"              \
  "mov %[low], " offset "(%[r])\n\t"

// One limb of a SubMul1 row: the product limb is complemented before the overflow chain
// adds it to r[0].
#define XKIT_SUBMUL1_STEP(offset, in, out)         \
  "mulx " offset "(%[a]), %[low], %[" out "]\n\t"  \
  "adcx %[" in "], %[low]\n\t"                     \
  "not %[low]\n\t"                                 \
  "adox " offset "(%[r]), %[low]\n\t"              \
  "mov %[low], " offset "(%[r])\n\t"

// The loops around a step: `head` single steps, then `blocks` steps of four limbs. The
// single step moves its high limb into `carry` itself; the four-limb step alternates
// `carry` and `high` and leaves its last high limb in `carry`.
#define XKIT_ROW_LOOPS(STEP)                       \
  "mov %[head], %[count]\n\t"                      \
  "jrcxz 2f\n"                                     \
  "1:\n\t"                                         \
  STEP("", "carry", "high")                        \
  "mov %[high], %[carry]\n\t"                      \
  "lea 8(%[a]), %[a]\n\t"                          \
  "lea 8(%[r]), %[r]\n\t"                          \
  "lea -1(%[count]), %[count]\n\t"                 \
  "jrcxz 2f\n\t"                                   \
  "jmp 1b\n"                                       \
  "2:\n\t"                                         \
  "mov %[blocks], %[count]\n\t"                    \
  "jrcxz 4f\n"                                     \
  "3:\n\t"                                         \
  STEP("", "carry", "high")                        \
  STEP("8", "high", "carry")                       \
  STEP("16", "carry", "high")                      \
  STEP("24", "high", "carry")                      \
  "lea 32(%[a]), %[a]\n\t"                         \
  "lea 32(%[r]), %[r]\n\t"                         \
  "lea -1(%[count]), %[count]\n\t"                 \
  "jrcxz 4f\n\t"                                   \
  "jmp 3b\n"                                       \
  "4:\n\t"

#define XKIT_ROW_OPERANDS                                                                \
  [a] "+r"(a), [r] "+r"(r), [count] "=&c"(count), [carry] "+r"(carry), [low] "=&r"(low), \
  [high] "=&r"(high)

// clang-format on

inline Limb Mul1Row(Limb* r, const Limb* a, std::size_t n, Limb b) {
  Limb carry = 0;
  Limb low;
  Limb high;
  std::size_t count;
  asm volatile("xor %k[low], %k[low]\n\t"      // clears the carry flag
               XKIT_ROW_LOOPS(XKIT_MUL1_STEP)  //
               "mov $0, %k[low]\n\t"
               "adcx %[low], %[carry]\n\t"
               : XKIT_ROW_OPERANDS
               : [head] "r"(n & 3), [blocks] "r"(n >> 2), "d"(b)
               : "cc", "memory");
  return carry;
}

inline Limb AddMul1Row(Limb* r, const Limb* a, std::size_t n, Limb b) {
  Limb carry = 0;
  Limb low;
  Limb high;
  std::size_t count;
  // Both chains end inside the final high limb: r + a b < 2^(64 (n + 1)).
  asm volatile("xor %k[low], %k[low]\n\t"         // clears the carry and overflow flags
               XKIT_ROW_LOOPS(XKIT_ADDMUL1_STEP)  //
               "mov $0, %k[low]\n\t"
               "adcx %[low], %[carry]\n\t"
               "adox %[low], %[carry]\n\t"
               : XKIT_ROW_OPERANDS
               : [head] "r"(n & 3), [blocks] "r"(n >> 2), "d"(b)
               : "cc", "memory");
  return carry;
}

inline Limb SubMul1Row(Limb* r, const Limb* a, std::size_t n, Limb b) {
  // r - p = r + ~p + 1 - 2^(64 n) for the n low limbs p of the product: ADCX builds p's
  // limbs, NOT complements them (flags untouched), ADOX adds them to r with the overflow
  // flag starting at 1. The chain's final overflow flag is 1 exactly when no borrow left r.
  Limb carry = 0;
  Limb low;
  Limb high;
  std::size_t count;
  unsigned char noBorrow;
  asm volatile(
      "mov $0x7FFFFFFFFFFFFFFF, %[low]\n\t"
      "add $1, %[low]\n\t"               // overflow flag 1, carry flag 0
      XKIT_ROW_LOOPS(XKIT_SUBMUL1_STEP)  //
      "seto %[noBorrow]\n\t"
      "mov $0, %k[low]\n\t"
      "adcx %[low], %[carry]\n\t"
      : XKIT_ROW_OPERANDS, [noBorrow] "=&q"(noBorrow)
      : [head] "r"(n & 3), [blocks] "r"(n >> 2), "d"(b)
      : "cc", "memory");
  // The product's top limb is at most 2^64 - 2, so adding the borrow cannot wrap.
  return carry + 1 - noBorrow;
}

#undef XKIT_ROW_OPERANDS
#undef XKIT_ROW_LOOPS
#undef XKIT_SUBMUL1_STEP
#undef XKIT_ADDMUL1_STEP
#undef XKIT_MUL1_STEP

// The diagonal pass of a square: r := 2 r + the squares a[i]^2 at limbs 2i. The carry chain
// doubles r (each limb added to itself), the overflow chain adds the squares; neither
// leaves the 2n limbs, since the total is a^2.
void AddDoubledSquaresMulxAdx(Limb* r, const Limb* a, std::size_t n) {
  Limb low;
  Limb high;
  Limb even;
  Limb odd;
  asm volatile(
      "xor %k[low], %k[low]\n\t"  // clears the carry and overflow flags
      "jrcxz 2f\n"
      "1:\n\t"
      "mov (%[a]), %%rdx\n\t"
      "mulx %%rdx, %[low], %[high]\n\t"
      "mov (%[r]), %[even]\n\t"
      "mov 8(%[r]), %[odd]\n\t"
      "adcx %[even], %[even]\n\t"
      "adcx %[odd], %[odd]\n\t"
      "adox %[low], %[even]\n\t"
      "adox %[high], %[odd]\n\t"
      "mov %[even], (%[r])\n\t"
      "mov %[odd], 8(%[r])\n\t"
      "lea 8(%[a]), %[a]\n\t"
      "lea 16(%[r]), %[r]\n\t"
      "lea -1(%[count]), %[count]\n\t"
      "jrcxz 2f\n\t"
      "jmp 1b\n"
      "2:\n\t"
      : [a] "+r"(a), [r] "+r"(r), [count] "+c"(n), [low] "=&r"(low), [high] "=&r"(high),
        [even] "=&r"(even), [odd] "=&r"(odd)
      :
      : "rdx", "cc", "memory");
}

Limb Mul1MulxAdx(Limb* r, const Limb* a, std::size_t n, Limb b) {
  return Mul1Row(r, a, n, b);
}

Limb AddMul1MulxAdx(Limb* r, const Limb* a, std::size_t n, Limb b) {
  return AddMul1Row(r, a, n, b);
}

Limb SubMul1MulxAdx(Limb* r, const Limb* a, std::size_t n, Limb b) {
  return SubMul1Row(r, a, n, b);
}

void MulBasecaseMulxAdx(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn) {
  MulBasecaseWith<Mul1Row, AddMul1Row>(r, a, an, b, bn);
}

void SqrBasecaseMulxAdx(Limb* r, const Limb* a, std::size_t n) {
  SqrBasecaseWith<Mul1Row, AddMul1Row, AddDoubledSquaresMulxAdx>(r, a, n);
}

void RedcRowsMulxAdx(Limb* t, const Limb* m, std::size_t n, Limb mInverse) {
  for (std::size_t i = 0; i < n; ++i)
    t[i] = AddMul1Row(t + i, m, n, t[i] * mInverse);
}

}  // namespace

bool MulxAdxSupported() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("bmi2") && CpuHasAdx();
}

ProductKernels MulxAdxKernels() {
  return {AddNCarryChain,     SubNCarryChain,      Mul1MulxAdx,        AddMul1MulxAdx,
          SubMul1MulxAdx,     MulBasecaseMulxAdx,  SqrBasecaseMulxAdx, RedcRowsMulxAdx,
          kMulxAdxThresholds, KernelPath::kMulxAdx};
}

#else

bool MulxAdxSupported() {
  return false;
}
ProductKernels MulxAdxKernels() {
  return {AddNPortable,        SubNPortable,         Mul1Portable,        AddMul1Portable,
          SubMul1Portable,     MulBasecasePortable,  SqrBasecasePortable, RedcRowsPortable,
          kPortableThresholds, KernelPath::kPortable};
}

#endif

}  // namespace xkit::detail
