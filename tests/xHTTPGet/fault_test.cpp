// Faults under load: connections reset in the middle of a body, servers that stall, a file
// target that runs out of room, and cancels and destruction at random moments. No fetch
// hangs or crashes, each ends in exactly one event (none once its component is gone),
// nothing that failed is reported as a success, and the process's descriptors, threads and
// heap come back to where they were.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <random>

#include "tests/platform/scratch_dir.h"
#include "tests/xHTTPGet/load_support.h"

namespace xkit::test {
namespace {

constexpr int kComponents = 32;

class FaultTest : public MainLoopTest {
protected:
  void SetUp() override {
    MainLoopTest::SetUp();
    for (int c = 0; c < kComponents; ++c)
      fetches_.push_back(std::make_unique<TrackedFetch>(scratch_.Path("body" + std::to_string(c))));
    // One fetch first, for what a process sets up once (libcurl, allocator arenas).
    fetches_[0]->Start(server_.Url(ReplyPath(ReplyKind::kOk, 10, 0)), false);
    PumpUntil([&] { return fetches_[0]->Done(); });
    before_ = SettleAndMeasure(server_, fetches_);
  }

  bool AllDone() const {
    return std::all_of(fetches_.begin(), fetches_.end(), [](const auto& f) { return f->Done(); });
  }

