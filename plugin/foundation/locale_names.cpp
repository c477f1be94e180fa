// Month and day names: the system locale first, the built-in tables after.
#include <array>
#include <string>
#include <string_view>

#include "ce/locale.h"
#include "foundation/date_time.h"

namespace qel {
namespace {

struct NameTable {
  std::array<std::u16string_view, 12> months;
  std::array<std::u16string_view, 7> days;  // Sunday first
};

// Indexed by language - 1.
constexpr NameTable kTables[] = {
    {{u"Janvier", u"F\u00E9vrier", u"Mars", u"Avril", u"Mai", u"Juin", u"Juillet", u"Ao\u00FBt", u"Septembre",
      u"Octobre", u"Novembre", u"D\u00E9cembre"},
     {u"Dimanche", u"Lundi", u"Mardi", u"Mercredi", u"Jeudi", u"Vendredi", u"Samedi"}},
    {{u"Januari", u"Februari", u"Maart", u"April", u"Mei", u"Juni", u"Juli", u"Augustus", u"September",
      u"Oktober", u"November", u"December"},
     {u"Zondag", u"Maandag", u"Dinsdag", u"Woensdag", u"Donderdag", u"Vrijdag", u"Zaterdag"}},
    {{u"January", u"February", u"March", u"April", u"May", u"June", u"July", u"August", u"September",
      u"October", u"November", u"December"},
     {u"Sunday", u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday"}},
};

constexpr std::u16string_view kMissing = u"?";

const NameTable* TableOf(NameLanguage language) {
  const auto index = uint32_t(language);
  return index >= 1 && index <= std::size(kTables) ? &kTables[index - 1] : nullptr;
}

// The user-default locale's item, or empty when it has none.
std::u16string LocaleItem(ce::LCTYPE item) {
  char16_t name[80];
  const int written = ce::GetLocaleInfoW(LOCALE_USER_DEFAULT, item, name, int(std::size(name)));
  return written > 1 ? std::u16string(name, size_t(written - 1)) : std::u16string();
}

}  // namespace

std::u16string MonthName(uint32_t month, NameLanguage language) {
  if (month < 1 || month > 12) return std::u16string(kMissing);
  std::u16string name = LocaleItem(LOCALE_SMONTHNAME1 + (month - 1));
  if (!name.empty()) return name;
  const NameTable* table = TableOf(language);
  return std::u16string(table ? table->months[month - 1] : kMissing);
}

std::u16string DayName(uint32_t dayOfWeek, NameLanguage language) {
  if (dayOfWeek > 6) return std::u16string(kMissing);
  // The locale's day names run Monday to Sunday.
  std::u16string name = LocaleItem(LOCALE_SDAYNAME1 + (dayOfWeek + 6) % 7);
  if (!name.empty()) return name;
  const NameTable* table = TableOf(language);
  return std::u16string(table ? table->days[dayOfWeek] : kMissing);
}

}  // namespace qel
