// The host's application object: the main thread's message loop.
#pragma once

namespace xkit {

// Runs on the main thread only. Exceptions raised while a message is dispatched (a main-thread
// handler that throws) propagate out of the call that dispatched it; the loop may be entered
// again afterwards.
class TApplication {
public:
  // Dispatches every waiting message and returns when the queue is empty. A quit message is
  // taken off the queue and sets Terminated().
  void ProcessMessages();

  // Dispatches one waiting message; when none is waiting, blocks until one arrives and returns
  // without dispatching it.
  void HandleMessage();

  // Dispatches messages, blocking while none is waiting, until a quit message is taken off the
  // queue (one taken earlier, by ProcessMessages, does not count).
  void Run();

  // Posts a quit message, which ends Run.
  void Terminate();

  // Whether a quit message has been taken off the queue since Run was last entered.
  bool Terminated() const { return terminated_; }

private:
  bool ProcessMessage();

  bool terminated_ = false;
};

extern TApplication Application;

}  // namespace xkit