  ScratchDir scratch_;
  ConcurrentServer server_{ServeByPath};
  std::vector<std::unique_ptr<TrackedFetch>> fetches_;
  ResourceLevel before_{};
};

void ExpectOnlyAnError(const TrackedFetch& fetch) {
  const Outcome& outcome = fetch.Result();
  EXPECT_EQ(outcome.errors, 1);
  EXPECT_EQ(outcome.doneString + outcome.doneFile, 0);
}

// A file that a failed fetch leaves holds a prefix of what the server sent.
void ExpectPrefixOnDisk(const TrackedFetch& fetch, const std::string& sent) {
  const std::string written = ScratchDir::Contents(fetch.FileName());
  EXPECT_LE(written.size(), sent.size());
  EXPECT_TRUE(sent.compare(0, written.size(), written) == 0);
}

TEST_F(FaultTest, ResetInTheMiddleOfABodyIsAnError) {
  for (int round = 0; round < Scaled(4, 2); ++round) {
    for (int c = 0; c < kComponents; ++c) {
      const int i = round * kComponents + c;
      // Half the body or none of it, with and without Content-Length; and without a length the
      // whole body, where only the reset tells that it may not be complete.
      const ReplyKind kind = c % 2 == 0 ? ReplyKind::kReset : ReplyKind::kResetNoLength;
      const std::size_t size = 3000 + 1000 * static_cast<std::size_t>(c);
      const std::size_t sent = c % 4 < 2 ? size / 2 : c % 4 == 2 ? 0 : size;
      fetches_[c]->Start(server_.Url(ReplyPath(kind, size, i, sent)), (i / 3) % 2 == 0);
    }
    PumpUntil([&] { return AllDone(); });
    for (int c = 0; c < kComponents; ++c) {
      SCOPED_TRACE("component " + std::to_string(c));
      ExpectOnlyAnError(*fetches_[c]);
      const int i = round * kComponents + c;
      if ((i / 3) % 2 == 0) ExpectPrefixOnDisk(*fetches_[c], Body(3000 + 1000 * c, i));
    }
  }
  EXPECT_TRUE(BackTo(before_, SettleAndMeasure(server_, fetches_)));
}

TEST_F(FaultTest, StalledServersEndInAnErrorWhenCancelled) {
  for (int c = 0; c < kComponents; ++c) {
    // Some stall after part of the body, some before any of it.
    const std::size_t sent = c % 3 == 0 ? 0 : 1500 * static_cast<std::size_t>(c);
    fetches_[c]->Start(server_.Url(ReplyPath(ReplyKind::kStall, 100000, c, sent)), c % 2 == 0);
  }
  // Cancel each once its server has stalled: after its first progress report, or for those
  // that get no body at all, once every connection is in.
  PumpUntil([&] {
    return std::all_of(fetches_.begin(), fetches_.end(), [&](const auto& fetch) {
      const std::size_t index = &fetch - fetches_.data();
      return index % 3 == 0 || fetch->Result().progress > 0;
    });
  });
  server_.WaitForAccepted(kComponents);  // connecting needs nothing of the main thread
  for (auto& fetch : fetches_)
    fetch->Component().CancelFetch();
  PumpUntil([&] { return AllDone(); });
  for (const auto& fetch : fetches_)
    ExpectOnlyAnError(*fetch);
  EXPECT_TRUE(BackTo(before_, SettleAndMeasure(server_, fetches_)));
}

TEST_F(FaultTest, ComponentsDestroyedWhileTheirServersStallRaiseNothing) {
  for (int c = 0; c < kComponents; ++c) {
    fetches_[c]->Start(server_.Url(ReplyPath(ReplyKind::kStall, 100000, c, 700 * c)), c % 2 == 0);
  }
  server_.WaitForAccepted(kComponents);
  for (auto& fetch : fetches_)
    fetch->Replace();
  Settle(server_);
  for (const auto& fetch : fetches_)
    EXPECT_EQ(fetch->Result().Completions() + fetch->Result().progress, 0);
  EXPECT_TRUE(BackTo(before_, SettleAndMeasure(server_, fetches_)));
}

// What the test has done to a fetch, and so what its one outcome must be.
struct Expectation {
  bool running = false;
  bool cancelled = false;
  ReplyKind kind = ReplyKind::kOk;
  bool toFile = false;
  std::size_t size = 0;
  std::uint32_t seed = 0;
};

void CheckFinished(const TrackedFetch& fetch, const Expectation& expected) {
  const Outcome& outcome = fetch.Result();
  ASSERT_EQ(outcome.Completions(), 1);
  const bool mayWork = !expected.cancelled &&
                       (expected.kind == ReplyKind::kOk || expected.kind == ReplyKind::kNoLength);
  if (!mayWork) {
    ExpectOnlyAnError(fetch);
    return;
  }
  const std::string body = Body(expected.size, expected.seed);
  if (expected.toFile) {
    ASSERT_EQ(outcome.doneFile, 1);
    EXPECT_TRUE(ScratchDir::Contents(fetch.FileName()) == body);
  } else {
    ASSERT_EQ(outcome.doneString, 1);
    EXPECT_TRUE(outcome.result == body);
  }
}

TEST_F(FaultTest, CancelsAndDestructionAtRandomMoments) {
  std::mt19937 random(20240917);
  std::vector<Expectation> expected(kComponents);
  std::uint32_t seed = 0;
  const auto anyRunning = [&](bool stallsToo) {
    return std::any_of(expected.begin(), expected.end(), [&](const Expectation& e) {
      return e.running && (stallsToo || e.cancelled || e.kind != ReplyKind::kStall);
    });
  };
  const auto collectFinished = [&] {
    for (int c = 0; c < kComponents; ++c) {
      if (!expected[c].running || !fetches_[c]->Done()) continue;
      SCOPED_TRACE("component " + std::to_string(c));
      CheckFinished(*fetches_[c], expected[c]);
      expected[c].running = false;
    }
  };

  for (int step = 0; step < Scaled(4000, 1000); ++step) {
    // Sometimes wait for the next message of a fetch that will send one; otherwise take
    // only what is already there, so that actions also land between a fetch's messages.
    if (random() % 3 == 0 && anyRunning(false)) {
      Application.HandleMessage();
    } else {
      Application.ProcessMessages();
    }
    ASSERT_NO_FATAL_FAILURE(collectFinished());

    const int c = static_cast<int>(random() % kComponents);
    Expectation& e = expected[c];
    const unsigned action = random() % 100;
    if (!e.running) {
      if (action >= 30) continue;
      EXPECT_LE(fetches_[c]->Result().Completions(), 1) << "component " << c;
      static constexpr ReplyKind kKinds[] = {ReplyKind::kOk,
                                             ReplyKind::kOk,
                                             ReplyKind::kNoLength,
                                             ReplyKind::kReset,
                                             ReplyKind::kResetNoLength,
                                             ReplyKind::kStall};
      e = {true, false, kKinds[random() % 6], random() % 2 == 0, 1 + random() % 200000, ++seed};
      const std::size_t sent = random() % (e.size + 1);
      fetches_[c]->Start(server_.Url(ReplyPath(e.kind, e.size, e.seed, sent)), e.toFile);
    } else if (action < 4) {
      fetches_[c]->Component().CancelFetch();
      e.cancelled = true;
    } else if (action < 6) {
      fetches_[c]->Replace();  // its fetch must raise nothing more
      e.running = false;
    }
  }

  for (int c = 0; c < kComponents; ++c) {
    if (!expected[c].running) continue;
    fetches_[c]->Component().CancelFetch();
    expected[c].cancelled = true;
  }
  PumpUntil([&] {
    return std::all_of(expected.begin(), expected.end(), [&](const Expectation& e) {
      return !e.running || fetches_[&e - expected.data()]->Done();
    });
  });
  ASSERT_NO_FATAL_FAILURE(collectFinished());
  EXPECT_TRUE(BackTo(before_, SettleAndMeasure(server_, fetches_)));
}

// A file target that runs out of room, as on a full disk: in a child process whose file size
// limit stops the write (SIGXFSZ ignored, so the write fails with EFBIG instead of killing it).
// The child reports through its exit code: 0 when the fetch failed and the file holds a
// prefix of the body within the limit, 1 otherwise.
TEST(DiskFullTest, FileFetchBeyondTheRoomLeftIsAnError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  constexpr rlim_t kRoom = 64 * 1024;
  const auto child = [](std::size_t size, bool mustFail) {
    bool good = false;
    {
      Watchdog watchdog;
      ScratchDir scratch;
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{kRoom, kRoom};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) std::_Exit(2);
      ConcurrentServer server(ServeByPath);
      TrackedFetch fetch(scratch.Path("body"));
      fetch.Start(server.Url(ReplyPath(ReplyKind::kOk, size, 7)), true);
      PumpUntil([&] { return fetch.Done(); });
      const Outcome& outcome = fetch.Result();
      const std::string written = ScratchDir::Contents(fetch.FileName());
      const std::string body = Body(size, 7);
      good = outcome.Completions() == 1 && written.size() <= kRoom &&
             body.compare(0, written.size(), written) == 0;
      good = good && (mustFail ? outcome.errors == 1 : outcome.doneFile == 1 && written == body);
      if (!good) {
        std::fprintf(stderr, "completions %d, errors %d, %zu bytes on disk\n",
                     outcome.Completions(), outcome.errors, written.size());
      }
      Settle(server);
    }
    std::exit(good ? 0 : 1);
  };
  EXPECT_EXIT(child(256 * 1024, true), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(child(kRoom + 1, true), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(child(kRoom, false), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace xkit::test
