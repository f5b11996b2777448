// The MULX/ADCX/ADOX path of the one-limb product kernels (x86-64 with BMI2 and ADX).
// MULX leaves the flags alone, so a product row runs two independent carry chains: ADCX
// (carry flag) adds each low half to the previous high half, ADOX (overflow flag) adds the
// limb already in r (or, for SubMul1, subtracts by adding the complement). Loop control uses LEA
// and JRCXZ, which touch neither flag. The first n mod 4 limbs go through the portable code, the
// rest four at a time.
#include <algorithm>

#include "xFGInt/limbs_paths.h"

namespace xkit::detail {

#if defined(__x86_64__) && defined(__GNUC__)

namespace {

Limb Mul1MulxAdx(Limb* r, const Limb* a, std::size_t n, Limb b) {
  const std::size_t head = n & 3;
  Limb carry = Mul1Portable(r, a, head, b);
  std::size_t blocks = n >> 2;
  if (blocks == 0) return carry;
  r += head;
  a += head;
  Limb low;
  Limb high;
  asm volatile(
      "xor %k[low], %k[low]\n\t"  // clears the carry flag
      "1:\n\t"
      "mulx (%[a]), %[low], %[high]\n\t"
      "adcx %[carry], %[low]\n\t"
      "mov %[low], (%[r])\n\t"
      "mulx 8(%[a]), %[low], %[carry]\n\t"
      "adcx %[high], %[low]\n\t"
      "mov %[low], 8(%[r])\n\t"
      "mulx 16(%[a]), %[low], %[high]\n\t"
      "adcx %[carry], %[low]\n\t"
      "mov %[low], 16(%[r])\n\t"
      "mulx 24(%[a]), %[low], %[carry]\n\t"
      "adcx %[high], %[low]\n\t"
      "mov %[low], 24(%[r])\n\t"
      "lea 32(%[a]), %[a]\n\t"
      "lea 32(%[r]), %[r]\n\t"
      "lea -1(%[blocks]), %[blocks]\n\t"
      "jrcxz 2f\n\t"
      "jmp 1b\n"
      "2:\n\t"
      "mov $0, %[low]\n\t"
      "adcx %[low], %[carry]\n\t"
      : [a] "+r"(a), [r] "+r"(r), [blocks] "+c"(blocks), [carry] "+r"(carry), [low] "=&r"(low),
        [high] "=&r"(high)
      : "d"(b)
      : "cc", "memory");
  return carry;
}

// r[0..4 blocks) += a * b + carry; returns the high limb. blocks >= 1. Inlined into the
// row loops below, so a row costs no call.
__attribute__((always_inline)) inline Limb AddMulBlocks(Limb* r, const Limb* a, std::size_t blocks,
                                                        Limb b, Limb carry) {
  Limb low;
  Limb high;
  // Both chains end inside the final high limb: r + a*b + carry < 2^(64(n+1)).
  asm volatile(
      "xor %k[low], %k[low]\n\t"  // clears the carry and overflow flags
      "1:\n\t"
      "mulx (%[a]), %[low], %[high]\n\t"
      "adcx %[carry], %[low]\n\t"
      "adox (%[r]), %[low]\n\t"
      "mov %[low], (%[r])\n\t"
      "mulx 8(%[a]), %[low], %[carry]\n\t"
      "adcx %[high], %[low]\n\t"
      "adox 8(%[r]), %[low]\n\t"
      "mov %[low], 8(%[r])\n\t"
      "mulx 16(%[a]), %[low], %[high]\n\t"
      "adcx %[carry], %[low]\n\t"
      "adox 16(%[r]), %[low]\n\t"
      "mov %[low], 16(%[r])\n\t"
      "mulx 24(%[a]), %[low], %[carry]\n\t"
      "adcx %[high], %[low]\n\t"
      "adox 24(%[r]), %[low]\n\t"
      "mov %[low], 24(%[r])\n\t"
      "lea 32(%[a]), %[a]\n\t"
      "lea 32(%[r]), %[r]\n\t"
      "lea -1(%[blocks]), %[blocks]\n\t"
      "jrcxz 2f\n\t"
      "jmp 1b\n"
      "2:\n\t"
      "mov $0, %[low]\n\t"
      "adcx %[low], %[carry]\n\t"
      "adox %[low], %[carry]\n\t"
      : [a] "+r"(a), [r] "+r"(r), [blocks] "+c"(blocks), [carry] "+r"(carry), [low] "=&r"(low),
        [high] "=&r"(high)
      : "d"(b)
      : "cc", "memory");
  return carry;
}

Limb AddMul1MulxAdx(Limb* r, const Limb* a, std::size_t n, Limb b) {
  const std::size_t head = n & 3;
  const Limb carry = AddMul1Portable(r, a, head, b);
  if (n < 4) return carry;
  return AddMulBlocks(r + head, a + head, n >> 2, b, carry);
}

// Up to this size (in limbs) a square is faster as a full product; measured with bench/.
constexpr std::size_t kSquareAsProductLimbs = 16;

// Rows of a schoolbook product or a Montgomery reduction, with the row kernel inlined when
// the row length is a whole number of blocks.
void MulBasecaseMulxAdx(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn) {
  if (an % 4 != 0) {
    MulBasecasePortableRows(r, a, an, b, bn, AddMul1MulxAdx);
    return;
  }
  std::fill(r, r + an, Limb{0});
  for (std::size_t j = 0; j < bn; ++j)
    r[an + j] = AddMulBlocks(r + j, a, an >> 2, b[j], 0);
}

// The square's rows shrink by one limb each, so each takes its head (length mod 4) by the
// portable kernel and the rest in blocks; small squares are faster as full products, whose
// rows are all whole blocks.
void SqrBasecaseMulxAdx(Limb* r, const Limb* a, std::size_t n) {
  if (n % 4 == 0 && n <= kSquareAsProductLimbs) {
    MulBasecaseMulxAdx(r, a, n, a, n);
    return;
  }
  SqrBasecaseRows(r, a, n, Mul1MulxAdx, AddMul1MulxAdx);
}

void RedcRowsMulxAdx(Limb* t, const Limb* m, std::size_t n, Limb mInverse) {
  if (n % 4 != 0) {
    RedcRowsPortable(t, m, n, mInverse);
    return;
  }
  for (std::size_t i = 0; i < n; ++i)
    t[i] = AddMulBlocks(t + i, m, n >> 2, t[i] * mInverse, 0);
}

Limb SubMul1MulxAdx(Limb* r, const Limb* a, std::size_t n, Limb b) {
  const std::size_t head = n & 3;
  Limb carry = SubMul1Portable(r, a, head, b);
  std::size_t blocks = n >> 2;
  if (blocks == 0) return carry;
  r += head;
  a += head;
  // r - p = r + ~p + 1 - 2^(64 n) for the n low limbs p of the product: ADCX builds p's
  // limbs, NOT complements them (flags untouched), ADOX adds them to r with the overflow
  // flag starting at 1. The head's borrow enters the product as its first high limb.
  // The chain's final overflow flag is 1 exactly when no borrow left r.
  Limb low;
  Limb high;
  unsigned char noBorrow;
  asm volatile(
      "mov $0x7FFFFFFFFFFFFFFF, %[low]\n\t"
      "add $1, %[low]\n\t"  // overflow flag 1, carry flag 0
      "1:\n\t"
      "mulx (%[a]), %[low], %[high]\n\t"
      "adcx %[carry], %[low]\n\t"
      "not %[low]\n\t"
      "adox (%[r]), %[low]\n\t"
      "mov %[low], (%[r])\n\t"
      "mulx 8(%[a]), %[low], %[carry]\n\t"
      "adcx %[high], %[low]\n\t"
      "not %[low]\n\t"
      "adox 8(%[r]), %[low]\n\t"
      "mov %[low], 8(%[r])\n\t"
      "mulx 16(%[a]), %[low], %[high]\n\t"
      "adcx %[carry], %[low]\n\t"
      "not %[low]\n\t"
      "adox 16(%[r]), %[low]\n\t"
      "mov %[low], 16(%[r])\n\t"
      "mulx 24(%[a]), %[low], %[carry]\n\t"
      "adcx %[high], %[low]\n\t"
      "not %[low]\n\t"
      "adox 24(%[r]), %[low]\n\t"
      "mov %[low], 24(%[r])\n\t"
      "lea 32(%[a]), %[a]\n\t"
      "lea 32(%[r]), %[r]\n\t"
      "lea -1(%[blocks]), %[blocks]\n\t"
      "jrcxz 2f\n\t"
      "jmp 1b\n"
      "2:\n\t"
      "seto %[noBorrow]\n\t"
      "mov $0, %[low]\n\t"
      "adcx %[low], %[carry]\n\t"
      : [a] "+r"(a), [r] "+r"(r), [blocks] "+c"(blocks), [carry] "+r"(carry), [low] "=&r"(low),
        [high] "=&r"(high), [noBorrow] "=&q"(noBorrow)
      : "d"(b)
      : "cc", "memory");
  // The product's top limb is at most 2^64 - 2, so adding the borrow cannot wrap.
  return carry + 1 - noBorrow;
}

}  // namespace

bool MulxAdxSupported() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("adx");
}

ProductKernels MulxAdxKernels() {
  return {Mul1MulxAdx,        AddMul1MulxAdx,  SubMul1MulxAdx,      MulBasecaseMulxAdx,
          SqrBasecaseMulxAdx, RedcRowsMulxAdx, KernelPath::kMulxAdx};
}

#else

bool MulxAdxSupported() {
  return false;
}
ProductKernels MulxAdxKernels() {
  return {Mul1Portable,        AddMul1Portable,  SubMul1Portable,      MulBasecasePortable,
          SqrBasecasePortable, RedcRowsPortable, KernelPath::kPortable};
}

#endif

}  // namespace xkit::detail
