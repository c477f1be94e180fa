// The simulated terminal's serial ports ("COM1:"): opening by the terminal's
// names, line state, time-outs, queues and purges, on a pseudo-terminal whose
// master the test holds as the far side of the line (plugged in through the
// simulation's control API).
// Timings are checked loosely: a rule that is wrong by a factor shows, the
// load of a busy machine does not.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/handle.h"
#include "ce/serial.h"
#include "ce/sim/control.h"
#include "ce/sync.h"
#include "conformance.h"

namespace ce {
namespace {

using cetest::kSentinel;
using Clock = std::chrono::steady_clock;

HANDLE OpenPort(LPCWSTR name) {
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Plugs the terminal's port into a host path ("" unplugs it).
void Plug(const std::string& port, const std::string& path) {
  std::string error;
  ASSERT_TRUE(ce::sim::SetHardware("kernel.serial_ports." + port, path, &error)) << error;
}

// COM1: plugged into the slave of a fresh pseudo-terminal, opened.
class SimSerialLine : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[128] = {};
    ASSERT_EQ(::openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    ::fcntl(master_, F_SETFL, O_NONBLOCK);
    slavePath_ = name;
    Plug("COM1:", slavePath_);
    port_.reset(OpenPort(u"COM1:"));
    ASSERT_TRUE(port_.valid()) << GetLastError();
  }
  void TearDown() override {
    port_.reset();
    Plug("COM1:", "");
    CloseMaster();
    if (slave_ >= 0) ::close(slave_);
  }

  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  void Timeouts(DWORD interval, DWORD multiplier, DWORD constant, DWORD writeMultiplier = 0,
                DWORD writeConstant = 0) {
    COMMTIMEOUTS t{interval, multiplier, constant, writeMultiplier, writeConstant};
    ASSERT_TRUE(SetCommTimeouts(port_.get(), &t)) << GetLastError();
  }
  void FarWrite(const std::string& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  }
  // What the far side receives within waitMs, up to count bytes.
  std::string FarRead(size_t count, int64_t waitMs = 2000) {
    std::string got;
    const auto start = Clock::now();
    while (got.size() < count && MsSince(start) < waitMs) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - got.size()));
      if (n > 0) got.append(buffer, size_t(n));
    }
    return got;
  }
  std::string PortRead(DWORD count, BOOL* ok = nullptr, DWORD* error = nullptr) {
    std::string buffer(count, '\0');
    DWORD n = 0;
    SetLastError(kSentinel);
    const BOOL result = ReadFile(port_.get(), buffer.data(), count, &n, nullptr);
    if (ok) *ok = result;
    if (error) *error = GetLastError();
    buffer.resize(n);
    return buffer;
  }

  int master_ = -1, slave_ = -1;
  std::string slavePath_;
  UniqueHandle port_;
};

TEST(SimSerialPorts, OpenByTheTerminalsNamesOnceAtATime) {
  UniqueHandle first(OpenPort(u"COM2:"));  // nothing plugged in: it still opens
  ASSERT_TRUE(first.valid()) << GetLastError();
  const struct {
    LPCWSTR name;
    DWORD error;
  } rows[] = {
      {u"COM2:", ERROR_ACCESS_DENIED},  // already open
      {u"com2:", ERROR_ACCESS_DENIED},  // names match without regard to case
      {u"COM9:", ERROR_FILE_NOT_FOUND},
  };
  for (const auto& row : rows) {
    SetLastError(kSentinel);
    UniqueHandle h(OpenPort(row.name));
    EXPECT_FALSE(h.valid());
    EXPECT_EQ(GetLastError(), row.error);
  }
  first.reset();
  SetLastError(kSentinel);
  UniqueHandle again(OpenPort(u"com2:"));
  EXPECT_TRUE(again.valid());
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
}

TEST(SimSerialPorts, APortPluggedIntoNothingThereFailsToOpen) {
  Plug("COM2:", "/nonexistent/tty");
  SetLastError(kSentinel);
  UniqueHandle h(OpenPort(u"COM2:"));
  EXPECT_FALSE(h.valid());
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  Plug("COM2:", "");
}

TEST(SimSerialPorts, AnUnpluggedPortTakesWritesAndWaitsOutItsReads) {
  UniqueHandle port(OpenPort(u"COM2:"));
  ASSERT_TRUE(port.valid());
  DWORD n = 0;
  SetLastError(kSentinel);
  EXPECT_TRUE(WriteFile(port.get(), "hello", 5, &n, nullptr));
  EXPECT_EQ(n, 5u);
  COMMTIMEOUTS t{0, 0, 200, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(port.get(), &t));
  char buffer[8];
  const auto start = Clock::now();
  EXPECT_TRUE(ReadFile(port.get(), buffer, sizeof buffer, &n, nullptr));
  EXPECT_EQ(n, 0u);
  EXPECT_GE(MsSince(start), 180);
  EXPECT_EQ(GetLastError(), kSentinel);
}

