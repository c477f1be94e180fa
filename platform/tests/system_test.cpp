#include "ce/system.h"

#include <gtest/gtest.h>

#include <string>

#include "ce/error.h"
#include "ce/module.h"
#include "conformance.h"

namespace ce {
namespace {

using cetest::kSentinel;

TEST(SystemInfo, ParametersFillTheCallersBufferOrSayWhy) {
  for (const UINT action : {UINT{SPI_GETOEMINFO}, UINT{SPI_GETPLATFORMTYPE}}) {
    SCOPED_TRACE(action);
    char16_t text[128];
    SetLastError(kSentinel);
    ASSERT_TRUE(SystemParametersInfoW(action, sizeof text, text, 0));
    EXPECT_EQ(GetLastError(), kSentinel);
    const size_t length = std::u16string(text).size();
    ASSERT_GT(length, 0u);
    // Exactly the text and its NUL fits; one byte less does not.
    const UINT needed = UINT((length + 1) * sizeof(char16_t));
    EXPECT_TRUE(SystemParametersInfoW(action, needed, text, 0));
    SetLastError(kSentinel);
    EXPECT_FALSE(SystemParametersInfoW(action, needed - 1, text, 0));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  }
  SetLastError(kSentinel);
  EXPECT_FALSE(SystemParametersInfoW(12345, 0, nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(SystemInfo, BatteryIdleTimeoutIsSetAndReadBack) {
  DWORD before = 0;
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETBATTERYIDLETIMEOUT, 0, &before, 0));
  for (const UINT timeout : {UINT{0}, UINT{45}, UINT{0xFFFFFFFF}}) {
    SetLastError(kSentinel);
    ASSERT_TRUE(SystemParametersInfoW(SPI_SETBATTERYIDLETIMEOUT, timeout, nullptr, 0));
    EXPECT_EQ(GetLastError(), kSentinel);
    DWORD read = 12345;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETBATTERYIDLETIMEOUT, 0, &read, 0));
    EXPECT_EQ(read, timeout);
  }
  SetLastError(kSentinel);
  EXPECT_FALSE(SystemParametersInfoW(SPI_GETBATTERYIDLETIMEOUT, 0, nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(SystemParametersInfoW(SPI_SETBATTERYIDLETIMEOUT, before, nullptr, 0));
}

TEST(SystemInfo, VersionIsWindowsCe6AndChecksTheStructureSize) {
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
  SetLastError(kSentinel);
  ASSERT_TRUE(GetVersionExW(&v));
  EXPECT_EQ(GetLastError(), kSentinel);
  EXPECT_EQ(v.dwMajorVersion, 6u);
  EXPECT_EQ(v.dwMinorVersion, 0u);
  EXPECT_EQ(v.dwPlatformId, DWORD{VER_PLATFORM_WIN32_CE});
  v.dwOSVersionInfoSize = sizeof v - 2;
  SetLastError(kSentinel);
  EXPECT_FALSE(GetVersionExW(&v));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(SystemInfo, DiskSpaceOfTheRootAndOfAMountedStore) {
  ULARGE_INTEGER root{}, total{}, totalFree{}, store{};
  SetLastError(kSentinel);
  ASSERT_TRUE(GetDiskFreeSpaceExW(nullptr, &root, &total, &totalFree));
  EXPECT_EQ(GetLastError(), kSentinel);
  EXPECT_LE(root.QuadPart, totalFree.QuadPart);
  EXPECT_LE(totalFree.QuadPart, total.QuadPart);
  ULARGE_INTEGER again{};
  ASSERT_TRUE(GetDiskFreeSpaceExW(u"\\", &again, nullptr, nullptr));  // any output may be left out
  EXPECT_EQ(again.QuadPart, root.QuadPart);
  ASSERT_TRUE(GetDiskFreeSpaceExW(u"\\System\\", &store, nullptr, nullptr));
  EXPECT_NE(store.QuadPart, root.QuadPart);  // a mounted store reports itself
  SetLastError(kSentinel);
  EXPECT_FALSE(GetDiskFreeSpaceExW(u"\\No Such Folder", &root, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(SystemInfo, MemoryStatusIsConsistent) {
  MEMORYSTATUS m{};
  GlobalMemoryStatus(&m);
  EXPECT_EQ(m.dwLength, sizeof m);
  EXPECT_GT(m.dwTotalPhys, 0u);
  EXPECT_LE(m.dwAvailPhys, m.dwTotalPhys);
  EXPECT_LE(m.dwAvailVirtual, m.dwTotalVirtual);
  EXPECT_LE(m.dwMemoryLoad, 100u);
}

TEST(Modules, LoadsAreCountedAndNamesMatchWithoutRegardToCase) {
  SetLastError(kSentinel);
  HMODULE a = LoadLibraryW(u"coredll");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(GetLastError(), kSentinel);
  EXPECT_EQ(LoadLibraryW(u"\\Windows\\COREDLL.DLL"), a);
  SetLastError(kSentinel);
  EXPECT_EQ(GetProcAddressW(a, u"NoSuchExport"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_TRUE(FreeLibrary(a));
  SetLastError(kSentinel);
  EXPECT_FALSE(FreeLibrary(a));  // loads balanced: a third free is an error
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  const struct {
    const char16_t* name;
    DWORD error;
  } refused[] = {{nullptr, ERROR_INVALID_PARAMETER},
                 {u"", ERROR_INVALID_PARAMETER},
                 {u"no-such-library.dll", ERROR_MOD_NOT_FOUND}};
  for (const auto& r : refused) {
    SetLastError(kSentinel);
    EXPECT_EQ(LoadLibraryW(r.name), nullptr);
    EXPECT_EQ(GetLastError(), r.error);
  }
}

}  // namespace
}  // namespace ce
