// Latencies of the HAL event handler and the FS watcher, each beside its
// floor measured in the same run: a bare eventfd + poll wake between two
// threads, and a bare inotify delivery of the same write. Each iteration is
// one event; the counters give the median and the 99th percentile in µs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "bench_terminal.h"
#include "ce/handle.h"
#include "ce/sync.h"
#include "core/fs_watcher.h"
#include "core/hal_event_handler.h"
#include "qelcommon/ref.h"

namespace {

using Clock = std::chrono::steady_clock;

BenchTerminal& Terminal() {
  static BenchTerminal t;
  return t;
}

// Latencies of one run, reported as counters.
class Latencies {
 public:
  void Add(Clock::duration d) { samples_.push_back(std::chrono::duration<double, std::micro>(d).count()); }
  void Report(benchmark::State& state) {
    if (samples_.empty()) return;
    std::sort(samples_.begin(), samples_.end());
    state.counters["median_us"] = samples_[samples_.size() / 2];
    state.counters["p99_us"] = samples_[std::min(samples_.size() - 1, samples_.size() * 99 / 100)];
  }

 private:
  std::vector<double> samples_;
};

// What the event's receiver records: when, and how many so far.
struct Arrival {
  std::atomic<int64_t> at{0};
  std::atomic<int> count{0};
  void Mark() {
    at.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    count.fetch_add(1, std::memory_order_release);
  }
  // Waits for the arrival after `before` and gives its latency from `sent`.
  Clock::duration Since(int before, Clock::time_point sent) {
    while (count.load(std::memory_order_acquire) == before) std::this_thread::yield();
    return Clock::duration(at.load(std::memory_order_relaxed)) - sent.time_since_epoch();
  }
};

class Source final : public IQelHalEventSource, public CQelRefCounted {
 public:
  explicit Source(Arrival* arrival)
      : arrival_(arrival), event_(ce::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  int32_t AddRef() override { return CQelRefCounted::AddRef(); }
  int32_t Release() override { return CQelRefCounted::Release(); }
  void* GetHandle() override { return event_.get(); }
  bool OnSignaled() override {
    arrival_->Mark();
    return true;
  }
  void Fire() { ce::SetEvent(event_.get()); }

 private:
  Arrival* arrival_;
  ce::UniqueHandle event_;
};

// From SetEvent on the last source to its OnSignaled on the handler's thread.
void BM_HalEventHandlerLatency(benchmark::State& state) {
  Terminal();
  const int n = int(state.range(0));
  Arrival arrival;
  auto handler = qel::Ref<qel::CQelHalEventHandler>::Adopt(new qel::CQelHalEventHandler);
  std::vector<qel::Ref<Source>> sources;
  for (int i = 0; i < n; ++i) {
    sources.push_back(qel::Ref<Source>::Adopt(new Source(&arrival)));
    handler->AddSource(sources.back().get());
  }
  handler->Restart();
  Latencies latencies;
  for (auto _ : state) {
    const int before = arrival.count.load();
    const auto sent = Clock::now();
    sources.back()->Fire();
    latencies.Add(arrival.Since(before, sent));
  }
  handler->Stop();
  latencies.Report(state);
}
BENCHMARK(BM_HalEventHandlerLatency)->Arg(1)->Arg(62)->UseRealTime();

// The floor: one thread polls n eventfds; the other writes the last one.
void BM_EventfdPollFloor(benchmark::State& state) {
  const int n = int(state.range(0));
  std::vector<int> fds(n);
  for (int& fd : fds) fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  const int stop = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  Arrival arrival;
  std::thread waiter([&] {
    std::vector<pollfd> p;
    p.push_back({stop, POLLIN, 0});
    for (int fd : fds) p.push_back({fd, POLLIN, 0});
    while (::poll(p.data(), p.size(), -1) > 0) {
      if (p[0].revents) return;
      for (size_t i = 1; i < p.size(); ++i)
        if (p[i].revents & POLLIN) {
          uint64_t v;
          [[maybe_unused]] ssize_t r = ::read(p[i].fd, &v, sizeof v);
          arrival.Mark();
          break;
        }
    }
  });
  Latencies latencies;
  const uint64_t one = 1;
  for (auto _ : state) {
    const int before = arrival.count.load();
    const auto sent = Clock::now();
    [[maybe_unused]] ssize_t w = ::write(fds.back(), &one, sizeof one);
    latencies.Add(arrival.Since(before, sent));
  }
  [[maybe_unused]] ssize_t w = ::write(stop, &one, sizeof one);
  waiter.join();
  for (int fd : fds) ::close(fd);
  ::close(stop);
  latencies.Report(state);
}
BENCHMARK(BM_EventfdPollFloor)->Arg(1)->Arg(62)->UseRealTime();

// One byte written in place into an existing file: one modification, one event.
void WriteOne(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
  [[maybe_unused]] ssize_t w = ::pwrite(fd, "x", 1, 0);
  ::close(fd);
}

class Told final : public IQelNotifyCallback {
 public:
  explicit Told(Arrival* arrival) : arrival_(arrival) {}
  bool OnChange(IQelText*, int32_t, int32_t) override {
    arrival_->Mark();
    return true;
  }

