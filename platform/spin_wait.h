// Waiting for another thread cheaply: a short spin before blocking, so that a hand-over
// between two busy threads costs a few cache-line transfers instead of two system calls.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace xkit::detail {

// How long a waiter spins before it blocks. Long enough to cover the gap between two chunks
// of a fetch that reports progress; short enough that an idle waiter soon gives its core up.
inline constexpr std::chrono::microseconds kSpinBeforeBlocking{50};

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

// Spins until `ready()` holds or the spin time is over; returns the last result of `ready()`.
template <typename Ready>
bool SpinUntil(Ready&& ready) {
  constexpr int kChecksPerClockRead = 64;
  const auto deadline = std::chrono::steady_clock::now() + kSpinBeforeBlocking;
  for (;;) {
    for (int i = 0; i < kChecksPerClockRead; ++i) {
      if (ready()) return true;
      CpuRelax();
    }
    if (std::chrono::steady_clock::now() >= deadline) return ready();
  }
}

// A one-shot signal from one thread to one waiter. `Signal` is called at most once, `Wait`
// by one thread; once `Wait` has returned the object may be destroyed at once, even while
// the signalling thread is still inside `Signal` (it then touches only the mutex, whose
// unlock is safe against that, as for any mutex).
class OneShotSignal {
public:
  void Signal() {
    std::uint32_t expected = kPending;
    if (state_.compare_exchange_strong(expected, kSignalled, std::memory_order_acq_rel)) return;
    // The waiter is blocked (or about to be) and can only see the signal under the mutex.
    std::lock_guard<std::mutex> lock(mutex_);
    state_.store(kSignalled, std::memory_order_release);
    wake_.notify_one();
  }

  void Wait() {
    if (SpinUntil([this] { return state_.load(std::memory_order_acquire) == kSignalled; })) return;
    std::unique_lock<std::mutex> lock(mutex_);
    std::uint32_t expected = kPending;
    if (!state_.compare_exchange_strong(expected, kSleeping, std::memory_order_acq_rel)) return;
    wake_.wait(lock, [this] { return state_.load(std::memory_order_acquire) == kSignalled; });
  }

private:
  static constexpr std::uint32_t kPending = 0;
  static constexpr std::uint32_t kSignalled = 1;
  static constexpr std::uint32_t kSleeping = 2;  // the waiter blocks on wake_

  std::atomic<std::uint32_t> state_{kPending};
  std::mutex mutex_;
  std::condition_variable wake_;
};

}  // namespace xkit::detail
