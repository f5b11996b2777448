// Threads in the shape the components expect: created suspended and started explicitly, a
// stop request that the run body polls, a termination handler run on the main thread, calls
// run on the main thread while the thread waits, and objects that free themselves.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

#include "platform/component.h"

namespace xkit {
namespace detail {
struct ThreadControl;
}

// A thread of execution owned by an object. The OS thread is created by Start, never by the
// constructor, so a derived class is complete before its Execute can run.
//
// Lifetime: a thread with FreeOnTerminate set deletes itself on its own thread once its run
// and its termination handler have ended; nobody else may delete it after Start. Any other
// started thread is deleted by its creator: the destructor requests a stop and waits for the
// run to end (see WaitFor).
class TThread : public TObject {
public:
  TThread();
  ~TThread() override;

  // Creates the OS thread, which runs Execute and then the termination step. Raises
  // std::system_error when the thread cannot be created (the object stays unstarted), and
  // xkit::Exception when the thread was already started.
  void Start();

  // Sets the stop request (atomic; any thread), then calls TerminatedSet.
  void Terminate();
  bool Terminated() const { return terminated_.load(std::memory_order_acquire); }

  // True once Execute has returned.
  bool Finished() const { return finished_.load(std::memory_order_acquire); }

  // Waits until the run and the termination step have ended. On the main thread the wait
  // keeps running calls that threads ask for on the main thread (and only those), so a
  // thread that synchronizes can still finish. Not for FreeOnTerminate threads.
  void WaitFor();

  // The exception that escaped Execute, if any; read after WaitFor.
  std::exception_ptr FatalException() const { return fatalException_; }

  // Set before Start: delete the object when the run has ended.
  bool FreeOnTerminate = false;

  // Run on the main thread after Execute, while the thread waits. Assign it before Start; it is
  // read on the main thread when the run ends, so the main thread may clear or replace it
  // meanwhile. An exception it raises stays on the main thread: it propagates from the
  // DispatchMessageA that ran the handler, after the thread has been released.
  TNotifyEvent OnTerminate;

protected:
  // The run body.
  virtual void Execute() = 0;

  // The termination step, on this thread after Execute: runs OnTerminate on the main thread.
  virtual void DoTerminate();

  // Called by Terminate after the stop request is set, on the thread that called Terminate:
  // a hook for waking a run that is blocked on something the stop request cannot reach.
  virtual void TerminatedSet() {}

  // Runs Method on the main thread while this thread waits; an exception it raises is raised
  // again here. Called on the main thread, it runs Method directly.
  void Synchronize(const std::function<void()>& Method);

private:
  static void ThreadProc(TThread* self, std::shared_ptr<detail::ThreadControl> control);

  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  bool started_ = false;
  bool callOnTerminate_ = false;  // OnTerminate was assigned when Start ran
  std::exception_ptr fatalException_;
  // Shared with the OS thread, which outlives an object that frees itself.
  std::shared_ptr<detail::ThreadControl> control_;
};

namespace detail {

// Makes Start fail as if the OS refused to create a thread (for tests of that path).
void SetThreadCreationFailsForTesting(bool fails);

// Started threads whose run (with its termination step) has not yet ended.
int RunningThreads();

// Blocks until RunningThreads() is 0, then joins every OS thread, so that all of them are
// gone, thread-local storage included. On the main thread it dispatches messages meanwhile
// (Application.ProcessMessages), so threads waiting for the main thread can finish. A host
// calls it before it exits; a later Start also joins the threads that have ended.
void WaitUntilNoRunningThreads();

}  // namespace detail
}  // namespace xkit