 private:
  Arrival* arrival_;
};

// From a write in the last of 62 watched folders to the watch's callback.
void BM_FsWatcherLatency(benchmark::State& state) {
  const auto root = Terminal().fs() / "Watched";
  Arrival arrival;
  Told told(&arrival);
  auto handler = qel::Ref<qel::CQelHalEventHandler>::Adopt(new qel::CQelHalEventHandler);
  auto watcher = qel::Ref<qel::CQelFsWatcher>::Adopt(new qel::CQelFsWatcher(handler.get(), nullptr));
  for (int i = 0; i < 62; ++i) {
    const std::string name = "W" + std::to_string(i);
    std::filesystem::create_directories(root / name);
    std::fclose(std::fopen((root / name / "file.txt").c_str(), "w"));
    const std::u16string watchName(name.begin(), name.end());
    const std::u16string path = u"\\Watched\\" + watchName + u"\\file.txt";
    watcher->Watch(0, watchName.c_str(), path.c_str());
    watcher->Attach(watchName.c_str(), &told);
  }
  const auto file = root / "W61" / "file.txt";
  Latencies latencies;
  for (auto _ : state) {
    const int before = arrival.count.load();
    const auto sent = Clock::now();
    WriteOne(file);
    latencies.Add(arrival.Since(before, sent));
  }
  watcher->Unwatch(0);
  handler->Stop();
  latencies.Report(state);
}
BENCHMARK(BM_FsWatcherLatency)->UseRealTime();

// The floor: a thread reads an inotify descriptor watching the same kind of folder.
void BM_InotifyFloor(benchmark::State& state) {
  const auto folder = Terminal().fs() / "Floor";
  std::filesystem::create_directories(folder);
  std::fclose(std::fopen((folder / "file.txt").c_str(), "w"));
  const int fd = ::inotify_init1(IN_CLOEXEC);
  ::inotify_add_watch(fd, folder.c_str(),
                      IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB);
  const int stop = ::eventfd(0, EFD_CLOEXEC);
  Arrival arrival;
  std::thread waiter([&] {
    pollfd p[2] = {{stop, POLLIN, 0}, {fd, POLLIN, 0}};
    char buffer[4096];
    while (::poll(p, 2, -1) > 0 && !p[0].revents)
      if (::read(fd, buffer, sizeof buffer) > 0) arrival.Mark();
  });
  Latencies latencies;
  for (auto _ : state) {
    const int before = arrival.count.load();
    const auto sent = Clock::now();
    WriteOne(folder / "file.txt");
    latencies.Add(arrival.Since(before, sent));
  }
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t w = ::write(stop, &one, sizeof one);
  waiter.join();
  ::close(fd);
  ::close(stop);
  latencies.Report(state);
}
BENCHMARK(BM_InotifyFloor)->UseRealTime();

}  // namespace
