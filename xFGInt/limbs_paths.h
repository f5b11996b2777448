// Internal to the kernel layer: the table of one-limb product kernels that the CPU-path
// switch swaps, and the two paths that fill it.
#pragma once

#include "xFGInt/limbs.h"

namespace xkit::detail {

struct ProductKernels {
  Limb (*mul1)(Limb* r, const Limb* a, std::size_t n, Limb b);
  Limb (*addMul1)(Limb* r, const Limb* a, std::size_t n, Limb b);
  Limb (*subMul1)(Limb* r, const Limb* a, std::size_t n, Limb b);
  KernelPath path;
};

// The active path; starts as the portable one and is upgraded at start-up when the CPU
// allows, so a kernel that runs during static initialisation is still correct.
extern ProductKernels gProductKernels;

Limb Mul1Portable(Limb* r, const Limb* a, std::size_t n, Limb b);
Limb AddMul1Portable(Limb* r, const Limb* a, std::size_t n, Limb b);
Limb SubMul1Portable(Limb* r, const Limb* a, std::size_t n, Limb b);

bool MulxAdxSupported();
ProductKernels MulxAdxKernels();  // only when MulxAdxSupported()

}  // namespace xkit::detail
