// Devices by name: the profile's table, the checks on it, and the calls that
// reach an open driver.
#include "drivers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ce/device.h"
#include "ce/error.h"
#include "ce/files.h"
#include "ce/handle.h"
#include "ce/sim/control.h"
#include "hardware.h"
#include "test_terminal.h"

namespace {

using ce::BOOL;
using ce::DWORD;
using ce::HANDLE;
using ce::LPCWSTR;
using ce::sim::Json;
using Log = std::vector<std::string>;

HANDLE OpenDevice(LPCWSTR name) {
  return ce::CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Writes down each call in the order it arrives; closing is its destruction.
class RecordingDriver final : public ce::sim::Driver {
 public:
  explicit RecordingDriver(Log* log) : log_(log) {}
  ~RecordingDriver() override { log_->push_back("close"); }
  DWORD Read(void* buffer, DWORD size, DWORD* done) override {
    log_->push_back("read " + std::to_string(size));
    std::memcpy(buffer, "abc", *done = 3);
    return ERROR_SUCCESS;
  }
  DWORD Write(const void* buffer, DWORD size, DWORD* done) override {
    log_->push_back("write " + std::string(static_cast<const char*>(buffer), size));
    *done = size;
    return ERROR_SUCCESS;
  }
  DWORD IoControl(DWORD code, const void*, DWORD inSize, void*, DWORD, DWORD* returned) override {
    log_->push_back("control " + std::to_string(code) + " " + std::to_string(inSize));
    *returned = 5;
    return code == 7 ? ERROR_SUCCESS : ERROR_NOT_SUPPORTED;
  }

 private:
  Log* log_;
};

// A driver with none of the entry points.
class BareDriver final : public ce::sim::Driver {};

TEST(Drivers, CallsReachTheOpenDriverInOrder) {
  Log log;
  const HANDLE h = ce::sim::AddHandle(std::make_shared<RecordingDriver>(&log));
  char buffer[8] = {};
  DWORD done = 0;
  EXPECT_TRUE(ce::ReadFile(h, buffer, sizeof buffer, &done, nullptr));
  EXPECT_EQ(std::string(buffer, done), "abc");
  EXPECT_TRUE(ce::WriteFile(h, "xy", 2, &done, nullptr));
  EXPECT_EQ(done, 2u);
  EXPECT_TRUE(ce::DeviceIoControl(h, 7, buffer, 4, buffer, 8, &done, nullptr));
  EXPECT_EQ(done, 5u);
  done = 99;
  ce::SetLastError(0);
  EXPECT_FALSE(ce::DeviceIoControl(h, 8, nullptr, 0, nullptr, 0, &done, nullptr));
  EXPECT_EQ(ce::GetLastError(), DWORD(ERROR_NOT_SUPPORTED));
  EXPECT_EQ(done, 99u);  // a refused control returns nothing
  ce::SetLastError(0);
  EXPECT_FALSE(ce::ReadFile(h, buffer, sizeof buffer, &done, buffer));  // overlapped: never reaches it
  EXPECT_EQ(ce::GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(ce::CloseHandle(h));
  EXPECT_FALSE(ce::WriteFile(h, "z", 1, &done, nullptr));
  EXPECT_EQ(log, (Log{"read 8", "write xy", "control 7 4", "control 8 0", "close"}));
}

TEST(Drivers, MissingEntryPointsAreInvalidFunctions) {
  ce::UniqueHandle h(ce::sim::AddHandle(std::make_shared<BareDriver>()));
  char buffer[4] = {};
  DWORD done = 0;
  const std::function<BOOL()> calls[] = {
      [&] { return ce::ReadFile(h.get(), buffer, sizeof buffer, &done, nullptr); },
      [&] { return ce::WriteFile(h.get(), buffer, sizeof buffer, &done, nullptr); },
      [&] { return ce::DeviceIoControl(h.get(), 1, nullptr, 0, nullptr, 0, &done, nullptr); },
  };
  for (const auto& call : calls) {
    ce::SetLastError(0);
    EXPECT_FALSE(call());
    EXPECT_EQ(ce::GetLastError(), DWORD(ERROR_INVALID_FUNCTION));
  }
}

TEST(Drivers, EveryBuiltInProfileHasTheUioDriver) {
  for (const auto& name : ce::sim::ProfileNames()) {
    SCOPED_TRACE(name);
    qeltest::TestTerminal t(name);
    ce::UniqueHandle uio(OpenDevice(u"UIO1:"));
    EXPECT_TRUE(uio.valid()) << ce::GetLastError();
  }
}

// Which names open follows the profile's table, whatever the spelling.
TEST(Drivers, TheProfileSaysWhichDevicesExist) {
  const struct {
    Json devices;  // null: no table at all
    LPCWSTR name;
    DWORD error;
  } rows[] = {
      {{{"COM3:", "ndisuio"}}, u"com3:", ERROR_SUCCESS},
      {{{"COM3:", "ndisuio"}}, u"UIO1:", ERROR_FILE_NOT_FOUND},
      {Json::object(), u"UIO1:", ERROR_FILE_NOT_FOUND},
      {nullptr, u"UIO1:", ERROR_FILE_NOT_FOUND},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.devices.dump());
    Json profile = qeltest::Profile();
    if (row.devices.is_null())
      profile["hardware"]["kernel"].erase("devices");
    else
      profile["hardware"]["kernel"]["devices"] = row.devices;
    qeltest::TestTerminal t(profile);
    ce::SetLastError(0xdeadbeef);
    ce::UniqueHandle h(OpenDevice(row.name));
    EXPECT_EQ(h.valid(), row.error == ERROR_SUCCESS);
    EXPECT_EQ(ce::GetLastError(), row.error);
  }
}

TEST(Drivers, BadDeviceTablesAreRefusedNamingTheEntry) {
  const struct {
    Json devices;
    const char* says;
  } rows[] = {
      {{{"COM10:", "ndisuio"}}, "kernel.devices.\"COM10:\": not a device name"},
      {{{"UIO1:", "ndisuio"}, {"uio1:", "ndisuio"}}, "names a device twice"},
      {{{"COM1:", "serial-x"}},
       "kernel.devices.\"COM1:\": \"serial-x\" is no kind of driver; the kinds are ndisuio"},
      {{{"COM1:", 3}}, "kernel.devices.COM1:"},  // the field's own type rule
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.devices.dump());
    Json profile = qeltest::Profile();
    profile["hardware"]["kernel"]["devices"] = row.devices;
    qeltest::TempDir temp;
    std::string error;
    EXPECT_FALSE(ce::sim::CreateTerminal(temp.path() / "t", profile, &error));
    EXPECT_NE(error.find(row.says), std::string::npos) << error;
  }
}

TEST(Drivers, TerminalSetAddsOnlyDriversThisBuildHas) {
  qeltest::TestTerminal t;
  std::string error;
  EXPECT_FALSE(ce::sim::SetHardware("kernel.devices.COM3:", "modem", &error));
  EXPECT_NE(error.find("\"modem\" is no kind of driver"), std::string::npos) << error;
  EXPECT_FALSE(ce::sim::SetHardware("kernel.devices.Uio1:", "ndisuio", &error));
  EXPECT_NE(error.find("names a device twice"), std::string::npos) << error;
  const Json before = {{"UIO1:", "ndisuio"}, {"COM1:", "serial"}, {"COM2:", "serial"}, {"UFN1:", "usbfn"}};
  EXPECT_EQ(t.Hardware("kernel.devices"), before);  // nothing refused stays

  t.Set("kernel.devices.COM3:", "ndisuio");
  ce::UniqueHandle com3(OpenDevice(u"COM3:"));
  EXPECT_TRUE(com3.valid());

  // A state edited by hand may still name a driver this build lacks: that
  // device never loaded, so its name is not found.
  ASSERT_TRUE(ce::sim::hw::Write(ce::sim::hw::kDevice, "gone", &error, "COM4:")) << error;
  ce::SetLastError(0);
  EXPECT_EQ(OpenDevice(u"COM4:"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(ce::GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

}  // namespace
