// CPU features that not every compiler's __builtin_cpu_supports can name (clang 14 knows
// neither "adx" nor "vaes"), read straight from CPUID leaf 7. Features that need operating
// system support for wider registers (AVX2, AVX-512) are still tested with
// __builtin_cpu_supports, which checks that support too; these two add instructions only.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace xkit::detail {

// Structured extended feature flags (CPUID leaf 7, sub-leaf 0).
struct CpuLeaf7 {
  unsigned ebx = 0;
  unsigned ecx = 0;
};

inline CpuLeaf7 ReadCpuLeaf7() {
  CpuLeaf7 leaf;
#if defined(__x86_64__) || defined(__i386__)
  unsigned eax = 0;
  unsigned edx = 0;
  if (__get_cpuid_count(7, 0, &eax, &leaf.ebx, &leaf.ecx, &edx) == 0) return {};
#endif
  return leaf;
}

// ADCX and ADOX.
inline bool CpuHasAdx() {
  return (ReadCpuLeaf7().ebx >> 19) & 1;
}

// The AES instructions on 256-bit and 512-bit registers.
inline bool CpuHasVaes() {
  return (ReadCpuLeaf7().ecx >> 9) & 1;
}

}  // namespace xkit::detail
