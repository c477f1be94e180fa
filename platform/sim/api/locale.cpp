// The locales the simulated terminal has: US and British English, French,
// Dutch and German. The terminal's locale (hardware time.locale, an LCID) is
// the user and system default; a terminal without one runs on US English. Any
// other LCID is a locale that is not installed.
#include "ce/locale.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "api.h"
#include "ce/error.h"
#include "hardware.h"
#include "last_error.h"

namespace ce::sim::api {
namespace {

struct LocaleData {
  LCID id;
  std::u16string_view englishLanguage, nativeLanguage;
  std::array<std::u16string_view, 12> months, shortMonths;
  std::array<std::u16string_view, 7> days, shortDays;  // Monday first
  std::u16string_view dateSeparator, shortDate, longDate;
};

constexpr std::array<std::u16string_view, 12> kEnglishMonths = {
    u"January", u"February", u"March",     u"April",   u"May",      u"June",
    u"July",    u"August",   u"September", u"October", u"November", u"December"};
constexpr std::array<std::u16string_view, 12> kEnglishShortMonths = {
    u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun", u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
constexpr std::array<std::u16string_view, 7> kEnglishDays = {
    u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday", u"Sunday"};
constexpr std::array<std::u16string_view, 7> kEnglishShortDays = {u"Mon", u"Tue", u"Wed", u"Thu",
                                                                  u"Fri", u"Sat", u"Sun"};

constexpr LocaleData kLocales[] = {
    {0x0409, u"English", u"English", kEnglishMonths, kEnglishShortMonths, kEnglishDays, kEnglishShortDays,
     u"/", u"M/d/yyyy", u"dddd, MMMM dd, yyyy"},
    {0x0809, u"English", u"English", kEnglishMonths, kEnglishShortMonths, kEnglishDays, kEnglishShortDays,
     u"/", u"dd/MM/yyyy", u"dd MMMM yyyy"},
    {0x040C,
     u"French",
     u"fran\u00E7ais",
     {u"janvier", u"f\u00E9vrier", u"mars", u"avril", u"mai", u"juin", u"juillet", u"ao\u00FBt", u"septembre",
      u"octobre", u"novembre", u"d\u00E9cembre"},
     {u"janv.", u"f\u00E9vr.", u"mars", u"avr.", u"mai", u"juin", u"juil.", u"ao\u00FBt", u"sept.", u"oct.",
      u"nov.", u"d\u00E9c."},
     {u"lundi", u"mardi", u"mercredi", u"jeudi", u"vendredi", u"samedi", u"dimanche"},
     {u"lun.", u"mar.", u"mer.", u"jeu.", u"ven.", u"sam.", u"dim."},
     u"/",
     u"dd/MM/yyyy",
     u"dddd d MMMM yyyy"},
    {0x0413,
     u"Dutch",
     u"Nederlands",
     {u"januari", u"februari", u"maart", u"april", u"mei", u"juni", u"juli", u"augustus", u"september",
      u"oktober", u"november", u"december"},
     {u"jan", u"feb", u"mrt", u"apr", u"mei", u"jun", u"jul", u"aug", u"sep", u"okt", u"nov", u"dec"},
     {u"maandag", u"dinsdag", u"woensdag", u"donderdag", u"vrijdag", u"zaterdag", u"zondag"},
     {u"ma", u"di", u"wo", u"do", u"vr", u"za", u"zo"},
     u"-",
     u"d-M-yyyy",
     u"dddd d MMMM yyyy"},
    {0x0407,
     u"German",
     u"Deutsch",
     {u"Januar", u"Februar", u"M\u00E4rz", u"April", u"Mai", u"Juni", u"Juli", u"August", u"September",
      u"Oktober", u"November", u"Dezember"},
     {u"Jan", u"Feb", u"Mrz", u"Apr", u"Mai", u"Jun", u"Jul", u"Aug", u"Sep", u"Okt", u"Nov", u"Dez"},
     {u"Montag", u"Dienstag", u"Mittwoch", u"Donnerstag", u"Freitag", u"Samstag", u"Sonntag"},
     {u"Mo", u"Di", u"Mi", u"Do", u"Fr", u"Sa", u"So"},
     u".",
     u"dd.MM.yyyy",
     u"dddd, d. MMMM yyyy"},
};

LCID TerminalLocale() { return hw::Read(hw::kLocale); }

// The default locales and LCIDs with any sort order resolve by language.
const LocaleData* Find(LCID locale) {
  if (locale == 0 || locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT)
    locale = TerminalLocale();
  const DWORD language = locale & 0xFFFF;
  for (const auto& l : kLocales)
    if (l.id == language && (locale >> 16) <= 0xF) return &l;
  return nullptr;
}

// The item's text, or false for an item the locale does not offer.
bool ItemOf(const LocaleData& l, LCTYPE item, std::u16string* text) {
  if (item >= LOCALE_SMONTHNAME1 && item <= LOCALE_SMONTHNAME12)
    return *text = l.months[item - LOCALE_SMONTHNAME1], true;
  if (item >= LOCALE_SABBREVMONTHNAME1 && item <= LOCALE_SABBREVMONTHNAME12)
    return *text = l.shortMonths[item - LOCALE_SABBREVMONTHNAME1], true;
  if (item >= LOCALE_SDAYNAME1 && item <= LOCALE_SDAYNAME7)
    return *text = l.days[item - LOCALE_SDAYNAME1], true;
  if (item >= LOCALE_SABBREVDAYNAME1 && item <= LOCALE_SABBREVDAYNAME7)
    return *text = l.shortDays[item - LOCALE_SABBREVDAYNAME1], true;
  switch (item) {
    case LOCALE_ILANGUAGE: {
      static constexpr char16_t kHex[] = u"0123456789abcdef";
      text->clear();
      for (int shift = 12; shift >= 0; shift -= 4) text->push_back(kHex[(l.id >> shift) & 0xF]);
      return true;
    }
    case LOCALE_SLANGUAGE:
    case LOCALE_SENGLANGUAGE:
      return *text = l.englishLanguage, true;
    case LOCALE_SNATIVELANGNAME:
      return *text = l.nativeLanguage, true;
    case LOCALE_SDATE:
      return *text = l.dateSeparator, true;
    case LOCALE_STIME:
      return *text = u":", true;
    case LOCALE_SSHORTDATE:
      return *text = l.shortDate, true;
    case LOCALE_SLONGDATE:
      return *text = l.longDate, true;
  }
  return false;
}

// Copies text and its NUL as the locale calls do: size 0 asks for the count.
int Deliver(const std::u16string& text, LPWSTR out, int size) {
  const int needed = int(text.size()) + 1;
  if (size == 0) return needed;
  if (size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(text.begin(), text.end(), out);
  out[text.size()] = 0;
  return needed;
}

void AppendNumber(std::u16string* out, unsigned value, int width) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), char16_t(u'0' + value % 10));
    value /= 10;
  } while (value);
  if (int(digits.size()) < width) out->append(size_t(width) - digits.size(), u'0');
  out->append(digits);
}

// Expands a date picture. Runs of d, M and y select their element by length;
// text in single quotes is copied ('' is a quote); anything else is copied.
std::u16string Expand(const LocaleData& l, const SYSTEMTIME& date, int dayOfWeek,
                      std::u16string_view picture) {
  std::u16string out;
  const size_t monday = size_t((dayOfWeek + 6) % 7);
  for (size_t i = 0; i < picture.size();) {
    const char16_t c = picture[i];
    if (c == u'\'' && i + 1 < picture.size() && picture[i + 1] == u'\'') {
      out.push_back(u'\'');
      i += 2;
      continue;
    }
    if (c == u'\'') {
      ++i;
      while (i < picture.size()) {
        if (picture[i] == u'\'') {
          if (i + 1 < picture.size() && picture[i + 1] == u'\'') {
            out.push_back(u'\'');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out.push_back(picture[i++]);
      }
      continue;
    }
    size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    if (c == u'd') {
      if (run <= 2)
        AppendNumber(&out, date.wDay, int(run));
      else
        out.append(run == 3 ? l.shortDays[monday] : l.days[monday]);
    } else if (c == u'M') {
      if (run <= 2)
        AppendNumber(&out, date.wMonth, int(run));
      else
        out.append(run == 3 ? l.shortMonths[date.wMonth - 1] : l.months[date.wMonth - 1]);
    } else if (c == u'y') {
      if (run <= 2)
        AppendNumber(&out, date.wYear % 100, int(run));
      else
        AppendNumber(&out, date.wYear, 4);
    } else {
      out.append(run, c);
    }
    i += run;
  }
  return out;
}

}  // namespace

LCID GetUserDefaultLCID() { return TerminalLocale(); }
LCID GetSystemDefaultLCID() { return TerminalLocale(); }

int GetLocaleInfoW(LCID locale, LCTYPE item, LPWSTR data, int size) {
  if (size < 0 || (size > 0 && !data)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const LocaleData* l = Find(locale);
  if (!l) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string text;
  if (!ItemOf(*l, item & ~LOCALE_NOUSEROVERRIDE, &text)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  return Deliver(text, data, size);
}

int GetDateFormatW(LCID locale, DWORD flags, const SYSTEMTIME* date, LPCWSTR format, LPWSTR out, int size) {
  if (size < 0 || (size > 0 && !out)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const LocaleData* l = Find(locale);
  if (!l) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const DWORD picked = flags & (DATE_SHORTDATE | DATE_LONGDATE);
  if ((flags & ~(DATE_SHORTDATE | DATE_LONGDATE | LOCALE_NOUSEROVERRIDE)) != 0 || picked == 3 ||
      (format && picked != 0)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  SYSTEMTIME when{};
  if (date)
    when = *date;
  else
    api::GetLocalTime(&when);
  when.wHour = when.wMinute = when.wSecond = when.wMilliseconds = 0;  // only the date is checked
  FILETIME ft{};
  if (!api::SystemTimeToFileTime(&when, &ft) || !api::FileTimeToSystemTime(&ft, &when)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::u16string_view picture = format                    ? std::u16string_view(format)
                                      : picked == DATE_LONGDATE ? l->longDate
                                                                : l->shortDate;
  return Deliver(Expand(*l, when, when.wDayOfWeek, picture), out, size);
}

}  // namespace ce::sim::api
