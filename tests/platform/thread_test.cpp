// Threads: suspended until started, the stop request, freeing themselves, the termination
// handler on the main thread, and calls handed to the main thread.
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <system_error>

#include "platform/exceptions.h"
#include "tests/platform/main_loop_support.h"

namespace xkit::test {
namespace {

// A thread whose run body is a function of the test's choosing; notes its destruction.
class Probe : public TThread {
public:
  explicit Probe(std::function<void(Probe&)> body, bool* destroyed = nullptr)
      : body_(std::move(body)), destroyed_(destroyed) {}
  ~Probe() override {
    if (destroyed_ != nullptr) *destroyed_ = true;
  }
  using TThread::Synchronize;

protected:
  void Execute() override { body_(*this); }

private:
  std::function<void(Probe&)> body_;
  bool* destroyed_;
};

using ThreadTest = MainLoopTest;

TEST_F(ThreadTest, NothingRunsUntilStart) {
  bool ran = false;
  {
    Probe probe([&](Probe&) { ran = true; });
  }
  EXPECT_FALSE(ran);
  EXPECT_EQ(detail::RunningThreads(), 0);

  Probe probe([&](Probe&) { ran = true; });
  probe.Start();
  probe.WaitFor();
  EXPECT_TRUE(ran);
  EXPECT_TRUE(probe.Finished());
  EXPECT_THROW(probe.Start(), Exception);
}

TEST_F(ThreadTest, RunBodySeesTheStopRequest) {
  Probe probe([](Probe& self) {
    while (!self.Terminated())
      std::this_thread::yield();
  });
  probe.Start();
  EXPECT_FALSE(probe.Terminated());
  probe.Terminate();
  probe.WaitFor();
  EXPECT_TRUE(probe.Finished());
}

TEST_F(ThreadTest, TerminationHandlerRunsOnTheMainThreadThenTheThreadFreesItself) {
  bool destroyed = false;
  bool handled = false;
  auto* probe = new Probe([](Probe&) {}, &destroyed);
  probe->FreeOnTerminate = true;
  probe->OnTerminate = [&](TObject* sender) {
    EXPECT_TRUE(detail::IsMainThread());
    EXPECT_EQ(sender, probe);
    EXPECT_TRUE(probe->Finished());  // the run has ended; the object waits for us
    EXPECT_FALSE(destroyed);
    handled = true;
  };
  probe->Start();
  PumpUntil([&] { return handled; });
  DrainAndJoinThreads();
  EXPECT_TRUE(destroyed);
}

TEST_F(ThreadTest, SynchronizeRunsOnTheMainThreadAndRaisesItsExceptionInTheCaller) {
  bool ranOnMain = false;
  std::string caught;
  Probe probe([&](Probe& self) {
    self.Synchronize([&] { ranOnMain = detail::IsMainThread(); });
    try {
      self.Synchronize([] { throw std::runtime_error("from the main thread"); });
    } catch (const std::runtime_error& error) {
      caught = error.what();
    }
  });
  probe.Start();
  probe.WaitFor();  // on the main thread, the wait runs the thread's calls
  EXPECT_TRUE(ranOnMain);
  EXPECT_EQ(caught, "from the main thread");
}

TEST_F(ThreadTest, SynchronizeOnTheMainThreadRunsAtOnce) {
  Probe probe([](Probe&) {});
  bool ran = false;
  probe.Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST_F(ThreadTest, TerminationHandlerExceptionStaysOnTheMainThread) {
  bool destroyed = false;
  auto* probe = new Probe([](Probe&) {}, &destroyed);
  probe->FreeOnTerminate = true;
  probe->OnTerminate = [](TObject*) { throw std::logic_error("handler"); };
  probe->Start();
  EXPECT_THROW(PumpUntil([] { return false; }), std::logic_error);
  DrainAndJoinThreads();
  EXPECT_TRUE(destroyed);
}

TEST_F(ThreadTest, ExceptionFromTheRunBodyIsKept) {
  Probe probe([](Probe&) { throw std::runtime_error("run"); });
  probe.Start();
  probe.WaitFor();
  ASSERT_TRUE(probe.FatalException());
  EXPECT_THROW(std::rethrow_exception(probe.FatalException()), std::runtime_error);
}

TEST_F(ThreadTest, CreationFailureRaisesSystemError) {
  bool ran = false;
  Probe probe([&](Probe&) { ran = true; });
  detail::SetThreadCreationFailsForTesting(true);
  EXPECT_THROW(probe.Start(), std::system_error);
  detail::SetThreadCreationFailsForTesting(false);
  EXPECT_EQ(detail::RunningThreads(), 0);
  probe.Start();  // still unstarted, so it can start now
  probe.WaitFor();
  EXPECT_TRUE(ran);
}

TEST_F(ThreadTest, DestroyingARunningThreadStopsItAndWaits) {
  int calls = 0;
  {
    Probe probe([&](Probe& self) {
      while (!self.Terminated())
        self.Synchronize([&] { ++calls; });
    });
    probe.Start();
    PumpUntil([&] { return calls > 0; });
  }  // the destructor requests the stop and runs the thread's calls while it waits
  EXPECT_EQ(detail::RunningThreads(), 0);
}

TEST_F(ThreadTest, WaitForFromAnotherThread) {
  bool ran = false;
  Probe probe([&](Probe&) { ran = true; });
  probe.Start();
  std::thread([&] { probe.WaitFor(); }).join();
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace xkit::test
