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
    const BOOL ok = SystemParametersInfoW(action, sizeof text, text, 0);
    if (cetest::broken(!ok)) continue;  // the device's own actions: a desktop knows neither
    ASSERT_TRUE(ok);
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
  const BOOL ok = SystemParametersInfoW(SPI_GETBATTERYIDLETIMEOUT, 0, &before, 0);
  if (cetest::broken(!ok)) GTEST_SKIP() << "a desktop's power settings are no system parameters";
  ASSERT_TRUE(ok);
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
  constexpr DWORD kWin32Nt = 2;  // a desktop's platform
  EXPECT_TRUE(v.dwPlatformId == VER_PLATFORM_WIN32_CE || cetest::broken(v.dwPlatformId == kWin32Nt));
  if (v.dwPlatformId == VER_PLATFORM_WIN32_CE) {
    EXPECT_EQ(v.dwMajorVersion, 6u);
    EXPECT_EQ(v.dwMinorVersion, 0u);
  }
  v.dwOSVersionInfoSize = sizeof v - 2;
  SetLastError(kSentinel);
  EXPECT_FALSE(GetVersionExW(&v));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(SystemInfo, DiskSpaceOfTheRootAndOfAMountedStore) {
  ULARGE_INTEGER root{}, total{}, totalFree{}, store{};
  SetLastError(kSentinel);
  ASSERT_TRUE(ce::GetDiskFreeSpaceExW(nullptr, &root, &total, &totalFree));
  EXPECT_EQ(GetLastError(), kSentinel);
  EXPECT_LE(root.QuadPart, totalFree.QuadPart);
  EXPECT_LE(totalFree.QuadPart, total.QuadPart);
  // The same volume (by its size: what is free moves as others write to it).
  ULARGE_INTEGER again{};
  ASSERT_TRUE(ce::GetDiskFreeSpaceExW(u"\\", nullptr, &again, nullptr));  // any output may be left out
  EXPECT_EQ(again.QuadPart, total.QuadPart);
  // A mounted store reports itself; a desktop's stores are drives.
  if (ce::GetDiskFreeSpaceExW(u"\\System\\", &store, nullptr, nullptr) ||
      !cetest::broken(GetLastError() == ERROR_PATH_NOT_FOUND)) {
    EXPECT_NE(store.QuadPart, root.QuadPart);
  }
  SetLastError(kSentinel);
  EXPECT_FALSE(ce::GetDiskFreeSpaceExW(u"\\No Such Folder", &root, nullptr, nullptr));
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
  HMODULE a = ce::LoadLibraryW(u"coredll");
  if (a == nullptr && cetest::broken(GetLastError() == ERROR_MOD_NOT_FOUND))
    GTEST_SKIP() << "the device's system library; a desktop's is another";
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(GetLastError(), kSentinel);
  EXPECT_EQ(ce::LoadLibraryW(u"\\Windows\\COREDLL.DLL"), a);
  SetLastError(kSentinel);
  EXPECT_EQ(ce::GetProcAddressW(a, u"NoSuchExport"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_TRUE(ce::FreeLibrary(a));
  EXPECT_TRUE(ce::FreeLibrary(a));
  SetLastError(kSentinel);
  EXPECT_FALSE(ce::FreeLibrary(a));  // loads balanced: a third free is an error
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  const struct {
    const char16_t* name;
    DWORD error;
  } refused[] = {{nullptr, ERROR_INVALID_PARAMETER},
                 {u"", ERROR_INVALID_PARAMETER},
                 {u"no-such-library.dll", ERROR_MOD_NOT_FOUND}};
  for (const auto& r : refused) {
    SetLastError(kSentinel);
    EXPECT_EQ(ce::LoadLibraryW(r.name), nullptr);
    EXPECT_EQ(GetLastError(), r.error);
  }
}

// The device cuts the program's path to fit, always with its NUL, and says
// it did; the whole path comes back with room for it.
TEST(Modules, TheProgramsPathIsCutToFitWithItsNul) {
  char16_t full[MAX_PATH] = {};
  const DWORD length = ce::GetModuleFileNameW(nullptr, full, MAX_PATH);
  ASSERT_GT(length, 4u);
  ASSERT_LT(length, DWORD(MAX_PATH));
  EXPECT_EQ(full[length], u'\0');
  const std::u16string path(full, length);
  EXPECT_NE(path.find(u"qel_platform_tests"), std::u16string::npos);
  const struct {
    DWORD size;
    DWORD result;
    DWORD error;
  } cases[] = {
      {length + 1, length, kSentinel},   {length, length - 1, ERROR_INSUFFICIENT_BUFFER},
      {4, 3, ERROR_INSUFFICIENT_BUFFER}, {1, 0, ERROR_INSUFFICIENT_BUFFER},
      {0, 0, ERROR_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "size " << c.size);
    std::u16string cut(MAX_PATH, u'#');
    SetLastError(kSentinel);
    EXPECT_EQ(ce::GetModuleFileNameW(nullptr, cut.data(), c.size), c.result);
    if (c.error == kSentinel) {
      EXPECT_TRUE(GetLastError() == kSentinel || GetLastError() == ERROR_SUCCESS) << GetLastError();
    } else {
      EXPECT_EQ(GetLastError(), c.error);
    }
    if (c.size == 0) {
      EXPECT_EQ(cut[0], u'#');  // nothing written
      continue;
    }
    EXPECT_EQ(cut.substr(0, c.result), path.substr(0, c.result));
    EXPECT_EQ(cut[c.result], u'\0');
    EXPECT_EQ(cut[c.size], u'#');  // nothing past the buffer
  }
  SetLastError(kSentinel);
  EXPECT_EQ(ce::GetModuleFileNameW(nullptr, nullptr, MAX_PATH), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace ce
