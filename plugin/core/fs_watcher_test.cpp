// The "FS" notifier: watches on terminal folders, served by the HAL event
// handler's thread.
#include "core/fs_watcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/sync.h"
#include "event_source.h"
#include "qelcommon/ref.h"
#include "test_terminal.h"

namespace {

using qel::CQelFsWatcher;
using qel::CQelHalEventHandler;
using qel::Ref;

bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 500; ++i) {
    if (done()) return true;
    ce::Sleep(10);
  }
  return done();
}

class Callback final : public IQelNotifyCallback {
 public:
  explicit Callback(bool dealtWith) : dealtWith_(dealtWith) {}
  bool OnChange(IQelText* name, int32_t a, int32_t b) override {
    std::lock_guard lock(mu_);
    names_.emplace_back(name->Chars(), name->Length());
    zeros_ = zeros_ && a == 0 && b == 0;
    return dealtWith_;
  }
  std::vector<std::u16string> names() {
    std::lock_guard lock(mu_);
    return names_;
  }
  bool zeros() {
    std::lock_guard lock(mu_);
    return zeros_;
  }

 private:
  bool dealtWith_;
  std::mutex mu_;
  std::vector<std::u16string> names_;
  bool zeros_ = true;
};

class FsWatcher : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* d : {"fs/Data", "fs/Data/Sub", "fs/Other"})
      std::filesystem::create_directories(terminal.dir() / d);
  }
  void TearDown() override { Quiet(); }
  // No callback runs once this returns; a test's own callbacks die before TearDown.
  void Quiet() {
    watcher.reset();
    handler->Stop();
  }
  struct QuietAtEnd {
    FsWatcher* test;
    ~QuietAtEnd() { test->Quiet(); }
  };
  ce::DWORD MakeFolder(const char16_t* path) {
    return ce::CreateDirectoryW(path, nullptr) ? 0 : ce::GetLastError();
  }

  qeltest::TestTerminal terminal;
  Ref<CQelHalEventHandler> handler = Ref<CQelHalEventHandler>::Adopt(new CQelHalEventHandler);
  Ref<CQelFsWatcher> watcher = Ref<CQelFsWatcher>::Adopt(new CQelFsWatcher(handler.get(), nullptr));
};

// A failed Watch leaves nothing: no source, and no subscriber (Attach answers
// false only when subscriber 0 has no group at all).
TEST_F(FsWatcher, WatchingAMissingFolderFailsAndLeavesNothing) {
  Callback callback(true);
  const char16_t* missing[] = {u"\\Nowhere\\file.txt", u"\\Data\\Nowhere\\x;extra", u"plain"};
  for (const char16_t* path : missing) {
    EXPECT_FALSE(watcher->Watch(0, u"w", path));
    EXPECT_EQ(handler->SourceCount(), 0u);
    EXPECT_EQ(watcher->WatchCount(0), 0u);
    EXPECT_FALSE(watcher->Attach(u"w", &callback)) << "an empty group of subscriber 0 was left";
  }
  EXPECT_TRUE(watcher->Watch(0, u"w", u"\\Data\\file.txt;ignored"));  // the text after ";" is not a path
  EXPECT_EQ(handler->SourceCount(), 1u);
  // A replacement that fails drops the watch it replaced, and the group it leaves empty.
  EXPECT_FALSE(watcher->Watch(0, u"w", u"\\Nowhere\\"));
  EXPECT_EQ(handler->SourceCount(), 0u);
  EXPECT_FALSE(watcher->Attach(u"w", &callback));
}

