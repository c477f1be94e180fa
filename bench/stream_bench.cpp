// The streams reading bulk data through the host, each beside the plain loop
// it comes down to, in the same run: 64 MB over loopback TCP in the socket
// stream's 128-byte reads against select + recv(128); a 64 MB file in 128-byte
// reads against read(128); 8 MB over a pseudo-terminal through a serial port
// against a raw termios read(128) loop.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "bench_host.h"
#include "ceutil/text.h"
#include "loopback_peer.h"
#include "qel/stream.h"
#include "qelcommon/value.h"

namespace {

constexpr size_t kBytes = size_t(64) << 20;
constexpr size_t kChunk = 128;

struct DestroyStream {
  void operator()(IQelStream* s) const { s->Destroy(); }
};
using StreamPtr = std::unique_ptr<IQelStream, DestroyStream>;

StreamPtr HostStream(const char16_t* type, std::initializer_list<const char16_t*> texts) {
  auto& host = LoadedHost();
  host.Start();
  StreamPtr s(host.registry().streams().MakeStream(type));
  if (!s) std::abort();
  std::vector<std::unique_ptr<CQelValue>> values;
  std::vector<IQelValue*> pointers;
  for (const char16_t* t : texts) {
    values.push_back(std::make_unique<CQelValue>());
    values.back()->SetStringZ(t);
    pointers.push_back(values.back().get());
  }
  if (!s->Configure(int32_t(pointers.size()), pointers.data())) std::abort();
  return s;
}

// Sends kBytes to whoever connects to the listener, then closes.
std::thread Sender(qeltest::LoopbackPeer& listener) {
  return std::thread([&listener] {
    qeltest::LoopbackPeer peer = listener.Accept(20000);
    const std::string block(1 << 20, 's');
    for (size_t sent = 0; sent < kBytes; sent += block.size()) peer.Send(block);
  });
}

void BM_SocketStreamRead(benchmark::State& state) {
  qeltest::SocketsStarted sockets;
  char buffer[4096];
  for (auto _ : state) {
    qeltest::LoopbackPeer listener = qeltest::LoopbackPeer::TcpListener();
    std::thread sender = Sender(listener);
    const std::u16string address = u"127.0.0.1:" + ceutil::FromUtf8(std::to_string(listener.port()));
    StreamPtr s = HostStream(u"SOCKET", {u"TCP", u"0", address.c_str()});
    s->Open(5000);
    size_t got = 0;
    while (got < kBytes) {
      const int32_t n = s->Read(buffer, sizeof buffer, 5000);
      if (n <= 0) break;
      got += size_t(n);
    }
    sender.join();
    if (got != kBytes) state.SkipWithError("the stream read less than was sent");
  }
  state.SetBytesProcessed(int64_t(state.iterations() * kBytes));
}
BENCHMARK(BM_SocketStreamRead)->Unit(benchmark::kMillisecond)->Iterations(3);

// The floor: a non-blocking socket, select, then recv of 128 bytes.
void BM_BareSelectRecv128(benchmark::State& state) {
  char buffer[kChunk];
  for (auto _ : state) {
    qeltest::LoopbackPeer listener = qeltest::LoopbackPeer::TcpListener();
    std::thread sender = Sender(listener);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(listener.port());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) std::abort();
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    size_t got = 0;
    while (got < kBytes) {
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(fd, &readable);
      timeval limit{5, 0};
      if (::select(fd + 1, &readable, nullptr, nullptr, &limit) <= 0) break;
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      got += size_t(n);
    }
    ::close(fd);
    sender.join();
    if (got != kBytes) state.SkipWithError("the loop read less than was sent");
  }
  state.SetBytesProcessed(int64_t(state.iterations() * kBytes));
}
BENCHMARK(BM_BareSelectRecv128)->Unit(benchmark::kMillisecond)->Iterations(3);

