// Internal to the kernel layer: the table of one-limb product kernels that the CPU-path
// switch swaps, and the two paths that fill it.
#pragma once

#include "xFGInt/limbs.h"

namespace xkit::detail {

struct ProductKernels {
  Limb (*mul1)(Limb* r, const Limb* a, std::size_t n, Limb b);
  Limb (*addMul1)(Limb* r, const Limb* a, std::size_t n, Limb b);
  Limb (*subMul1)(Limb* r, const Limb* a, std::size_t n, Limb b);
  // The schoolbook product and square (MulBasecase, SqrBasecase), and the rows of a
  // Montgomery reduction: t[0..2n) += q_i m 2^(64 i) for i < n, each q_i clearing t[i],
  // the row's carry left in t[i].
  void (*mulBasecase)(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn);
  void (*sqrBasecase)(Limb* r, const Limb* a, std::size_t n);
  void (*redcRows)(Limb* t, const Limb* m, std::size_t n, Limb mInverse);
  KernelPath path;
};

// The active path; starts as the portable one and is upgraded at start-up when the CPU
// allows, so a kernel that runs during static initialisation is still correct.
extern ProductKernels gProductKernels;

Limb Mul1Portable(Limb* r, const Limb* a, std::size_t n, Limb b);
Limb AddMul1Portable(Limb* r, const Limb* a, std::size_t n, Limb b);
Limb SubMul1Portable(Limb* r, const Limb* a, std::size_t n, Limb b);
void MulBasecasePortable(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn);
void SqrBasecasePortable(Limb* r, const Limb* a, std::size_t n);
void RedcRowsPortable(Limb* t, const Limb* m, std::size_t n, Limb mInverse);
// SqrBasecase with given row kernels.
void SqrBasecaseRows(Limb* r, const Limb* a, std::size_t n,
                     Limb (*mul1)(Limb* r, const Limb* a, std::size_t n, Limb b),
                     Limb (*addMul1)(Limb* r, const Limb* a, std::size_t n, Limb b));
// MulBasecase with a given row kernel.
void MulBasecasePortableRows(Limb* r, const Limb* a, std::size_t an, const Limb* b, std::size_t bn,
                             Limb (*addMul1)(Limb* r, const Limb* a, std::size_t n, Limb b));

bool MulxAdxSupported();
bool Radix52Supported();          // AVX-512F and AVX-512 IFMA
ProductKernels MulxAdxKernels();  // only when MulxAdxSupported()

}  // namespace xkit::detail
