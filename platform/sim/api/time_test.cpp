// Clock, zone and locale calls of the simulated terminal, against a zone and
// locale the test sets through the hardware state.
#include "ce/time.h"

#include <gtest/gtest.h>

#include <string>

#include "ce/error.h"
#include "ce/locale.h"
#include "ceutil/text.h"
#include "test_terminal.h"

namespace ce {
namespace {

SYSTEMTIME At(WORD y, WORD m, WORD d, WORD h = 0, WORD n = 0, WORD s = 0, WORD ms = 0) {
  SYSTEMTIME st{};
  st.wYear = y, st.wMonth = m, st.wDay = d, st.wHour = h, st.wMinute = n, st.wSecond = s,
  st.wMilliseconds = ms;
  return st;
}

uint64_t Ticks(const FILETIME& ft) { return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

TEST(SimTime, SystemTimeAndFileTimeConvert) {
  struct Case {
    SYSTEMTIME st;
    uint64_t ticks;
    WORD dayOfWeek;
  };
  const Case cases[] = {
      {At(1601, 1, 1), 0, 1},
      {At(1970, 1, 1), 116444736000000000ull, 4},
      {At(2024, 2, 29, 23, 59, 59, 999), 133537247999990000ull, 4},
      {At(30827, 12, 31, 23, 59, 59, 999), 0x7FFF35F4F06C58F0ull, 5},
  };
  for (const Case& c : cases) {
    FILETIME ft{};
    SetLastError(0xDEAD);
    ASSERT_TRUE(SystemTimeToFileTime(&c.st, &ft)) << c.st.wYear;
    EXPECT_EQ(Ticks(ft), c.ticks) << c.st.wYear;
    SYSTEMTIME back{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wYear, c.st.wYear);
    EXPECT_EQ(back.wMonth, c.st.wMonth);
    EXPECT_EQ(back.wDay, c.st.wDay);
    EXPECT_EQ(back.wHour, c.st.wHour);
    EXPECT_EQ(back.wMilliseconds, c.st.wMilliseconds);
    EXPECT_EQ(back.wDayOfWeek, c.dayOfWeek) << c.st.wYear;
  }
  const SYSTEMTIME bad[] = {
      At(1600, 12, 31),   At(2023, 2, 29),       At(2024, 13, 1),          At(2024, 1, 0),
      At(2024, 1, 1, 24), At(2024, 1, 1, 0, 60), At(2024, 1, 1, 0, 0, 60), At(2024, 1, 1, 0, 0, 0, 1000)};
  for (const SYSTEMTIME& st : bad) {
    FILETIME ft{};
    SetLastError(0xDEAD);
    EXPECT_FALSE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
  const FILETIME tooLate = {0, 0x80000000u};
  SYSTEMTIME out{};
  EXPECT_FALSE(FileTimeToSystemTime(&tooLate, &out));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// A zone with US rules: daylight time from the second Sunday of March at 2:00
// to the first Sunday of November at 2:00.
class SimZone : public ::testing::Test {
 protected:
  void SetUp() override { terminal_.Set("time.zone.bias", 300); }

  // Local minus UTC, in minutes, now.
  static int64_t LocalOffsetNow() {
    FILETIME utc{}, local{};
    SYSTEMTIME now{};
    GetSystemTime(&now);
    SystemTimeToFileTime(&now, &utc);
    EXPECT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    return (int64_t(Ticks(local)) - int64_t(Ticks(utc))) / 600'000'000;
  }
  // Moves the daylight period so that it does or does not contain now.
  void DaylightNow(bool on) {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    const WORD month = now.wMonth;
    terminal_.Set("time.zone.daylight_date.year", 0);
    terminal_.Set("time.zone.daylight_date.month", on ? (month == 1 ? 12 : month - 1) : (month % 12) + 1);
    terminal_.Set("time.zone.standard_date.month", on ? (month % 12) + 1 : (month + 1) % 12 + 1);
    terminal_.Set("time.zone.daylight_date.day", 1);
    terminal_.Set("time.zone.standard_date.day", 1);
  }

  qeltest::TestTerminal terminal_;
};

TEST_F(SimZone, InformationFollowsTheHardwareState) {
  TIME_ZONE_INFORMATION tz{};
  DaylightNow(true);
  EXPECT_EQ(GetTimeZoneInformation(&tz), DWORD(TIME_ZONE_ID_DAYLIGHT));
  EXPECT_EQ(tz.Bias, 300);
  EXPECT_EQ(tz.DaylightBias, -60);
  EXPECT_EQ(ceutil::ToUtf8(tz.StandardName), "Eastern Standard Time");
  EXPECT_EQ(LocalOffsetNow(), -240);
  DaylightNow(false);
  EXPECT_EQ(GetTimeZoneInformation(&tz), DWORD(TIME_ZONE_ID_STANDARD));
  EXPECT_EQ(LocalOffsetNow(), -300);
  terminal_.Set("time.zone.daylight_date.month", 0);
  EXPECT_EQ(GetTimeZoneInformation(&tz), DWORD(TIME_ZONE_ID_UNKNOWN));
  terminal_.Set("time.zone.bias", -330);
  EXPECT_EQ(LocalOffsetNow(), 330);
  terminal_.Set("time.zone.standard_name", "A name longer than the thirty-one characters that fit");
  GetTimeZoneInformation(&tz);
  EXPECT_EQ(ceutil::ToUtf8(tz.StandardName), "A name longer than the thirty-o");
  EXPECT_EQ(GetTimeZoneInformation(nullptr), DWORD(TIME_ZONE_ID_INVALID));

  SYSTEMTIME utc{}, local{};
  GetSystemTime(&utc);
  GetLocalTime(&local);
  const int diff = (local.wHour * 60 + local.wMinute) - (utc.wHour * 60 + utc.wMinute);
  EXPECT_TRUE(diff == 330 || diff == 330 - 1440) << diff;
}

TEST_F(SimZone, LocalAndUtcFileTimesAreInverse) {
  const SYSTEMTIME local = At(2024, 7, 1, 12, 0);
  FILETIME lft{}, utc{}, again{};
  ASSERT_TRUE(SystemTimeToFileTime(&local, &lft));
  ASSERT_TRUE(LocalFileTimeToFileTime(&lft, &utc));
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &again));
  EXPECT_EQ(Ticks(again), Ticks(lft));
  const int64_t minutes = (int64_t(Ticks(utc)) - int64_t(Ticks(lft))) / 600'000'000;
  EXPECT_TRUE(minutes == 300 || minutes == 240) << minutes;  // by the daylight state now
  const FILETIME early = {0, 0};
  FILETIME out{};
  EXPECT_FALSE(FileTimeToLocalFileTime(&early, &out));  // before 1601 on the local clock
  EXPECT_TRUE(LocalFileTimeToFileTime(&early, &out));
}

TEST(SimLocale, NamesAndPicturesOfEachLocale) {
  qeltest::TestTerminal terminal;
  struct Case {
    LCID locale;
    const char* month3;                // LOCALE_SMONTHNAME3
    const char* monday;                // LOCALE_SDAYNAME1
    const char* sunday;                // LOCALE_SDAYNAME7
    const char *shortDate, *longDate;  // of Tuesday 5 March 2024
  };
  const Case cases[] = {
      {0x0409, "March", "Monday", "Sunday", "3/5/2024", "Tuesday, March 05, 2024"},
      {0x0809, "March", "Monday", "Sunday", "05/03/2024", "05 March 2024"},
      {0x040C, "mars", "lundi", "dimanche", "05/03/2024", "mardi 5 mars 2024"},
      {0x0413, "maart", "maandag", "zondag", "5-3-2024", "dinsdag 5 maart 2024"},
      {0x0407, "M\xC3\xA4rz", "Montag", "Sonntag", "05.03.2024", "Dienstag, 5. M\xC3\xA4rz 2024"},
  };
  const SYSTEMTIME date = At(2024, 3, 5);
  for (const Case& c : cases) {
    terminal.Set("time.locale", c.locale);
    EXPECT_EQ(GetUserDefaultLCID(), c.locale);
    char16_t text[64];
    for (const auto& [item, expected] :
         {std::pair{DWORD(LOCALE_SMONTHNAME3), c.month3}, std::pair{DWORD(LOCALE_SDAYNAME1), c.monday},
          std::pair{DWORD(LOCALE_SDAYNAME7), c.sunday}}) {
      const int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, item, text, 64);
      EXPECT_EQ(ceutil::ToUtf8(text), expected);
      EXPECT_EQ(n, int(ceutil::FromUtf8(expected).size()) + 1);
      EXPECT_EQ(GetLocaleInfoW(c.locale, item, nullptr, 0), n);  // size asked
    }
    ASSERT_GT(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &date, nullptr, text, 64), 0);
    EXPECT_EQ(ceutil::ToUtf8(text), c.shortDate) << c.locale;
    ASSERT_GT(GetDateFormatW(c.locale, DATE_LONGDATE, &date, nullptr, text, 64), 0);
    EXPECT_EQ(ceutil::ToUtf8(text), c.longDate) << c.locale;
  }
}

TEST(SimLocale, Failures) {
  qeltest::TestTerminal terminal;
  char16_t text[8];
  const SYSTEMTIME date = At(2024, 3, 5);
  const SYSTEMTIME bad = At(2023, 2, 29);
  struct Case {
    const char* what;
    int result;
    DWORD error;
  };
  SetLastError(0);
  const int shortBuffer = GetLocaleInfoW(0x0409, LOCALE_SMONTHNAME9, text, 8);  // "September" needs 10
  const DWORD shortError = GetLastError();
  const int noLocale = GetLocaleInfoW(0x0410, LOCALE_SMONTHNAME1, text, 8);
  const DWORD noLocaleError = GetLastError();
  const int noItem = GetLocaleInfoW(0x0409, 0x7777, text, 8);
  const DWORD noItemError = GetLastError();
  const int badDate = GetDateFormatW(0x0409, 0, &bad, u"d", text, 8);
  const DWORD badDateError = GetLastError();
  const int flagsAndPicture = GetDateFormatW(0x0409, DATE_SHORTDATE, &date, u"d", text, 8);
  const DWORD flagsError = GetLastError();
  const Case cases[] = {{"short buffer", shortBuffer, shortError},
                        {"no such locale", noLocale, noLocaleError},
                        {"no such item", noItem, noItemError},
                        {"no such date", badDate, badDateError},
                        {"flags with a picture", flagsAndPicture, flagsError}};
  const DWORD expected[] = {ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_PARAMETER, ERROR_INVALID_FLAGS,
                            ERROR_INVALID_PARAMETER, ERROR_INVALID_FLAGS};
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].result, 0) << cases[i].what;
    EXPECT_EQ(cases[i].error, expected[i]) << cases[i].what;
  }
  char16_t picture[40];
  ASSERT_GT(GetDateFormatW(0x0409, 0, &date, u"ddd d MMM ''yy 'of' yyyy", picture, 40), 0);
  EXPECT_EQ(ceutil::ToUtf8(picture), "Tue 5 Mar '24 of 2024");
}

}  // namespace
}  // namespace ce
