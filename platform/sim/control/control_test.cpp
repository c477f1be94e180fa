// Choosing the process's terminal: explicitly, through the environment, or none.
#include "ce/sim/control.h"

#include <gtest/gtest.h>

#include <fstream>

#include "ce/error.h"
#include "ce/files.h"
#include "ce/registry.h"
#include "ce/system.h"
#include "temp_dir.h"
#include "test_terminal.h"

namespace {

namespace fs = std::filesystem;
using ce::BYTE;
using ce::DWORD;
using ce::LPCWSTR;
using qeltest::TempDir;

TEST(Terminal, ABrokenRegistryIsReportedWhenTheTerminalOpens) {
  qeltest::TestTerminal t("thor-vm1");
  ce::sim::CloseTerminal();
  std::ofstream(t.dir() / "registry.db", std::ios::trunc) << "this is not a database, not even close to one";
  std::string error;
  EXPECT_FALSE(ce::sim::UseTerminal(t.dir(), &error));
  EXPECT_NE(error.find("registry.db"), std::string::npos) << error;
  fs::remove(t.dir() / "registry.db");
  EXPECT_FALSE(ce::sim::UseTerminal(t.dir(), &error));  // a lost registry is not quietly made anew
  EXPECT_NE(error.find("not a terminal"), std::string::npos) << error;
}

// Without a terminal every family of calls fails as on a device not ready.
TEST(Terminal, NoTerminalMeansNotReady) {
  qeltest::NoTerminal none;
  EXPECT_FALSE(ce::sim::ReadHardware(nullptr));
  ce::ULARGE_INTEGER avail{};
  EXPECT_FALSE(ce::GetDiskFreeSpaceExW(nullptr, &avail, nullptr, nullptr));
  EXPECT_EQ(ce::GetLastError(), ERROR_NOT_READY);
  EXPECT_EQ(ce::GetFileAttributesW(u"\\Windows"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(ce::GetLastError(), ERROR_NOT_READY);
  EXPECT_EQ(ce::CreateFileW(u"\\x", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(ce::GetLastError(), ERROR_NOT_READY);
  ce::RegKey key;
  EXPECT_EQ(ce::RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, key.put()), ERROR_NOT_READY);
  EXPECT_EQ(ce::RegCreateKeyExW(HKEY_USERS, u"X", 0, nullptr, 0, 0, nullptr, key.put(), nullptr),
            ERROR_NOT_READY);
  ce::MEMORYSTATUS m{};
  ce::GlobalMemoryStatus(&m);
  EXPECT_EQ(m.dwTotalPhys, 0u);
}

TEST(Terminal, EnvironmentNamesTheTerminalWhenNoneIsChosen) {
  TempDir tmp;
  ASSERT_TRUE(ce::sim::CreateTerminal(tmp / "t", *ce::sim::BuiltinProfile("omnii-xt10"), nullptr));
  qeltest::NoTerminal none;
  ::setenv(ce::sim::kTerminalEnv, (tmp / "t").c_str(), 1);
  char16_t oem[64] = {};
  EXPECT_TRUE(ce::SystemParametersInfoW(SPI_GETOEMINFO, sizeof oem, oem, 0));
  EXPECT_EQ(std::u16string(oem), u"Psion 7545XA");
}

TEST(Terminal, OpenKeysStayWithTheirTerminalAndDataPersists) {
  qeltest::TestTerminal terminal("thor-vm1");
  auto getDword = [](ce::HKEY key, LPCWSTR name, DWORD* value) {
    DWORD size = sizeof *value;
    return ce::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
  };
  ce::RegKey key;
  ASSERT_EQ(ce::RegCreateKeyExW(HKEY_CURRENT_USER, u"Persist", 0, nullptr, 0, 0, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  const DWORD n = 42;
  ASSERT_EQ(ce::RegSetValueExW(key.get(), u"n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), sizeof n),
            ERROR_SUCCESS);
  {
    qeltest::NoTerminal none;
    DWORD value = 0;
    EXPECT_EQ(getDword(key.get(), u"N", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, 42u);
  }
  key.reset();
  std::string error;
  ASSERT_TRUE(ce::sim::UseTerminal(terminal.dir(), &error)) << error;
  ce::RegKey reopened;
  ASSERT_EQ(ce::RegOpenKeyExW(HKEY_CURRENT_USER, u"persist", 0, KEY_READ, reopened.put()), ERROR_SUCCESS);
  DWORD value = 0;
  EXPECT_EQ(getDword(reopened.get(), u"n", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 42u);
}

}  // namespace
