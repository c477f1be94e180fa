#include "ce/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "ce/error.h"
#include "conformance.h"

namespace ce {
namespace {

using cetest::kSentinel;

TEST(Events, ManualStaysSignalledAutoIsConsumed) {
  const struct {
    const char* name;
    BOOL manual;
    DWORD secondWait;  // what a second wait after one successful wait gives
  } cases[] = {{"manual", TRUE, WAIT_OBJECT_0}, {"auto", FALSE, WAIT_TIMEOUT}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(kSentinel);
    UniqueHandle e(CreateEventW(nullptr, c.manual, FALSE, nullptr));
    ASSERT_TRUE(e.valid());
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);  // creation always says whether the object existed
    EXPECT_EQ(WaitForSingleObject(e.get(), 0), WAIT_TIMEOUT);
    ASSERT_TRUE(SetEvent(e.get()));
    ASSERT_TRUE(SetEvent(e.get()));  // setting twice is still one signal
    EXPECT_EQ(WaitForSingleObject(e.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e.get(), 0), c.secondWait);
    ASSERT_TRUE(ResetEvent(e.get()));
    EXPECT_EQ(WaitForSingleObject(e.get(), 0), WAIT_TIMEOUT);
  }
  UniqueHandle initiallySet(CreateEventW(nullptr, TRUE, TRUE, nullptr));
  EXPECT_EQ(WaitForSingleObject(initiallySet.get(), 0), WAIT_OBJECT_0);
}

TEST(Waits, LowestSignalledIndexWins) {
  std::vector<UniqueHandle> events;
  std::vector<HANDLE> raw;
  for (int i = 0; i < 4; ++i) {
    events.emplace_back(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    raw.push_back(events.back().get());
  }
  SetEvent(raw[3]);
  SetEvent(raw[1]);
  EXPECT_EQ(WaitForMultipleObjects(4, raw.data(), FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(4, raw.data(), FALSE, 0), WAIT_OBJECT_0 + 3);
  EXPECT_EQ(WaitForMultipleObjects(4, raw.data(), FALSE, 0), WAIT_TIMEOUT);
  SetEvent(raw[0]);
  SetEvent(raw[2]);
  EXPECT_EQ(WaitForMultipleObjects(2, raw.data() + 2, FALSE, 0), WAIT_OBJECT_0);  // index within the set
}

TEST(Waits, WaitAllIsRefusedAsOnTheDevice) {
  UniqueHandle a(CreateEventW(nullptr, TRUE, TRUE, nullptr)), b(CreateEventW(nullptr, TRUE, TRUE, nullptr));
  HANDLE both[] = {a.get(), b.get()};
  SetLastError(kSentinel);
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Waits, AutoResetWakesExactlyOneOfManyWaiters) {
  UniqueHandle e(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  std::atomic<int> woken{0}, ready{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 6; ++i)
    waiters.emplace_back([&] {
      ++ready;
      if (WaitForSingleObject(e.get(), 300) == WAIT_OBJECT_0) ++woken;
    });
  while (ready < 6) std::this_thread::yield();
  SetEvent(e.get());
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 1);
}

TEST(Waits, BadArgumentsFail) {
  UniqueHandle e(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  HANDLE stale = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_TRUE(CloseHandle(stale));
  HANDLE one[] = {e.get()};
  std::vector<HANDLE> tooMany(MAXIMUM_WAIT_OBJECTS + 1, e.get());
  const struct {
    const char* what;
    std::function<bool()> failed;
    DWORD error;
  } rows[] = {
      {"close twice", [&] { return !CloseHandle(stale); }, ERROR_INVALID_HANDLE},
      {"wait on closed", [&] { return WaitForSingleObject(stale, 0) == WAIT_FAILED; }, ERROR_INVALID_HANDLE},
      {"set closed", [&] { return !SetEvent(stale); }, ERROR_INVALID_HANDLE},
      {"reset closed", [&] { return !ResetEvent(stale); }, ERROR_INVALID_HANDLE},
      {"no handles", [&] { return WaitForMultipleObjects(0, one, FALSE, 0) == WAIT_FAILED; },
       ERROR_INVALID_PARAMETER},
      {"too many",
       [&] { return WaitForMultipleObjects(DWORD(tooMany.size()), tooMany.data(), FALSE, 0) == WAIT_FAILED; },
       ERROR_INVALID_PARAMETER},
  };
  for (const auto& row : rows) {
    SetLastError(kSentinel);
    EXPECT_TRUE(row.failed()) << row.what;
    EXPECT_EQ(GetLastError(), row.error) << row.what;
  }
}

// Names compare with case, on the device as on a desktop.
TEST(NamedEvents, OneEventPerNameWithItsCaseUntilItsLastHandle) {
  SetLastError(kSentinel);
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Qel Test Event"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  {
    SetLastError(kSentinel);
    UniqueHandle first(CreateEventW(nullptr, TRUE, FALSE, u"Qel Test Event"));
    ASSERT_TRUE(first.valid());
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    SetLastError(kSentinel);
    UniqueHandle second(CreateEventW(nullptr, TRUE, FALSE, u"Qel Test Event"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    SetLastError(kSentinel);
    UniqueHandle otherCase(CreateEventW(nullptr, TRUE, FALSE, u"QEL TEST EVENT"));
    ASSERT_TRUE(otherCase.valid());
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS) << "another name";
    SetLastError(kSentinel);
    EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"qel test event"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    UniqueHandle opened(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Qel Test Event"));
    ASSERT_TRUE(opened.valid());
    SetEvent(second.get());
    EXPECT_EQ(WaitForSingleObject(first.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(opened.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(otherCase.get(), 0), WAIT_TIMEOUT);
  }
  SetLastError(kSentinel);
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Qel Test Event"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  SetLastError(kSentinel);
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Mutexes, OwnedRecursivelyByOneThreadAndReleasedAsOftenAsTaken) {
  for (const char16_t* name : {static_cast<const char16_t*>(nullptr), u"Qel Test Mutex"}) {
    SCOPED_TRACE(name ? "named" : "unnamed");
    UniqueHandle m(CreateMutexW(nullptr, TRUE, name));
    ASSERT_TRUE(m.valid());
    EXPECT_EQ(WaitForSingleObject(m.get(), 0), WAIT_OBJECT_0);  // owned twice now
    std::atomic<DWORD> otherWait{0}, otherRelease{TRUE}, otherError{0};
    auto tryFromAnotherThread = [&] {
      std::thread([&] {
        SetLastError(kSentinel);
        otherRelease = ReleaseMutex(m.get());
        otherError = GetLastError();
        otherWait = WaitForSingleObject(m.get(), 0);
        if (otherWait == WAIT_OBJECT_0) ReleaseMutex(m.get());
      }).join();
    };
    tryFromAnotherThread();
    EXPECT_FALSE(otherRelease.load());
    EXPECT_EQ(otherError.load(), ERROR_NOT_OWNER);
    EXPECT_EQ(otherWait.load(), WAIT_TIMEOUT);
    ASSERT_TRUE(ReleaseMutex(m.get()));
    tryFromAnotherThread();
    EXPECT_EQ(otherWait.load(), WAIT_TIMEOUT) << "still held once";
    ASSERT_TRUE(ReleaseMutex(m.get()));
    tryFromAnotherThread();
    EXPECT_EQ(otherWait.load(), WAIT_OBJECT_0) << "free after the last release";
    SetLastError(kSentinel);
    EXPECT_FALSE(ReleaseMutex(m.get()));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
  }
}

TEST(Mutexes, AThreadEndingWhileItOwnsOneAbandonsIt) {
  const struct {
    const char* what;
    const char16_t* name;
    bool madeOwned;
    int takes;
    bool closedFirst;
  } rows[] = {
      {"unnamed, taken by a wait", nullptr, false, 1, false},
      {"named, taken twice", u"Qel Abandoned Twice", false, 2, false},
      {"named, made owned", u"Qel Abandoned Made Owned", true, 0, false},
      {"its handle closed before the thread ends", u"Qel Abandoned Closed", false, 1, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    UniqueHandle unnamed(row.name ? nullptr : CreateMutexW(nullptr, FALSE, nullptr));
    // Events rather than std::latch: the Windows build's C++ library can miss
    // a latch's wake-up and wait for ever.
    UniqueHandle owned(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        ending(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> tookAll{true};
    std::thread ender([&] {
      HANDLE h = row.name ? CreateMutexW(nullptr, row.madeOwned, row.name) : unnamed.get();
      for (int i = 0; i < row.takes; ++i) tookAll = tookAll && WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
      SetEvent(owned.get());
      WaitForSingleObject(ending.get(), INFINITE);
      if (row.name) CloseHandle(h);
    });
    EXPECT_EQ(WaitForSingleObject(owned.get(), 10000), WAIT_OBJECT_0);
    UniqueHandle mine(row.name ? CreateMutexW(nullptr, FALSE, row.name) : nullptr);
    const HANDLE m = row.name ? mine.get() : unnamed.get();
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(tookAll.load());
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_TIMEOUT) << "owned by the other thread";
    SetEvent(ending.get());
    ender.join();
    EXPECT_EQ(WaitForSingleObject(m, 5000), WAIT_ABANDONED_0);
    EXPECT_TRUE(ReleaseMutex(m)) << "the abandoned mutex is owned by the thread that learnt so";
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0) << "abandoned once, not again";
    EXPECT_TRUE(ReleaseMutex(m));
  }
}

TEST(Semaphores, CountsWithinTheirMaximum) {
  UniqueHandle s(CreateSemaphoreW(nullptr, 1, 3, nullptr));
  ASSERT_TRUE(s.valid());
  const struct {
    LONG release;
    BOOL ok;
    LONG previous;  // when ok
    DWORD error;    // when not
  } steps[] = {
      {2, TRUE, 1, 0},
      {1, FALSE, 0, ERROR_TOO_MANY_POSTS},
      {0, FALSE, 0, ERROR_INVALID_PARAMETER},
      {-1, FALSE, 0, ERROR_INVALID_PARAMETER},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.release);
    LONG previous = -7;
    SetLastError(kSentinel);
    EXPECT_EQ(ReleaseSemaphore(s.get(), step.release, &previous), step.ok);
    if (step.ok)
      EXPECT_EQ(previous, step.previous);
    else
      EXPECT_EQ(GetLastError(), step.error);
  }
  for (int i = 0; i < 3; ++i) EXPECT_EQ(WaitForSingleObject(s.get(), 0), WAIT_OBJECT_0) << i;
  EXPECT_EQ(WaitForSingleObject(s.get(), 0), WAIT_TIMEOUT);
  LONG previous = -7;
  EXPECT_TRUE(ReleaseSemaphore(s.get(), 3, &previous));
  EXPECT_EQ(previous, 0);

  const struct { LONG initial, maximum; } bad[] = {{0, 0}, {-1, 2}, {3, 2}, {0, -5}};
  for (const auto& b : bad) {
    SetLastError(kSentinel);
    EXPECT_EQ(CreateSemaphoreW(nullptr, b.initial, b.maximum, nullptr), nullptr)
        << b.initial << "/" << b.maximum;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
}

TEST(NamedObjects, OneNamespaceForEveryKind) {
  const std::u16string name = cetest::UniqueName();
  UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  ASSERT_TRUE(event.valid());
  const struct {
    const char* what;
    std::function<HANDLE()> call;
    DWORD error;
  } rows[] = {
      {"a mutex of an event's name", [&] { return CreateMutexW(nullptr, FALSE, name.c_str()); },
       ERROR_INVALID_HANDLE},
      {"a semaphore of an event's name", [&] { return CreateSemaphoreW(nullptr, 0, 1, name.c_str()); },
       ERROR_INVALID_HANDLE},
      {"opening an event as a semaphore", [&] { return OpenSemaphoreW(SYNCHRONIZE, FALSE, name.c_str()); },
       ERROR_INVALID_HANDLE},
      {"a missing semaphore", [&] { return OpenSemaphoreW(SYNCHRONIZE, FALSE, u"Qel No Such Semaphore"); },
       ERROR_FILE_NOT_FOUND},
      {"a name longer than MAX_PATH",
       [&] { return CreateEventW(nullptr, FALSE, FALSE, std::u16string(300, u'n').c_str()); },
       ERROR_FILENAME_EXCED_RANGE},
  };
  for (const auto& row : rows) {
    SetLastError(kSentinel);
    EXPECT_EQ(row.call(), nullptr) << row.what;
    EXPECT_EQ(GetLastError(), row.error) << row.what;
  }
  // A semaphore opened by name is the one made under it, whatever counts the opener passes.
  UniqueHandle made(CreateSemaphoreW(nullptr, 0, 2, u"Qel Test Semaphore"));
  SetLastError(kSentinel);
  UniqueHandle again(CreateSemaphoreW(nullptr, 2, 9, u"Qel Test Semaphore"));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  UniqueHandle opened(OpenSemaphoreW(SYNCHRONIZE, FALSE, u"Qel Test Semaphore"));
  ASSERT_TRUE(opened.valid());
  EXPECT_EQ(WaitForSingleObject(again.get(), 0), WAIT_TIMEOUT);
  LONG previous = -1;
  EXPECT_TRUE(ReleaseSemaphore(opened.get(), 2, &previous));
  EXPECT_EQ(previous, 0);
  SetLastError(kSentinel);
  EXPECT_FALSE(ReleaseSemaphore(made.get(), 1, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
}

// The power manager of the terminal listens for this event: it exists before
// anyone here makes it, so a create opens it.
TEST(Events, ThePowerManagersReloadEventExists) {
  SetLastError(cetest::kSentinel);
  const UniqueHandle reload(CreateEventW(nullptr, FALSE, FALSE, u"PowerManager/ReloadActivityTimeouts"));
  ASSERT_TRUE(reload);
  if (cetest::broken(GetLastError() == ERROR_SUCCESS)) GTEST_SKIP() << "a desktop has no such power manager";
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
  const UniqueHandle opened(OpenEventW(0, FALSE, u"PowerManager/ReloadActivityTimeouts"));
  EXPECT_TRUE(opened);
  EXPECT_FALSE(UniqueHandle(OpenEventW(0, FALSE, u"powermanager/reloadactivitytimeouts")))
      << "names keep their case";
}

}  // namespace
}  // namespace ce
