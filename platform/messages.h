// The main thread's message queue. The process has one queue, the main thread's (the thread
// that initialised the program); other threads post to it and never read it. A request from
// another thread to run a call on the main thread travels as a message of this queue, so any
// loop that dispatches the queue's messages also runs those calls.
#pragma once

#include <exception>

#include "platform/spin_wait.h"
#include "platform/win_types.h"

namespace xkit {

// One queued message. There are no windows: hwnd is always null.
struct TMsg {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_APP = 0x8000;

inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;

// Copies the oldest waiting message whose id lies in [wMsgFilterMin, wMsgFilterMax] (0 and 0:
// any) into *lpMsg and, with PM_REMOVE, takes it off the queue. FALSE when none is waiting,
// when called from another thread than the main thread, or for a non-null hWnd.
BOOL PeekMessageA(TMsg* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg);

// There is no keyboard input to translate: always FALSE.
BOOL TranslateMessage(const TMsg* lpMsg);

// Runs what a message stands for: a cross-thread call runs here (its exception goes back to
// the thread that asked for it, except for the calls that are documented to keep theirs on
// the main thread: those propagate from here, after the waiting thread has been released).
// Other messages have no window to go to and do nothing. Returns 0. A message taken off the
// queue must be dispatched exactly once, or the thread waiting for it waits forever.
LRESULT DispatchMessageA(const TMsg* lpMsg);

// Posts a message with no window to the main thread's queue; FALSE for a non-null hWnd.
BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// Posts WM_QUIT (wParam = nExitCode) to the main thread's queue.
void PostQuitMessage(int nExitCode);

// Blocks the main thread until a message is waiting (at once when one already is).
BOOL WaitMessage();

namespace detail {

bool IsMainThread();

// A call to run on the main thread while the requesting thread waits.
struct SyncRequest {
  void (*invoke)(void* context) = nullptr;
  void* context = nullptr;
  // False: an exception of the call is raised again in the requesting thread.
  // True: it propagates on the main thread, from the DispatchMessageA that ran the call.
  bool errorStaysOnMainThread = false;
  std::exception_ptr error;
  OneShotSignal done;
};

inline constexpr UINT kSynchronizeMessage = 0xC000;

// Runs the request on the main thread and returns when it has run: directly when called on
// the main thread, otherwise as a message that the main thread dispatches.
void RunOnMainThread(SyncRequest& request);

// Wakes a main thread blocked in WaitForMessage without posting anything.
void WakeMainThread();
std::uint64_t WakeTicket();

// Blocks the main thread until a message with an id in [first, last] (0 and 0: any) is
// waiting, or until WakeMainThread has been called after `ticket` was taken.
void WaitForMessage(UINT first, UINT last, std::uint64_t ticket);

}  // namespace detail
}  // namespace xkit
