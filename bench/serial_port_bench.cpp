// The serial port's read path: 4 MiB through a pseudo-terminal in 128-byte
// reads, by ReadFile on COM1: (plugged into the slave, with the time-outs a
// serial stream sets at 115200 bits per second) against plain read(2) on the
// slave itself, the floor. A thread of the benchmark feeds the master.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "bench_terminal.h"
#include "ce/files.h"
#include "ce/handle.h"
#include "ce/serial.h"

namespace {

constexpr size_t kBytes = 4u << 20;
constexpr size_t kChunk = 128;

struct Pty {
  Pty() {
    char name[128] = {};
    struct termios raw {};
    ::cfmakeraw(&raw);
    raw.c_cc[VMIN] = 1;
    if (::openpty(&master, &slave, name, &raw, nullptr) == 0) path = name;
  }
  ~Pty() {
    ::close(master);
    ::close(slave);
  }
  int master = -1, slave = -1;
  std::string path;
};

// Writes kBytes to the master while the reader drains the slave.
std::thread Feed(int master) {
  return std::thread([master] {
    static const std::string block(16384, 'x');
    for (size_t sent = 0; sent < kBytes;) {
      const ssize_t n = ::write(master, block.data(), std::min(block.size(), kBytes - sent));
      if (n > 0) sent += size_t(n);
    }
  });
}

void BM_PtyReadFloor(benchmark::State& state) {
  Pty pty;
  char buffer[kChunk];
  for (auto _ : state) {
    std::thread feeder = Feed(pty.master);
    for (size_t got = 0; got < kBytes;) {
      const ssize_t n = ::read(pty.slave, buffer, kChunk);
      if (n > 0) got += size_t(n);
    }
    feeder.join();
  }
  state.SetBytesProcessed(int64_t(state.iterations() * kBytes));
}
BENCHMARK(BM_PtyReadFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SerialPortReadFile(benchmark::State& state) {
  BenchTerminal terminal;
  Pty pty;
  std::string error;
  if (!ce::sim::SetHardware("kernel.serial_ports.COM1:", pty.path, &error))
    return state.SkipWithError(error.c_str());
  ce::UniqueHandle port(
      ce::CreateFileW(u"COM1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ce::COMMTIMEOUTS timeouts{8, 1, 25, 1, 25};
  if (!port.valid() || !ce::SetCommTimeouts(port.get(), &timeouts)) return state.SkipWithError("no COM1:");
  char buffer[kChunk];
  for (auto _ : state) {
    std::thread feeder = Feed(pty.master);
    for (size_t got = 0; got < kBytes;) {
      ce::DWORD n = 0;
      if (ce::ReadFile(port.get(), buffer, kChunk, &n, nullptr)) got += n;
    }
    feeder.join();
  }
  state.SetBytesProcessed(int64_t(state.iterations() * kBytes));
}
BENCHMARK(BM_SerialPortReadFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
