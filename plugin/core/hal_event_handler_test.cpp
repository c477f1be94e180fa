// The HAL event handler: sources, restarts, the order of service; and the
// error log: its line, what is done before the line is made, and a crash on
// the handler's thread.
#include "core/hal_event_handler.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "ce/handle.h"
#include "ce/sim/control.h"
#include "ce/sync.h"
#include "core/error_log.h"
#include "event_source.h"
#include "qelcommon/ref.h"
#include "test_terminal.h"

namespace {

using qel::CQelHalEventHandler;
using qel::Ref;

using qeltest::EventSource;

Ref<CQelHalEventHandler> MakeHandler() { return Ref<CQelHalEventHandler>::Adopt(new CQelHalEventHandler); }

bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 500; ++i) {
    if (done()) return true;
    ce::Sleep(10);
  }
  return done();
}

TEST(HalEventHandler, WithoutSourcesItsThreadEndsAtOnce) {
  qeltest::TestTerminal terminal;
  auto handler = MakeHandler();
  ASSERT_TRUE(handler->Restart());
  EXPECT_TRUE(handler->Wait(5000));
  EXPECT_TRUE(handler->Restart());  // and again
  EXPECT_TRUE(handler->Wait(5000));
  EXPECT_STREQ(handler->name(), "HAL Event Handler");
}

TEST(HalEventHandler, HoldsAtMostSixtyTwoSources) {
  qeltest::TestTerminal terminal;
  auto handler = MakeHandler();
  std::vector<Ref<EventSource>> sources;
  for (int i = 0; i < 63; ++i) sources.push_back(Ref<EventSource>::Adopt(new EventSource(i)));
  for (int i = 0; i < 62; ++i) ASSERT_TRUE(handler->AddSource(sources[i].get())) << i;
  EXPECT_FALSE(handler->AddSource(sources[62].get()));
  EXPECT_EQ(handler->SourceCount(), 62u);
  EXPECT_EQ(sources[62]->RefCount(), 1);  // not taken
  EXPECT_EQ(sources[0]->RefCount(), 2);

  // All 62 are waited on, beside the stop event.
  ASSERT_TRUE(handler->Restart());
  sources[61]->Fire();
  EXPECT_TRUE(Eventually([&] { return sources[61]->signaled == 1; }));
  // The list's reference is the only one, also while the thread serves.
  EXPECT_EQ(sources[61]->RefCount(), 2);
  EXPECT_EQ(sources[0]->RefCount(), 2);
  handler->RemoveSource(sources[0].get());
  EXPECT_TRUE(handler->Wait(0));  // stopped, and it stays so
  EXPECT_EQ(sources[0]->RefCount(), 1);
  EXPECT_TRUE(handler->AddSource(sources[62].get()));
}

TEST(HalEventHandler, CallsSourcesOnItsThreadLowestIndexFirst) {
  qeltest::TestTerminal terminal;
  auto handler = MakeHandler();
  std::mutex mu;
  std::vector<int> order;
  std::atomic<bool> onHandlerThread{true};
  auto record = [&](int id) {
    if (!handler->IsCurrentThread()) onHandlerThread = false;
    std::lock_guard lock(mu);
    order.push_back(id);
  };
  std::vector<Ref<EventSource>> sources;
  for (int i = 0; i < 3; ++i) {
    sources.push_back(Ref<EventSource>::Adopt(new EventSource(i, record)));
    handler->AddSource(sources.back().get());
  }
  sources[2]->Fire();
  sources[1]->Fire();
  ASSERT_TRUE(handler->Restart());
  ASSERT_TRUE(Eventually([&] {
    std::lock_guard lock(mu);
    return order.size() == 2;
  }));
  sources[0]->Fire();
  ASSERT_TRUE(Eventually([&] {
    std::lock_guard lock(mu);
    return order.size() == 3;
  }));
  EXPECT_EQ(order, (std::vector<int>{1, 2, 0}));
  EXPECT_TRUE(onHandlerThread.load());
  EXPECT_FALSE(handler->Wait(20));  // still serving
  handler->Stop();
  EXPECT_TRUE(handler->Wait(0));
}

