// Test support for code that hands work to the main thread: pumping the message loop until a
// condition holds, and a watchdog that ends a hung test with a message instead of a silent
// wait for the test runner's timeout.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/application.h"
#include "platform/messages.h"
#include "platform/thread.h"

namespace xkit::test {

// Aborts the process when it is still alive after a generous limit; the limit is far above
// anything a passing test needs and only turns a hang into a failure.
class Watchdog {
public:
  Watchdog() : thread_([this] { Watch(); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

private:
  void Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::seconds(30), [this] { return done_; })) {
      std::fprintf(stderr, "watchdog: the test hung\n");
      std::abort();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  std::thread thread_;
};

// Dispatches the main thread's messages, blocking while none is waiting, until done() holds.
// Every state a test waits for here changes inside a dispatched message.
template <typename Done>
void PumpUntil(Done&& done) {
  while (!done())
    Application.HandleMessage();
}

// Waits, dispatching, until every started thread has ended, then empties the queue.
inline void DrainAndJoinThreads() {
  detail::WaitUntilNoRunningThreads();
  Application.ProcessMessages();
}

// Empties the queue that an earlier test in the same process may have left.
class MainLoopTest : public ::testing::Test {
protected:
  void SetUp() override { DrainAndJoinThreads(); }
  void TearDown() override { DrainAndJoinThreads(); }

  Watchdog watchdog_;
};

}  // namespace xkit::test
