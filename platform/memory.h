// Hints about how the process uses its memory, and working memory for large temporaries.
#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>

namespace xkit::detail {

// Asks the system to back a large buffer that is about to be filled front to back with huge
// pages where it can: a 256 MiB body then costs a few hundred page faults instead of 65536.
// Only the 2 MiB-aligned part of the range is affected; a no-op where unsupported.
void AdviseHugePages(void* data, std::size_t size);

// Working memory for the temporaries of one operation: `bytes` uninitialised bytes, 64-byte
// aligned. Below kHugeWorkspace bytes it comes from the ordinary heap, which hands the same
// memory back to an operation repeated at one size; from there on (sizes the C library maps
// afresh for every allocation) it is aligned to huge pages and advised to use them, so its
// first touch costs a page fault per 2 MiB instead of per 4 KiB. Throws std::bad_alloc.
inline constexpr std::size_t kHugeWorkspace = std::size_t{32} << 20;
void* AllocateWorkspace(std::size_t bytes);
// Releases what AllocateWorkspace(bytes) gave.
void FreeWorkspace(void* data, std::size_t bytes) noexcept;

struct WorkspaceFree {
  std::size_t bytes = 0;
  void operator()(void* data) const noexcept { FreeWorkspace(data, bytes); }
};

// An owned array of n uninitialised T from AllocateWorkspace.
template <class T>
using Workspace = std::unique_ptr<T[], WorkspaceFree>;

template <class T>
Workspace<T> MakeWorkspace(std::size_t n) {
  static_assert(std::is_trivial_v<T>, "workspace elements are left uninitialised");
  return Workspace<T>(static_cast<T*>(AllocateWorkspace(n * sizeof(T))),
                      WorkspaceFree{n * sizeof(T)});
}

}  // namespace xkit::detail
