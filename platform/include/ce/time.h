// Time of day, the time zone and conversions between file times (100 ns ticks
// since 1 January 1601, UTC) and calendar fields.
#pragma once

#include "ce/types.h"

#ifndef TIME_ZONE_ID_UNKNOWN
#define TIME_ZONE_ID_UNKNOWN 0
#endif
#ifndef TIME_ZONE_ID_STANDARD
#define TIME_ZONE_ID_STANDARD 1
#endif
#ifndef TIME_ZONE_ID_DAYLIGHT
#define TIME_ZONE_ID_DAYLIGHT 2
#endif
#ifndef TIME_ZONE_ID_INVALID
#define TIME_ZONE_ID_INVALID 0xFFFFFFFF
#endif

namespace ce {

// Carries no text, so under _WIN32 it is the SDK's own, as FILETIME is.
#if defined(_WIN32)
using ::SYSTEMTIME;
#else
struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;  // 0 Sunday
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
#endif
static_assert(sizeof(SYSTEMTIME) == 16);

// A transition date with wYear 0 is a rule: the wDay-th (5: the last)
// wDayOfWeek of wMonth, at wHour:wMinute local time. wMonth 0: no daylight time.
struct TIME_ZONE_INFORMATION {
  LONG Bias;  // minutes: UTC = local time + Bias
  WCHAR StandardName[32];
  SYSTEMTIME StandardDate;
  LONG StandardBias;
  WCHAR DaylightName[32];
  SYSTEMTIME DaylightDate;
  LONG DaylightBias;
};
static_assert(sizeof(TIME_ZONE_INFORMATION) == 172);

void GetSystemTime(SYSTEMTIME* utc);
void GetLocalTime(SYSTEMTIME* local);
// TIME_ZONE_ID_UNKNOWN without daylight rules, else whether daylight time is in
// effect now; TIME_ZONE_ID_INVALID on failure.
DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* info);

// Fails with ERROR_INVALID_PARAMETER for fields out of range (wDayOfWeek is ignored).
BOOL SystemTimeToFileTime(const SYSTEMTIME* time, FILETIME* fileTime);
// Fills wDayOfWeek; fails for times at or above 0x8000000000000000.
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* time);
// Both use the bias in effect now, not the one at the converted time.
BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local);
BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc);

}  // namespace ce
