// The life of a fetch on the main thread: starts, cancels, destruction, the one completion
// event, exceptions from handlers, and the worker freeing itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

#include "tests/xHTTPGet/fetch_test_support.h"

namespace xkit::test {
namespace {

// A server that takes the request and says nothing until the client hangs up.
void Silent(loopback::Exchange& exchange) {
  exchange.WaitUntilClientCloses();
}

// Headers and the first part of a body, then silence until the client hangs up.
loopback::Server::Handler PartThenSilent(std::int64_t announced, std::size_t sent) {
  return [=](loopback::Exchange& exchange) {
    exchange.Send(Reply("200 OK", {"Content-Length: " + std::to_string(announced)}, Pattern(sent)));
    exchange.WaitUntilClientCloses();
  };
}

using LifecycleTest = FetchTest;

TEST_F(LifecycleTest, NewComponentHasTheDocumentedDefaults) {
  const THTTPGet get(nullptr);
  EXPECT_EQ(get.AcceptTypes, "*/*");
  EXPECT_EQ(get.Agent, "Veltrane HTTPGet");
  EXPECT_FALSE(get.BinaryData);
  EXPECT_FALSE(get.UseCache);
  EXPECT_FALSE(get.WaitThread);
  for (const std::string* text :
       {&get.URL, &get.FileName, &get.UserName, &get.Password, &get.PostQuery, &get.Referer}) {
    EXPECT_EQ(*text, "");
  }
  EXPECT_FALSE(get.OnProgress);
  EXPECT_FALSE(get.OnDoneFile);
  EXPECT_FALSE(get.OnDoneString);
  EXPECT_FALSE(get.OnError);
}

TEST_F(LifecycleTest, NoEventBeforeTheStartReturnsAndExactlyOneAfter) {
  ServeReply(Ok(Pattern(3000)));
  get_->URL = server_->Url("/");
  get_->StartStringFetch();
  EXPECT_TRUE(recorder_.Events().empty());
  DrainAndJoinThreads();  // the worker has freed itself once this returns
  EXPECT_EQ(recorder_.Completions(), 1);
  EXPECT_EQ(recorder_.Completion().kind, Event::kDoneString);
}

TEST_F(LifecycleTest, CancelRightAfterStartEndsInError) {
  ServeReply(Ok("hello"));
  get_->URL = server_->Url("/");
  get_->StartStringFetch();
  get_->CancelFetch();
  DrainAndJoinThreads();
  EXPECT_EQ(recorder_.Completion().kind, Event::kError);
  EXPECT_TRUE(recorder_.Progress().empty());
}

TEST_F(LifecycleTest, CancelWakesAWorkerWaitingOnASilentServer) {
  Serve(Silent);
  get_->URL = server_->Url("/");
  get_->StartStringFetch();
  server_->WaitForRequests(1);  // the worker now waits for the response
  get_->CancelFetch();
  PumpUntil([this] { return recorder_.Completions() > 0; });
  EXPECT_EQ(recorder_.Completion().kind, Event::kError);
}

TEST_F(LifecycleTest, CancelWakesAWorkerWaitingForTheRestOfTheBody) {
  Serve(PartThenSilent(100000, 3000));
  get_->URL = server_->Url("/");
  get_->OnProgress = nullptr;
  get_->StartStringFetch();
  server_->WaitForRequests(1);
  get_->CancelFetch();
  PumpUntil([this] { return recorder_.Completions() > 0; });
  EXPECT_EQ(recorder_.Completion().kind, Event::kError);
}

TEST_F(LifecycleTest, CancelFromProgressStopsTheReportsAndEndsInError) {
  Serve(PartThenSilent(100000, 5000));
  get_->OnProgress = [this](TObject*, std::int64_t, std::int64_t) {
    recorder_.events_.push_back({Event::kProgress, nullptr, false, 0, 0, ""});
    get_->CancelFetch();
  };
  FetchString();
  EXPECT_EQ(recorder_.Progress().size(), 1u);
  EXPECT_EQ(recorder_.Completion().kind, Event::kError);
}

TEST_F(LifecycleTest, CancelAfterTheWorkerDecidedSuccessStillEndsInError) {
  ServeReply(Ok("hello"));
  get_->OnProgress = nullptr;
  get_->URL = server_->Url("/");
  get_->StartStringFetch();
  WaitMessage();  // without progress reports, the only message is the completion
  get_->CancelFetch();
  PumpUntil([this] { return recorder_.Completions() > 0; });
  EXPECT_EQ(recorder_.Completion().kind, Event::kError);
}

TEST_F(LifecycleTest, CancelledFileFetchLeavesWhatWasWritten) {
  Serve(PartThenSilent(100000, 5000));
  get_->FileName = TempPath("partial");
  get_->OnProgress = [this](TObject*, std::int64_t, std::int64_t readed) {
    if (readed == 2050) get_->CancelFetch();
  };
  FetchFile();
  EXPECT_EQ(recorder_.Completion().kind, Event::kError);
  EXPECT_EQ(ReadFile(get_->FileName), Pattern(2050));
}

TEST_F(LifecycleTest, CancelWhenIdleDoesNothing) {
  get_->CancelFetch();
  get_->CancelFetch();
  ServeReply(Ok("fine"));
  FetchString();
  get_->CancelFetch();
  DrainAndJoinThreads();
  EXPECT_EQ(recorder_.Completions(), 1);
  EXPECT_EQ(recorder_.Completion().text, "fine");
}

TEST_F(LifecycleTest, SecondStartIsIgnoredAndTheFirstKeepsItsSettings) {
  Serve([](loopback::Exchange& exchange) {
    exchange.Send(Ok(ParsedRequest(exchange.Request()).line));
  });
  get_->URL = server_->Url("/first");
  get_->StartStringFetch();
  get_->URL = server_->Url("/second");
  get_->AcceptTypes = "text/plain";
  get_->StartStringFetch();
  get_->StartFileFetch();
  DrainAndJoinThreads();
  EXPECT_EQ(recorder_.Completion().text, "GET /first HTTP/1.0");
  ASSERT_EQ(server_->Requests().size(), 1u);
  EXPECT_EQ(ParsedRequest(server_->Requests()[0]).Value("Accept"), "*/*");
}

TEST_F(LifecycleTest, CompletionEventsAreReadWhenTheFetchEnds) {
  ServeReply(Ok("late"));
  get_->URL = server_->Url("/");
  get_->StartStringFetch();
  std::string seen;
  get_->OnDoneString = [&](TObject*, const std::string& result) { seen = result; };
  PumpUntil([&] { return !seen.empty(); });
  EXPECT_EQ(seen, "late");
  EXPECT_EQ(recorder_.Completions(), 0);
}

TEST_F(LifecycleTest, StartFromACompletionHandlerIsIgnoredAndAfterItAccepted) {
  ServeReply(Ok("again"));
  int completions = 0;
  get_->OnDoneString = [&](TObject*, const std::string&) {
    ++completions;
    get_->StartStringFetch();  // still fetching until this handler returns
  };
  get_->URL = server_->Url("/");
  get_->StartStringFetch();
  PumpUntil([&] { return completions == 1; });
  DrainAndJoinThreads();
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(server_->Requests().size(), 1u);

  get_->StartStringFetch();
  PumpUntil([&] { return completions == 2; });
  EXPECT_EQ(server_->Requests().size(), 2u);
}

TEST_F(LifecycleTest, SuccessWithoutItsEventRaisesNothing) {
  ServeReply(Ok("unheard"));
  get_->OnDoneString = nullptr;
  get_->URL = server_->Url("/");
  get_->StartStringFetch();
  DrainAndJoinThreads();
  EXPECT_EQ(recorder_.Completions(), 0);
}

TEST_F(LifecycleTest, WaitThreadDrainsTheQueueIncludingAQuitMessage) {
  ServeReply(Ok("drained"));
  PostQuitMessage(3);
  PostMessageA(nullptr, WM_APP + 1, 0, 0);
  get_->WaitThread = true;
  get_->URL = server_->Url("/");
  get_->StartStringFetch();
  TMsg message;
  EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
  PumpUntil([this] { return recorder_.Completions() > 0; });
  EXPECT_EQ(recorder_.Completion().text, "drained");
}

TEST_F(LifecycleTest, WaitThreadRunsACompletionThatHasAlreadyArrived) {
  ServeReply(Ok("first"));
  get_->OnProgress = nullptr;
  get_->URL = server_->Url("/");
  get_->StartStringFetch();
  WaitMessage();  // the first fetch's completion is waiting

  THTTPGet other(nullptr);
  other.WaitThread = true;
  other.URL = server_->Url("/");
  bool otherDone = false;
  other.OnDoneString = [&](TObject*, const std::string&) { otherDone = true; };
  other.StartStringFetch();
  EXPECT_EQ(recorder_.Completion().text, "first");  // ran inside the second start
  PumpUntil([&] { return otherDone; });
}

TEST_F(LifecycleTest, DestructionDuringAFetchSilencesItAndTheWorkerStillEnds) {
  Serve(Silent);
  get_->URL = server_->Url("/");
  get_->StartStringFetch();
  server_->WaitForRequests(1);
  get_.reset();
  DrainAndJoinThreads();
  EXPECT_TRUE(recorder_.Events().empty());
  EXPECT_EQ(detail::RunningThreads(), 0);
}

TEST_F(LifecycleTest, DestructionWithTheCompletionWaitingSilencesIt) {
  ServeReply(Ok(Pattern(100)));
  get_->OnProgress = nullptr;
  get_->URL = server_->Url("/");
  get_->StartStringFetch();
  WaitMessage();
  get_.reset();
  DrainAndJoinThreads();
  EXPECT_TRUE(recorder_.Events().empty());
}

TEST_F(LifecycleTest, DestructionWithAProgressReportWaitingSilencesIt) {
  Serve(PartThenSilent(100000, 3000));
  get_->URL = server_->Url("/");
  get_->StartStringFetch();
  WaitMessage();  // the first progress report is waiting
  get_.reset();
  DrainAndJoinThreads();
  EXPECT_TRUE(recorder_.Events().empty());
}

TEST_F(LifecycleTest, OwnerFreesARunningComponent) {
  Serve(Silent);
  auto owner = std::make_unique<TComponent>(nullptr);
  auto* get = new THTTPGet(owner.get());
  recorder_.Attach(*get);
  get->URL = server_->Url("/");
  get->FileName = TempPath("body");
  get->StartFileFetch();
  server_->WaitForRequests(1);
  owner.reset();
  DrainAndJoinThreads();
  EXPECT_TRUE(recorder_.Events().empty());
}

TEST_F(LifecycleTest, ComponentMayFreeItselfFromItsCompletionHandler) {
  ServeReply(Ok("bye"));
  auto* get = new THTTPGet(nullptr);
  bool done = false;
  get->OnDoneString = [&](TObject* sender, const std::string&) {
    delete static_cast<THTTPGet*>(sender);
    done = true;
  };
  get->URL = server_->Url("/");
  get->StartStringFetch();
  PumpUntil([&] { return done; });
  DrainAndJoinThreads();
}

TEST_F(LifecycleTest, ExceptionFromACompletionHandlerSurfacesAndTheComponentIsIdle) {
  ServeReply(Ok("boom"));
  get_->OnDoneString = [](TObject*, const std::string&) { throw std::runtime_error("handler"); };
  get_->URL = server_->Url("/");
  get_->StartStringFetch();
  EXPECT_THROW(PumpUntil([] { return false; }), std::runtime_error);
  DrainAndJoinThreads();  // the worker was released and freed itself

  get_->OnDoneString = nullptr;
  recorder_.Attach(*get_);
  FetchString();  // a new start is accepted
  EXPECT_EQ(recorder_.Completion().text, "boom");
}

TEST_F(LifecycleTest, ThreadCreationFailureReachesTheCallerAndLeavesTheComponentIdle) {
  ServeReply(Ok("later"));
  get_->URL = server_->Url("/");
  detail::SetThreadCreationFailsForTesting(true);
  EXPECT_THROW(get_->StartStringFetch(), std::system_error);
  detail::SetThreadCreationFailsForTesting(false);
  EXPECT_EQ(detail::RunningThreads(), 0);
  FetchString();
  EXPECT_EQ(recorder_.Completion().text, "later");
}

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

TEST_F(LifecycleTest, EveryFetchReleasesItsThreadAndDescriptors) {
  const std::size_t before = OpenDescriptors();
  Serve([](loopback::Exchange& exchange) {
    if (exchange.Request().starts_with("GET /silent")) {
      exchange.WaitUntilClientCloses();
    } else if (exchange.Request().starts_with("GET /short")) {
      exchange.Send(Reply("200 OK", {"Content-Length: 10"}, "short"));
    } else {
      exchange.Send(Ok(Pattern(4000)));
    }
  });
  get_->FileName = TempPath("body");
  for (int round = 0; round < 3; ++round) {
    for (const char* path : {"/ok", "/short"}) {
      FetchString(path);
      recorder_.events_.clear();
      FetchFile(path);
      recorder_.events_.clear();
    }
    const std::size_t requests = server_->Requests().size();
    get_->URL = server_->Url("/silent");
    get_->StartFileFetch();
    server_->WaitForRequests(requests + 1);
    get_->CancelFetch();
    PumpUntil([this] { return recorder_.Completions() > 0; });
    recorder_.events_.clear();
  }
  DrainAndJoinThreads();
  EXPECT_EQ(detail::RunningThreads(), 0);
  server_.reset();  // its own sockets close with it
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
}  // namespace xkit::test
