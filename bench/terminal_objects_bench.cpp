// What processes of one terminal share: a named event's round trip between
// this process and another on the terminal, beside the same round trip on bare
// eventfds between two threads; and the cost of joining a terminal, with its
// object server already running and with the server started by the joiner.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "ce/handle.h"
#include "ce/sim/control.h"
#include "ce/sync.h"
#include "peer_process.h"

namespace {

namespace fs = std::filesystem;

// A fresh terminal in a temporary folder, removed with the object.
class Folder {
 public:
  Folder() {
    char pattern[] = "/tmp/qel_bench_XXXXXX";
    dir_ = ::mkdtemp(pattern);
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path Make(const std::string& name, benchmark::State& state) const {
    std::string error;
    if (!ce::sim::CreateTerminal(dir_ / name, *ce::sim::BuiltinProfile(ce::sim::DefaultProfileName()),
                                 &error))
      state.SkipWithError(error.c_str());
    return dir_ / name;
  }

 private:
  fs::path dir_;
};

void WaitOne(int fd) {
  pollfd p{fd, POLLIN, 0};
  ::poll(&p, 1, -1);
  uint64_t v;
  [[maybe_unused]] ssize_t r = ::read(fd, &v, sizeof v);
}

void Post(int fd) {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t w = ::write(fd, &one, sizeof one);
}

// The floor: a thread that answers each eventfd ping with a pong.
void BM_EventfdPingPongFloor(benchmark::State& state) {
  const int ping = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC), pong = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  std::atomic<bool> stop{false};
  std::thread answer([&] {
    while (true) {
      WaitOne(ping);
      if (stop) return;
      Post(pong);
    }
  });
  for (auto _ : state) {
    Post(ping);
    WaitOne(pong);
  }
  stop = true;
  Post(ping);
  answer.join();
  ::close(ping);
  ::close(pong);
}
BENCHMARK(BM_EventfdPingPongFloor)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The same round trip through named events, to a peer process on the terminal.
void BM_NamedEventPingPongAcrossProcesses(benchmark::State& state) {
  Folder folder;
  const fs::path terminal = folder.Make("t", state);
  std::string error;
  if (!ce::sim::UseTerminal(terminal, &error)) state.SkipWithError(error.c_str());
  {
    qeltest::Peer peer({terminal.string(), "pong", "Ping", "Pong", "Stop"});
    if (peer.Line() != "ready") state.SkipWithError("the peer did not start");
    ce::UniqueHandle ping(ce::CreateEventW(nullptr, FALSE, FALSE, u"Ping"));
    ce::UniqueHandle pong(ce::CreateEventW(nullptr, FALSE, FALSE, u"Pong"));
    ce::UniqueHandle stop(ce::CreateEventW(nullptr, TRUE, FALSE, u"Stop"));
    for (auto _ : state) {
      ce::SetEvent(ping.get());
      ce::WaitForSingleObject(pong.get(), INFINITE);
    }
    ce::SetEvent(stop.get());
    peer.Wait();
  }
  ce::sim::CloseTerminal();
}
BENCHMARK(BM_NamedEventPingPongAcrossProcesses)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Joining a terminal whose server runs (another process holds the terminal).
void BM_JoinTerminalWithItsServerRunning(benchmark::State& state) {
  Folder folder;
  const fs::path terminal = folder.Make("t", state);
  qeltest::Peer holder({terminal.string(), "create", "event", "Held"});
  if (holder.Line() != "created") state.SkipWithError("the holder did not start");
  std::string error;
  for (auto _ : state) {
    if (!ce::sim::UseTerminal(terminal, &error)) state.SkipWithError(error.c_str());
    ce::sim::CloseTerminal();
  }
}
BENCHMARK(BM_JoinTerminalWithItsServerRunning)->Unit(benchmark::kMicrosecond);

// Joining a terminal nobody is on: the joiner starts its server.
void BM_JoinTerminalStartingItsServer(benchmark::State& state) {
  Folder folder;
  int made = 0;
  std::string error;
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path terminal = folder.Make(std::to_string(made++), state);
    state.ResumeTiming();
    if (!ce::sim::UseTerminal(terminal, &error)) state.SkipWithError(error.c_str());
    state.PauseTiming();
    ce::sim::CloseTerminal();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_JoinTerminalStartingItsServer)->Unit(benchmark::kMicrosecond)->Iterations(50);

}  // namespace
