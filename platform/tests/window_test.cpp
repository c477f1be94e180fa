#include "ce/window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "ce/error.h"
#include "ce/process.h"
#include "ce/thread.h"
#include "ceutil/text.h"
#include "conformance.h"

namespace ce {
namespace {

using cetest::kSentinel;

TEST(ThreadMessages, PostedInOrderTakenByRange) {
  MSG msg{};
  EXPECT_FALSE(ce::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));  // the first call makes the queue
  const DWORD self = GetCurrentThreadId();
  std::thread([&] {
    for (UINT m : {WM_USER + 1, WM_USER + 5, WM_USER + 2})
      EXPECT_TRUE(ce::PostThreadMessageW(self, m, m - WM_USER, 0));
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
    EXPECT_EQ(ce::PeekMessageW(&msg, nullptr, step.min, step.max, step.remove), step.found);
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
    ce::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    receiver = GetCurrentThreadId();
    while (ce::GetMessageW(&msg, nullptr, 0, 0) > 0) ++got;
  });
  while (receiver == 0) std::this_thread::yield();
  EXPECT_TRUE(ce::PostThreadMessageW(receiver, WM_USER, 0, 0));
  EXPECT_TRUE(ce::PostThreadMessageW(receiver, WM_USER, 0, 0));
  EXPECT_TRUE(ce::PostThreadMessageW(receiver, WM_QUIT, 0, 0));
  t.join();
  EXPECT_EQ(got.load(), 2);
  // Its queue ended with it.
  SetLastError(kSentinel);
  EXPECT_FALSE(ce::PostThreadMessageW(receiver, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_THREAD_ID);
}

TEST(ThreadMessages, AFullQueueSaysSo) {
  std::thread([] {
    MSG msg;
    ce::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    const DWORD self = GetCurrentThreadId();
    int posted = 0;
    SetLastError(kSentinel);
    while (posted < 100000 && ce::PostThreadMessageW(self, WM_USER, 0, 0)) ++posted;
    // Wine's queues have no limit, where Windows' take 10000 messages.
    if (cetest::broken(posted == 100000)) return;
    EXPECT_GT(posted, 100);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_QUOTA);
    // Taking one makes room for one.
    EXPECT_TRUE(ce::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(ce::PostThreadMessageW(self, WM_USER, 0, 0));
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
      {"post to thread 0", [] { return !ce::PostThreadMessageW(0, WM_USER, 0, 0); }, ERROR_INVALID_THREAD_ID},
      {"post to a thread that has ended", [&] { return !ce::PostThreadMessageW(ended, WM_USER, 0, 0); },
       ERROR_INVALID_THREAD_ID},
      {"peek without a MSG", [] { return !ce::PeekMessageW(nullptr, nullptr, 0, 0, PM_REMOVE); },
       ERROR_INVALID_PARAMETER},
      {"get without a MSG", [] { return ce::GetMessageW(nullptr, nullptr, 0, 0) == -1; },
       ERROR_INVALID_PARAMETER},
      {"peek at a window", [&] { return !ce::PeekMessageW(&msg, HWND(0x1234), 0, 0, PM_REMOVE); },
       ERROR_INVALID_WINDOW_HANDLE},
      {"get from a window", [&] { return ce::GetMessageW(&msg, HWND(0x1234), 0, 0) == -1; },
       ERROR_INVALID_WINDOW_HANDLE},
  };
  for (const auto& row : rows) {
    SetLastError(kSentinel);
    EXPECT_TRUE(row.failed()) << row.what;
    EXPECT_EQ(GetLastError(), row.error) << row.what;
  }
}

// Windows: a procedure that keeps what it was given, answers WM_USER + 1 with
// twice its wParam, and ends its thread's message loop when its window goes
// if the window's user data asks so.
struct Seen {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  DWORD thread;
};
std::mutex g_seenMu;
std::vector<Seen> g_seen;

constexpr LONG_PTR kQuitOnDestroy = 7;
constexpr UINT kDouble = WM_USER + 1;
constexpr UINT kBounce = WM_USER + 2;  // sends kDouble on to the window in lParam, answers that plus 1

// What a desktop sends for a window's frame and size limits, which the device
// has not: the minimum and maximum size, and the non-client messages.
bool DesktopFrameMessage(UINT message) {
  return message == 0x0024 || (message >= 0x0081 && message <= 0x00AD);
}

LRESULT CALLBACK Recording(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (cetest::broken(DesktopFrameMessage(message))) return ce::DefWindowProcW(hwnd, message, wParam, lParam);
  {
    std::lock_guard lock(g_seenMu);
    g_seen.push_back({hwnd, message, wParam, GetCurrentThreadId()});
  }
  if (message == kDouble) return LRESULT(wParam * 2);
  if (message == kBounce) return ce::SendMessageW(reinterpret_cast<HWND>(lParam), kDouble, wParam, 0) + 1;
  if (message == WM_DESTROY && ce::GetWindowLongPtrW(hwnd, GWLP_USERDATA) == kQuitOnDestroy)
    PostQuitMessage(int(kQuitOnDestroy));
  return ce::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK Replacement(HWND, UINT, WPARAM, LPARAM) { return 3; }

std::vector<Seen> TakeSeen() {
  std::lock_guard lock(g_seenMu);
  return std::exchange(g_seen, {});
}

// A class of the test's own name (registered once per test, gone after it).
class WindowTest : public testing::Test {
 protected:
  void SetUp() override {
    TakeSeen();
    WNDCLASSW wc{};
    wc.lpfnWndProc = Recording;
    wc.cbWndExtra = 8;
    wc.lpszClassName = className_.c_str();
    ASSERT_NE(ce::RegisterClassW(&wc), 0) << GetLastError();
  }
  void TearDown() override {
    EXPECT_TRUE(ce::UnregisterClassW(className_.c_str(), nullptr)) << GetLastError();
  }

 public:
  HWND Make(LPCWSTR title, HWND parent = nullptr) {
    return ce::CreateWindowExW(0, className_.c_str(), title, parent ? WS_CHILD : 0, 10, 20, 100, 50, parent,
                               nullptr, nullptr, nullptr);
  }

 protected:
  const std::u16string className_ = cetest::UniqueName();
};

TEST_F(WindowTest, ClassesAndTheirErrors) {
  // A window that was, for a handle that is none.
  const HWND gone = Make(u"gone");
  ASSERT_NE(gone, nullptr) << GetLastError();
  ASSERT_TRUE(ce::DestroyWindow(gone));
  const HWND hwnd = Make(u"kept");
  ASSERT_NE(hwnd, nullptr) << GetLastError();
  const std::u16string upper = ceutil::FromUtf8(ceutil::ToUtf8(className_) + "-other");
  WNDCLASSW same{};
  same.lpfnWndProc = Recording;
  same.lpszClassName = className_.c_str();
  WNDCLASSW noProc{};
  noProc.lpszClassName = upper.c_str();
  WNDCLASSW noName{};
  noName.lpfnWndProc = Recording;
  const struct {
    const char* what;
    std::function<bool()> failed;
    DWORD error;
  } rows[] = {
      {"a class registered twice", [&] { return ce::RegisterClassW(&same) == 0; },
       ERROR_CLASS_ALREADY_EXISTS},
      {"a class without a procedure", [&] { return ce::RegisterClassW(&noProc) == 0; },
       ERROR_INVALID_PARAMETER},
      {"a class without a name", [&] { return ce::RegisterClassW(&noName) == 0; }, ERROR_INVALID_PARAMETER},
      {"unregistering a class with a window",
       [&] { return !ce::UnregisterClassW(className_.c_str(), nullptr); }, ERROR_CLASS_HAS_WINDOWS},
      {"unregistering a class never registered",
       [&] { return !ce::UnregisterClassW(upper.c_str(), nullptr); }, ERROR_CLASS_DOES_NOT_EXIST},
      {"a window of no class",
       [&] {
         return !ce::CreateWindowExW(0, upper.c_str(), u"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                     nullptr);
       },
       ERROR_CANNOT_FIND_WND_CLASS},
      {"a window with a parent that is none", [&] { return !Make(u"orphan", gone); },
       ERROR_INVALID_WINDOW_HANDLE},
      {"destroying a window that is none", [&] { return !ce::DestroyWindow(gone); },
       ERROR_INVALID_WINDOW_HANDLE},
  };
  for (const auto& row : rows) {
    SetLastError(kSentinel);
    EXPECT_TRUE(row.failed()) << row.what;
    EXPECT_EQ(GetLastError(), row.error) << row.what;
  }
  // WM_CREATE came first, with what the window was made from.
  auto seen = TakeSeen();
  std::erase_if(seen, [gone](const Seen& s) { return s.hwnd == gone; });
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front().message, UINT(WM_CREATE));
  EXPECT_EQ(seen.front().hwnd, hwnd);
  EXPECT_TRUE(ce::DestroyWindow(hwnd));
}

TEST_F(WindowTest, LongsStyleAndRectangle) {
  // A pop-up: a desktop keeps a window with a caption at least as wide as its buttons.
  const HWND hwnd = ce::CreateWindowExW(0, className_.c_str(), u"longs", WS_POPUP, 10, 20, 100, 50, nullptr,
                                        nullptr, nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr) << GetLastError();
  int marker = 0;
  EXPECT_EQ(ce::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&marker)), 0);
  EXPECT_EQ(ce::GetWindowLongPtrW(hwnd, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&marker));
  // The extra bytes: 8 of them, read and written 4 at a time.
  const struct {
    int index;
    bool good;
  } offsets[] = {{0, true}, {4, true}, {5, false}, {8, false}, {-100, false}};
  for (const auto& o : offsets) {
    SetLastError(kSentinel);
    const LONG before = ce::SetWindowLongW(hwnd, o.index, 0x5A5A0000 + o.index);
    EXPECT_EQ(before, 0) << o.index;
    EXPECT_EQ(GetLastError(), o.good ? kSentinel : DWORD(ERROR_INVALID_INDEX)) << o.index;
    EXPECT_EQ(ce::GetWindowLongW(hwnd, o.index), o.good ? 0x5A5A0000 + o.index : 0) << o.index;
  }
  // Another procedure takes the window's messages from now on.
  const LONG_PTR before = ce::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Replacement));
  EXPECT_EQ(before, reinterpret_cast<LONG_PTR>(&Recording));
  EXPECT_EQ(ce::SendMessageW(hwnd, kDouble, 4, 0), 3);
  ce::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, before);
  EXPECT_EQ(ce::SendMessageW(hwnd, kDouble, 4, 0), 8);
  EXPECT_EQ(ce::GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE, 0);
  EXPECT_FALSE(ce::ShowWindow(hwnd, SW_SHOW));  // was hidden
  EXPECT_TRUE(ce::ShowWindow(hwnd, SW_SHOW));
  EXPECT_NE(ce::GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE, 0);
  EXPECT_TRUE(ce::UpdateWindow(hwnd));

  const struct {
    const char* what;
    std::function<BOOL()> move;
    RECT after;
  } moves[] = {
      {"made", [] { return TRUE; }, {10, 20, 110, 70}},
      {"moved and sized", [&] { return ce::MoveWindow(hwnd, 1, 2, 30, 40, TRUE); }, {1, 2, 31, 42}},
      {"moved only", [&] { return ce::SetWindowPos(hwnd, nullptr, 5, 6, 0, 0, SWP_NOSIZE); }, {5, 6, 35, 46}},
      {"sized only", [&] { return ce::SetWindowPos(hwnd, nullptr, 0, 0, 7, 8, SWP_NOMOVE); }, {5, 6, 12, 14}},
  };
  for (const auto& m : moves) {
    EXPECT_TRUE(m.move()) << m.what;
    RECT r{};
    ASSERT_TRUE(ce::GetWindowRect(hwnd, &r)) << m.what;
    EXPECT_EQ(std::tuple(r.left, r.top, r.right, r.bottom),
              std::tuple(m.after.left, m.after.top, m.after.right, m.after.bottom))
        << m.what;
  }
  // An edge beyond 32 bits is refused, and the window stays where it was.
  for (const auto& [x, y] : {std::pair{0, INT32_MAX}, std::pair{INT32_MAX - 3, 0}}) {
    SetLastError(kSentinel);
    EXPECT_FALSE(ce::MoveWindow(hwnd, x, y, 10, 10, TRUE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  }
  RECT kept{};
  ASSERT_TRUE(ce::GetWindowRect(hwnd, &kept));
  EXPECT_EQ(std::tuple(kept.left, kept.top, kept.right, kept.bottom), std::tuple(5, 6, 12, 14));
  SetLastError(kSentinel);
  EXPECT_FALSE(ce::GetWindowRect(hwnd, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(ce::DestroyWindow(hwnd));
  SetLastError(kSentinel);
  RECT r{};
  EXPECT_FALSE(ce::GetWindowRect(hwnd, &r));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(WindowTest, FoundAndEnumeratedTopLevelOnly) {
  const HWND top = Make(u"Finder Title");
  ASSERT_NE(top, nullptr);
  const HWND child = Make(u"Finder Title", top);
  ASSERT_NE(child, nullptr);
  const std::u16string upperClass = ceutil::FromUtf8([&] {
    std::string s = ceutil::ToUtf8(className_);
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
  }());
  const struct {
    LPCWSTR className;
    LPCWSTR title;
    HWND found;
  } finds[] = {
      {className_.c_str(), nullptr, top},      {upperClass.c_str(), nullptr, top},
      {nullptr, u"finder title", top},         {className_.c_str(), u"Finder Title", top},
      {className_.c_str(), u"Other", nullptr},
  };
  for (const auto& f : finds)
    EXPECT_EQ(ce::FindWindowW(f.className, f.title), f.found)
        << ceutil::ToUtf8(f.className ? f.className : u"-") << " / "
        << ceutil::ToUtf8(f.title ? f.title : u"-");
  std::vector<HWND> listed;
  EXPECT_TRUE(ce::EnumWindows(
      [](HWND h, LPARAM list) {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&listed)));
  EXPECT_EQ(std::count(listed.begin(), listed.end(), top), 1);
  EXPECT_EQ(std::count(listed.begin(), listed.end(), child), 0);
  EXPECT_EQ(ce::GetParent(child), top);
  SetLastError(kSentinel);
  EXPECT_EQ(ce::GetParent(top), nullptr);
  // The device clears the error for a window without a parent; a desktop leaves it alone.
  EXPECT_TRUE(GetLastError() == DWORD(ERROR_SUCCESS) || cetest::broken(GetLastError() == kSentinel));
  DWORD process = 0;
  EXPECT_EQ(ce::GetWindowThreadProcessId(top, &process), GetCurrentThreadId());
  EXPECT_EQ(process, GetCurrentProcessId());
  // The child goes with its parent.
  EXPECT_TRUE(ce::DestroyWindow(top));
  EXPECT_FALSE(ce::IsWindow(child));
  EXPECT_EQ(ce::FindWindowW(className_.c_str(), nullptr), nullptr);
}

TEST_F(WindowTest, MessagesKeepTheirOrderPerWindowAndQueue) {
  const HWND a = Make(u"a"), b = Make(u"b");
  ASSERT_TRUE(a && b);
  TakeSeen();
  const struct {
    HWND hwnd;
    UINT message;
  } posts[] = {
      {a, WM_USER + 11}, {b, WM_USER + 12}, {nullptr, WM_USER + 13}, {a, WM_USER + 14}, {b, WM_USER + 15}};
  for (const auto& p : posts) ASSERT_TRUE(ce::PostMessageW(p.hwnd, p.message, 0, 0));
  const struct {
    HWND filter;
    std::vector<UINT> taken;
  } takes[] = {
      {b, {WM_USER + 12, WM_USER + 15}},
      {HWND(-1), {WM_USER + 13}},  // thread messages only
      {nullptr, {WM_USER + 11, WM_USER + 14}},
  };
  for (const auto& t : takes) {
    std::vector<UINT> taken;
    MSG msg;
    while (ce::PeekMessageW(&msg, t.filter, 0, 0, PM_REMOVE)) {
      taken.push_back(msg.message);
      ce::DispatchMessageW(&msg);
    }
    EXPECT_EQ(taken, t.taken);
  }
  // Dispatching reached each window's procedure, in the order taken.
  std::vector<std::pair<HWND, UINT>> dispatched;
  for (const Seen& s : TakeSeen()) dispatched.emplace_back(s.hwnd, s.message);
  EXPECT_EQ(dispatched, (std::vector<std::pair<HWND, UINT>>{
                            {b, WM_USER + 12}, {b, WM_USER + 15}, {a, WM_USER + 11}, {a, WM_USER + 14}}));
  EXPECT_TRUE(ce::DestroyWindow(a));
  EXPECT_TRUE(ce::DestroyWindow(b));
}

TEST_F(WindowTest, ADestroyedWindowsWaitingMessagesAreDropped) {
  const HWND hwnd = Make(u"doomed");
  ASSERT_NE(hwnd, nullptr);
  for (UINT m = WM_USER; m < WM_USER + 3; ++m) ASSERT_TRUE(ce::PostMessageW(hwnd, m, 0, 0));
  ASSERT_TRUE(ce::PostThreadMessageW(GetCurrentThreadId(), WM_USER + 9, 0, 0));
  MSG msg;
  ASSERT_TRUE(ce::PeekMessageW(&msg, hwnd, 0, 0, PM_NOREMOVE));  // taken into the queue's list already
  TakeSeen();
  ASSERT_TRUE(ce::DestroyWindow(hwnd));
  const auto seen = TakeSeen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].message, UINT(WM_DESTROY));
  // The thread message stays; the window's are gone.
  ASSERT_TRUE(ce::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, UINT(WM_USER + 9));
  EXPECT_FALSE(ce::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  const struct {
    const char* what;
    std::function<bool()> failed;
  } rows[] = {
      {"post", [&] { return !ce::PostMessageW(hwnd, WM_USER, 0, 0); }},
      {"send", [&] { return ce::SendMessageW(hwnd, kDouble, 1, 0) == 0; }},
      {"destroy again", [&] { return !ce::DestroyWindow(hwnd); }},
      {"peek at it", [&] { return !ce::PeekMessageW(&msg, hwnd, 0, 0, PM_REMOVE); }},
      {"show it", [&] { return !ce::ShowWindow(hwnd, SW_SHOW); }},
  };
  for (const auto& row : rows) {
    SetLastError(kSentinel);
    EXPECT_TRUE(row.failed()) << row.what;
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE)) << row.what;
  }
  EXPECT_FALSE(ce::IsWindow(hwnd));
}

// A thread that makes a window and runs the usual loop until WM_QUIT.
class WindowThread {
 public:
  explicit WindowThread(WindowTest* test, LPCWSTR title) {
    thread_ = std::thread([this, test, title] {
      hwnd_ = test->Make(title);
      ce::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, kQuitOnDestroy);
      thread_id_ = GetCurrentThreadId();
      ready_ = true;
      MSG msg;
      BOOL got;
      while ((got = ce::GetMessageW(&msg, nullptr, 0, 0)) > 0) {
        ce::TranslateMessage(&msg);
        ce::DispatchMessageW(&msg);
      }
      exit_code_ = got == 0 ? int(msg.wParam) : -1;
    });
    while (!ready_) std::this_thread::yield();
  }
  ~WindowThread() {
    if (thread_.joinable()) thread_.join();
  }
  HWND hwnd() const { return hwnd_; }
  DWORD id() const { return thread_id_; }
  int Join() {
    thread_.join();
    return exit_code_;
  }

 private:
  std::thread thread_;
  std::atomic<bool> ready_{false};
  HWND hwnd_ = nullptr;
  DWORD thread_id_ = 0;
  int exit_code_ = -2;
};

