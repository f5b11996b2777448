// The OS side of TThread: a std::thread per run, joined once the run has ended, a shared
// control block for waiting on the end of the run, and the hand-over of calls to the main
// thread.
#include "platform/thread.h"

#include <algorithm>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/application.h"
#include "platform/exceptions.h"
#include "platform/messages.h"

namespace xkit {
namespace {

std::atomic<bool> creationFails{false};
std::atomic<int> runningThreads{0};
thread_local TThread* currentThread = nullptr;

void ThreadRunEnded() {
  runningThreads.fetch_sub(1, std::memory_order_acq_rel);
  runningThreads.notify_all();
  detail::WakeMainThread();
}

}  // namespace

namespace detail {

// What outlives an object that frees itself: whether its run has ended, and its OS thread.
struct ThreadControl {
  std::atomic<bool> ended{false};
  std::atomic<bool> mainWaiting{false};  // the main thread waits in WaitFor
  std::mutex mutex;
  std::condition_variable endedChanged;  // for waiters on other threads

  void MarkEnded() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      ended.store(true);
    }
    endedChanged.notify_all();
    if (mainWaiting.load()) WakeMainThread();
  }
};

}  // namespace detail

namespace {

// Every OS thread started and not yet joined. A thread is joined once its run has ended (the
// join then only waits for the thread to leave), so each one is released even when its object
// freed itself and nobody waits for it.
class OsThreads {
public:
  void Add(std::shared_ptr<detail::ThreadControl> control, std::thread thread) {
    std::lock_guard<std::mutex> lock(mutex_);
    threads_.push_back({std::move(control), std::move(thread)});
  }

  // Joins the threads whose run has ended, or all of them (each must be past every wait for
  // the main thread).
  void Join(bool all) {
    std::vector<Entry> ended;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto split = std::stable_partition(
          threads_.begin(), threads_.end(),
          [all](const Entry& entry) { return !all && !entry.control->ended.load(); });
      std::move(split, threads_.end(), std::back_inserter(ended));
      threads_.erase(split, threads_.end());
    }
    for (Entry& entry : ended)
      entry.thread.join();
  }

private:
  struct Entry {
    std::shared_ptr<detail::ThreadControl> control;
    std::thread thread;
  };

  std::mutex mutex_;
  std::vector<Entry> threads_;
};

// Never destroyed: a thread still running at exit keeps its entry.
OsThreads& Threads() {
  static OsThreads& threads = *new OsThreads;
  return threads;
}

}  // namespace

TThread::TThread() = default;

TThread::~TThread() {
  if (!started_ || currentThread == this) return;
  Terminate();
  try {
    WaitFor();
  } catch (...) {
    // A main-thread call dispatched by the wait threw; a destructor has nobody to give it to.
  }
  Threads().Join(false);
}

void TThread::Start() {
  if (started_) throw Exception("Cannot call Start on a running or terminated thread");
  // Everything the new thread reads is written before it is created.
  started_ = true;
  callOnTerminate_ = static_cast<bool>(OnTerminate);
  control_ = std::make_shared<detail::ThreadControl>();
  Threads().Join(false);
  runningThreads.fetch_add(1, std::memory_order_acq_rel);
  try {
    if (creationFails.load()) {
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                              "cannot create thread");
    }
    Threads().Add(control_, std::thread(&TThread::ThreadProc, this, control_));
  } catch (...) {
    started_ = false;
    control_.reset();
    ThreadRunEnded();
    throw;
  }
}

void TThread::ThreadProc(TThread* self, std::shared_ptr<detail::ThreadControl> control) {
  currentThread = self;
  try {
    self->Execute();
  } catch (...) {
    self->fatalException_ = std::current_exception();
  }
  const bool freeThread = self->FreeOnTerminate;
  self->finished_.store(true, std::memory_order_release);
  try {
    self->DoTerminate();
  } catch (...) {
    // Only a derived DoTerminate can get here; the handler's own exceptions stay on the main
    // thread, and there is nobody left to report anything else to.
  }
  if (freeThread) delete self;
  currentThread = nullptr;
  ThreadRunEnded();
  control->MarkEnded();
}

void TThread::Terminate() {
  terminated_.store(true, std::memory_order_release);
  TerminatedSet();
}

void TThread::WaitFor() {
  if (!started_) return;
  detail::ThreadControl& control = *control_;
  if (!detail::IsMainThread()) {
    std::unique_lock<std::mutex> lock(control.mutex);
    control.endedChanged.wait(lock, [&] { return control.ended.load(); });
    return;
  }
  for (;;) {
    const std::uint64_t ticket = detail::WakeTicket();
    if (control.ended.load()) return;
    TMsg message;
    if (PeekMessageA(&message, nullptr, detail::kSynchronizeMessage, detail::kSynchronizeMessage,
                     PM_REMOVE)) {
      DispatchMessageA(&message);
      continue;
    }
    // Announce the wait before the last look, so that MarkEnded either sees it or is seen.
    control.mainWaiting.store(true);
    if (control.ended.load()) return;
    detail::WaitForMessage(detail::kSynchronizeMessage, detail::kSynchronizeMessage, ticket);
  }
}

void TThread::DoTerminate() {
  if (!callOnTerminate_) return;
  detail::SyncRequest request;
  request.errorStaysOnMainThread = true;
  request.context = this;
  request.invoke = [](void* context) {
    auto* self = static_cast<TThread*>(context);
    // A copy: the handler may clear or replace OnTerminate while it runs.
    const TNotifyEvent handler = self->OnTerminate;
    if (handler) handler(self);
  };
  detail::RunOnMainThread(request);
}

void TThread::Synchronize(const std::function<void()>& Method) {
  detail::SyncRequest request;
  request.context = const_cast<std::function<void()>*>(&Method);
  request.invoke = [](void* context) { (*static_cast<const std::function<void()>*>(context))(); };
  detail::RunOnMainThread(request);
}

namespace detail {

void SetThreadCreationFailsForTesting(bool fails) {
  creationFails.store(fails);
}

int RunningThreads() {
  return runningThreads.load(std::memory_order_acquire);
}

void WaitUntilNoRunningThreads() {
  if (!IsMainThread()) {
    for (int running = RunningThreads(); running != 0; running = RunningThreads())
      runningThreads.wait(running, std::memory_order_acquire);
  } else {
    for (;;) {
      const std::uint64_t ticket = WakeTicket();
      if (RunningThreads() == 0) break;
      Application.ProcessMessages();
      WaitForMessage(0, 0, ticket);
    }
  }
  Threads().Join(true);
}

}  // namespace detail
}  // namespace xkit
