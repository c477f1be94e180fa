// What the processes of one terminal share, tried with real processes: the
// test process and peers (qel_terminal_peer) on the same terminal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ce/error.h"
#include "ce/handle.h"
#include "ce/process.h"
#include "ce/sim/control.h"
#include "ce/sync.h"
#include "ce/thread.h"
#include "ce/window.h"
#include "peer_process.h"
#include "test_terminal.h"

namespace {

using ce::sim::Json;
using qeltest::Peer;

Json Listing() {
  std::string error;
  auto listing = ce::sim::TerminalObjectsNow(&error);
  EXPECT_TRUE(listing) << error;
  return listing ? *listing : Json::object();
}

const Json* ProcessWithPid(const Json& listing, pid_t pid) {
  for (const Json& p : listing["processes"])
    if (p.value("pid", 0) == pid) return &p;
  return nullptr;
}

const Json* ObjectNamed(const Json& listing, const std::string& name) {
  for (const Json& o : listing["objects"])
    if (o.value("name", "") == name) return &o;
  return nullptr;
}

TEST(TerminalObjects, AnEventSetInOneProcessWakesAWaiterInAnother) {
  qeltest::TestTerminal terminal;
  Peer waiter({terminal.dir().string(), "wait-event", "Wake", "20000"});
  ASSERT_EQ(waiter.Line(), "waiting");
  ce::SetLastError(0xdeadbeef);
  ce::UniqueHandle event(ce::CreateEventW(nullptr, FALSE, FALSE, u"WAKE"));  // names compare without case
  ASSERT_TRUE(event.valid());
  EXPECT_EQ(ce::GetLastError(), ERROR_ALREADY_EXISTS);
  ASSERT_TRUE(ce::SetEvent(event.get()));
  EXPECT_EQ(waiter.Line(), "signalled");
  EXPECT_EQ(waiter.Wait(), 0);
  // An auto-reset event wakes one waiter: the peer consumed the signal.
  EXPECT_EQ(ce::WaitForSingleObject(event.get(), 0), WAIT_TIMEOUT);
}

TEST(TerminalObjects, AProcessKilledMidWaitLeavesNothingBehind) {
  qeltest::TestTerminal terminal;
  Peer waiter({terminal.dir().string(), "wait-event", "Never", "60000"});
  ASSERT_EQ(waiter.Line(), "waiting");
  Json before = Listing();
  const Json* alive = ProcessWithPid(before, waiter.pid());
  ASSERT_NE(alive, nullptr) << before.dump(2);
  EXPECT_TRUE(alive->value("alive", false));
  ASSERT_NE(ObjectNamed(before, "Never"), nullptr) << before.dump(2);

  const pid_t pid = waiter.pid();
  waiter.Kill();
  EXPECT_EQ(waiter.Wait(), -1);
  Json after = Listing();
  EXPECT_EQ(ProcessWithPid(after, pid), nullptr) << after.dump(2);
  EXPECT_EQ(ObjectNamed(after, "Never"), nullptr) << "its only holder died: " << after.dump(2);
  EXPECT_NE(ProcessWithPid(after, ::getpid()), nullptr) << "this process is still listed";
}

TEST(TerminalObjects, ProcessesCreatingOneNameAtOnceAgreeOnOneObject) {
  constexpr int kPeers = 8;
  for (const char* kind : {"event", "mutex", "semaphore"}) {
    SCOPED_TRACE(kind);
    qeltest::TestTerminal terminal;
    std::vector<std::unique_ptr<Peer>> peers;
    for (int i = 0; i < kPeers; ++i)
      peers.push_back(
          std::make_unique<Peer>(std::vector<std::string>{terminal.dir().string(), "create", kind, "Same"}));
    int created = 0, existed = 0;
    for (auto& p : peers) {
      const std::string said = p->Line();
      created += said == "created";
      existed += said == "exists";
    }
    EXPECT_EQ(created, 1);
    EXPECT_EQ(existed, kPeers - 1);
    Json listing = Listing();
    const Json* same = ObjectNamed(listing, "Same");
    ASSERT_NE(same, nullptr) << listing.dump(2);
    EXPECT_EQ(same->value("kind", ""), kind);
    EXPECT_EQ(same->value("handles", 0), kPeers);
    for (auto& p : peers) p->EndInput();
    for (auto& p : peers) EXPECT_EQ(p->Wait(), 0);
    listing = Listing();
    EXPECT_EQ(ObjectNamed(listing, "Same"), nullptr) << "the last handle closed: " << listing.dump(2);
  }
}

TEST(TerminalObjects, AMutexWhoseOwnerWasKilledComesAbandoned) {
  qeltest::TestTerminal terminal;
  Peer owner({terminal.dir().string(), "hold-mutex", "Held"});
  ASSERT_EQ(owner.Line(), "owned");
  ce::UniqueHandle mutex(ce::CreateMutexW(nullptr, FALSE, u"Held"));
  ASSERT_TRUE(mutex.valid());
  EXPECT_EQ(ce::WaitForSingleObject(mutex.get(), 0), WAIT_TIMEOUT);
  ce::SetLastError(0xdeadbeef);
  EXPECT_FALSE(ce::ReleaseMutex(mutex.get()));
  EXPECT_EQ(ce::GetLastError(), ERROR_NOT_OWNER);
  owner.Kill();
  owner.Wait();
  EXPECT_EQ(ce::WaitForSingleObject(mutex.get(), 10000), WAIT_ABANDONED_0);
  // Now this thread owns it; the next taker sees it as an ordinary mutex.
  EXPECT_TRUE(ce::ReleaseMutex(mutex.get()));
  EXPECT_EQ(ce::WaitForSingleObject(mutex.get(), 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ce::ReleaseMutex(mutex.get()));
}

TEST(TerminalObjects, ProgramsAndHostsAreListedTerminalWide) {
  qeltest::TestTerminal terminal;
  Json listing = Listing();
  const Json* self = ProcessWithPid(listing, ::getpid());
  ASSERT_NE(self, nullptr) << listing.dump(2);
  EXPECT_EQ(self->value("kind", ""), "host");
  EXPECT_EQ(self->value("id", 0u), listing.value("self", 1u));
  // A second process sees this one.
  Peer other({terminal.dir().string(), "create", "event", "Seen"});
  ASSERT_EQ(other.Line(), "created");
  listing = Listing();
  EXPECT_NE(ProcessWithPid(listing, other.pid()), nullptr);
  EXPECT_NE(ProcessWithPid(listing, ::getpid()), nullptr);

  // A terminal program is listed under the id CreateProcessW hands back, with its exit code once ended.
  ce::PROCESS_INFORMATION info{};
  ASSERT_TRUE(ce::CreateProcessW(u"\\Windows\\Wceload.exe", nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, nullptr, &info));
  ce::UniqueHandle process(info.hProcess), thread(info.hThread);
  ASSERT_EQ(ce::WaitForSingleObject(process.get(), 20000), WAIT_OBJECT_0);
  ce::DWORD exitCode = 0;
  ASSERT_TRUE(ce::GetExitCodeProcess(process.get(), &exitCode));
  listing = Listing();
  const Json* program = nullptr;
  for (const Json& p : listing["processes"])
    if (p.value("id", 0u) == info.dwProcessId) program = &p;
  ASSERT_NE(program, nullptr) << listing.dump(2);
  EXPECT_EQ(program->value("kind", ""), "program");
  EXPECT_FALSE(program->value("alive", true));
  EXPECT_EQ(program->value("exit_code", 0xFFFFFFFFu), exitCode);
}

TEST(TerminalObjects, MessagesReachAThreadOfAnotherProcessWhileItsQueueLives) {
  qeltest::TestTerminal terminal;
  // Into this thread's queue, from another process.
  ce::MSG msg;
  EXPECT_FALSE(ce::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));  // makes the queue
  const std::string self = std::to_string(ce::GetCurrentThreadId());
  Peer poster({terminal.dir().string(), "post", self, std::to_string(WM_USER + 7), "42"});
  EXPECT_EQ(poster.Wait(), 0);
  ASSERT_EQ(ce::GetMessageW(&msg, nullptr, 0, 0), 1);
  EXPECT_EQ(msg.message, ce::UINT(WM_USER + 7));
  EXPECT_EQ(msg.wParam, ce::WPARAM(42));

  // Into another process's thread, until that thread's process is gone.
  Peer receiver({terminal.dir().string(), "receive"});
  const std::string said = receiver.Line();
  ASSERT_TRUE(said.starts_with("queue ")) << said;
  const ce::DWORD other = ce::DWORD(std::stoul(said.substr(6)));
  ASSERT_TRUE(ce::PostThreadMessageW(other, WM_USER + 1, 5, 0));
  EXPECT_EQ(receiver.Line(), "got " + std::to_string(WM_USER + 1) + " 5");
  receiver.Kill();
  receiver.Wait();
  // Its process ended, and its queue with it.
  ce::SetLastError(0xdeadbeef);
  EXPECT_FALSE(ce::PostThreadMessageW(other, WM_USER + 1, 6, 0));
  EXPECT_EQ(ce::GetLastError(), ERROR_INVALID_THREAD_ID);
}

}  // namespace