TEST_F(WindowTest, ALoopOnAnotherThreadTranslatesDispatchesAndClosesOnWmClose) {
  WindowThread other(this, u"keyboard");
  ASSERT_NE(other.hwnd(), nullptr);
  EXPECT_EQ(ce::GetWindowThreadProcessId(other.hwnd(), nullptr), other.id());
  ASSERT_TRUE(ce::PostMessageW(other.hwnd(), WM_KEYDOWN, 'Q', 0));
  ASSERT_TRUE(ce::PostMessageW(other.hwnd(), WM_KEYDOWN, 0x70 /* F1: types nothing */, 0));
  // The typed character is posted behind what already waits: close only after it.
  std::vector<std::pair<UINT, WPARAM>> got;
  auto collect = [&] {
    for (const Seen& s : TakeSeen()) {
      if (s.message == WM_CREATE) continue;
      EXPECT_EQ(s.thread, other.id());
      got.emplace_back(s.message, s.wParam);
    }
  };
  for (int i = 0;
       i < 10000 && std::find(got.begin(), got.end(), std::pair<UINT, WPARAM>(WM_CHAR, 'q')) == got.end();
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    collect();
  }
  ASSERT_TRUE(ce::PostMessageW(other.hwnd(), WM_CLOSE, 0, 0));
  EXPECT_EQ(other.Join(), int(kQuitOnDestroy));
  collect();
  // The character comes after its key; the loop may take it before the
  // second key was posted.
  const std::vector<std::pair<UINT, WPARAM>> keyFirst{
      {WM_KEYDOWN, 'Q'}, {WM_KEYDOWN, 0x70}, {WM_CHAR, 'q'}, {WM_CLOSE, 0}, {WM_DESTROY, 0}};
  const std::vector<std::pair<UINT, WPARAM>> charFirst{
      {WM_KEYDOWN, 'Q'}, {WM_CHAR, 'q'}, {WM_KEYDOWN, 0x70}, {WM_CLOSE, 0}, {WM_DESTROY, 0}};
  EXPECT_TRUE(got == keyFirst || got == charFirst) << testing::PrintToString(got);
  EXPECT_FALSE(ce::IsWindow(other.hwnd()));
}

