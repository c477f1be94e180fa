#include "ce/window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "ce/error.h"
#include "ce/thread.h"
#include "conformance.h"

namespace {

using namespace ce;
using cetest::kSentinel;

TEST(ThreadMessages, PostedInOrderTakenByRange) {
  MSG msg{};
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));  // the first call makes the queue
  const DWORD self = GetCurrentThreadId();
  std::thread([&] {
    for (UINT m : {WM_USER + 1, WM_USER + 5, WM_USER + 2})
      EXPECT_TRUE(PostThreadMessageW(self, m, m - WM_USER, 0));
  }).join();
  const struct {
    UINT min, max, remove;
    BOOL found;
    UINT message;  // when found
  } steps[] = {
      {WM_USER + 5, WM_USER + 9, PM_NOREMOVE, TRUE, WM_USER + 5},  // left in place
      {WM_USER + 5, WM_USER + 9, PM_REMOVE, TRUE, WM_USER + 5},
      {WM_USER + 5, WM_USER + 9, PM_REMOVE, FALSE, 0},
      {0, 0, PM_REMOVE, TRUE, WM_USER + 1},  // the rest in the order posted
      {0, 0, PM_REMOVE, TRUE, WM_USER + 2},
      {0, 0, PM_REMOVE, FALSE, 0},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(testing::Message() << step.min << ".." << step.max << " remove " << step.remove);
    EXPECT_EQ(PeekMessageW(&msg, nullptr, step.min, step.max, step.remove), step.found);
    if (step.found) {
      EXPECT_EQ(msg.message, step.message);
      EXPECT_EQ(msg.wParam, WPARAM(step.message - WM_USER));
    }
  }
}

TEST(ThreadMessages, GetMessageWaitsAndEndsWithQuit) {
  std::atomic<DWORD> receiver{0};
  std::atomic<int> got{0};
  std::thread t([&] {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    receiver = GetCurrentThreadId();
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) ++got;
  });
  while (receiver == 0) std::this_thread::yield();
  EXPECT_TRUE(PostThreadMessageW(receiver, WM_USER, 0, 0));
  EXPECT_TRUE(PostThreadMessageW(receiver, WM_USER, 0, 0));
  EXPECT_TRUE(PostThreadMessageW(receiver, WM_QUIT, 0, 0));
  t.join();
  EXPECT_EQ(got.load(), 2);
  // Its queue ended with it.
  SetLastError(kSentinel);
  EXPECT_FALSE(PostThreadMessageW(receiver, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_THREAD_ID);
}

TEST(ThreadMessages, AFullQueueSaysSo) {
  std::thread([] {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    const DWORD self = GetCurrentThreadId();
    int posted = 0;
    SetLastError(kSentinel);
    while (posted < 100000 && PostThreadMessageW(self, WM_USER, 0, 0)) ++posted;
    EXPECT_GT(posted, 100);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_QUOTA);
    // Taking one makes room for one.
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(PostThreadMessageW(self, WM_USER, 0, 0));
  }).join();
}

TEST(ThreadMessages, BadArgumentsFail) {
  DWORD ended = 0;
  std::thread([&] { ended = GetCurrentThreadId(); }).join();
  MSG msg;
  const struct {
    const char* what;
    std::function<bool()> failed;
    DWORD error;
  } rows[] = {
      {"post to thread 0", [] { return !PostThreadMessageW(0, WM_USER, 0, 0); }, ERROR_INVALID_THREAD_ID},
      {"post to a thread that has ended", [&] { return !PostThreadMessageW(ended, WM_USER, 0, 0); },
       ERROR_INVALID_THREAD_ID},
      {"peek without a MSG", [] { return !PeekMessageW(nullptr, nullptr, 0, 0, PM_REMOVE); },
       ERROR_INVALID_PARAMETER},
      {"get without a MSG", [] { return GetMessageW(nullptr, nullptr, 0, 0) == -1; },
       ERROR_INVALID_PARAMETER},
      {"peek at a window", [&] { return !PeekMessageW(&msg, HWND(0x1234), 0, 0, PM_REMOVE); },
       ERROR_INVALID_WINDOW_HANDLE},
      {"get from a window", [&] { return GetMessageW(&msg, HWND(0x1234), 0, 0) == -1; },
       ERROR_INVALID_WINDOW_HANDLE},
  };
  for (const auto& row : rows) {
    SetLastError(kSentinel);
    EXPECT_TRUE(row.failed()) << row.what;
    EXPECT_EQ(GetLastError(), row.error) << row.what;
  }
}

}  // namespace
