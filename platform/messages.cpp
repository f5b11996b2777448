// The main thread's queue: a locked deque, with a spin-then-block wait on the main side so
// that a busy main thread picks up a posted message without a system call.
#include "platform/messages.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace xkit {
namespace {

// Static initialisation runs on the thread that starts the program.
const std::thread::id kMainThreadId = std::this_thread::get_id();

bool InRange(UINT message, UINT first, UINT last) {
  return (first == 0 && last == 0) || (message >= first && message <= last);
}

class MainQueue {
public:
  void Post(const TMsg& message) {
    bool wake = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      messages_.push_back(message);
      size_.store(messages_.size(), std::memory_order_release);
      wake = sleeping_;
    }
    if (wake) wake_.notify_one();
  }

  bool Take(TMsg* out, UINT first, UINT last, bool remove) {
    if (size_.load(std::memory_order_acquire) == 0) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = FindLocked(first, last);
    if (found == messages_.end()) return false;
    *out = *found;
    if (remove) {
      messages_.erase(found);
      size_.store(messages_.size(), std::memory_order_release);
    }
    return true;
  }

  void Wake() {
    bool wake = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ticket_.fetch_add(1, std::memory_order_release);
      wake = sleeping_;
    }
    if (wake) wake_.notify_one();
  }

  std::uint64_t Ticket() const { return ticket_.load(std::memory_order_acquire); }

  void Wait(UINT first, UINT last, std::uint64_t ticket) {
    spin_.SpinUntil([&] {
      return size_.load(std::memory_order_acquire) != 0 ||
             ticket_.load(std::memory_order_acquire) != ticket;
    });
    std::unique_lock<std::mutex> lock(mutex_);
    while (FindLocked(first, last) == messages_.end() &&
           ticket_.load(std::memory_order_relaxed) == ticket) {
      sleeping_ = true;
      wake_.wait(lock);
      sleeping_ = false;
    }
  }

private:
  std::deque<TMsg>::iterator FindLocked(UINT first, UINT last) {
    return std::find_if(messages_.begin(), messages_.end(),
                        [&](const TMsg& m) { return InRange(m.message, first, last); });
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<TMsg> messages_;             // guarded by mutex_
  bool sleeping_ = false;                 // guarded by mutex_: the main thread blocks on wake_
  std::atomic<std::size_t> size_{0};      // messages_.size(), for lock-free checks
  std::atomic<std::uint64_t> ticket_{0};  // bumped by Wake (written under mutex_)
  detail::SpinBudget spin_;               // the main thread is the only waiter
};

// Never destroyed: a thread still running at exit may post or wake until the very end.
MainQueue& Queue() {
  static MainQueue& queue = *new MainQueue;
  return queue;
}

}  // namespace

BOOL PeekMessageA(TMsg* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  if (lpMsg == nullptr || hWnd != nullptr || !detail::IsMainThread()) return FALSE;
  return Queue().Take(lpMsg, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0) ? TRUE
                                                                                          : FALSE;
}

BOOL TranslateMessage(const TMsg*) {
  return FALSE;
}

LRESULT DispatchMessageA(const TMsg* lpMsg) {
  if (lpMsg == nullptr || lpMsg->message != detail::kSynchronizeMessage || lpMsg->lParam == 0) {
    return 0;
  }
  auto* request = reinterpret_cast<detail::SyncRequest*>(lpMsg->lParam);
  // Once done is signalled the request may vanish with the waiting thread's stack frame.
  try {
    request->invoke(request->context);
  } catch (...) {
    if (!request->errorStaysOnMainThread) {
      request->error = std::current_exception();
    } else {
      const std::exception_ptr error = std::current_exception();
      request->done.Signal();
      std::rethrow_exception(error);
    }
  }
  request->done.Signal();
  return 0;
}

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (hWnd != nullptr) return FALSE;
  Queue().Post(TMsg{nullptr, Msg, wParam, lParam});
  return TRUE;
}

void PostQuitMessage(int nExitCode) {
  Queue().Post(TMsg{nullptr, WM_QUIT, static_cast<WPARAM>(nExitCode), 0});
}

BOOL WaitMessage() {
  if (!detail::IsMainThread()) return FALSE;
  Queue().Wait(0, 0, Queue().Ticket());
  return TRUE;
}

namespace detail {

bool IsMainThread() {
  return std::this_thread::get_id() == kMainThreadId;
}

void RunOnMainThread(SyncRequest& request) {
  if (IsMainThread()) {
    request.invoke(request.context);
    return;
  }
  Queue().Post(TMsg{nullptr, kSynchronizeMessage, 0, reinterpret_cast<LPARAM>(&request)});
  request.done.Wait();
  if (request.error) std::rethrow_exception(request.error);
}

void WakeMainThread() {
  Queue().Wake();
}

std::uint64_t WakeTicket() {
  return Queue().Ticket();
}

void WaitForMessage(UINT first, UINT last, std::uint64_t ticket) {
  Queue().Wait(first, last, ticket);
}

}  // namespace detail
}  // namespace xkit
