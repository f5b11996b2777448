// Waiting for another thread cheaply: a short spin before blocking, so that a hand-over
// between two busy threads costs a few cache-line transfers instead of two system calls.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace xkit::detail {

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

// How long one waiting site spins before it blocks, adapted to how its spins went: a spin that
// saw the awaited event doubles the time (up to kMaxSpin), one that ran out halves it (down to
// kMinSpin). Two threads handing work back and forth on free cores keep spinning and never
// sleep; where the other thread is not running (a busy machine), the waiter soon blocks almost
// at once instead of burning the core that thread needs. Between bursts of checks the spinner
// yields its core: on a free core that costs one system call, and where more threads are
// runnable than there are cores (a server thread beside the two partners on two cores), it
// lets the partner run now rather than at the end of a time slice. Used by one thread at a time.
class SpinBudget {
public:
  // Long enough to cover the gap between two chunks of a fetch that reports progress.
  static constexpr std::chrono::nanoseconds kMaxSpin{50000};
  static constexpr std::chrono::nanoseconds kMinSpin{1000};

  // Spins until ready() holds or the budget is spent; returns the last result of ready().
  template <typename Ready>
  bool SpinUntil(Ready&& ready) {
    constexpr int kChecksPerClockRead = 32;
    const auto deadline = std::chrono::steady_clock::now() + budget_;
    for (;;) {
      for (int i = 0; i < kChecksPerClockRead; ++i) {
        if (ready()) {
          budget_ = std::min(budget_ * 2, kMaxSpin);
          return true;
        }
        CpuRelax();
      }
      if (std::chrono::steady_clock::now() >= deadline) break;
      std::this_thread::yield();
    }
    budget_ = std::max(budget_ / 2, kMinSpin);
    return ready();
  }

private:
  std::chrono::nanoseconds budget_ = kMaxSpin;
};

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
    thread_local SpinBudget spin;  // per thread: each request is waited for once
    if (spin.SpinUntil([this] { return state_.load(std::memory_order_acquire) == kSignalled; })) {
      return;
    }
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
