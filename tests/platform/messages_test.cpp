// The main thread's queue and the application's loop over it.
#include "platform/messages.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/application.h"
#include "tests/platform/main_loop_support.h"

namespace xkit::test {
namespace {

using MessagesTest = MainLoopTest;

TEST_F(MessagesTest, PeekTakesMessagesInOrderWithinTheFilter) {
  PostMessageA(nullptr, WM_APP + 1, 1, 10);
  PostMessageA(nullptr, WM_APP + 2, 2, 20);
  PostMessageA(nullptr, WM_APP + 3, 3, 30);
  TMsg message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_APP + 2, WM_APP + 3, PM_NOREMOVE));
  EXPECT_EQ(message.message, WM_APP + 2);
  ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_APP + 2, WM_APP + 3, PM_REMOVE));
  EXPECT_EQ(message.wParam, 2u);
  ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, WM_APP + 1);
  EXPECT_EQ(message.lParam, 10);
  ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, WM_APP + 3);
  EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessagesTest, OnlyTheMainThreadReadsTheQueue) {
  PostMessageA(nullptr, WM_APP, 0, 0);
  BOOL seen = TRUE;
  std::thread([&] {
    TMsg message;
    seen = PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);
  }).join();
  EXPECT_FALSE(seen);
  TMsg message;
  EXPECT_FALSE(PeekMessageA(&message, reinterpret_cast<HWND>(1), 0, 0, PM_REMOVE));
  EXPECT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessagesTest, QuitMessageCarriesTheExitCode) {
  PostQuitMessage(7);
  TMsg message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, WM_QUIT);
  EXPECT_EQ(message.wParam, 7u);
  EXPECT_FALSE(TranslateMessage(&message));
  EXPECT_EQ(DispatchMessageA(&message), 0);
}

TEST_F(MessagesTest, RunDispatchesUntilTerminate) {
  std::thread poster([&] {
    for (int i = 0; i < 3; ++i)
      PostMessageA(nullptr, WM_APP, 0, 0);
    Application.Terminate();
  });
  Application.Run();
  poster.join();
  EXPECT_TRUE(Application.Terminated());
  TMsg message;
  EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(MessagesTest, ProcessMessagesEmptiesTheQueueAndNotesAQuit) {
  PostMessageA(nullptr, WM_APP, 0, 0);
  PostQuitMessage(0);
  PostMessageA(nullptr, WM_APP, 0, 0);
  Application.ProcessMessages();
  EXPECT_TRUE(Application.Terminated());
  TMsg message;
  EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(MessagesTest, WaitMessageReturnsWhenAnotherThreadPosts) {
  std::thread poster([] { PostMessageA(nullptr, WM_APP + 9, 0, 0); });
  WaitMessage();
  poster.join();
  TMsg message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, WM_APP + 9);
}

}  // namespace
}  // namespace xkit::test