// Destroying the watcher leaves the handler's thread as it found it: stopped
// after UnRegister (no module thread may run then), running while the module
// is bound, for the handler's other sources (the wake-up event's).
TEST_F(FsWatcher, DestroyingItLeavesTheHandlersThreadAsItWas) {
  auto other = Ref<qeltest::EventSource>::Adopt(new qeltest::EventSource(0));
  ASSERT_TRUE(handler->AddSource(other.get()));
  for (const bool bound : {false, true}) {
    SCOPED_TRACE(bound ? "bound" : "after UnRegister");
    auto own = Ref<CQelFsWatcher>::Adopt(new CQelFsWatcher(handler.get(), nullptr));
    ASSERT_TRUE(own->Watch(0, u"data", u"\\Data\\"));
    EXPECT_FALSE(own->Watch(1, u"none", u"\\Nowhere\\"));
    if (!bound) handler->Stop();  // as UnRegister does
    own.reset();
    EXPECT_EQ(handler->SourceCount(), 1u) << "its watches are withdrawn";
    EXPECT_EQ(handler->Wait(0), !bound) << "Wait(0) is true when no thread runs";
    if (bound) {
      const int before = other->signaled;
      other->Fire();
      EXPECT_TRUE(Eventually([&] { return other->signaled == before + 1; }));
    }
  }
}

// Unwatch restarts the handler even for a subscriber it does not know: a
// source added since the last restart is waited on from then on.
TEST_F(FsWatcher, UnwatchOfAnUnknownSubscriberRestartsTheHandler) {
  auto added = Ref<qeltest::EventSource>::Adopt(new qeltest::EventSource(0));
  ASSERT_TRUE(handler->AddSource(added.get()));
  watcher->Unwatch(42);
  added->Fire();
  EXPECT_TRUE(Eventually([&] { return added->signaled == 1; }));
}

// With the handler full (its other sources, the wake-up event's among them),
// a further watch is kept and answered true, but never waited on until it is
// watched again with a place free.
TEST_F(FsWatcher, AWatchBeyondTheHandlersCapacityIsKeptButNotWaitedOn) {
  std::vector<Ref<qeltest::EventSource>> others;
  for (size_t i = 1; i < CQelHalEventHandler::kMaxSources; ++i) {
    others.push_back(Ref<qeltest::EventSource>::Adopt(new qeltest::EventSource(int(i))));
    ASSERT_TRUE(handler->AddSource(others.back().get()));
  }
  EXPECT_TRUE(watcher->Watch(0, u"last", u"\\Data\\"));
  EXPECT_TRUE(watcher->Watch(0, u"beyond", u"\\Other\\"));
  EXPECT_EQ(watcher->WatchCount(0), 2u);
  EXPECT_EQ(handler->SourceCount(), CQelHalEventHandler::kMaxSources);
  auto last = Ref<qel::CQelFsWatch>::Adopt(watcher->Find(0, u"FS:last"));
  auto beyond = Ref<qel::CQelFsWatch>::Adopt(watcher->Find(0, u"FS:beyond"));
  ASSERT_TRUE(last && beyond);
  ASSERT_EQ(MakeFolder(u"\\Other\\One"), 0u);
  ASSERT_EQ(MakeFolder(u"\\Data\\One"), 0u);
  ASSERT_TRUE(Eventually([&] { return last->TestAndClearChanged(); }));
  EXPECT_FALSE(beyond->TestAndClearChanged());

  handler->RemoveSource(others[0].get());
  EXPECT_TRUE(watcher->Watch(0, u"beyond", u"\\Other\\"));
  beyond = Ref<qel::CQelFsWatch>::Adopt(watcher->Find(0, u"FS:beyond"));
  ASSERT_EQ(MakeFolder(u"\\Other\\Two"), 0u);
  EXPECT_TRUE(Eventually([&] { return beyond->TestAndClearChanged(); }));
}

