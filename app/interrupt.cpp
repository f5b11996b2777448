// The interrupt handler and the registry it reads: fixed slots in static storage, each
// guarded by an atomic state, so the handler neither allocates nor locks and may run on any
// thread (the HTTP worker's included).
#include "app/interrupt.h"

#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

#include "app/cli.h"

namespace xkit::cli {
namespace {

// A slot's life: kFree -> kFilling (its owner copies the data in) -> kArmed -> kFree when the
// owner lets go, or kArmed -> kFiring when the handler takes it. Whoever moves a slot out of
// kArmed owns it from then on; the handler never gives one back, it ends the process.
enum SlotState : int { kFree, kFilling, kArmed, kFiring };
static_assert(std::atomic<int>::is_always_lock_free);

struct PathSlot {
  std::atomic<int> state{kFree};
  char path[PATH_MAX] = {};
};

struct TerminalSlot {
  std::atomic<int> state{kFree};
  int fd = -1;
  termios settings{};
};

// Two outputs per command at most today; the spare slots cost only static storage.
constinit PathSlot pathSlots[8];
constinit TerminalSlot terminalSlot;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

template <typename Slot>
bool TakeForHandler(Slot& slot) {
  int armed = kArmed;
  return slot.state.compare_exchange_strong(armed, kFiring);
}

// The owner lets go of its slot. When the handler has taken it meanwhile (on another thread),
// the process is about to end: wait for that rather than reuse data the handler reads.
template <typename Slot>
void Release(Slot& slot) {
  int armed = kArmed;
  if (slot.state.compare_exchange_strong(armed, kFree)) return;
  for (;;)
    pause();
}

extern "C" void OnInterrupt(int signal) {
  // Only async-signal-safe calls: unlink, tcsetattr, _exit.
  for (PathSlot& slot : pathSlots) {
    if (TakeForHandler(slot)) unlink(slot.path);
  }
  if (TakeForHandler(terminalSlot)) tcsetattr(terminalSlot.fd, TCSANOW, &terminalSlot.settings);
  _exit(128 + signal);
}

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (const int signal : kSignals)  // one handler at a time per thread
    sigaddset(&action.sa_mask, signal);
  for (const int signal : kSignals) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

RemoveOnInterrupt::RemoveOnInterrupt(const std::string& path) : slot_(-1) {
  if (path.size() >= PATH_MAX) throw Failure(path + ": " + std::strerror(ENAMETOOLONG));
  for (int i = 0; i < static_cast<int>(std::size(pathSlots)); ++i) {
    int free = kFree;
    if (!pathSlots[i].state.compare_exchange_strong(free, kFilling)) continue;
    std::memcpy(pathSlots[i].path, path.c_str(), path.size() + 1);
    pathSlots[i].state.store(kArmed);
    slot_ = i;
    return;
  }
  throw Failure("too many temporary files at once");
}

RemoveOnInterrupt::~RemoveOnInterrupt() {
  Release(pathSlots[slot_]);
}

RestoreOnInterrupt::RestoreOnInterrupt(int fd, const termios& settings) {
  // One prompt at a time: the slot is free whenever a prompt starts.
  terminalSlot.state.store(kFilling);
  terminalSlot.fd = fd;
  terminalSlot.settings = settings;
  terminalSlot.state.store(kArmed);
}

RestoreOnInterrupt::~RestoreOnInterrupt() {
  Release(terminalSlot);
}

}  // namespace xkit::cli