// Each change is tried on the state as last accepted; a refused one leaves it.
TEST_F(SimSerialLine, LineStateRoundTripsAndRefusesWhatNoPortTakes) {
  DCB initial{};
  SetLastError(kSentinel);
  ASSERT_TRUE(GetCommState(port_.get(), &initial));
  EXPECT_EQ(GetLastError(), kSentinel);
  EXPECT_EQ(initial.ByteSize, 8);
  const struct {
    const char* what;
    void (*change)(DCB&);
    bool accepted;
  } rows[] = {
      {"115200 8E1, CTS flow", [](DCB& d) { d.BaudRate = 115200, d.Parity = EVENPARITY, d.fOutxCtsFlow = 1; },
       true},
      {"7 data bits, odd, two stop bits",
       [](DCB& d) { d.ByteSize = 7, d.Parity = ODDPARITY, d.StopBits = 2; }, true},
      {"mark parity", [](DCB& d) { d.Parity = MARKPARITY; }, true},
      {"XON/XOFF, record length 0", [](DCB& d) { d.fOutX = d.fInX = 1, d.DCBlength = 0; }, true},
      {"5 data bits, 1.5 stop bits", [](DCB& d) { d.ByteSize = 5, d.StopBits = ONE5STOPBITS; }, true},
      {"a speed termios has no constant for", [](DCB& d) { d.BaudRate = 14400; }, true},
      {"speed 0", [](DCB& d) { d.BaudRate = 0; }, false},
      {"9 data bits", [](DCB& d) { d.ByteSize = 9; }, false},
      {"4 data bits", [](DCB& d) { d.ByteSize = 4; }, false},
      {"parity 5", [](DCB& d) { d.Parity = 5; }, false},
      {"stop-bit code 3", [](DCB& d) { d.StopBits = 3; }, false},
      {"2 stop bits after 5 data bits", [](DCB& d) { d.StopBits = TWOSTOPBITS; }, false},
      {"1.5 stop bits after 8 data bits", [](DCB& d) { d.ByteSize = 8, d.StopBits = ONE5STOPBITS; }, false},
      {"XON and XOFF the same", [](DCB& d) { d.XonChar = d.XoffChar; }, false},
  };
  DCB expected = initial;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    DCB changed = expected;
    row.change(changed);
    SetLastError(kSentinel);
    EXPECT_EQ(SetCommState(port_.get(), &changed), BOOL(row.accepted));
    EXPECT_EQ(GetLastError(), row.accepted ? kSentinel : DWORD(ERROR_INVALID_PARAMETER));
    if (row.accepted) expected = changed, expected.DCBlength = sizeof(DCB);
    DCB now{};
    ASSERT_TRUE(GetCommState(port_.get(), &now));
    EXPECT_EQ(now.BaudRate, expected.BaudRate);
    EXPECT_EQ(now.ByteSize, expected.ByteSize);
    EXPECT_EQ(now.Parity, expected.Parity);
    EXPECT_EQ(now.StopBits, expected.StopBits);
    EXPECT_EQ(now.fOutxCtsFlow, expected.fOutxCtsFlow);
    EXPECT_EQ(now.fOutX, expected.fOutX);
    EXPECT_EQ(now.DCBlength, DWORD(sizeof(DCB)));
  }
  SetLastError(kSentinel);
  EXPECT_FALSE(SetCommState(port_.get(), nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

// What termios holds is what the line itself does: speed, flow control.
TEST_F(SimSerialLine, LineStateReachesTheTty) {
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port_.get(), &dcb));
  dcb.BaudRate = 57600;
  dcb.fOutxCtsFlow = 1;
  dcb.fOutX = 1;
  dcb.fInX = 1;
  ASSERT_TRUE(SetCommState(port_.get(), &dcb));
  termios tty{};
  ASSERT_EQ(::tcgetattr(slave_, &tty), 0);
  EXPECT_EQ(::cfgetospeed(&tty), speed_t(B57600));
  EXPECT_TRUE(tty.c_cflag & CRTSCTS);
  EXPECT_TRUE((tty.c_iflag & IXON) && (tty.c_iflag & IXOFF));
  EXPECT_FALSE(tty.c_lflag & (ICANON | ECHO));
  dcb.fOutxCtsFlow = dcb.fOutX = dcb.fInX = 0;
  ASSERT_TRUE(SetCommState(port_.get(), &dcb));
  ASSERT_EQ(::tcgetattr(slave_, &tty), 0);
  EXPECT_FALSE(tty.c_cflag & CRTSCTS);
  EXPECT_FALSE(tty.c_iflag & (IXON | IXOFF));
}