// A 64 MB file of the terminal, made once.
const std::filesystem::path& BulkFile() {
  static const std::filesystem::path path = [] {
    const auto p = Terminal().fs() / "Temp" / "bulk.bin";
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    const std::string block(1 << 20, 'f');
    for (size_t n = 0; n < kBytes; n += block.size()) out << block;
    return p;
  }();
  return path;
}

void BM_FileStreamRead128(benchmark::State& state) {
  BulkFile();
  char buffer[kChunk];
  for (auto _ : state) {
    StreamPtr s = HostStream(u"FILE", {u"\\Temp\\bulk.bin"});
    s->Open(0);
    size_t got = 0;
    for (int32_t n; (n = s->Read(buffer, sizeof buffer, 0)) > 0;) got += size_t(n);
    if (got != kBytes) state.SkipWithError("the stream read less than the file holds");
  }
  state.SetBytesProcessed(int64_t(state.iterations() * kBytes));
}
BENCHMARK(BM_FileStreamRead128)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_BareRead128(benchmark::State& state) {
  const std::string path = BulkFile().string();
  char buffer[kChunk];
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    size_t got = 0;
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) got += size_t(n);
    ::close(fd);
    if (got != kBytes) state.SkipWithError("the loop read less than the file holds");
  }
  state.SetBytesProcessed(int64_t(state.iterations() * kBytes));
}
BENCHMARK(BM_BareRead128)->Unit(benchmark::kMillisecond)->Iterations(3);

constexpr size_t kLineBytes = size_t(8) << 20;

// A pseudo-terminal pair in raw mode, and a thread writing kLineBytes into its master end.
struct Line {
  Line() {
    char name[128];
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) std::abort();
    path = name;
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
  }
  ~Line() {
    if (writer.joinable()) writer.join();
    ::close(master);
    ::close(slave);
  }
  void Send() {
    writer = std::thread([this] {
      const std::string block(4096, 'p');
      for (size_t sent = 0; sent < kLineBytes;) {
        const ssize_t n = ::write(master, block.data(), std::min(block.size(), kLineBytes - sent));
        if (n <= 0) break;
        sent += size_t(n);
      }
    });
  }
  int master = -1, slave = -1;
  std::string path;
  std::thread writer;
};

void BM_SerialStreamRead(benchmark::State& state) {
  char buffer[4096];
  for (auto _ : state) {
    Line line;
    std::string error;
    if (!ce::sim::SetHardware("kernel.serial_ports.COM1:", line.path, &error)) std::abort();
    StreamPtr s = HostStream(u"COM1", {u"115200", u"8", u"N", u"1", u"N"});
    s->Open(0);
    line.Send();
    size_t got = 0;
    while (got < kLineBytes) {
      const int32_t n = s->Read(buffer, sizeof buffer, 5000);
      if (n <= 0) break;
      got += size_t(n);
    }
    if (got != kLineBytes) state.SkipWithError("the stream read less than was sent");
  }
  state.SetBytesProcessed(int64_t(state.iterations() * kLineBytes));
}
BENCHMARK(BM_SerialStreamRead)->Unit(benchmark::kMillisecond)->Iterations(3);

// The floor: poll, then read 128 bytes, on the raw pseudo-terminal.
void BM_BareTermiosRead128(benchmark::State& state) {
  char buffer[kChunk];
  for (auto _ : state) {
    Line line;
    line.Send();
    size_t got = 0;
    while (got < kLineBytes) {
      pollfd p{line.slave, POLLIN, 0};
      if (::poll(&p, 1, 5000) <= 0) break;
      const ssize_t n = ::read(line.slave, buffer, sizeof buffer);
      if (n <= 0) break;
      got += size_t(n);
    }
    if (got != kLineBytes) state.SkipWithError("the loop read less than was sent");
  }
  state.SetBytesProcessed(int64_t(state.iterations() * kLineBytes));
}
BENCHMARK(BM_BareTermiosRead128)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
