// What the processes of one terminal share, tried with real processes: the
// test process and peers (qel_terminal_peer) on the same terminal.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "ce/error.h"
#include "ce/handle.h"
#include "ce/process.h"
#include "ce/sim/control.h"
#include "ce/sync.h"
#include "ce/thread.h"
#include "ce/window.h"
#include "peer_process.h"
#include "terminal_wire.h"
#include "test_terminal.h"
#include "utf.h"

namespace {

using ce::sim::Json;
using qeltest::Peer;

Json Listing() {
  std::string error;
  auto listing = ce::sim::TerminalObjectsNow(&error);
  EXPECT_TRUE(listing) << error;
  return listing ? *listing : Json::object();
}

// The windows processes made: the input panel's belong to the terminal (process 0).
Json ProcessWindows(const Json& listing) {
  Json made = Json::array();
  for (const Json& w : listing["windows"])
    if (w.value("process", 0u) != 0) made.push_back(w);
  return made;
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
  ce::UniqueHandle event(ce::CreateEventW(nullptr, FALSE, FALSE, u"Wake"));
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

// Opening a name nobody holds is answered from the server's table of names in
// use; a name held by another process must still be found, and a name that
// merely shares its slot, or differs only in case, must not be.
TEST(TerminalObjects, OpeningByNameFindsExactlyWhatAnotherProcessHolds) {
  qeltest::TestTerminal terminal;
  const std::u16string held = u"Gr\u00FC\u00DFe Held";
  Peer holder({terminal.dir().string(), "create", "event",
               "Gr\xC3\xBC\xC3\x9F"
               "e Held"});
  ASSERT_EQ(holder.Line(), "created");
  const uint32_t slot = ce::sim::wire::NameSlot(held);
  std::u16string neighbour;
  for (int i = 0; neighbour.empty(); ++i) {
    const std::u16string candidate = u"neighbour " + ce::sim::FromUtf8(std::to_string(i));
    if (ce::sim::wire::NameSlot(candidate) == slot) neighbour = candidate;
  }
  const struct {
    const char* what;
    std::function<ce::HANDLE()> open;
    ce::DWORD error;  // 0: opens
  } rows[] = {
      {"the name in other case",
       [] { return ce::OpenEventW(EVENT_ALL_ACCESS, FALSE, u"GR\u00DC\u00DFE HELD"); }, ERROR_FILE_NOT_FOUND},
      {"the name as made", [&] { return ce::OpenEventW(EVENT_ALL_ACCESS, FALSE, held.c_str()); }, 0},
      {"a name sharing its slot", [&] { return ce::OpenEventW(EVENT_ALL_ACCESS, FALSE, neighbour.c_str()); },
       ERROR_FILE_NOT_FOUND},
      {"the name as another kind", [&] { return ce::OpenSemaphoreW(SYNCHRONIZE, FALSE, held.c_str()); },
       ERROR_INVALID_HANDLE},
  };
  for (const auto& row : rows) {
    ce::SetLastError(0xdeadbeef);
    ce::UniqueHandle h(row.open());
    EXPECT_EQ(h.valid(), row.error == 0) << row.what;
    if (row.error) {
      EXPECT_EQ(ce::GetLastError(), row.error) << row.what;
    }
  }
  holder.EndInput();
  ASSERT_EQ(holder.Wait(), 0);
  ce::SetLastError(0xdeadbeef);
  EXPECT_EQ(ce::OpenEventW(EVENT_ALL_ACCESS, FALSE, held.c_str()), nullptr) << "its last handle closed";
  EXPECT_EQ(ce::GetLastError(), ce::DWORD(ERROR_FILE_NOT_FOUND));
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

// A window of the peer's: its handle and thread, from the line it says.
struct PeerWindow {
  ce::HWND hwnd = nullptr;
  ce::DWORD thread = 0;
};
PeerWindow ReadPeerWindow(Peer& peer) {
  const std::string said = peer.Line();
  PeerWindow w;
  unsigned long long hwnd = 0;
  unsigned long thread = 0;
  if (std::sscanf(said.c_str(), "window %llu %lu", &hwnd, &thread) == 2) {
    w.hwnd = reinterpret_cast<ce::HWND>(uintptr_t(hwnd));
    w.thread = ce::DWORD(thread);
  }
  return w;
}

ce::LRESULT CALLBACK Doubling(ce::HWND hwnd, ce::UINT message, ce::WPARAM wParam, ce::LPARAM lParam) {
  return message == WM_USER + 1 ? ce::LRESULT(wParam * 2) : ce::DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST(TerminalObjects, AWindowOfAnotherProcessIsFoundMovedSentToAndClosed) {
  qeltest::TestTerminal terminal;
  Peer peer({terminal.dir().string(), "window", "QelPeerClass", "Peer Window"});
  const PeerWindow w = ReadPeerWindow(peer);
  ASSERT_NE(w.hwnd, nullptr);
  EXPECT_EQ(ce::FindWindowW(u"qelpeerclass", nullptr), w.hwnd);
  EXPECT_EQ(ce::FindWindowW(nullptr, u"Peer Window"), w.hwnd);
  std::vector<ce::HWND> listed;
  EXPECT_TRUE(ce::EnumWindows(
      [](ce::HWND h, ce::LPARAM list) {
        reinterpret_cast<std::vector<ce::HWND>*>(list)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<ce::LPARAM>(&listed)));
  EXPECT_NE(std::find(listed.begin(), listed.end(), w.hwnd), listed.end());
  ce::DWORD process = 0;
  EXPECT_EQ(ce::GetWindowThreadProcessId(w.hwnd, &process), w.thread);
  Json listing = Listing();
  const Json* owner = ProcessWithPid(listing, peer.pid());
  ASSERT_NE(owner, nullptr) << listing.dump(2);
  EXPECT_EQ(process, owner->value("id", 0u));
  EXPECT_NE(process, ce::GetCurrentProcessId());
  const Json made = ProcessWindows(listing);
  ASSERT_EQ(made.size(), 1u) << listing.dump(2);
  EXPECT_EQ(made[0].value("class", ""), "QelPeerClass");
  EXPECT_EQ(made[0].value("title", ""), "Peer Window");
  EXPECT_EQ(made[0].value("process", 0u), process);

  ce::RECT r{};
  ASSERT_TRUE(ce::GetWindowRect(w.hwnd, &r));
  EXPECT_EQ(std::tuple(r.left, r.top, r.right, r.bottom), std::tuple(1, 2, 31, 42));
  ASSERT_TRUE(ce::MoveWindow(w.hwnd, 5, 6, 7, 8, TRUE));
  ASSERT_TRUE(ce::GetWindowRect(w.hwnd, &r));
  EXPECT_EQ(std::tuple(r.left, r.top, r.right, r.bottom), std::tuple(5, 6, 12, 14));

  // What is the owner's alone stays so.
  const struct {
    const char* what;
    std::function<bool()> failed;
  } refused[] = {
      {"destroy", [&] { return !ce::DestroyWindow(w.hwnd); }},
      {"set its user data", [&] { return ce::SetWindowLongPtrW(w.hwnd, GWLP_USERDATA, 1) == 0; }},
      {"read its user data", [&] { return ce::GetWindowLongPtrW(w.hwnd, GWLP_USERDATA) == 0; }},
  };
  for (const auto& row : refused) {
    ce::SetLastError(0xdeadbeef);
    EXPECT_TRUE(row.failed()) << row.what;
    EXPECT_EQ(ce::GetLastError(), ce::DWORD(ERROR_ACCESS_DENIED)) << row.what;
  }

  // Sent: the answer comes back, also when the peer's procedure sends to a
  // window of this thread while this thread waits for it.
  EXPECT_EQ(ce::SendMessageW(w.hwnd, WM_USER + 1, 21, 0), 42);
  ce::WNDCLASSW wc{};
  wc.lpfnWndProc = Doubling;
  wc.lpszClassName = u"QelTestDoubling";
  ASSERT_NE(ce::RegisterClassW(&wc), 0);
  const ce::HWND mine =
      ce::CreateWindowExW(0, u"QelTestDoubling", u"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(ce::SendMessageW(w.hwnd, WM_USER + 2, 7, reinterpret_cast<ce::LPARAM>(mine)), 15);
  EXPECT_TRUE(ce::DestroyWindow(mine));
  EXPECT_TRUE(ce::UnregisterClassW(u"QelTestDoubling", nullptr));

  ASSERT_TRUE(ce::PostMessageW(w.hwnd, WM_USER + 5, 9, 0));
  EXPECT_EQ(peer.Line(), "got " + std::to_string(WM_USER + 5) + " 9");
  // WM_CLOSE destroys it, which ends the peer's loop.
  ASSERT_TRUE(ce::PostMessageW(w.hwnd, WM_CLOSE, 0, 0));
  EXPECT_EQ(peer.Wait(), 0);
  EXPECT_FALSE(ce::IsWindow(w.hwnd));
  ce::SetLastError(0xdeadbeef);
  EXPECT_FALSE(ce::PostMessageW(w.hwnd, WM_USER + 5, 0, 0));
  EXPECT_EQ(ce::GetLastError(), ce::DWORD(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(TerminalObjects, AKilledProcesssWindowsGoAndItsSendersAreReleased) {
  qeltest::TestTerminal terminal;
  Peer peer({terminal.dir().string(), "window", "QelDoomedClass", "Doomed"});
  const PeerWindow w = ReadPeerWindow(peer);
  ASSERT_NE(w.hwnd, nullptr);
  // A sender waits on a procedure that never answers; the process is killed under it.
  std::atomic<bool> returned{false};
  ce::LRESULT result = -1;
  ce::DWORD error = 0;
  std::thread sender([&] {
    ce::SetLastError(0xdeadbeef);
    result = ce::SendMessageW(w.hwnd, WM_USER + 3, 0, 0);
    error = ce::GetLastError();
    returned = true;
  });
  EXPECT_EQ(peer.Line(), "stuck");
  EXPECT_FALSE(returned);
  peer.Kill();
  peer.Wait();
  sender.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(error, ce::DWORD(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_FALSE(ce::IsWindow(w.hwnd));
  EXPECT_EQ(ce::FindWindowW(u"QelDoomedClass", nullptr), nullptr);
  Json listing = Listing();
  EXPECT_TRUE(ProcessWindows(listing).empty()) << listing.dump(2);
}

const Json* ObjectOf(const Json& listing, const std::string& name) { return ObjectNamed(listing, name); }

TEST(TerminalObjects, AProcessOutOfDescriptorsKeepsWhatItHolds) {
  qeltest::TestTerminal terminal;
  Peer greedy({terminal.dir().string(), "exhaust", "Kept"});
  EXPECT_EQ(greedy.Line(), "failed " + std::to_string(ERROR_NOT_ENOUGH_MEMORY));
  Json listing = Listing();
  const Json* peer = ProcessWithPid(listing, greedy.pid());
  ASSERT_NE(peer, nullptr) << "only the one open failed: " << listing.dump(2);
  const Json* kept = ObjectOf(listing, "Kept");
  ASSERT_NE(kept, nullptr) << listing.dump(2);
  EXPECT_EQ(kept->value("owner_process", 0u), peer->value("id", 1u));
  ce::UniqueHandle mutex(ce::CreateMutexW(nullptr, FALSE, u"Kept"));
  EXPECT_EQ(ce::WaitForSingleObject(mutex.get(), 0), WAIT_TIMEOUT);
}

TEST(TerminalObjects, AServerStartedAgainNeverTakesAnOldHandleForANewOne) {
  qeltest::TestTerminal terminal;
  ce::UniqueHandle old(ce::CreateEventW(nullptr, TRUE, FALSE, u"Before"));
  ASSERT_TRUE(old.valid());
  const pid_t server = Listing()["server"].value("pid", 0);
  ASSERT_GT(server, 0);
  ::kill(server, SIGKILL);
  // The next open joins the server's successor on its own.
  ce::SetLastError(0xdeadbeef);
  ce::UniqueHandle fresh(ce::CreateEventW(nullptr, TRUE, FALSE, u"After"));
  ASSERT_TRUE(fresh.valid()) << ce::GetLastError();
  EXPECT_EQ(ce::GetLastError(), ERROR_SUCCESS);
  // Closing the old handle must not close "After", which the new server may number alike.
  old.reset();
  Json listing = Listing();
  const Json* after = ObjectOf(listing, "After");
  ASSERT_NE(after, nullptr) << listing.dump(2);
  EXPECT_EQ(after->value("handles", 0), 1);
  Peer other({terminal.dir().string(), "create", "event", "After"});
  EXPECT_EQ(other.Line(), "exists");
}

// The table of names in use belongs to one server: once it is gone, a name
// another process holds in its successor must still be found.
TEST(TerminalObjects, ANameHeldInTheServersSuccessorIsFound) {
  qeltest::TestTerminal terminal;
  ce::UniqueHandle mine(ce::CreateEventW(nullptr, TRUE, FALSE, u"Mine"));
  ASSERT_TRUE(mine.valid());
  const pid_t server = Listing()["server"].value("pid", 0);
  ASSERT_GT(server, 0);
  ::kill(server, SIGKILL);
  for (int i = 0; i < 500 && ::kill(server, 0) == 0; ++i) ::usleep(10'000);
  Peer holder({terminal.dir().string(), "create", "event", "Later"});
  ASSERT_EQ(holder.Line(), "created");
  ce::SetLastError(0xdeadbeef);
  ce::UniqueHandle later(ce::OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Later"));
  EXPECT_TRUE(later.valid()) << ce::GetLastError();
  holder.EndInput();
  EXPECT_EQ(holder.Wait(), 0);
}

TEST(TerminalObjects, AListingOfManyObjectsArrivesWhole) {
  qeltest::TestTerminal terminal;
  std::vector<ce::UniqueHandle> events;
  for (int i = 0; i < 1000; ++i) {
    std::u16string name = u"Long name " + std::u16string(240, u'x') + u" ";
    for (char c : std::to_string(i)) name += char16_t(c);
    events.emplace_back(ce::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    ASSERT_TRUE(events.back().valid()) << i;
  }
  const Json listing = Listing();
  EXPECT_EQ(listing["objects"].size(), 1000u);
  EXPECT_FALSE(listing.contains("objects_not_listed"));
}

TEST(TerminalObjects, AMutexAForkedChildDiedHoldingComesAbandoned) {
  qeltest::TestTerminal terminal;
  Peer parent({terminal.dir().string(), "fork-hold", "Forked"});
  ASSERT_EQ(parent.Line(), "child gone");
  ce::UniqueHandle mutex(ce::CreateMutexW(nullptr, FALSE, u"Forked"));
  EXPECT_EQ(ce::WaitForSingleObject(mutex.get(), 10000), WAIT_ABANDONED_0);
  EXPECT_TRUE(ce::ReleaseMutex(mutex.get()));
}

TEST(TerminalObjects, WithoutATerminalThereAreNoNamedObjects) {
  ce::sim::CloseTerminal();
  ::unsetenv(ce::sim::kTerminalEnv);
  const struct {
    const char* what;
    std::function<ce::HANDLE()> call;
  } rows[] = {
      {"event", [] { return ce::CreateEventW(nullptr, FALSE, FALSE, u"Nowhere"); }},
      {"mutex", [] { return ce::CreateMutexW(nullptr, FALSE, u"Nowhere"); }},
      {"semaphore", [] { return ce::CreateSemaphoreW(nullptr, 0, 1, u"Nowhere"); }},
      {"open event", [] { return ce::OpenEventW(SYNCHRONIZE, FALSE, u"Nowhere"); }},
  };
  for (const auto& row : rows) {
    ce::SetLastError(0xdeadbeef);
    EXPECT_EQ(row.call(), nullptr) << row.what;
    EXPECT_EQ(ce::GetLastError(), ERROR_NOT_READY) << row.what;
  }
  ce::UniqueHandle unnamed(ce::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  EXPECT_TRUE(unnamed.valid());
}

// A client that speaks the wire itself, as a hostile program on the machine could.
class RawClient {
 public:
  explicit RawClient(const std::filesystem::path& terminal) : fd_(::socket(AF_UNIX, SOCK_SEQPACKET, 0)) {
    const std::string name = ce::sim::wire::SocketName(terminal);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::memcpy(sa.sun_path, name.data(), name.size());
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&sa),
                           socklen_t(offsetof(sockaddr_un, sun_path) + name.size())) == 0;
  }
  ~RawClient() { ::close(fd_); }
  bool connected() const { return connected_; }
  // The status of the reply to these bytes, or 0 when none came.
  uint32_t Ask(const void* bytes, size_t size) {
    if (::send(fd_, bytes, size, MSG_NOSIGNAL) != ssize_t(size)) return 0;
    ce::sim::wire::Reply reply;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 5000) != 1 || ::recv(fd_, &reply, sizeof reply, 0) < ssize_t(sizeof reply)) return 0;
    // A listing's text follows its reply.
    std::string text(reply.textBytes, '\0');
    for (size_t got = 0; got < text.size();) {
      const ssize_t n = ::recv(fd_, text.data() + got, text.size() - got, 0);
      if (n <= 0) return 0;
      got += size_t(n);
    }
    return uint32_t(reply.status);
  }

 private:
  int fd_;
  bool connected_ = false;
};

TEST(TerminalObjects, TheServerRefusesWhatIsNotARequestAndServesOn) {
  namespace wire = ce::sim::wire;
  qeltest::TestTerminal terminal;
  RawClient raw(terminal.dir());
  ASSERT_TRUE(raw.connected());
  wire::Request hello{wire::Op::kHello};
  hello.value = uint32_t(::getpid());
  ASSERT_EQ(raw.Ask(&hello, sizeof hello), uint32_t(wire::Status::kCreated));

  std::vector<char> oversized(sizeof(wire::Request) + 100, 0);
  wire::Request list{wire::Op::kList};
  std::memcpy(oversized.data(), &list, sizeof list);
  wire::Request longName{wire::Op::kOpen, wire::Kind::kEvent, wire::kCreate};
  longName.nameUnits = wire::kMaxName + 1;
  wire::Request unknownOp{wire::Op(99)};
  wire::Request unknownKind{wire::Op::kOpen, wire::Kind(99), wire::kCreate};
  unknownKind.nameUnits = 1;
  unknownKind.name[0] = u'x';
  // A queue for a thread that is not the asker's: it would take that thread's messages.
  wire::Request squat{wire::Op::kOpen, wire::Kind::kQueue, wire::kCreate};
  squat.value = 1;
  const struct {
    const char* what;
    const void* bytes;
    size_t size;
  } rows[] = {
      {"a request with bytes beyond it", oversized.data(), oversized.size()},
      {"a request cut short", &list, sizeof list / 2},
      {"a name longer than MAX_PATH", &longName, sizeof longName},
      {"an unknown operation", &unknownOp, sizeof unknownOp},
      {"an unknown kind", &unknownKind, sizeof unknownKind},
      {"a queue for another process's thread", &squat, sizeof squat},
      {"a second hello", &hello, sizeof hello},
  };
  for (const auto& row : rows)
    EXPECT_EQ(raw.Ask(row.bytes, row.size), uint32_t(wire::Status::kBadRequest)) << row.what;
  EXPECT_EQ(raw.Ask(&list, sizeof list), uint32_t(wire::Status::kOpened)) << "still served";
}

}  // namespace
