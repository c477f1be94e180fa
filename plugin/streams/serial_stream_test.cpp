// The serial stream: its settings, its device names, and its line on a
// pseudo-terminal the test holds the far end of.
#include "streams/serial_stream.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "ceutil/text.h"
#include "stream_doubles.h"
#include "test_terminal.h"

namespace {

using namespace qeltest;

struct SettingsCase {
  const char* what;
  std::vector<const char16_t*> values;
  bool ok;
};

TEST(SerialStream, ConfigureChecksEachSetting) {
  const SettingsCase cases[] = {
      {"defaults_from_empty_values", {u"", u"", u"", u"", u""}, true},
      {"missing_values_are_empty", {nullptr, nullptr, nullptr, nullptr, nullptr}, true},
      {"slowest", {u"1200", u"8", u"N", u"1", u"N"}, true},
      {"fastest", {u"115200", u"7", u"E", u"2", u"H"}, true},
      {"too_slow", {u"1199", u"8", u"N", u"1", u"N"}, false},
      {"too_fast", {u"115201", u"8", u"N", u"1", u"N"}, false},
      {"not_a_speed", {u"fast", u"8", u"N", u"1", u"N"}, false},
      {"six_bits", {u"9600", u"6", u"N", u"1", u"N"}, false},
      {"odd_parity_word", {u"9600", u"8", u"Odd", u"1", u"S"}, true},
      {"lower_case_parity", {u"9600", u"8", u"e", u"1", u"N"}, false},
      {"mark_parity", {u"9600", u"8", u"M", u"1", u"N"}, false},
      {"three_stop_bits", {u"9600", u"8", u"N", u"3", u"N"}, false},
      {"lower_case_flow", {u"9600", u"8", u"N", u"1", u"h"}, false},
      {"four_values", {u"9600", u"8", u"N", u"1"}, false},
  };
  for (const SettingsCase& c : cases) {
    SCOPED_TRACE(c.what);
    StreamPtr s = MakeStream(u"COM1");
    ASSERT_TRUE(s);
    EXPECT_EQ(Configure(s.get(), c.values), c.ok);
  }
}

TEST(SerialStream, TheCharacterTimeFollowsTheSettings) {
  struct Case {
    std::vector<const char16_t*> values;
    uint32_t ms;
  };
  const Case cases[] = {
      {{u"9600", u"8", u"N", u"1", u"N"}, 2},    // 1000 / (9600 / 10) + 1
      {{u"1200", u"8", u"N", u"1", u"N"}, 9},    // 1000 / 120 + 1
      {{u"1200", u"7", u"E", u"2", u"N"}, 9},    // 1000 / (1200 / 10) + 1
      {{u"115200", u"8", u"N", u"2", u"N"}, 1},  // 1000 / 10472 + 1
      {{u"2400", u"8", u"N", u"2", u"N"}, 5},    // 1000 / 218 + 1
  };
  for (const Case& c : cases) {
    qel::CQelSerialStream s(u"COM1:");
    ASSERT_TRUE(Configure(&s, c.values));
    EXPECT_EQ(s.CharacterTime(), c.ms) << ceutil::ToUtf8(c.values[0]);
  }
}

TEST(SerialStream, TypeNamesGiveOneDigitPorts) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"COM1", u"COM1:"},  {u"COM1:", u"COM1:"},   {u"com2", u"com2:"},
      {u"COM10", u"COM1:"}, {u"Com3:x", u"Com3:x"}, {u"COM", u"COM:"},
  };
  for (const auto& [type, device] : cases)
    EXPECT_EQ(qel::SerialDeviceName(type), device) << ceutil::ToUtf8(type);
  for (const char16_t* type : {u"CO", u"XCOM1", u"", u"SOCKET"}) {
    IQelStream* const sentinel = reinterpret_cast<IQelStream*>(uintptr_t{0x1000});
    IQelStream* untouched = sentinel;
    qel::SerialStreamFactory(type, &untouched);
    EXPECT_EQ(untouched, sentinel) << ceutil::ToUtf8(type);
  }
}

// COM1 plugged into a pseudo-terminal whose master end the test holds.
class SerialStreamLine : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[128];
    ASSERT_EQ(::openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    terminal.Set("kernel.serial_ports.COM1:", name);
  }
  void TearDown() override {
    if (master_ >= 0) ::close(master_);
    ::close(slave_);
  }

  StreamPtr Open(const std::vector<const char16_t*>& values = {u"", u"", u"", u"", u""}) {
    StreamPtr s = MakeStream(u"COM1");
    EXPECT_TRUE(Configure(s.get(), values));
    s->Open(0);
    return s;
  }
  std::string FromMaster(size_t n, int timeoutMs) {
    std::string out;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < n && std::chrono::steady_clock::now() < until) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      char buffer[512];
      const ssize_t got = ::read(master_, buffer, sizeof buffer);
      if (got > 0) out.append(buffer, size_t(got));
    }
    return out;
  }
  void ToMaster(const std::string& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  }

  TestTerminal terminal;
  int master_ = -1, slave_ = -1;
};

