// Worker threads: the start handshake, self-deletion, the bounded stop, and
// the queue thread's stop request.
#include "core/thread.h"

#include <gtest/gtest.h>

#include <atomic>

#include "ce/handle.h"
#include "ce/sync.h"
#include "core/queue_thread.h"
#include "test_terminal.h"

namespace {

using qel::CQelThread;

class Counting : public CQelThread {
 public:
  Counting(std::atomic<int>* runs, std::atomic<bool>* destroyed, ce::HANDLE go, bool selfDelete)
      : CQelThread(nullptr, selfDelete), runs_(runs), destroyed_(destroyed), go_(go) {}
  ~Counting() override {
    if (destroyed_) *destroyed_ = true;
  }
  ce::DWORD Run() override {
    ++*runs_;
    if (go_) ce::WaitForSingleObject(go_, INFINITE);
    ++*runs_;
    return 3;
  }

 private:
  std::atomic<int>* runs_;
  std::atomic<bool>* destroyed_;
  ce::HANDLE go_;
};

TEST(CQelThread, StartsOnceAndWaitsForItsThread) {
  qeltest::TestTerminal terminal;
  ce::UniqueHandle go(ce::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<int> runs{0};
  Counting t(&runs, nullptr, go.get(), false);
  EXPECT_EQ(t.GetThreadId(), 0xFFFFFFFFu);
  EXPECT_TRUE(t.Wait(0));  // no thread yet
  ASSERT_TRUE(t.Start());
  EXPECT_FALSE(t.Start());  // no second thread
  EXPECT_NE(t.GetThreadId(), 0xFFFFFFFFu);
  EXPECT_FALSE(t.IsCurrentThread());
  EXPECT_FALSE(t.Wait(20));  // still running
  ce::SetEvent(go.get());
  EXPECT_TRUE(t.Wait(5000));
  EXPECT_EQ(runs.load(), 2);
  EXPECT_STREQ(t.name(), "CQelThread");
  EXPECT_TRUE(t.Close());
  EXPECT_EQ(t.GetThreadId(), 0xFFFFFFFFu);
}

TEST(CQelThread, SelfDeletingThreadEndsItsObject) {
  qeltest::TestTerminal terminal;
  std::atomic<int> runs{0};
  std::atomic<bool> destroyed{false};
  auto* t = new Counting(&runs, &destroyed, nullptr, true);
  ASSERT_TRUE(t->Start());  // the object may be gone once this returns
  for (int i = 0; i < 500 && !destroyed; ++i) ce::Sleep(10);
  EXPECT_TRUE(destroyed.load());
  EXPECT_EQ(runs.load(), 2);
}

TEST(CQelThread, DestructorEndsAThreadThatDoesNotStop) {
#if defined(__SANITIZE_THREAD__)
  // A thread ended from outside is cancelled where it waits; the thread
  // sanitizer does not follow what cancellation orders, and reports the
  // unwinding thread's frees as races.
  GTEST_SKIP() << "thread cancellation is not modelled by ThreadSanitizer";
#endif
  qeltest::TestTerminal terminal;
  ce::UniqueHandle never(ce::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<int> runs{0};
  {
    Counting t(&runs, nullptr, never.get(), false);
    ASSERT_TRUE(t.Start());
    // Run is called just after the handshake; the object must not go before.
    while (runs == 0) ce::Sleep(1);
  }  // waits a second, then ends the thread where it waits
  ce::SetEvent(never.get());
  ce::Sleep(50);
  EXPECT_EQ(runs.load(), 1);  // ended inside its wait: Run never went on
}

class Request : public qel::CQelQueueRequest {
 public:
  Request(uint32_t type, std::atomic<int>* alive) : CQelQueueRequest(type), alive_(alive) { ++*alive_; }
  ~Request() override { --*alive_; }

 private:
  std::atomic<int>* alive_;
};

class Server final : public qel::CQelQueueThread {
 public:
  ce::DWORD Run() override {
    qel::CQelQueueRequest* r = nullptr;
    while (Get(&r)) {
      served.push_back(r->type());
      delete r;
    }
    stoppedWithNull = r == nullptr;
    return 0;
  }
  std::vector<uint32_t> served;
  bool stoppedWithNull = false;
};

TEST(CQelQueueThread, AStopRequestEndsServingWithRequestsBehindIt) {
  qeltest::TestTerminal terminal;
  std::atomic<int> alive{0};
  {
    Server server;
    for (uint32_t type : {1u, 2u, 0u, 3u, 4u}) server.Put(new Request(type, &alive));
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(server.Wait(5000));
    EXPECT_EQ(server.served, (std::vector<uint32_t>{1, 2}));
    EXPECT_TRUE(server.stoppedWithNull);
    EXPECT_EQ(server.count(), 2u);  // 3 and 4 stay queued
    EXPECT_EQ(alive.load(), 2);
  }
  EXPECT_EQ(alive.load(), 0);  // the queue frees what it still holds
}

}  // namespace
