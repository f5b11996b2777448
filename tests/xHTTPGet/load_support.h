// Support for the load and fault tests of THTTPGet: a loopback server whose paths say what
// each reply is, the process's resource levels (descriptors, threads, heap) to compare
// before and after, and a tally of each fetch's events.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/platform/main_loop_support.h"
#include "tests/xHTTPGet/concurrent_server.h"
#include "xHTTPGet/xHTTPGet.h"

namespace xkit::test {

// Sanitizer builds run the same scenarios with fewer repetitions.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
constexpr int Scaled(int count, int sanitizedCount) {
  return kSanitized ? sanitizedCount : count;
}

// The body a path stands for: `size` bytes from `seed`, every byte value occurring.
std::string Body(std::size_t size, std::uint32_t seed);

// What the server does for a path. Every path carries the body's size and seed:
//   /ok/SIZE/SEED            200 with Content-Length and the whole body
//   /nolength/SIZE/SEED      200 without Content-Length, the body, then an orderly close
//   /reset/SIZE/SEED/SENT    Content-Length SIZE, SENT bytes of the body, then a TCP reset
//   /resetnolength/...       the same without Content-Length
//   /stall/SIZE/SEED/SENT    Content-Length SIZE, SENT bytes, then silence until the client
//                            closes
enum class ReplyKind { kOk, kNoLength, kReset, kResetNoLength, kStall };
std::string ReplyPath(ReplyKind kind, std::size_t size, std::uint32_t seed, std::size_t sent = 0);
void ServeByPath(Connection& connection);

// Open descriptors, threads and heap bytes in use.
struct ResourceLevel {
  std::size_t descriptors;
  std::size_t threads;
  std::size_t heapBytes;  // 0 under sanitizers, whose allocators glibc cannot see
};
ResourceLevel MeasureResources();
// Heap that may stay in use after a run: allocator and library bookkeeping. A thousand
// fetches leaking a kilobyte each would already exceed it.
inline constexpr std::size_t kHeapSlack = 1 << 20;
// Descriptors and threads back exactly, heap within kHeapSlack bytes of `before`.
::testing::AssertionResult BackTo(const ResourceLevel& before, const ResourceLevel& after);

// The events of one component, kept per fetch.
struct Outcome {
  int doneString = 0;
  int doneFile = 0;
  int errors = 0;
  int progress = 0;
  std::int64_t lastReaded = 0;
  std::int64_t fileSize = 0;
  std::string result;

  int Completions() const { return doneString + doneFile + errors; }
};

// A component with its own outcome; the outcome is reset by each Start.
class TrackedFetch {
public:
  explicit TrackedFetch(std::string fileName);

  void Start(const std::string& url, bool toFile);
  bool Done() const { return outcome_.Completions() > 0; }
  const Outcome& Result() const { return outcome_; }
  // Drops the outcome (and the body it holds) before resources are measured.
  // (Assigning an empty string would keep the body's buffer.)
  void Forget() {
    Outcome fresh;
    std::swap(outcome_, fresh);
  }
  THTTPGet& Component() { return *get_; }
  // Destroys the component and makes a fresh one; its pending fetch must raise nothing.
  void Replace();

  const std::string& FileName() const { return fileName_; }

private:
  void Attach();

  std::string fileName_;
  std::unique_ptr<THTTPGet> get_;
  Outcome outcome_;
};

// Waits for every thread and connection of a test to end.
void Settle(ConcurrentServer& server);
// Settles, forgets the outcomes and measures.
ResourceLevel SettleAndMeasure(ConcurrentServer& server,
                               const std::vector<std::unique_ptr<TrackedFetch>>& fetches);

}  // namespace xkit::test