// A callback runs on the handler's thread: what it watches, replaces (its own
// watch included) and unwatches there is waited on as soon as it returns, and
// change reporting goes on.
TEST_F(FsWatcher, WatchesChangedFromACallbackAreWaitedOnWhenItReturns) {
  class Rewatch final : public IQelNotifyCallback {
   public:
    explicit Rewatch(CQelFsWatcher* watcher) : watcher_(watcher) {}
    bool OnChange(IQelText*, int32_t, int32_t) override {
      if (calls++ == 0) {
        watcher_->Unwatch(5);
        watcher_->Watch(0, u"other", u"\\Other\\");
        watcher_->Watch(0, u"data", u"\\Data\\Sub\\");  // replaces the watch being served
        done = true;
      }
      return true;
    }
    std::atomic<int> calls{0};
    std::atomic<bool> done{false};

   private:
    CQelFsWatcher* watcher_;
  } rewatch(watcher.get());
  QuietAtEnd quiet{this};
  ASSERT_TRUE(watcher->Watch(5, u"gone", u"\\Other\\"));
  ASSERT_TRUE(watcher->Watch(0, u"data", u"\\Data\\"));
  ASSERT_TRUE(watcher->Attach(u"data", &rewatch));
  ASSERT_EQ(MakeFolder(u"\\Data\\One"), 0u);
  ASSERT_TRUE(Eventually([&] { return rewatch.done.load(); }));
  EXPECT_EQ(watcher->WatchCount(0), 2u);
  EXPECT_EQ(watcher->WatchCount(5), 0u);
  EXPECT_EQ(handler->SourceCount(), 2u);

  auto other = Ref<qel::CQelFsWatch>::Adopt(watcher->Find(0, u"FS:other"));
  auto data = Ref<qel::CQelFsWatch>::Adopt(watcher->Find(0, u"FS:data"));
  ASSERT_TRUE(other && data);
  ASSERT_EQ(MakeFolder(u"\\Other\\Two"), 0u);
  EXPECT_TRUE(Eventually([&] { return other->TestAndClearChanged(); }));
  ASSERT_EQ(MakeFolder(u"\\Data\\Sub\\Three"), 0u);
  EXPECT_TRUE(Eventually([&] { return data->TestAndClearChanged(); }));
  EXPECT_EQ(rewatch.calls, 1) << "the replacing watch has no callback";
}

// A host thread's Watch or Unwatch waits for the handler's thread while a
// callback on that thread may itself be calling Watch: neither may wait on
// the other.
TEST_F(FsWatcher, HostThreadsAndCallbacksWatchAtOnceWithoutDeadlock) {
  class Rewatch final : public IQelNotifyCallback {
   public:
    explicit Rewatch(CQelFsWatcher* watcher) : watcher_(watcher) {}
    bool OnChange(IQelText*, int32_t, int32_t) override {
      ++calls;
      watcher_->Watch(0, u"spare", u"\\Other\\");
      return true;
    }
    std::atomic<int> calls{0};

   private:
    CQelFsWatcher* watcher_;
  } rewatch(watcher.get());
  QuietAtEnd quiet{this};
  ASSERT_TRUE(watcher->Watch(0, u"data", u"\\Data\\"));
  ASSERT_TRUE(watcher->Attach(u"data", &rewatch));

  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop; ++i) {
      std::ofstream(terminal.dir() / "fs/Data/churn.txt") << i;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  std::promise<void> hostDone;
  std::thread host([&] {
    for (int i = 0; i < 200; ++i) {
      watcher->Watch(1, u"a", u"\\Data\\Sub\\");
      watcher->Unwatch(1);
    }
    hostDone.set_value();
  });
  if (hostDone.get_future().wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    ADD_FAILURE() << "Watch on a host thread and on the handler's thread wait on each other";
    std::fflush(nullptr);
    std::_Exit(1);  // the two threads never return
  }
  stop = true;
  host.join();
  writer.join();
  EXPECT_GT(rewatch.calls, 0);
  EXPECT_EQ(watcher->WatchCount(0), 2u);
  EXPECT_EQ(watcher->WatchCount(1), 0u);
  EXPECT_EQ(handler->SourceCount(), 2u);
}

TEST_F(FsWatcher, WatchingANameTwiceLeavesOneWatch) {
  ASSERT_TRUE(watcher->Watch(7, u"docs", u"\\Data\\a.txt"));
  ASSERT_TRUE(watcher->Watch(7, u"docs", u"\\Other\\b.txt"));
  ASSERT_TRUE(watcher->Watch(8, u"docs", u"\\Data\\a.txt"));  // another subscriber's own
  EXPECT_EQ(watcher->WatchCount(7), 1u);
  EXPECT_EQ(handler->SourceCount(), 2u);
  watcher->Unwatch(7);
  EXPECT_EQ(watcher->WatchCount(7), 0u);
  EXPECT_EQ(handler->SourceCount(), 1u);
}

