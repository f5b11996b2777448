// Random bytes for the big-integer units: the operating system's generator (getrandom), and a
// test-only substitute that makes draws repeatable.
#pragma once

#include <cstddef>
#include <cstdint>

#include "xFGInt/limbs.h"

namespace xkit::detail {

// out[0..size) := bytes from getrandom(2) (the kernel's CSPRNG), or from the test source
// while one is installed. A failure of the system call raises Exception.
void RandomBytes(void* out, std::size_t size);
// out[0..n) := random limbs, as RandomBytes.
void RandomLimbs(Limb* out, std::size_t n);

// For tests only: while an object lives, every draw comes from a generator seeded with
// `seed` instead of the operating system, so that a run repeats exactly; `onDraw`, when
// given, sees the bytes of every draw before they are used (the constant-time check marks
// them secret there). One at a time, and not while another thread draws.
class ScopedRandomSource {
public:
  using DrawObserver = void (*)(const void* bytes, std::size_t size);
  explicit ScopedRandomSource(std::uint64_t seed, DrawObserver onDraw = nullptr);
  ~ScopedRandomSource();
  ScopedRandomSource(const ScopedRandomSource&) = delete;
  ScopedRandomSource& operator=(const ScopedRandomSource&) = delete;
};

}  // namespace xkit::detail
