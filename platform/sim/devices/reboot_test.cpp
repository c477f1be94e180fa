// The terminal restarted: warm keeps its store, cold makes it afresh from the
// profile, and every program ends with it; a program killed from outside
// ends too, with the code of a process that never said how it ended.
#include "reboot.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <fstream>
#include <string>

#include "ce/device.h"
#include "ce/error.h"
#include "ce/handle.h"
#include "ce/process.h"
#include "ce/registry.h"
#include "ce/sim/control.h"
#include "ce/sync.h"
#include "terminal_wire.h"
#include "test_terminal.h"

namespace {

namespace fs = std::filesystem;

// How this process heard of the last reboot: -1 not at all, else whether cold.
std::atomic<int> heard{-1};

class Reboot : public ::testing::Test {
 protected:
  void SetUp() override {
    // The process stays: it is a test, not a program of the terminal.
    ce::sim::OnTerminalDown([](bool cold, bool) {
      int none = -1;
      heard.compare_exchange_strong(none, cold ? 1 : 0);
    });
    heard = -1;
  }
  // Back on the terminal after its reboot, as the next process to use it.
  void Rejoin() {
    std::string error;
    ASSERT_TRUE(ce::sim::UseTerminal(terminal.dir(), &error)) << error;
  }
  void WriteValue() {
    ce::RegKey key;
    ASSERT_EQ(ce::RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\QelTest", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    const char16_t value[] = u"Kept";
    ASSERT_EQ(ce::RegSetValueExW(key.get(), u"Name", 0, REG_SZ, reinterpret_cast<const ce::BYTE*>(value),
                                 sizeof value),
              ERROR_SUCCESS);
  }
  bool ValueKept() {
    ce::RegKey key;
    return ce::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\QelTest", 0, KEY_READ, key.put()) ==
           ERROR_SUCCESS;
  }
  ce::HANDLE StartForever() {
    std::ofstream(terminal.dir() / "fs" / "Windows" / "forever.exe") << "#!qel-program app\nrun=forever\n";
    ce::PROCESS_INFORMATION info{};
    EXPECT_TRUE(ce::CreateProcessW(u"\\Windows\\forever.exe", nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, nullptr, &info))
        << ce::GetLastError();
    ce::CloseHandle(info.hThread);
    return info.hProcess;
  }
  static ce::DWORD ExitCodeOf(ce::HANDLE process) {
    ce::DWORD code = 0;
    EXPECT_TRUE(ce::GetExitCodeProcess(process, &code));
    return code;
  }

  qeltest::TestTerminal terminal;
};

TEST_F(Reboot, WarmKeepsTheStoreColdMakesItAfresh) {
  const fs::path note = terminal.dir() / "fs" / "Temp" / "note.txt";
  for (const bool cold : {false, true}) {
    SCOPED_TRACE(cold ? "cold" : "warm");
    heard = -1;
    WriteValue();
    std::ofstream(note) << "kept";
    const ce::HANDLE program = StartForever();
    const uint64_t booted = terminal.Hardware("kernel.boot_time_unix_ms").get<uint64_t>();
    if (cold) {
      EXPECT_TRUE(ce::SetCleanRebootFlag());
    }
    EXPECT_TRUE(ce::KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, nullptr));
    EXPECT_EQ(heard, cold ? 1 : 0);
    // Its programs ended with the terminal.
    EXPECT_EQ(ce::WaitForSingleObject(program, 10'000), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCodeOf(program), ce::sim::wire::kVanishedExitCode);
    ce::CloseHandle(program);
    // Down for this process from now on: the terminal's objects are out of reach.
    EXPECT_EQ(ce::CreateEventW(nullptr, TRUE, FALSE, u"QelTest-AfterTheReboot"), nullptr);

    Rejoin();
    EXPECT_EQ(ValueKept(), !cold);
    EXPECT_EQ(fs::exists(note), !cold);
    EXPECT_TRUE(fs::exists(terminal.dir() / "fs" / "Windows" / "Wceload.exe"));  // the profile's own
    EXPECT_GT(terminal.Hardware("kernel.boot_time_unix_ms").get<uint64_t>(),
              booted);  // the tick count restarts
    ce::UniqueHandle event(ce::CreateEventW(nullptr, TRUE, FALSE, u"QelTest-AfterTheReboot"));
    EXPECT_TRUE(event);
  }
}

TEST_F(Reboot, AFlagAloneWaitsForTheReboot) {
  WriteValue();
  EXPECT_TRUE(ce::SetCleanRebootFlag());
  // A terminal that ignores reboots takes the request and stays up, store and all.
  terminal.Set("hal.reboot_ignored", true);
  EXPECT_TRUE(ce::KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, nullptr));
  EXPECT_EQ(heard, -1);
  ce::UniqueHandle event(ce::CreateEventW(nullptr, TRUE, FALSE, u"QelTest-StillUp"));
  EXPECT_TRUE(event);
  // Neither a new process nor the flag clears anything until the terminal reboots.
  Rejoin();
  EXPECT_TRUE(ValueKept());
  terminal.Set("hal.reboot_ignored", false);
  EXPECT_TRUE(ce::KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, nullptr));
  EXPECT_EQ(heard, 1);
  Rejoin();
  EXPECT_FALSE(ValueKept());
}

TEST_F(Reboot, AProgramKilledFromOutsideEndsWithoutACode) {
  const ce::HANDLE program = StartForever();
  ce::DWORD id = 0;
  std::string error;
  const auto listing = ce::sim::TerminalObjectsNow(&error);
  ASSERT_TRUE(listing) << error;
  int pid = 0;
  for (const auto& p : (*listing)["processes"])
    if (p.value("kind", "") == "program" && p.value("alive", false)) {
      pid = p.value("pid", 0);
      id = p.value("id", 0u);
    }
  ASSERT_GT(pid, 0) << listing->dump(2);
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  EXPECT_EQ(ce::WaitForSingleObject(program, 10'000), WAIT_OBJECT_0);
  EXPECT_EQ(ExitCodeOf(program), ce::sim::wire::kVanishedExitCode);
  EXPECT_NE(id, 0u);
  ce::CloseHandle(program);
}

TEST_F(Reboot, ProgramsEndWithAServerKilledFromOutside) {
  const ce::HANDLE program = StartForever();
  std::string error;
  const auto listing = ce::sim::TerminalObjectsNow(&error);
  ASSERT_TRUE(listing) << error;
  int runner = 0;
  for (const auto& p : (*listing)["processes"])
    if (p.value("kind", "") == "program" && p.value("alive", false)) runner = p.value("pid", 0);
  const int server = (*listing)["server"].value("pid", 0);
  ASSERT_GT(runner, 0);
  ASSERT_GT(server, 0);
  ASSERT_EQ(::kill(server, SIGKILL), 0);
  // Its table went with the server: a program nobody could find or end ends too.
  const fs::path proc = "/proc/" + std::to_string(runner);
  for (int i = 0; i < 200 && fs::exists(proc); ++i) ce::Sleep(50);
  EXPECT_FALSE(fs::exists(proc));
  ce::CloseHandle(program);
}

}  // namespace