TEST_F(FsWatcher, AChangeInASubfolderSetsTheFlagOnce) {
  ASSERT_TRUE(watcher->Watch(0, u"data", u"\\Data\\"));
  Ref<qel::CQelFsWatch> watch = Ref<qel::CQelFsWatch>::Adopt(watcher->Find(0, u"FS:data"));
  ASSERT_TRUE(watch);
  EXPECT_FALSE(watch->TestAndClearChanged());
  ASSERT_EQ(MakeFolder(u"\\Data\\Sub\\New"), 0u);  // one change, one event
  ASSERT_TRUE(Eventually([&] { return watch->TestAndClearChanged(); }));
  ce::Sleep(50);
  EXPECT_FALSE(watch->TestAndClearChanged());
  // Re-armed: the next change is seen too, in the folder just made.
  ASSERT_EQ(MakeFolder(u"\\Data\\Sub\\New\\Deeper"), 0u);
  EXPECT_TRUE(Eventually([&] { return watch->TestAndClearChanged(); }));
}

TEST_F(FsWatcher, AttachedCallbacksAreToldInsteadOfTheFlag) {
  Callback dealt(true), notDealt(false);
  QuietAtEnd quiet{this};
  EXPECT_FALSE(watcher->Attach(u"data", &dealt));  // no subscriber 0 yet
  ASSERT_TRUE(watcher->Watch(0, u"data", u"\\Data\\"));
  ASSERT_TRUE(watcher->Watch(0, u"other", u"\\Other\\"));
  EXPECT_TRUE(watcher->Attach(u"missing", &dealt));
  EXPECT_TRUE(watcher->Attach(nullptr, &dealt));
  EXPECT_TRUE(watcher->Attach(u"data", &dealt));
  EXPECT_TRUE(watcher->Attach(u"other", &notDealt));
  Ref<qel::CQelFsWatch> data = Ref<qel::CQelFsWatch>::Adopt(watcher->Find(0, u"FS:data"));
  Ref<qel::CQelFsWatch> other = Ref<qel::CQelFsWatch>::Adopt(watcher->Find(0, u"FS:other"));

  ASSERT_EQ(MakeFolder(u"\\Data\\One"), 0u);
  ASSERT_EQ(MakeFolder(u"\\Other\\One"), 0u);
  ASSERT_TRUE(Eventually([&] { return !dealt.names().empty() && !notDealt.names().empty(); }));
  EXPECT_EQ(dealt.names(), std::vector<std::u16string>{u"FS:data"});
  EXPECT_TRUE(dealt.zeros());
  EXPECT_FALSE(data->TestAndClearChanged());                              // dealt with
  EXPECT_TRUE(Eventually([&] { return other->TestAndClearChanged(); }));  // not dealt with: flagged

  // A change waiting when a callback attaches is told at once.
  EXPECT_FALSE(watcher->DetachAll(&dealt));
  ASSERT_EQ(MakeFolder(u"\\Data\\Two"), 0u);
  ce::Sleep(300);  // the handler's thread flags it meanwhile
  EXPECT_FALSE(watcher->Attach(u"data", &dealt));
  EXPECT_EQ(dealt.names().size(), 2u);
  EXPECT_FALSE(data->TestAndClearChanged());
}

// Watches come and go from several threads while their folders change.
TEST_F(FsWatcher, StressWatchUnwatchWhileFoldersChange) {
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop; ++i) {
      std::ofstream(terminal.dir() / "fs/Data/Sub/churn.txt") << i;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  std::vector<std::thread> churn;
  for (uint32_t key = 1; key <= 3; ++key)
    churn.emplace_back([&, key] {
      for (int i = 0; i < 15; ++i) {
        EXPECT_TRUE(watcher->Watch(key, u"a", u"\\Data\\x"));
        EXPECT_TRUE(watcher->Watch(key, u"b", u"\\Data\\Sub\\x"));
        watcher->Unwatch(key);
      }
    });
  for (auto& t : churn) t.join();
  stop = true;
  writer.join();
  EXPECT_EQ(handler->SourceCount(), 0u);
}

}  // namespace