TEST_F(SerialStreamLine, OpenSetsTheLineAndBytesGoBothWays) {
  StreamPtr s = Open({u"9600", u"7", u"E", u"2", u"H"});
  termios line{};
  ASSERT_EQ(::tcgetattr(slave_, &line), 0);
  // A pseudo-terminal keeps 8 bits without parity whatever it is told; the
  // speed, the parity's sense, the stop bits and the flow control it keeps.
  EXPECT_EQ(::cfgetospeed(&line), speed_t(B9600));
  EXPECT_FALSE(line.c_cflag & PARODD);
  EXPECT_TRUE(line.c_cflag & CSTOPB);
  EXPECT_TRUE(line.c_cflag & CRTSCTS);

  EXPECT_EQ(s->Write("hello", 5, 1000), 5);
  EXPECT_EQ(FromMaster(5, 5000), "hello");
  ToMaster(std::string(300, 'm'));
  std::string got;
  for (int i = 0; i < 20 && got.size() < 300; ++i) {
    const std::string part = ReadSome(s.get(), 1000, 2000);
    EXPECT_LE(part.size(), 128u);
    got += part;
  }
  EXPECT_EQ(got, std::string(300, 'm'));
  EXPECT_EQ(s->Write(nullptr, 1, 100), -1);
  EXPECT_EQ(s->Write("x", 0, 100), -1);
}

TEST_F(SerialStreamLine, SoftwareFlowAndNoFlowSetTheirFlags) {
  for (const char16_t* flow : {u"S", u"N"}) {
    StreamPtr s = Open({u"", u"8", u"O", u"1", flow});
    termios line{};
    ASSERT_EQ(::tcgetattr(slave_, &line), 0);
    EXPECT_EQ(bool(line.c_iflag & IXON), flow[0] == u'S');
    EXPECT_EQ(bool(line.c_iflag & IXOFF), flow[0] == u'S');
    EXPECT_FALSE(line.c_cflag & CRTSCTS);
    EXPECT_TRUE(line.c_cflag & PARODD);
    EXPECT_EQ(::cfgetospeed(&line), speed_t(B115200));
  }
}

TEST_F(SerialStreamLine, InterruptEndsAReadWithoutLimitAndOpenClearsOneLeftOver) {
  StreamPtr s = Open();
  std::atomic<bool> done{false};
  int32_t result = -2;
  std::thread reader([&] {
    char buffer[16];
    result = s->Read(buffer, sizeof buffer, INFINITE);
    done = true;
  });
  while (!done) {
    EXPECT_TRUE(s->Interrupt());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  reader.join();
  EXPECT_EQ(result, 0);

  // One interrupt left over from before an Open ends nothing after it.
  EXPECT_TRUE(s->Interrupt());
  s->Open(0);
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ToMaster("late");
  });
  EXPECT_EQ(ReadSome(s.get(), 16, 5000), "late");
  late.join();
  s->Close();
  EXPECT_FALSE(s->Interrupt()) << "a closed port has nothing to interrupt";
}

TEST_F(SerialStreamLine, ResetDropsWhatIsQueuedAndAReadTimesOutEmpty) {
  StreamPtr s = Open();
  ToMaster(std::string(50, 'q'));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(s->Reset());
  EXPECT_EQ(ReadSome(s.get(), 100, 100), "");
  ToMaster("fresh");
  EXPECT_EQ(ReadSome(s.get(), 100, 5000), "fresh");
}

TEST_F(SerialStreamLine, APortIsOpenedOnceAndAPortTheTerminalLacksNotAtAll) {
  StreamPtr first = Open();
  StreamPtr second = Open();
  EXPECT_EQ(first->Write("a", 1, 100), 1);
  EXPECT_EQ(second->Write("b", 1, 100), -1) << "the port is taken";
  EXPECT_EQ(second->Read(nullptr, 0, 10), 0) << "a closed port reads nothing";
  first->Close();
  second->Open(0);
  EXPECT_EQ(second->Write("b", 1, 100), 1);

  StreamPtr missing = MakeStream(u"COM7");
  ASSERT_TRUE(Configure(missing.get(), {u"", u"", u"", u"", u""}));
  missing->Open(0);
  EXPECT_EQ(missing->Write("x", 1, 100), -1);
  EXPECT_FALSE(missing->Reset());
}

TEST_F(SerialStreamLine, AFarSideThatGoesAwayEndsReading) {
  StreamPtr s = Open();
  ::close(master_);
  master_ = -1;
  char buffer[16];
  int32_t last = 1;
  for (int i = 0; i < 5 && last != -1; ++i) last = s->Read(buffer, sizeof buffer, 200);
  EXPECT_LE(last, 0);
}

}  // namespace
