// End to end: `qelhost terminal serial` plugs a port of the terminal into a
// pseudo-terminal whose far end is a path this test opens, as picocom or
// socat would, after qelhost has ended; the port itself is opened through the
// system calls in this process, which runs on the same terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/handle.h"
#include "ce/serial.h"
#include "host_run.h"
#include "test_terminal.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using qeltest::HostRun;
using qeltest::RunHost;
using Clock = std::chrono::steady_clock;

// The far end of the line, opened by its path.
class FarEnd {
 public:
  explicit FarEnd(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
  ~FarEnd() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool valid() const { return fd_ >= 0; }
  void Write(const std::string& bytes) const {
    ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  }
  // Up to count bytes that come within a few seconds.
  std::string Read(size_t count) const {
    std::string got;
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (got.size() < count && Clock::now() < until) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      char buffer[256];
      const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
      if (n > 0) got.append(buffer, size_t(n));
    }
    return got;
  }
  // Whether the line hangs up (its relay ended) within a few seconds.
  bool HangsUp() const {
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < until) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 50) > 0 && (p.revents & (POLLHUP | POLLERR))) return true;
    }
    return false;
  }

 private:
  int fd_;
};

class SerialLine : public ::testing::Test {
 protected:
  HostRun Host(std::vector<std::string> args, const fs::path& dir) {
    args.insert(args.begin(), {"--terminal", dir.string()});
    return RunHost(args, terminal.root());
  }
  // The far end's path that `terminal serial PORT --json` printed, or empty.
  std::string Plug(const std::string& port, const fs::path& dir) {
    const HostRun r = Host({"terminal", "serial", port, "--json"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    const json j = json::parse(r.out, nullptr, false);
    if (!j.is_object() || !j["path"].is_string()) {
      ADD_FAILURE() << "not the JSON of a path: " << r.out;
      return {};
    }
    return j["path"];
  }
  ce::UniqueHandle OpenPort(const char16_t* name) {
    ce::UniqueHandle port(
        ce::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ce::COMMTIMEOUTS t{0, 0, 3000, 0, 1000};
    EXPECT_TRUE(port.valid() && ce::SetCommTimeouts(port.get(), &t)) << ce::GetLastError();
    return port;
  }
  std::string PortRead(ce::HANDLE port, ce::DWORD count, ce::DWORD* error = nullptr) {
    std::string buffer(count, '\0');
    ce::DWORD n = 0;
    ce::SetLastError(0);
    if (!ce::ReadFile(port, buffer.data(), count, &n, nullptr) && error) *error = ce::GetLastError();
    buffer.resize(n);
    return buffer;
  }

  qeltest::TestTerminal terminal;
};

TEST_F(SerialLine, TheFarEndCarriesBytesBothWaysUntilThePortIsUnplugged) {
  const std::string path = Plug("COM1", terminal.dir());
  ASSERT_FALSE(path.empty());
  EXPECT_NE(terminal.Hardware("kernel.serial_ports.COM1:"), "");
  const FarEnd far(path);  // qelhost has ended: its relay serves on
  ASSERT_TRUE(far.valid()) << path;
  ce::UniqueHandle port = OpenPort(u"COM1:");
  ASSERT_TRUE(port.valid());

  std::string bytes;
  for (int c = 0; c < 256; ++c) bytes += char(c);
  ce::DWORD n = 0;
  ASSERT_TRUE(ce::WriteFile(port.get(), bytes.data(), ce::DWORD(bytes.size()), &n, nullptr));
  EXPECT_EQ(far.Read(bytes.size()), bytes);
  far.Write("pong\r\n");
  EXPECT_EQ(PortRead(port.get(), 6), "pong\r\n");

  const HostRun off = Host({"terminal", "serial", "COM1", "--off"}, terminal.dir());
  EXPECT_EQ(off.status, 0) << off.err;
  EXPECT_EQ(terminal.Hardware("kernel.serial_ports.COM1:"), "");
  EXPECT_TRUE(far.HangsUp());
  ce::DWORD error = 0;
  EXPECT_EQ(PortRead(port.get(), 4, &error), "");
  EXPECT_EQ(error, ce::DWORD(ERROR_BROKEN_PIPE));  // the line it had is gone
  port.reset();
  ce::UniqueHandle unplugged = OpenPort(u"COM1:");  // plugged into nothing now
  EXPECT_TRUE(unplugged.valid());
}

TEST_F(SerialLine, PluggingThePortElsewhereEndsTheRelay) {
  const FarEnd first(Plug("COM2", terminal.dir()));
  ASSERT_TRUE(first.valid());
  const FarEnd second(Plug("COM2:", terminal.dir()));
  ASSERT_TRUE(second.valid());
  EXPECT_TRUE(first.HangsUp());
  ce::UniqueHandle port = OpenPort(u"COM2:");
  ASSERT_TRUE(port.valid());
  second.Write("ok");
  EXPECT_EQ(PortRead(port.get(), 2), "ok");
  port.reset();

  const HostRun set = Host({"terminal", "set", "kernel.serial_ports.COM2:", ""}, terminal.dir());
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_TRUE(second.HangsUp());
}

TEST_F(SerialLine, TheRelayEndsWithItsTerminal) {
  const fs::path other = terminal.root() / "other";
  std::string error;
  ASSERT_TRUE(ce::sim::CreateTerminal(other, qeltest::Profile(), &error)) << error;
  const FarEnd far(Plug("COM1", other));
  ASSERT_TRUE(far.valid());
  fs::remove_all(other);
  EXPECT_TRUE(far.HangsUp());
}

TEST_F(SerialLine, OnlySerialPortsOfTheTerminalArePlugged) {
  const struct {
    const char* port;
    const char* says;
  } rows[] = {
      {"COM9", "COM9: the terminal has no such device"},
      {"UIO1", "UIO1: the terminal's device of that name is no serial port"},
  };
  for (const auto& row : rows) {
    const HostRun r = Host({"terminal", "serial", row.port}, terminal.dir());
    EXPECT_EQ(r.status, 1) << row.port;
    EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace
