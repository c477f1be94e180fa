#include "foundation/date_time.h"

#include <algorithm>
#include <new>

#include "ce/time.h"

namespace qel {

CQelDateTime* CQelDateTime::Create(const QelDateTimeFields& fields) noexcept {
  return new (std::nothrow) CQelDateTime(fields);
}

int32_t CQelDateTime::Compare(IQelDateTime* other) {
  if (other == nullptr) return -1;
  // Most significant first, each read through the other's own slots.
  const uint32_t mine[] = {f_.year, f_.month, f_.day, f_.hour, f_.minute, f_.second, f_.millisecond};
  const uint32_t theirs[] = {other->GetYear(),   other->GetMonth(),  other->GetDay(),        other->GetHour(),
                             other->GetMinute(), other->GetSecond(), other->GetMillisecond()};
  for (size_t i = 0; i < std::size(mine); ++i)
    if (mine[i] != theirs[i]) return theirs[i] < mine[i] ? 1 : -1;
  return 0;
}

// Day 0 passes: only days past the month's end are refused.
bool CQelDateTime::IsValid() {
  return f_.millisecond <= 999 && f_.second < 60 && f_.minute < 60 && f_.hour < 24 && f_.month >= 1 &&
         f_.month <= 12 && f_.day <= DaysInMonth(f_.year, f_.month);
}

void CQelDateTime::Assign(const QelDateTimeFields* fields) {
  if (fields) f_ = *fields;
}

bool CQelDateTime::SetStoredFormat(std::u16string_view format) {
  if (format.empty()) {
    storedFormat_.reset();
    return true;
  }
  std::unique_ptr<char16_t[]> copy(new (std::nothrow) char16_t[format.size() + 1]);
  if (!copy) return false;
  std::copy(format.begin(), format.end(), copy.get());
  copy[format.size()] = 0;
  storedFormat_ = std::move(copy);
  return true;
}

// Through the system's file-time conversions, so that the system's zone and
// daylight rules apply exactly as they do to file times.
bool CQelDateTime::ConvertToUtc() {
  if (f_.year > 0xFFFF || f_.month > 0xFFFF || f_.day > 0xFFFF || f_.hour > 0xFFFF || f_.minute > 0xFFFF ||
      f_.second > 0xFFFF || f_.millisecond > 0xFFFF)
    return false;
  ce::SYSTEMTIME local{};
  local.wYear = ce::WORD(f_.year);
  local.wMonth = ce::WORD(f_.month);
  local.wDay = ce::WORD(f_.day);
  local.wHour = ce::WORD(f_.hour);
  local.wMinute = ce::WORD(f_.minute);
  local.wSecond = ce::WORD(f_.second);
  local.wMilliseconds = ce::WORD(f_.millisecond);
  ce::FILETIME localTime{}, utcTime{};
  ce::SYSTEMTIME utc{};
  if (!ce::SystemTimeToFileTime(&local, &localTime) || !ce::LocalFileTimeToFileTime(&localTime, &utcTime) ||
      !ce::FileTimeToSystemTime(&utcTime, &utc))
    return false;
  f_ = {utc.wMilliseconds, utc.wSecond, utc.wMinute, utc.wHour, utc.wDay, utc.wMonth, utc.wYear};
  return true;
}

char16_t* CQelDateTime::FormatStandard(uint32_t number, char16_t* buffer, uint32_t capacity) {
  const std::u16string_view format = StandardFormat(number);
  return Format(format.data(), int32_t(format.size()), buffer, capacity);
}

// ---- Calendar ---------------------------------------------------------------------

bool IsLeapYear(uint32_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

uint32_t DaysInMonth(uint32_t year, uint32_t month) {
  static constexpr uint8_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

int64_t JulianDayNumber(uint32_t year, uint32_t month, uint32_t day) {
  const int64_t a = (14 - int64_t(month)) / 12;
  const int64_t y = int64_t(year) + 4800 - a;
  const int64_t m = int64_t(month) + 12 * a - 3;
  return int64_t(day) + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

uint32_t DayOfWeek(uint32_t year, uint32_t month, uint32_t day) {
  return uint32_t((JulianDayNumber(year, month, day) + 1) % 7);
}

uint32_t IsoWeek(uint32_t year, uint32_t month, uint32_t day) {
  const int64_t jdn = JulianDayNumber(year, month, day);
  const int64_t d4 = ((jdn - jdn % 7 + 31741) % 146097 % 36524) % 1461;
  const int64_t leap = d4 / 1460;
  return uint32_t(((d4 - leap) % 365 + leap) / 7 + 1);
}

uint32_t DayOfYear(uint32_t year, uint32_t month, uint32_t day) {
  uint32_t total = day;
  for (uint32_t m = 1; m < month && m <= 12; ++m) total += DaysInMonth(year, m);
  return total;
}

std::u16string_view StandardFormat(uint32_t number) {
  struct Entry {
    uint32_t number;
    std::u16string_view format;
  };
  // In 21 to 54 the seconds follow a plain ":", not the time separator.
  static constexpr Entry kFormats[] = {
      {1, u"%D%M%y"},
      {2, u"%D%M%Y"},
      {3, u"%M%D%y"},
      {4, u"%M%D%Y"},
      {5, u"%D%/%M%/%y"},
      {6, u"%D%/%M%/%Y"},
      {7, u"%M%/%D%/%y"},
      {8, u"%M%/%D%/%Y"},
      {9, u"%y%M%D"},
      {10, u"%Y%M%D"},
      {11, u"%y%/%M%/%D"},
      {12, u"%Y%/%M%/%D"},
      {13, u"%y%D%M"},
      {14, u"%Y%D%M"},
      {15, u"%y%/%D%/%M"},
      {16, u"%Y%/%D%/%M"},
      {21, u"%d%/%m%/%Y %h%:%N:%S.%L"},
      {22, u"%d%/%m%/%Y %h%:%N:%S"},
      {23, u"%d%/%m%/%Y %h%:%N"},
      {24, u"%d%/%m%/%Y"},
      {31, u"%d%/%m%/%y %h%:%N:%S.%L"},
      {32, u"%d%/%m%/%y %h%:%N:%S"},
      {33, u"%d%/%m%/%y %h%:%N"},
      {34, u"%d%/%m%/%y"},
      {41, u"%m%/%d%/%Y %h%:%N:%S.%L"},
      {42, u"%m%/%d%/%Y %h%:%N:%S"},
      {43, u"%m%/%d%/%Y %h%:%N"},
      {44, u"%m%/%d%/%Y"},
      {51, u"%m%/%d%/%y %h%:%N:%S.%L"},
      {52, u"%m%/%d%/%y %h%:%N:%S"},
      {53, u"%m%/%d%/%y %h%:%N"},
      {54, u"%m%/%d%/%y"},
      {61, u"%h%:%N%:%S.%L"},
      {62, u"%h%:%N%:%S"},
      {63, u"%h%:%N"},
      {64, u"%g%:%N %P"},
  };
  if (number == 0) number = 6;
  for (const Entry& e : kFormats)
    if (e.number == number) return e.format;
  return kFormats[1].format;
}

}  // namespace qel