// A source's OnSignaled runs on the handler's thread, which cannot wait for
// itself: a restart asked there takes the list afresh once it returns, and a
// stop ends the thread then.
TEST(HalEventHandler, RestartOrStopFromASourceTakesEffectWhenItReturns) {
  qeltest::TestTerminal terminal;
  auto handler = MakeHandler();
  auto added = Ref<EventSource>::Adopt(new EventSource(1));
  Ref<EventSource> first;
  first = Ref<EventSource>::Adopt(new EventSource(0, [&](int) {
    if (first->signaled == 1) {
      EXPECT_TRUE(handler->AddSource(added.get()));
      EXPECT_TRUE(handler->Restart());
    } else {
      handler->RemoveSource(first.get());
      EXPECT_EQ(first->RefCount(), 2) << "a source dropped in its own call lives until it returns";
    }
  }));
  handler->AddSource(first.get());
  ASSERT_TRUE(handler->Restart());
  first->Fire();
  ASSERT_TRUE(Eventually([&] { return first->signaled == 1; }));
  added->Fire();
  EXPECT_TRUE(Eventually([&] { return added->signaled == 1; })) << "the source added there is waited on";
  EXPECT_FALSE(handler->Wait(0));

  first->Fire();
  EXPECT_TRUE(Eventually([&] { return handler->Wait(0); })) << "a source removed there stops the thread";
  EXPECT_EQ(handler->SourceCount(), 1u);
  EXPECT_EQ(first->RefCount(), 1) << "released once its call was over";
}

TEST(HalEventHandler, GetInterfaceHandsOutTheWholeObject) {
  qeltest::TestTerminal terminal;
  auto handler = MakeHandler();
  IQelService* part = handler.get();
  void* out = nullptr;
  ASSERT_TRUE(part->GetInterface(qel::IID_QELHALEVENTHANDLER, &out));
  EXPECT_EQ(out, static_cast<void*>(static_cast<qel::CQelThread*>(handler.get())));
  EXPECT_NE(out, static_cast<void*>(part));
  EXPECT_EQ(handler->RefCount(), 2);
  qel::AsHalEventHandler(out)->Release();
  EXPECT_FALSE(part->GetInterface(qel::IID_QELAUDIOSERVICE, &out));
}

// Sources come and go from several threads while events fire.
TEST(HalEventHandler, StressAddRemoveWhileEventsFire) {
  qeltest::TestTerminal terminal;
  auto handler = MakeHandler();
  std::atomic<bool> stop{false};
  std::vector<Ref<EventSource>> steady;
  for (int i = 0; i < 4; ++i) {
    steady.push_back(Ref<EventSource>::Adopt(new EventSource(i)));
    handler->AddSource(steady.back().get());
  }
  handler->Restart();
  std::thread firing([&] {
    while (!stop)
      for (auto& s : steady) s->Fire();
  });
  std::vector<std::thread> churn;
  for (int t = 0; t < 3; ++t)
    churn.emplace_back([&, t] {
      for (int i = 0; i < 40; ++i) {
        auto s = Ref<EventSource>::Adopt(new EventSource(100 + t));
        if (handler->AddSource(s.get())) {
          handler->Restart();
          s->Fire();
          handler->RemoveSource(s.get());
          handler->Restart();
        }
      }
    });
  for (auto& t : churn) t.join();
  stop = true;
  firing.join();
  handler->Stop();
  EXPECT_EQ(handler->SourceCount(), 4u);
  for (auto& s : steady) EXPECT_EQ(s->RefCount(), 2);
}

