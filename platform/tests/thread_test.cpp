#include "ce/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ce/error.h"
#include "ce/exception.h"
#include "ce/process.h"
#include "ce/sync.h"
#include "conformance.h"

namespace ce {
namespace {

DWORD ReturnParameter(void* p) { return DWORD(reinterpret_cast<uintptr_t>(p)); }

DWORD WaitForEvent(void* p) {
  WaitForSingleObject(static_cast<HANDLE>(p), INFINITE);
  return 7;
}

TEST(Threads, HandleIsSignalledWithTheExitCodeWhenTheThreadEnds) {
  UniqueHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  DWORD id = 0;
  SetLastError(0xDEADBEEF);
  UniqueHandle t(CreateThread(nullptr, 0, WaitForEvent, go.get(), 0, &id));
  ASSERT_TRUE(t.valid());
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, GetCurrentThreadId());
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(t.get(), &code));
  EXPECT_EQ(code, DWORD(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(t.get(), 0), DWORD(WAIT_TIMEOUT));
  SetEvent(go.get());
  EXPECT_EQ(WaitForSingleObject(t.get(), 5000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(t.get(), 0), WAIT_OBJECT_0);  // stays signalled
  ASSERT_TRUE(GetExitCodeThread(t.get(), &code));
  EXPECT_EQ(code, 7u);
}

TEST(Threads, IdsAreDistinctAndStable) {
  std::atomic<DWORD> seen[2] = {};
  const DWORD mine = GetCurrentThreadId();
  EXPECT_EQ(GetCurrentThreadId(), mine);
  std::thread a([&] { seen[0] = GetCurrentThreadId(); }), b([&] { seen[1] = GetCurrentThreadId(); });
  a.join();
  b.join();
  EXPECT_NE(seen[0].load(), seen[1].load());
  EXPECT_NE(seen[0].load(), mine);
}

TEST(Threads, BadArgumentsAreRefused) {
  const struct {
    const char* what;
    LPTHREAD_START_ROUTINE start;
    DWORD flags;
  } cases[] = {{"no routine", nullptr, 0}, {"suspended", ReturnParameter, CREATE_SUSPENDED}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CreateThread(nullptr, 0, c.start, nullptr, c.flags, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  }
  UniqueHandle e(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  DWORD code = 0;
  SetLastError(0xDEADBEEF);
  EXPECT_FALSE(GetExitCodeThread(e.get(), &code));  // an event is no thread
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST(Threads, TerminateEndsAWaitingThread) {
#if defined(__SANITIZE_THREAD__)
  // A thread ended from outside is cancelled where it waits; the thread
  // sanitizer does not follow what cancellation orders, and reports the
  // unwinding thread's frees as races.
  GTEST_SKIP() << "thread cancellation is not modelled by ThreadSanitizer";
#endif
  UniqueHandle never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueHandle t(CreateThread(nullptr, 0, WaitForEvent, never.get(), 0, nullptr));
  ASSERT_TRUE(t.valid());
  EXPECT_TRUE(TerminateThread(t.get(), 0xFFFFFFFF));
  EXPECT_EQ(WaitForSingleObject(t.get(), 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(t.get(), &code));
  EXPECT_EQ(code, 0xFFFFFFFFu);
}

TEST(Waits, ServeEveryKindAndTheLowestIndexFirst) {
  // 64 handles: threads that end, and events, the ready ones high up.
  std::vector<UniqueHandle> owned;
  std::vector<HANDLE> handles;
  for (int i = 0; i < MAXIMUM_WAIT_OBJECTS - 2; ++i) {
    owned.emplace_back(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    handles.push_back(owned.back().get());
  }
  owned.emplace_back(CreateThread(nullptr, 0, ReturnParameter, nullptr, 0, nullptr));
  handles.push_back(owned.back().get());
  owned.emplace_back(CreateEventW(nullptr, FALSE, TRUE, nullptr));
  handles.push_back(owned.back().get());
  ASSERT_EQ(handles.size(), size_t(MAXIMUM_WAIT_OBJECTS));
  ASSERT_EQ(WaitForSingleObject(handles[62], 5000), WAIT_OBJECT_0);  // the thread has ended
  EXPECT_EQ(WaitForMultipleObjects(64, handles.data(), FALSE, 0), WAIT_OBJECT_0 + 62);
  EXPECT_EQ(WaitForMultipleObjects(64, handles.data(), FALSE, 0),
            WAIT_OBJECT_0 + 62);  // threads stay signalled
  SetEvent(handles[5]);
  EXPECT_EQ(WaitForMultipleObjects(64, handles.data(), FALSE, 0), WAIT_OBJECT_0 + 5);
  SetLastError(0xDEADBEEF);
  EXPECT_EQ(WaitForMultipleObjects(65, handles.data(), FALSE, 0), DWORD(WAIT_FAILED));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(CriticalSections, ExcludeOtherThreadsAndNest) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);  // the owner enters again
  std::atomic<bool> entered{false};
  std::thread other([&] {
    EnterCriticalSection(&cs);
    entered = true;
    LeaveCriticalSection(&cs);
  });
  LeaveCriticalSection(&cs);
  Sleep(20);
  EXPECT_FALSE(entered.load());  // still held once
  LeaveCriticalSection(&cs);
  other.join();
  EXPECT_TRUE(entered.load());
  DeleteCriticalSection(&cs);
}

volatile int* g_nowhere = nullptr;
volatile int g_zero = 0;

// Crashes on purpose: the sanitizers must let the fault itself happen.
__attribute__((no_sanitize("undefined"))) DWORD Crash(void* kind) {
  switch (reinterpret_cast<uintptr_t>(kind)) {
    case 0:
      return DWORD(*g_nowhere);
    case 1:
      return DWORD(10 / g_zero);
    case 2:
      __builtin_trap();
  }
  return 5;
}

DWORD Handler(DWORD code, void*) { return code; }

DWORD Nested(void*) {
  // The inner guard takes the crash; the outer routine goes on.
  const DWORD inner = GuardedCall(Crash, nullptr, Handler);
  return inner == EXCEPTION_ACCESS_VIOLATION ? 42 : 0;
}

TEST(GuardedCall, TurnsACrashIntoItsExceptionCode) {
  const struct {
    const char* what;
    uintptr_t kind;
    DWORD expected;
  } cases[] = {
      {"access violation", 0, EXCEPTION_ACCESS_VIOLATION},
      {"division by zero", 1, EXCEPTION_INT_DIVIDE_BY_ZERO},
      {"illegal instruction", 2, EXCEPTION_ILLEGAL_INSTRUCTION},
      {"no crash", 3, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(GuardedCall(Crash, reinterpret_cast<void*>(c.kind), Handler), c.expected);
    // On another thread too, where the guard needs a signal stack of its own.
    std::atomic<DWORD> there{0};
    std::thread([&] { there = GuardedCall(Crash, reinterpret_cast<void*>(c.kind), Handler); }).join();
    EXPECT_EQ(there.load(), c.expected);
  }
  EXPECT_EQ(GuardedCall(Nested, nullptr, Handler), 42u);
  EXPECT_EQ(GuardedCall(Crash, nullptr, Handler),
            DWORD(EXCEPTION_ACCESS_VIOLATION));  // the guard is re-armed
}

DWORD Throw(void*) { throw std::runtime_error("out of the routine"); }

// A C++ exception is no crash: it leaves through the guard, which ends with it.
TEST(GuardedCall, LetsACppExceptionThrough) {
  EXPECT_THROW(GuardedCall(Throw, nullptr, Handler), std::runtime_error);
  EXPECT_EQ(GuardedCall(Crash, reinterpret_cast<void*>(3), Handler), 5u);
  EXPECT_EQ(GuardedCall(Crash, nullptr, Handler), DWORD(EXCEPTION_ACCESS_VIOLATION));
}

TEST(GuardedCall, RefusesANullRoutine) {
  SetLastError(cetest::kSentinel);
  EXPECT_EQ(GuardedCall(nullptr, nullptr, Handler), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(Processes, ANullPathOrRecordIsRefused) {
  PROCESS_INFORMATION info{};
  const struct {
    const char* what;
    const char16_t* path;
    PROCESS_INFORMATION* info;
  } cases[] = {
      {"no path", nullptr, &info},
      {"no record", u"\\Windows\\no-such-program.exe", nullptr},
      {"neither", nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetLastError(cetest::kSentinel);
    EXPECT_FALSE(
        CreateProcessW(c.path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, c.info));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  }
  EXPECT_EQ(info.hProcess, nullptr);
}

volatile bool g_deeper = true;

// A page a frame, without end: past any thread's stack in a few hundred calls.
DWORD Overflow(void* depth) {
  volatile char page[4096];
  page[0] = char(reinterpret_cast<uintptr_t>(depth));
  const DWORD below = g_deeper ? Overflow(static_cast<char*>(depth) + 1) : 0;
  return below + DWORD(page[0]);
}

// Each overflow uses up the stack's guard; the next must find it again.
TEST(GuardedCall, CatchesAStackOverflowEveryTime) {
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    EXPECT_EQ(GuardedCall(Overflow, nullptr, Handler), DWORD(EXCEPTION_STACK_OVERFLOW));
    std::atomic<DWORD> there{0};
    std::thread([&] {
      there = GuardedCall(Overflow, nullptr, Handler);
      if (there == EXCEPTION_STACK_OVERFLOW) there = GuardedCall(Overflow, nullptr, Handler);
    }).join();
    EXPECT_EQ(there.load(), DWORD(EXCEPTION_STACK_OVERFLOW));
  }
  // And the stack is whole again for an ordinary crash.
  EXPECT_EQ(GuardedCall(Crash, nullptr, Handler), DWORD(EXCEPTION_ACCESS_VIOLATION));
}

}  // namespace
}  // namespace ce
