// System information: memory, disk space, up-time, OEM text, version.
#pragma once

#include "ce/types.h"

// The window system's idle time-out on battery, in seconds (uiParam to set,
// a DWORD at pvParam to read).
#ifndef SPI_SETBATTERYIDLETIMEOUT
#define SPI_SETBATTERYIDLETIMEOUT 251
#endif
#ifndef SPI_GETBATTERYIDLETIMEOUT
#define SPI_GETBATTERYIDLETIMEOUT 252
#endif
#ifndef SPI_GETPLATFORMTYPE
#define SPI_GETPLATFORMTYPE 257
#endif
#ifndef SPI_GETOEMINFO
#define SPI_GETOEMINFO 258
#endif
#ifndef VER_PLATFORM_WIN32_CE
#define VER_PLATFORM_WIN32_CE 3
#endif

namespace ce {

struct MEMORYSTATUS {
  DWORD dwLength;
  DWORD dwMemoryLoad;
  DWORD dwTotalPhys;
  DWORD dwAvailPhys;
  DWORD dwTotalPageFile;
  DWORD dwAvailPageFile;
  DWORD dwTotalVirtual;
  DWORD dwAvailVirtual;
};
static_assert(sizeof(MEMORYSTATUS) == 32);

void GlobalMemoryStatus(MEMORYSTATUS* status);

// directory null (or "\") means the root volume.
BOOL GetDiskFreeSpaceExW(LPCWSTR directory, ULARGE_INTEGER* freeToCaller, ULARGE_INTEGER* total,
                         ULARGE_INTEGER* totalFree);

// Milliseconds since the terminal started; wraps after 49.7 days.
DWORD GetTickCount();

// Texts: uiParam is the buffer's size in bytes; the text is cut to fit.
BOOL SystemParametersInfoW(UINT action, UINT uiParam, void* pvParam, UINT winIni);

struct OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
};
BOOL GetVersionExW(OSVERSIONINFOW* info);

}  // namespace ce
