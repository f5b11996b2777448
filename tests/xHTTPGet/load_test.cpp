// Load: a thousand fetches in sequence, and thirty-two components fetching at once, into
// memory and into files. Every fetch ends in exactly one event with the exact body, and the
// process's descriptors, threads and heap come back to where they were.
#include <gtest/gtest.h>

#include "tests/platform/scratch_dir.h"
#include "tests/xHTTPGet/load_support.h"

namespace xkit::test {
namespace {

// Body sizes around the worker's 1025-byte chunks, and now and then one past the client's
// 1 MiB read-ahead.
std::size_t SizeFor(int i) {
  static constexpr std::size_t kSizes[] = {1, 1024, 1025, 1026, 4099, 65536, 100000};
  if (i % 97 == 96) return (3 << 19) + 7;
  return kSizes[i % 7] + static_cast<std::size_t>(i % 13);
}

// Every other reply without Content-Length: such a body runs to the close of the connection.
ReplyKind KindFor(int i) {
  return i % 2 == 0 ? ReplyKind::kOk : ReplyKind::kNoLength;
}

void ExpectBody(const TrackedFetch& fetch, bool toFile, const std::string& body) {
  const Outcome& outcome = fetch.Result();
  ASSERT_EQ(outcome.Completions(), 1);
  if (toFile) {
    ASSERT_EQ(outcome.doneFile, 1);
    EXPECT_EQ(outcome.fileSize, static_cast<std::int64_t>(body.size()));
    EXPECT_TRUE(ScratchDir::Contents(fetch.FileName()) == body) << body.size() << " bytes";
  } else {
    ASSERT_EQ(outcome.doneString, 1);
    EXPECT_TRUE(outcome.result == body) << body.size() << " bytes";
  }
  EXPECT_EQ(outcome.lastReaded, static_cast<std::int64_t>(body.size()));
}

class LoadTest : public MainLoopTest, public ::testing::WithParamInterface<bool> {
protected:
  bool ToFile() const { return GetParam(); }

  ScratchDir scratch_;
  ConcurrentServer server_{ServeByPath};
};

TEST_P(LoadTest, ThousandFetchesInSequence) {
  std::vector<std::unique_ptr<TrackedFetch>> fetches;
  fetches.push_back(std::make_unique<TrackedFetch>(scratch_.Path("body")));
  TrackedFetch& fetch = *fetches[0];
  const auto fetchOne = [&](int i) {
    fetch.Start(server_.Url(ReplyPath(KindFor(i), SizeFor(i), i)), ToFile());
    PumpUntil([&] { return fetch.Done(); });
    ExpectBody(fetch, ToFile(), Body(SizeFor(i), i));
  };
  // The first fetches set up what a process makes once (libcurl, allocator arenas).
  for (int i = 0; i < 3; ++i)
    ASSERT_NO_FATAL_FAILURE(fetchOne(i));
  const ResourceLevel before = SettleAndMeasure(server_, fetches);

  const int count = Scaled(1000, 100);
  for (int i = 0; i < count; ++i)
    ASSERT_NO_FATAL_FAILURE(fetchOne(i)) << "fetch " << i;

  EXPECT_TRUE(BackTo(before, SettleAndMeasure(server_, fetches)));
}

TEST_P(LoadTest, ThirtyTwoComponentsAtOnce) {
  constexpr int kComponents = 32;
  std::vector<std::unique_ptr<TrackedFetch>> fetches;
  for (int c = 0; c < kComponents; ++c)
    fetches.push_back(std::make_unique<TrackedFetch>(scratch_.Path("body" + std::to_string(c))));
  const auto round = [&](int r) {
    for (int c = 0; c < kComponents; ++c) {
      const int i = r * kComponents + c;
      fetches[c]->Start(server_.Url(ReplyPath(KindFor(i), SizeFor(i), i)), ToFile());
    }
    PumpUntil([&] {
      return std::all_of(fetches.begin(), fetches.end(), [](const auto& f) { return f->Done(); });
    });
    for (int c = 0; c < kComponents; ++c) {
      const int i = r * kComponents + c;
      ExpectBody(*fetches[c], ToFile(), Body(SizeFor(i), i));
    }
  };
  ASSERT_NO_FATAL_FAILURE(round(0));
  const ResourceLevel before = SettleAndMeasure(server_, fetches);

  const int rounds = Scaled(10, 3);
  for (int r = 1; r <= rounds; ++r)
    ASSERT_NO_FATAL_FAILURE(round(r)) << "round " << r;

  EXPECT_TRUE(BackTo(before, SettleAndMeasure(server_, fetches)));
}

INSTANTIATE_TEST_SUITE_P(Destinations, LoadTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "IntoFiles" : "IntoMemory";
                         });

}  // namespace
}  // namespace xkit::test
