// The date-time value: fields, validity, comparison, the %-code language with
// its standard formats, names and capacity rules, and the calendar against an
// independent one.
#include "foundation/date_time.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "ce/memory.h"
#include "ceutil/text.h"
#include "slot.h"
#include "test_terminal.h"

namespace qel {
namespace {

// Millisecond first, as Assign takes them.
constexpr QelDateTimeFields kMarch5 = {45, 9, 7, 14, 5, 3, 2024};  // 5 March 2024 14:07:09.045

QelDateTimeFields Ymd(uint32_t y, uint32_t m, uint32_t d, uint32_t h = 0, uint32_t n = 0, uint32_t s = 0,
                      uint32_t ms = 0) {
  return {ms, s, n, h, d, m, y};
}

struct Value {
  explicit Value(const QelDateTimeFields& f) : p(CQelDateTime::Create(f)) {}
  ~Value() { p->Release(); }
  CQelDateTime* operator->() const { return p; }
  CQelDateTime* p;
};

// Formats into a new heap block and frees it.
std::u16string Heap(CQelDateTime* v, const char16_t* format, int32_t length = -1) {
  char16_t* text = v->Format(format, length, nullptr, 0);
  if (!text) {
    ADD_FAILURE() << "no text";
    return {};
  }
  std::u16string copy(text);
  ce::LocalFree(text);
  return copy;
}

using qeltest::TestTerminal;

std::string U8(const std::u16string& s) { return ceutil::ToUtf8(s); }

TEST(DateTimeFormat, CodesAndStandardFormats) {
  struct Case {
    QelDateTimeFields at;
    const char16_t* format;
    const char16_t* expected;
  };
  const Case cases[] = {
      {kMarch5, u"%d%/%m%/%Y %h%:%N:%S.%L", u"5/3/2024 14:07:09.045"},
      {kMarch5, u"%D%/%M%/%Y", u"05/03/2024"},
      {kMarch5, u"%#64", u"2:07 PM"},
      {kMarch5, u"%#99", u"05032024"},  // unlisted numbers select 2
      {kMarch5, u"%#17", u"05032024"},
      {kMarch5, u"%#00", u"05/03/2024"},  // 0 selects 6
      {kMarch5, u"%#61", u"14:07:09.045"},
      {kMarch5, u"%#53", u"3/5/24 14:07"},
      {kMarch5, u"%#15", u"24/05/03"},
      {kMarch5, u"%#6", u"%#6"},  // not four characters: no standard format
      {kMarch5, u"x%#64", u"x%#64"},
      {kMarch5, u"%H %h %G %g %P %p", u"14 14 02 2 PM pm"},
      {Ymd(2024, 3, 5, 0, 5), u"%H %h %G %g %P %p", u"00 0 12 12 AM am"},
      {Ymd(2024, 3, 5, 12, 5), u"%G %g %P", u"12 12 PM"},
      {Ymd(2024, 3, 5, 11, 5), u"%G %p", u"11 am"},
      {Ymd(2009, 3, 5, 0, 0, 0, 7), u"%Y %y %L %l %s %S", u"2009 09 007 7 0 00"},
      {Ymd(987, 1, 2), u"%Y|%y|%M|%m|%D|%d", u"0987|87|01|1|02|2"},
      {Ymd(12345, 1, 2), u"%Y|%y", u"12345|45"},
      {Ymd(2024, 1, 1), u"%w %W %C %c %q", u"1 1 001 1 1"},  // a Monday
      {Ymd(2021, 1, 1), u"%W", u"53"},
      {Ymd(2024, 12, 31), u"%C %c %W %q", u"366 366 1 4"},
      {Ymd(2023, 12, 31), u"%C %w %W", u"365 0 52"},
      {Ymd(2024, 7, 1), u"%q", u"3"},
      {Ymd(2024, 13, 1), u"%B|%b|%G|%g|%w|%W|%C|%A|%a|%q", u"?|?|99|99|9|99|999|?|?|5"},
      {Ymd(2023, 2, 29), u"%C %w %g", u"999 9 99"},  // no 29 February in 2023
      {Ymd(2024, 2, 29, 24), u"%g %h", u"99 24"},
      {Ymd(2024, 3, 0), u"%C %w", u"060 4"},   // day 0 counts as valid: the day before 1 March
      {kMarch5, u"100%% %Z %", u"100% %Z %"},  // unknown code and a trailing %
      {kMarch5, u"%%Y %%%Y", u"%Y %2024"},
      {kMarch5, u"%#%Y", u"%#2024"},
      {kMarch5, u"", u""},
      {kMarch5, u"%", u"%"},
  };
  TestTerminal terminal;  // names come from its locale (US English)
  for (const Case& c : cases) {
    Value v(c.at);
    EXPECT_EQ(U8(Heap(v.p, c.format)), U8(c.expected)) << U8(c.format);
  }
}

TEST(DateTimeFormat, NullFormatUsesTheStoredOneElseEightDigits) {
  Value v(kMarch5);
  EXPECT_EQ(U8(Heap(v.p, nullptr)), "20240305");
  char16_t small[6];
  EXPECT_EQ(U8(v->Format(nullptr, -1, small, 6)), "2024");  // the digits are pieces too
  ASSERT_TRUE(v->SetStoredFormat(u"%h%:%N"));
  EXPECT_EQ(U8(Heap(v.p, nullptr)), "14:07");
  v->SetSeparators(u'-', u'.');
  EXPECT_EQ(U8(Heap(v.p, u"%D%/%M %h%:%N")), "05-03 14.07");
}

TEST(DateTimeFormat, LengthLimitsTheFormat) {
  Value v(kMarch5);
  EXPECT_EQ(U8(Heap(v.p, u"%Y%M%D", 4)), "202403");
  EXPECT_EQ(U8(Heap(v.p, u"%#64 and more", 4)), "2:07 PM");  // exactly four characters taken
  EXPECT_EQ(U8(Heap(v.p, u"%Y%M", 1)), "%");
}

// With the caller's buffer writing stops before the first piece that would
// leave no room for the terminator; nothing is written past the capacity.
TEST(DateTimeFormat, CallerCapacity) {
  struct Case {
    const char16_t* format;
    uint32_t capacity;
    const char* expected;
  };
  const Case cases[] = {
      {u"%Y%M%D", 5, "2024"}, {u"%Y%M%D", 6, "2024"}, {u"%Y%M%D", 7, "202403"}, {u"%Y%M%D", 9, "20240305"},
      {u"%Y%M%D", 4, ""},     {u"%Y%M%D", 1, ""},     {u"ab%Ycd", 4, "ab"},     {u"ab%Ycd", 8, "ab2024c"},
      {u"%B", 5, ""},         {u"%B", 6, "March"},    {u"%#64", 5, "2:07"},
  };
  TestTerminal terminal;
  Value v(kMarch5);
  for (const Case& c : cases) {
    std::vector<char16_t> buffer(c.capacity + 4, u'#');
    char16_t* text = v->Format(c.format, -1, buffer.data(), c.capacity);
    EXPECT_EQ(text, buffer.data());
    EXPECT_EQ(U8(text), c.expected) << U8(c.format) << " in " << c.capacity;
    for (size_t i = c.capacity; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], u'#') << "wrote at " << i;
  }
  char16_t untouched[2] = {u'#', u'#'};
  EXPECT_EQ(v->Format(u"%Y", -1, untouched, 0), untouched);
  EXPECT_EQ(untouched[0], u'#');
}

TEST(DateTimeFormat, HeapOutputGrowsPastItsFirstBlock) {
  Value v(kMarch5);
  std::u16string format, expected;
  for (int i = 0; i < 50; ++i) format += u"%Y-", expected += u"2024-";  // 250 characters
  EXPECT_EQ(U8(Heap(v.p, format.c_str())), U8(expected));
}

TEST(DateTimeFormat, NamesFromTheLocaleElseTheBuiltInTable) {
  TestTerminal terminal;
  Value v(Ymd(2024, 2, 4));  // a Sunday
  struct Case {
    uint32_t locale;
    NameLanguage language;
    const char* expected;
  };
  const Case cases[] = {
      {1033, NameLanguage::kFrench, "Sunday Sun February Feb"},  // the locale wins
      {1036, NameLanguage::kEnglish, "dimanche dim f\xC3\xA9vrier f\xC3\xA9v"},
      {1043, NameLanguage::kEnglish, "zondag zon februari feb"},
      {1031, NameLanguage::kEnglish, "Sonntag Son Februar Feb"},
      {1040, NameLanguage::kFrench, "Dimanche Dim F\xC3\xA9vrier F\xC3\xA9v"},  // no such locale
      {1040, NameLanguage::kDutch, "Zondag Zon Februari Feb"},
      {1040, NameLanguage::kEnglish, "Sunday Sun February Feb"},
      {1040, NameLanguage(7), "? ? ? ?"},
  };
  for (const Case& c : cases) {
    terminal.Set("time.locale", c.locale);
    v->SetNameLanguage(c.language);
    EXPECT_EQ(U8(Heap(v.p, u"%A %a %B %b")), c.expected) << c.locale << " / " << int(c.language);
  }
  // Every month and day of the built-in tables.
  terminal.Set("time.locale", 1040);
  v->SetNameLanguage(NameLanguage::kDutch);
  std::u16string months, days;
  for (uint32_t m = 1; m <= 12; ++m) months += MonthName(m, NameLanguage::kDutch) + u" ";
  for (uint32_t d = 0; d <= 6; ++d) days += DayName(d, NameLanguage::kFrench) + u" ";
  EXPECT_EQ(U8(months),
            "Januari Februari Maart April Mei Juni Juli Augustus September Oktober November December ");
  EXPECT_EQ(U8(days), "Dimanche Lundi Mardi Mercredi Jeudi Vendredi Samedi ");
}

// UTC in a format converts the value itself, with the bias in effect now.
TEST(DateTimeFormat, UtcConvertsTheValueWithTheTerminalZone) {
  TestTerminal terminal;
  terminal.Set("time.zone.bias", -90);
  terminal.Set("time.zone.daylight_date.month", 0);  // no daylight time
  Value v(Ymd(2024, 1, 1, 0, 30));
  EXPECT_EQ(U8(Heap(v.p, u"%Y-%M-%D %H:%N UTC")), "2023-12-31 23:00 UTC");
  EXPECT_EQ(v->GetYear(), 2023u);  // stays converted
  EXPECT_EQ(U8(Heap(v.p, u"UTC%H")), "UTC21");
  EXPECT_EQ(U8(Heap(v.p, u"%H")), "21");

  Value invalid(Ymd(2024, 13, 1, 10));
  EXPECT_EQ(U8(Heap(invalid.p, u"%H UTC")), "10 UTC");  // no time to convert: left alone
}

TEST(DateTime, ValidityComparisonAndAssignment) {
  struct Case {
    QelDateTimeFields f;
    bool valid;
  };
  const Case cases[] = {
      {Ymd(2024, 2, 29, 23, 59, 59, 999), true},
      {Ymd(2023, 2, 29), false},
      {Ymd(1900, 2, 29), false},
      {Ymd(2000, 2, 29), true},
      {Ymd(2024, 4, 31), false},
      {Ymd(2024, 12, 31), true},
      {Ymd(2024, 1, 0), true},
      {Ymd(2024, 0, 1), false},
      {Ymd(2024, 13, 1), false},
      {Ymd(2024, 1, 1, 24), false},
      {Ymd(2024, 1, 1, 0, 60), false},
      {Ymd(2024, 1, 1, 0, 0, 60), false},
      {Ymd(2024, 1, 1, 0, 0, 0, 1000), false},
  };
  for (const Case& c : cases) {
    Value v(c.f);
    EXPECT_EQ(v->IsValid(), c.valid) << c.f.year << "-" << c.f.month << "-" << c.f.day;
  }

  Value base(kMarch5);
  EXPECT_EQ(base->Compare(nullptr), -1);
  const QelDateTimeFields earlier[] = {Ymd(2023, 12, 31, 23, 59, 59, 999),
                                       Ymd(2024, 2, 29),
                                       Ymd(2024, 3, 4, 23),
                                       Ymd(2024, 3, 5, 13, 59),
                                       Ymd(2024, 3, 5, 14, 6, 59),
                                       Ymd(2024, 3, 5, 14, 7, 8, 999),
                                       Ymd(2024, 3, 5, 14, 7, 9, 44)};
  for (const auto& e : earlier) {
    Value other(e);
    EXPECT_EQ(base->Compare(other.p), 1);
    EXPECT_EQ(other->Compare(base.p), -1);
  }
  Value same(kMarch5);
  EXPECT_EQ(base->Compare(same.p), 0);

  const QelDateTimeFields record = {1, 2, 3, 4, 5, 6, 7};
  same->Assign(&record);
  EXPECT_EQ(U8(Heap(same.p, u"%Y %m %d %h %n %s %l")), "0007 6 5 4 3 2 1");
}

// Slots 0 and 1 and 14 and 15 all act on the one count of the counting part.
TEST(DateTime, OneCountBehindEverySlot) {
  CQelDateTime* v = CQelDateTime::Create(kMarch5);
  IQelDateTime* i = v;
  CQelRefCounted* counted = v;
  EXPECT_EQ(i->AddRef(), 2);
  EXPECT_EQ(i->CountedAddRef(), 3);
  EXPECT_EQ(counted->AddRef(), 4);
  EXPECT_EQ(i->CountedRelease(), 3);
  EXPECT_EQ(counted->Release(), 2);
  EXPECT_EQ(i->Release(), 1);
  EXPECT_EQ(i->Release(), 0);
}

TEST(SlotLayout, DateTimeInterface) {
  EXPECT_EQ(SlotOf(&IQelDateTime::AddRef), 0u);
  EXPECT_EQ(SlotOf(&IQelDateTime::Release), 1u);
  EXPECT_EQ(SlotOf(&IQelDateTime::GetYear), 2u);
  EXPECT_EQ(SlotOf(&IQelDateTime::GetMillisecond), 8u);
  EXPECT_EQ(SlotOf(&IQelDateTime::Compare), 9u);
  EXPECT_EQ(SlotOf(&IQelDateTime::IsValid), 10u);
  EXPECT_EQ(SlotOf(&IQelDateTime::Assign), 11u);
  EXPECT_EQ(SlotOf(&IQelDateTime::FormatStandard), 12u);
  EXPECT_EQ(SlotOf(&IQelDateTime::Format), 13u);
  EXPECT_EQ(SlotOf(&IQelDateTime::CountedAddRef), 14u);
  EXPECT_EQ(SlotOf(&IQelDateTime::CountedRelease), 15u);
  // The counting part comes first in the object, the interface after it.
  CQelDateTime* v = CQelDateTime::Create(kMarch5);
  EXPECT_EQ(static_cast<void*>(static_cast<CQelRefCounted*>(v)), static_cast<void*>(v));
  EXPECT_NE(static_cast<void*>(static_cast<IQelDateTime*>(v)), static_cast<void*>(v));
  v->Release();
}

// Day of the week, ISO week and day of the year of every day from 1900 to 2100
// against Python's calendar.
TEST(DateTimeCalendar, EveryDayFrom1900To2100MatchesPython) {
  const char* script =
      "import datetime as d\n"
      "t=d.date(1900,1,1)\n"
      "while t.year<=2100:\n"
      "  print(t.year,t.month,t.day,t.isoweekday()%7,t.isocalendar()[1],t.timetuple().tm_yday)\n"
      "  t+=d.timedelta(1)\n";
  FILE* py = popen(("python3 -c '" + std::string(script) + "'").c_str(), "r");
  ASSERT_NE(py, nullptr);
  unsigned y, m, d, dow, week, doy;
  size_t days = 0, wrong = 0;
  while (std::fscanf(py, "%u %u %u %u %u %u", &y, &m, &d, &dow, &week, &doy) == 6) {
    ++days;
    Value v(Ymd(y, m, d));
    char16_t text[32];
    const std::string got = U8(v->Format(u"%w %W %c", -1, text, 32));
    const std::string want = std::to_string(dow) + " " + std::to_string(week) + " " + std::to_string(doy);
    if (got != want && ++wrong <= 5)
      ADD_FAILURE() << y << "-" << m << "-" << d << ": " << got << " not " << want;
  }
  EXPECT_EQ(pclose(py), 0) << "python3 is needed for this test";
  EXPECT_EQ(days, 73414u);  // 201 years, 49 of them leap years
  EXPECT_EQ(wrong, 0u);
}

// Random formats at random capacities: every caller-buffer result is the
// terminated prefix, cut at a piece boundary, of the unbounded result, and
// nothing lands past the capacity. Run under the address sanitizer too.
TEST(DateTimeFuzz, RandomFormatsAtRandomCapacities) {
  TestTerminal terminal;
  std::mt19937 rng(20240305);
  const std::u16string alphabet = u"%%%%YyMmDdHhGgNnSsLlCcWwqPpAaBb/:#0123456789UTC Z\u00E9";
  const QelDateTimeFields values[] = {kMarch5, Ymd(2024, 13, 40, 99, 99, 99, 9999), Ymd(0, 0, 0),
                                      Ymd(4294967295u, 2, 29, 23)};
  for (int round = 0; round < 4000; ++round) {
    std::u16string format;
    const size_t length = rng() % 24;
    for (size_t i = 0; i < length; ++i)
      format += rng() % 5 == 0 ? char16_t(rng() % 0x3000) : alphabet[rng() % alphabet.size()];
    if (format.find(u"UTC") != std::u16string::npos) continue;  // converts the value: checked elsewhere
    const QelDateTimeFields& at = values[rng() % std::size(values)];
    Value whole(at);
    const std::u16string full = Heap(whole.p, format.c_str(), int32_t(format.size()));

    const uint32_t capacity = rng() % 40;
    std::vector<char16_t> buffer(capacity + 8, u'\uFFFF');
    Value cut(at);
    const char16_t* text = cut->Format(format.c_str(), int32_t(format.size()), buffer.data(), capacity);
    ASSERT_EQ(text, buffer.data());
    for (size_t i = capacity; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], u'\uFFFF') << U8(format);
    if (capacity == 0) continue;
    const std::u16string got(text);
    ASSERT_LT(got.size(), capacity) << U8(format);
    ASSERT_EQ(full.compare(0, got.size(), got), 0) << U8(format) << " at " << capacity;
    if (full.size() < capacity) {
      ASSERT_EQ(got, full) << U8(format) << " at " << capacity;
    }
  }
}

}  // namespace
}  // namespace qel
