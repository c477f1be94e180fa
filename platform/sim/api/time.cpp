// Clock and time zone of the simulated terminal. The clock is the host's; the
// zone is the hardware state's time.zone group, read afresh on every call so
// that `terminal set` takes effect at once. A terminal without that group (made
// before it existed) runs on UTC without daylight time.
#include "ce/time.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "api.h"
#include "ce/error.h"
#include "hardware.h"
#include "last_error.h"
#include "utf.h"

namespace ce::sim::api {
namespace {

constexpr int64_t kTicksPerMs = 10'000;
constexpr int64_t kTicksPerMinute = 60'000 * kTicksPerMs;
constexpr int64_t kTicksPerDay = 1440 * kTicksPerMinute;
// Days from 1 January 1601 to 1 January 1970.
constexpr int64_t kDays1601To1970 = 134774;
constexpr uint64_t kLargestFileTime = 0x7FFFFFFFFFFFFFFFull;

BOOL Fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

bool IsLeap(int64_t y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

int MonthLength(int64_t y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days since 1 January 1970 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, int* m, int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = int(doy - (153 * mp + 2) / 5 + 1);
  *m = int(mp < 10 ? mp + 3 : mp - 9);
  *y = yoe + era * 400 + (*m <= 2);
}

// 0 Sunday.
int DayOfWeek(int64_t daysSince1970) { return int(((daysSince1970 % 7) + 7 + 4) % 7); }

int64_t TicksOf(int64_t y, int m, int d, int hour, int minute, int second, int ms) {
  const int64_t days = DaysFromCivil(y, m, d) + kDays1601To1970;
  return days * kTicksPerDay + ((int64_t(hour) * 60 + minute) * 60 + second) * 1000 * kTicksPerMs +
         ms * kTicksPerMs;
}

SYSTEMTIME FieldsOf(int64_t ticks) {
  const int64_t days = ticks / kTicksPerDay - kDays1601To1970;
  int64_t rest = ticks % kTicksPerDay;
  int64_t y = 0;
  int m = 0, d = 0;
  CivilFromDays(days, &y, &m, &d);
  SYSTEMTIME st{};
  st.wYear = WORD(y);
  st.wMonth = WORD(m);
  st.wDay = WORD(d);
  st.wDayOfWeek = WORD(DayOfWeek(days));
  st.wMilliseconds = WORD(rest / kTicksPerMs % 1000);
  rest /= 1000 * kTicksPerMs;
  st.wSecond = WORD(rest % 60);
  st.wMinute = WORD(rest / 60 % 60);
  st.wHour = WORD(rest / 3600);
  return st;
}

uint64_t Ticks(const FILETIME& ft) { return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }
FILETIME FileTimeOf(uint64_t ticks) { return {DWORD(ticks), DWORD(ticks >> 32)}; }

int64_t NowTicks() {
  const auto since1970 = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return since1970.count() * 10 + kDays1601To1970 * kTicksPerDay;
}

// ---- The zone ------------------------------------------------------------------

SYSTEMTIME StandardDate() {
  return {hw::Read(hw::kZoneStandardYear),      hw::Read(hw::kZoneStandardMonth),
          hw::Read(hw::kZoneStandardDayOfWeek), hw::Read(hw::kZoneStandardDay),
          hw::Read(hw::kZoneStandardHour),      hw::Read(hw::kZoneStandardMinute),
          hw::Read(hw::kZoneStandardSecond),    hw::Read(hw::kZoneStandardMilliseconds)};
}

SYSTEMTIME DaylightDate() {
  return {hw::Read(hw::kZoneDaylightYear),      hw::Read(hw::kZoneDaylightMonth),
          hw::Read(hw::kZoneDaylightDayOfWeek), hw::Read(hw::kZoneDaylightDay),
          hw::Read(hw::kZoneDaylightHour),      hw::Read(hw::kZoneDaylightMinute),
          hw::Read(hw::kZoneDaylightSecond),    hw::Read(hw::kZoneDaylightMilliseconds)};
}

void CopyName(const std::string& utf8, WCHAR (&out)[32]) {
  const std::u16string name = sim::FromUtf8(utf8);
  const size_t n = std::min(name.size(), std::size(out) - 1);
  std::copy_n(name.begin(), n, out);
  out[n] = 0;
}

TIME_ZONE_INFORMATION ReadZone() {
  TIME_ZONE_INFORMATION tz{};
  tz.Bias = hw::Read(hw::kZoneBias);
  CopyName(hw::Read(hw::kZoneStandardName), tz.StandardName);
  tz.StandardDate = StandardDate();
  tz.StandardBias = hw::Read(hw::kZoneStandardBias);
  CopyName(hw::Read(hw::kZoneDaylightName), tz.DaylightName);
  tz.DaylightDate = DaylightDate();
  tz.DaylightBias = hw::Read(hw::kZoneDaylightBias);
  return tz;
}

bool UsableRule(const SYSTEMTIME& r) {
  return r.wMonth >= 1 && r.wMonth <= 12 && r.wHour < 24 && r.wMinute < 60 && r.wSecond < 60 &&
         r.wMilliseconds < 1000 && (r.wYear != 0 || (r.wDay >= 1 && r.wDay <= 5 && r.wDayOfWeek <= 6)) &&
         (r.wYear == 0 || (r.wDay >= 1 && r.wDay <= MonthLength(r.wYear, r.wMonth)));
}

bool HasDaylightTime(const TIME_ZONE_INFORMATION& tz) {
  return UsableRule(tz.StandardDate) && UsableRule(tz.DaylightDate);
}

// When a transition rule fires in `year`, in the local clock that is running
// before it. An absolute date (wYear set) fires on its month and day every year.
int64_t TransitionTicks(const SYSTEMTIME& r, int64_t year) {
  int day = r.wDay;
  if (r.wYear == 0) {
    const int first = DayOfWeek(DaysFromCivil(year, r.wMonth, 1));
    day = 1 + (r.wDayOfWeek - first + 7) % 7 + (r.wDay - 1) * 7;
    while (day > MonthLength(year, r.wMonth)) day -= 7;
  } else {
    day = std::min(day, MonthLength(year, r.wMonth));
  }
  return TicksOf(year, r.wMonth, day, r.wHour, r.wMinute, r.wSecond, r.wMilliseconds);
}

bool IsDaylightAt(const TIME_ZONE_INFORMATION& tz, int64_t utc) {
  if (!HasDaylightTime(tz)) return false;
  const int64_t standardClock = utc - (int64_t(tz.Bias) + tz.StandardBias) * kTicksPerMinute;
  const int64_t daylightClock = utc - (int64_t(tz.Bias) + tz.DaylightBias) * kTicksPerMinute;
  const int64_t year = FieldsOf(std::max<int64_t>(standardClock, 0)).wYear;
  const int64_t daylightStarts = TransitionTicks(tz.DaylightDate, year);
  const int64_t standardStarts = TransitionTicks(tz.StandardDate, year);
  const bool afterStart = standardClock >= daylightStarts;
  const bool beforeEnd = daylightClock < standardStarts;
  // South of the equator daylight time spans the new year.
  return daylightStarts < standardStarts ? afterStart && beforeEnd : afterStart || beforeEnd;
}

// Minutes to add to local time to get UTC, as in effect now.
int64_t CurrentBiasMinutes() {
  const TIME_ZONE_INFORMATION tz = ReadZone();
  return int64_t(tz.Bias) + (IsDaylightAt(tz, NowTicks()) ? tz.DaylightBias : tz.StandardBias);
}

bool Shift(const FILETIME* in, FILETIME* out, int64_t minutes) {
  if (!in || !out || Ticks(*in) > kLargestFileTime) return false;
  const int64_t moved = int64_t(Ticks(*in)) + minutes * kTicksPerMinute;
  if (moved < 0) return false;
  *out = FileTimeOf(uint64_t(moved));
  return true;
}

}  // namespace

void GetSystemTime(SYSTEMTIME* utc) {
  if (utc) *utc = FieldsOf(NowTicks());
}

void GetLocalTime(SYSTEMTIME* local) {
  if (!local) return;
  const TIME_ZONE_INFORMATION tz = ReadZone();
  const int64_t now = NowTicks();
  const int64_t bias = int64_t(tz.Bias) + (IsDaylightAt(tz, now) ? tz.DaylightBias : tz.StandardBias);
  *local = FieldsOf(now - bias * kTicksPerMinute);
}

DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* info) {
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return TIME_ZONE_ID_INVALID;
  }
  *info = ReadZone();
  if (!HasDaylightTime(*info)) return TIME_ZONE_ID_UNKNOWN;
  return IsDaylightAt(*info, NowTicks()) ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* time, FILETIME* fileTime) {
  if (!time || !fileTime) return Fail(ERROR_INVALID_PARAMETER);
  const SYSTEMTIME& t = *time;
  if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
      t.wDay > MonthLength(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 ||
      t.wMilliseconds > 999)
    return Fail(ERROR_INVALID_PARAMETER);
  *fileTime = FileTimeOf(
      uint64_t(TicksOf(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds)));
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* time) {
  if (!fileTime || !time || Ticks(*fileTime) > kLargestFileTime) return Fail(ERROR_INVALID_PARAMETER);
  *time = FieldsOf(int64_t(Ticks(*fileTime)));
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) {
  return Shift(utc, local, -CurrentBiasMinutes()) ? TRUE : Fail(ERROR_INVALID_PARAMETER);
}

BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc) {
  return Shift(local, utc, CurrentBiasMinutes()) ? TRUE : Fail(ERROR_INVALID_PARAMETER);
}

}  // namespace ce::sim::api