TEST_F(WindowTest, SendRunsOnTheOwnersThreadAndServesTheSenderMeanwhile) {
  WindowThread other(this, u"sent to");
  ASSERT_NE(other.hwnd(), nullptr);
  // The caller's own window, which the other thread sends to while the caller waits.
  const HWND mine = Make(u"mine");
  ASSERT_NE(mine, nullptr);
  TakeSeen();
  EXPECT_EQ(ce::SendMessageW(other.hwnd(), kDouble, 21, 0), 42);
  EXPECT_EQ(ce::SendMessageW(mine, kDouble, 5, 0), 10);  // on this thread: a direct call
  // The other thread's procedure sends back here while this thread waits for it.
  EXPECT_EQ(ce::SendMessageW(other.hwnd(), kBounce, 7, reinterpret_cast<LPARAM>(mine)), 15);
  std::vector<std::pair<HWND, DWORD>> ran;
  for (const Seen& s : TakeSeen()) ran.emplace_back(s.hwnd, s.thread);
  EXPECT_EQ(ran, (std::vector<std::pair<HWND, DWORD>>{{other.hwnd(), other.id()},
                                                      {mine, GetCurrentThreadId()},
                                                      {other.hwnd(), other.id()},
                                                      {mine, GetCurrentThreadId()}}));
  ASSERT_TRUE(ce::PostMessageW(other.hwnd(), WM_CLOSE, 0, 0));
  EXPECT_EQ(other.Join(), int(kQuitOnDestroy));
  // The owner's thread is gone, and its windows with it: a send fails at once.
  SetLastError(kSentinel);
  EXPECT_EQ(ce::SendMessageW(other.hwnd(), kDouble, 1, 0), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_TRUE(ce::DestroyWindow(mine));
}

TEST_F(WindowTest, AThreadsWindowsEndWithIt) {
  WindowThread other(this, u"left behind");
  const HWND hwnd = other.hwnd();
  ASSERT_NE(hwnd, nullptr);
  ASSERT_EQ(ce::FindWindowW(className_.c_str(), u"left behind"), hwnd);
  // WM_QUIT ends its loop without destroying the window: the thread's end does.
  ASSERT_TRUE(ce::PostThreadMessageW(other.id(), WM_QUIT, 3, 0));
  EXPECT_EQ(other.Join(), 3);
  EXPECT_FALSE(ce::IsWindow(hwnd));
  EXPECT_EQ(ce::FindWindowW(className_.c_str(), nullptr), nullptr);
  SetLastError(kSentinel);
  EXPECT_FALSE(ce::PostMessageW(hwnd, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(ThreadMessages, AThreadWithoutAQueueYetCannotBePostedTo) {
  std::atomic<DWORD> id{0};
  std::atomic<int> step{0};
  std::atomic<UINT> got{0};
  std::thread t([&] {
    id = GetCurrentThreadId();
    while (step != 1) std::this_thread::yield();
    MSG msg;
    ce::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // now it has one
    step = 2;
    if (ce::GetMessageW(&msg, nullptr, 0, 0) > 0) got = msg.message;
  });
  while (id == 0) std::this_thread::yield();
  SetLastError(kSentinel);
  EXPECT_FALSE(ce::PostThreadMessageW(id, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_THREAD_ID));
  step = 1;
  while (step != 2) std::this_thread::yield();
  EXPECT_TRUE(ce::PostThreadMessageW(id, WM_USER + 3, 0, 0));
  t.join();
  EXPECT_EQ(got.load(), UINT(WM_USER + 3));
}

}  // namespace
}  // namespace ce
