// A serial port is open once on a terminal, whichever of its processes holds
// it, and a process that is killed leaves the port free.
#include <gtest/gtest.h>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/handle.h"
#include "peer_process.h"
#include "test_terminal.h"

namespace {

using qeltest::Peer;

ce::HANDLE OpenPort(const char16_t* name) {
  return ce::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST(SerialPort, IsOpenOnceAcrossTheTerminalsProcesses) {
  qeltest::TestTerminal terminal;
  {
    Peer holder({terminal.dir().string(), "open-port", "COM1:"});
    ASSERT_EQ(holder.Line(), "opened");
    ce::SetLastError(0);
    ce::UniqueHandle mine(OpenPort(u"com1:"));
    EXPECT_FALSE(mine.valid());
    EXPECT_EQ(ce::GetLastError(), ce::DWORD(ERROR_ACCESS_DENIED));
    ce::UniqueHandle other(OpenPort(u"COM2:"));  // each port has its own lock
    EXPECT_TRUE(other.valid());
    holder.Kill();  // the lock goes with the process, however it ends
    holder.Wait();
  }
  ce::UniqueHandle mine(OpenPort(u"COM1:"));
  ASSERT_TRUE(mine.valid()) << ce::GetLastError();
  Peer refused({terminal.dir().string(), "open-port", "COM1:"});
  EXPECT_EQ(refused.Line(), "failed " + std::to_string(ERROR_ACCESS_DENIED));
}

}  // namespace
