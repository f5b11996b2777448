// Declassification: the one way code that keeps secrets out of its branches and memory
// addresses says that a value derived from secrets is public after all (a length, a validity
// check that every valid input passes, an outcome the caller is told anyway). Each call carries
// a comment saying why its value is public.
//
// The constant-time check (tests/ct/) runs the library under Valgrind's Memcheck with the
// secret bytes marked undefined, so that any branch or memory address that depends on them is
// reported; Declassify marks its value defined again. The mark is compiled into every build
// where <valgrind/memcheck.h> is available, so that any build can be checked; outside Valgrind
// it is the test of one flag, set once at start-up.
#pragma once

#include <cstddef>

#if defined(__has_include)
#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#define XKIT_MEMCHECK_MARKS 1
#endif
#endif

namespace xkit::detail {

#if defined(XKIT_MEMCHECK_MARKS)
// Whether the process runs under Valgrind: the client request itself (a dozen instructions and
// the value's trip through memory) is made only then. A mark made during static
// initialisation, before this is set, is skipped.
inline bool AskUnderValgrind() {
  return RUNNING_ON_VALGRIND != 0;
}
inline const bool kUnderValgrind = AskUnderValgrind();
#endif

// Returns value, marked public.
template <class T>
inline T Declassify(T value) {
#if defined(XKIT_MEMCHECK_MARKS)
  if (kUnderValgrind) (void)VALGRIND_MAKE_MEM_DEFINED(&value, sizeof value);
#endif
  return value;
}

// Marks the `size` bytes at `data` public.
inline void DeclassifyBytes(const void* data, std::size_t size) {
#if defined(XKIT_MEMCHECK_MARKS)
  if (kUnderValgrind) (void)VALGRIND_MAKE_MEM_DEFINED(data, size);
#else
  (void)data;
  (void)size;
#endif
}

}  // namespace xkit::detail