TEST_F(SimSerialLine, TimeoutsRoundTrip) {
  COMMTIMEOUTS set{16, 2, 25, 3, 50}, got{};
  SetLastError(kSentinel);
  ASSERT_TRUE(SetCommTimeouts(port_.get(), &set));
  ASSERT_TRUE(GetCommTimeouts(port_.get(), &got));
  EXPECT_EQ(GetLastError(), kSentinel);
  EXPECT_EQ(
      std::make_tuple(got.ReadIntervalTimeout, got.ReadTotalTimeoutMultiplier, got.ReadTotalTimeoutConstant,
                      got.WriteTotalTimeoutMultiplier, got.WriteTotalTimeoutConstant),
      std::make_tuple(16u, 2u, 25u, 3u, 50u));
  COMMTIMEOUTS never{MAXDWORD, MAXDWORD, MAXDWORD, 0, 0};
  SetLastError(kSentinel);
  EXPECT_FALSE(SetCommTimeouts(port_.get(), &never));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  SetLastError(kSentinel);
  EXPECT_FALSE(GetCommTimeouts(port_.get(), nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(SimSerialLine, BytesGoBothWaysUnchanged) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += char(c);
  DWORD n = 0;
  SetLastError(kSentinel);
  ASSERT_TRUE(WriteFile(port_.get(), all.data(), DWORD(all.size()), &n, nullptr));
  EXPECT_EQ(n, all.size());
  EXPECT_EQ(FarRead(all.size()), all);  // no translation of CR, LF or anything else
  Timeouts(0, 0, 2000);
  FarWrite(all);
  BOOL ok = FALSE;
  EXPECT_EQ(PortRead(DWORD(all.size()), &ok), all);
  EXPECT_TRUE(ok);
  EXPECT_EQ(FarRead(1, 200), "");  // nothing echoed back
}

// The time-outs of a read, each row a case of the rules; the far side sends
// `sent` first, then `later` after 150 ms (when given).
TEST_F(SimSerialLine, ReadsKeepTheirTimeouts) {
  const struct {
    const char* what;
    COMMTIMEOUTS timeouts;
    std::string sent, later;
    DWORD count;
    std::string expected;
    int64_t atLeastMs, belowMs;
  } rows[] = {
      {"interval MAXDWORD alone: what is there, at once", {MAXDWORD, 0, 0}, "ab", "", 10, "ab", 0, 1000},
      {"interval MAXDWORD alone, nothing there", {MAXDWORD, 0, 0}, "", "", 10, "", 0, 1000},
      {"all zero: until the count has come", {0, 0, 0}, "abc", "defg", 7, "abcdefg", 120, 5000},
      {"total: multiplier times count plus constant", {0, 20, 100}, "", "", 10, "", 280, 3000},
      {"total: the count in time ends it early", {0, 100, 1000}, "abcd", "", 4, "abcd", 0, 1000},
      {"interval: ends a pause after the first bytes", {60, 0, 0}, "abc", "", 10, "abc", 50, 1500},
      {"interval: not before the first byte", {60, 0, 400}, "", "", 10, "", 380, 3000},
      {"interval: bytes within it keep the read going", {400, 0, 0}, "ab", "cd", 4, "abcd", 120, 1500},
      {"MAXDWORD both and a constant: waits for the first bytes",
       {MAXDWORD, MAXDWORD, 2000},
       "",
       "xy",
       10,
       "xy",
       120,
       1500},
      {"MAXDWORD both and a constant: nothing comes", {MAXDWORD, MAXDWORD, 200}, "", "", 10, "", 180, 2000},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Timeouts(row.timeouts.ReadIntervalTimeout, row.timeouts.ReadTotalTimeoutMultiplier,
             row.timeouts.ReadTotalTimeoutConstant);
    if (!row.sent.empty()) FarWrite(row.sent);
    std::thread far;
    if (!row.later.empty())
      far = std::thread([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        FarWrite(row.later);
      });
    // Bytes sent before the call are in the port's queue when it starts.
    if (!row.sent.empty()) {
      COMSTAT status{};
      for (int i = 0; i < 200 && status.cbInQue < row.sent.size(); ++i) {
        ClearCommError(port_.get(), nullptr, &status);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
    const auto start = Clock::now();
    BOOL ok = FALSE;
    DWORD error = 0;
    EXPECT_EQ(PortRead(row.count, &ok, &error), row.expected);
    const int64_t took = MsSince(start);
    EXPECT_TRUE(ok);
    EXPECT_EQ(error, kSentinel);
    EXPECT_GE(took, row.atLeastMs);
    EXPECT_LT(took, row.belowMs);
    if (far.joinable()) far.join();
    PurgeComm(port_.get(), PURGE_RXCLEAR);
  }
}

TEST_F(SimSerialLine, WritesKeepTheirTotalTimeout) {
  Timeouts(0, 0, 0, 0, 200);
  // The far side reads nothing: the pseudo-terminal's buffers fill.
  std::string block(1 << 16, 'x');
  DWORD total = 0, n = 0;
  const auto start = Clock::now();
  for (int i = 0; i < 64 && MsSince(start) < 10000; ++i) {
    SetLastError(kSentinel);
    ASSERT_TRUE(WriteFile(port_.get(), block.data(), DWORD(block.size()), &n, nullptr));
    EXPECT_EQ(GetLastError(), kSentinel);
    total += n;
    if (n < block.size()) break;
  }
  EXPECT_LT(n, block.size());  // a write that timed out says what went
  EXPECT_GT(total, 0u);
}

TEST_F(SimSerialLine, QueueCountsAndPurges) {
  FarWrite("12345");
  COMSTAT status{};
  DWORD errors = 99;
  for (int i = 0; i < 400 && status.cbInQue < 5; ++i) {
    SetLastError(kSentinel);
    ASSERT_TRUE(ClearCommError(port_.get(), &errors, &status));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(status.cbInQue, 5u);
  EXPECT_EQ(errors, 0u);  // a pseudo-terminal has no line errors
  EXPECT_EQ(GetLastError(), kSentinel);
  ASSERT_TRUE(ClearCommError(port_.get(), nullptr, nullptr));  // both records are optional

  SetLastError(kSentinel);
  ASSERT_TRUE(PurgeComm(port_.get(), PURGE_RXCLEAR | PURGE_TXCLEAR));
  ASSERT_TRUE(ClearCommError(port_.get(), &errors, &status));
  EXPECT_EQ(status.cbInQue, 0u);
  Timeouts(MAXDWORD, 0, 0);
  EXPECT_EQ(PortRead(5), "");

  SetLastError(kSentinel);
  EXPECT_FALSE(PurgeComm(port_.get(), 0x10));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(SimSerialLine, APurgeAbortsAWaitingRead) {
  Timeouts(0, 0, 0);  // would wait for ever
  BOOL ok = TRUE;
  DWORD error = 0;
  std::thread reader([&] { PortRead(4, &ok, &error); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(PurgeComm(port_.get(), PURGE_RXABORT));
  reader.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, DWORD(ERROR_OPERATION_ABORTED));
  // Later reads are not aborted by it.
  Timeouts(MAXDWORD, 0, 0);
  FarWrite("z");
  Timeouts(0, 0, 2000);
  EXPECT_EQ(PortRead(1, &ok), "z");
  EXPECT_TRUE(ok);
}

// One thread reads while another writes the same handle: the far side sends
// back what it gets, so the read ends only if the writes went out meanwhile.
TEST_F(SimSerialLine, AReadDoesNotHoldUpAWrite) {
  constexpr DWORD kBytes = 64 * 1024;
  Timeouts(0, 0, 0);
  std::string received;
  std::thread reader([&] { received = PortRead(kBytes); });
  std::string sent;
  for (DWORD i = 0; i < kBytes; ++i) sent += char('a' + i % 26);
  std::thread loop([&] {
    size_t echoed = 0;
    const auto start = Clock::now();
    while (echoed < kBytes && MsSince(start) < 20000) {
      const std::string chunk = FarRead(std::min<size_t>(4096, kBytes - echoed));
      for (size_t at = 0; at < chunk.size();) {
        const ssize_t n = ::write(master_, chunk.data() + at, chunk.size() - at);
        if (n > 0) at += size_t(n);
      }
      echoed += chunk.size();
    }
  });
  for (DWORD at = 0; at < kBytes; at += 1024) {
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(port_.get(), sent.data() + at, 1024, &n, nullptr));
    ASSERT_EQ(n, 1024u);
  }
  loop.join();
  reader.join();
  EXPECT_EQ(received, sent);
}

TEST_F(SimSerialLine, AFarSideThatGoesAwayFailsReadsAndWrites) {
  Timeouts(0, 0, 5000);
  CloseMaster();
  const auto start = Clock::now();
  BOOL ok = TRUE;
  DWORD error = 0;
  EXPECT_EQ(PortRead(8, &ok, &error), "");
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, DWORD(ERROR_BROKEN_PIPE));
  EXPECT_LT(MsSince(start), 2500);  // it did not wait out the time-out
  DWORD n = 9;
  SetLastError(kSentinel);
  EXPECT_FALSE(WriteFile(port_.get(), "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BROKEN_PIPE));
  EXPECT_EQ(n, 0u);
}

}  // namespace
}  // namespace ce
