// CQelDateTime: the date-time value behind IQelDateTime. The counting part
// comes first, then the interface, then the value.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "qel/date_time.h"
#include "qel/refcounted.h"

namespace qel {

// Built-in name tables, used when the system locale has no name.
enum class NameLanguage : uint32_t { kFrench = 1, kDutch = 2, kEnglish = 3 };

class CQelDateTime final : public CQelRefCounted, public IQelDateTime {
 public:
  // Count 1, or null when memory runs out.
  static CQelDateTime* Create(const QelDateTimeFields& fields) noexcept;

  // IQelDateTime
  int32_t AddRef() override { return CQelRefCounted::AddRef(); }
  int32_t Release() override { return CQelRefCounted::Release(); }
  uint32_t GetYear() override { return f_.year; }
  uint32_t GetMonth() override { return f_.month; }
  uint32_t GetDay() override { return f_.day; }
  uint32_t GetHour() override { return f_.hour; }
  uint32_t GetMinute() override { return f_.minute; }
  uint32_t GetSecond() override { return f_.second; }
  uint32_t GetMillisecond() override { return f_.millisecond; }
  int32_t Compare(IQelDateTime* other) override;
  bool IsValid() override;
  void Assign(const QelDateTimeFields* fields) override;
  char16_t* FormatStandard(uint32_t number, char16_t* buffer, uint32_t capacity) override;
  char16_t* Format(const char16_t* format, int32_t length, char16_t* buffer, uint32_t capacity) override;
  int32_t CountedAddRef() override { return CQelRefCounted::AddRef(); }
  int32_t CountedRelease() override { return CQelRefCounted::Release(); }

  const QelDateTimeFields& fields() const { return f_; }
  // Used when Format is given no format; empty text means none.
  bool SetStoredFormat(std::u16string_view format);
  void SetSeparators(char16_t date, char16_t time) {
    dateSeparator_ = date;
    timeSeparator_ = time;
  }
  void SetNameLanguage(NameLanguage language) { language_ = language; }

  // Converts the fields from local time to UTC with the system's current
  // time-zone rules; false (fields unchanged) when they are no valid time.
  bool ConvertToUtc();

 private:
  explicit CQelDateTime(const QelDateTimeFields& fields) : f_(fields) {}
  ~CQelDateTime() override = default;

  QelDateTimeFields f_;
  std::unique_ptr<char16_t[]> storedFormat_;  // NUL-terminated, or null
  char16_t dateSeparator_ = u'/';
  char16_t timeSeparator_ = u':';
  NameLanguage language_ = NameLanguage::kEnglish;

  friend class DateFormatter;
};

// Calendar facts of a valid value.
bool IsLeapYear(uint32_t year);
uint32_t DaysInMonth(uint32_t year, uint32_t month);
int64_t JulianDayNumber(uint32_t year, uint32_t month, uint32_t day);
uint32_t DayOfWeek(uint32_t year, uint32_t month, uint32_t day);  // 0 Sunday
uint32_t IsoWeek(uint32_t year, uint32_t month, uint32_t day);
uint32_t DayOfYear(uint32_t year, uint32_t month, uint32_t day);

// The format of a standard number: 0 selects 6, an unlisted number 2.
std::u16string_view StandardFormat(uint32_t number);

// Month (1..12) and day (0 Sunday..6) names: the system locale's, else the
// built-in table's; "?" out of range or for a language without a table.
std::u16string MonthName(uint32_t month, NameLanguage language);
std::u16string DayName(uint32_t dayOfWeek, NameLanguage language);

}  // namespace qel