TEST(ErrorLog, LinesHaveTheFixedShape) {
  const struct {
    ce::SYSTEMTIME time;
    const char* name;
    ce::DWORD id;
    const char16_t* message;
    const char* expected;
  } cases[] = {
      {{2026, 1, 0, 2, 3, 4, 5, 6},
       "HAL Event Handler",
       0x1A2B,
       u"__except [0xC0000005]",
       "20260102030405006 HAL Event Handler [0x00001A2B] ERROR - __except [0xC0000005]\r\n"},
      {{999, 12, 0, 31, 23, 59, 59, 999},
       "CQelThread",
       0xFFFFFFFF,
       u"caf\u00e9",
       "09991231235959999 CQelThread [0xFFFFFFFF] ERROR - caf\xe9\r\n"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(qel::FormatErrorLine(c.time, c.name, c.id, c.message), std::string(c.expected));
}

// The folder of a crash test's terminal: parent and child both know it, the
// child as its parent's process id.
std::filesystem::path CrashTerminal(pid_t parent) {
  return std::filesystem::temp_directory_path() / ("qel_crash_" + std::to_string(parent));
}

// Runs in the death test's child: a source that crashes on the handler's thread.
void CrashOnTheHandlerThread() {
  const auto dir = CrashTerminal(::getppid());
  std::string error;
  if (!ce::sim::CreateTerminal(dir, *ce::sim::BuiltinProfile("thor-vm1"), &error) ||
      !ce::sim::UseTerminal(dir, &error))
    std::_Exit(3);
  auto* handler = new CQelHalEventHandler;
  auto* source = new EventSource(0, [&](int) {
    std::ofstream(dir / "thread-id") << handler->GetThreadId();
    // Not null, so that the undefined-behaviour checker lets the fault happen.
    volatile uintptr_t nowhere = 16;  // read back at run time: no compiler sees the address
    *reinterpret_cast<volatile int*>(nowhere) = 1;
  });
  handler->AddSource(source);
  handler->Restart();
  source->Fire();
  ce::Sleep(10000);
  std::_Exit(4);  // never reached: the crash ends the process
}

TEST(ErrorLogDeathTest, ACrashOnAThreadWritesOneLineAndEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto dir = CrashTerminal(::getpid());
  std::filesystem::remove_all(dir);
  EXPECT_EXIT(CrashOnTheHandlerThread(), ::testing::ExitedWithCode(255), "");

  std::ifstream idFile(dir / "thread-id");
  unsigned long id = 0;
  ASSERT_TRUE(idFile >> id);
  std::ifstream log(dir / "fs" / "Windows" / "Qel-Clientv4.err", std::ios::binary);
  std::stringstream content;
  content << log.rdbuf();
  const std::string text = content.str();
  std::filesystem::remove_all(dir);

  char tail[96];
  std::snprintf(tail, sizeof tail, " HAL Event Handler [0x%08lX] ERROR - __except [0xC0000005]\r\n", id);
  ASSERT_EQ(text.size(), 17 + std::strlen(tail)) << text;
  EXPECT_TRUE(std::regex_match(
      text.substr(0, 17), std::regex("20[0-9]{2}(0[1-9]|1[0-2])[0-3][0-9][0-2][0-9][0-5][0-9]{3}[0-9]{3}")))
      << text;
  EXPECT_EQ(text.substr(17), tail);
}

// Runs in the death test's child: one LogError, with every ce call traced
// into the file "trace"; the log is a folder when it must not open.
void LogWithTheTraceOn(bool opens) {
  const auto dir = CrashTerminal(::getppid());
  std::string error;
  if (!ce::sim::CreateTerminal(dir, *ce::sim::BuiltinProfile("thor-vm1"), &error) ||
      !ce::sim::UseTerminal(dir, &error))
    std::_Exit(3);
  if (!opens) std::filesystem::create_directories(dir / "fs" / "Windows" / "Qel-Clientv4.err");
  struct Logger final : qel::CQelThread {
    Logger() : CQelThread(u"Logger") {}
    ce::DWORD Run() override { return 0; }
  } logger;
  const int trace = ::open((dir / "trace").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
  if (trace < 0 || ::dup2(trace, STDERR_FILENO) < 0) std::_Exit(4);
  logger.LogError(u"caf\u00e9");
  std::_Exit(0);
}

// The log is opened and its end found before the clock is read and the
// message converted; a log that cannot be opened costs nothing more.
TEST(ErrorLogDeathTest, TheLogIsOpenedBeforeTheLineIsMade) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const struct {
    bool opens;
    std::vector<std::string> calls;
  } cases[] = {
      {true, {"CreateFileW", "SetFilePointer", "GetLocalTime", "WideCharToMultiByte", "WriteFile"}},
      {false, {"CreateFileW"}},
  };
  const std::set<std::string> counted(cases[0].calls.begin(), cases[0].calls.end());
  const auto dir = CrashTerminal(::getpid());
  ce::GetCurrentThreadId();  // this process has read its own trace setting: off
  for (const auto& c : cases) {
    SCOPED_TRACE(c.opens ? "the log opens" : "the log is a folder");
    std::filesystem::remove_all(dir);
    ::setenv("QEL_TRACE", "all", 1);
    EXPECT_EXIT(LogWithTheTraceOn(c.opens), ::testing::ExitedWithCode(0), "");
    ::unsetenv("QEL_TRACE");
    std::ifstream trace(dir / "trace");
    std::vector<std::string> calls;
    for (std::string line; std::getline(trace, line);)
      if (line.starts_with("ce: ")) {
        const std::string name = line.substr(4, line.find('(') - 4);
        if (counted.count(name)) calls.push_back(name);
      }
    EXPECT_EQ(calls, c.calls);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
