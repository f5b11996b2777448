// Huge-page advice through madvise, where the system has it.
#include "platform/memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace xkit::detail {

void AdviseHugePages(void* data, std::size_t size) {
#ifdef MADV_HUGEPAGE
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (start + size) & ~(kHugePage - 1);
  // Advice only: a refusal changes nothing but speed.
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

}  // namespace xkit::detail
