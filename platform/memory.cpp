// Huge-page advice through madvise, where the system has it, and working memory that uses it.
#include "platform/memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

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

namespace {

constexpr std::align_val_t kLineAlignment{64};
constexpr std::align_val_t kHugePageAlignment{std::size_t{2} << 20};

}  // namespace

void* AllocateWorkspace(std::size_t bytes) {
  if (bytes < kHugeWorkspace) return ::operator new(bytes, kLineAlignment);
  void* data = ::operator new(bytes, kHugePageAlignment);
  AdviseHugePages(data, bytes);
  return data;
}

void FreeWorkspace(void* data, std::size_t bytes) noexcept {
  ::operator delete(data, bytes < kHugeWorkspace ? kLineAlignment : kHugePageAlignment);
}

}  // namespace xkit::detail
