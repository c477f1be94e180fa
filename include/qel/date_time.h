// IQelDateTime: a point in time as calendar fields, compared, checked and
// rendered through the %-code formatting language. Slot order is the contract.
#pragma once

#include <cstdint>

#include "qel/ms_layout.h"

// The seven fields as Assign copies them, millisecond first.
struct QelDateTimeFields {
  uint32_t millisecond;
  uint32_t second;
  uint32_t minute;
  uint32_t hour;
  uint32_t day;
  uint32_t month;
  uint32_t year;
};
static_assert(sizeof(QelDateTimeFields) == 28);

class IQelDateTime {
 public:
  virtual int32_t AddRef() = 0;           // slot 0
  virtual int32_t Release() = 0;          // slot 1
  virtual uint32_t GetYear() = 0;         // slot 2
  virtual uint32_t GetMonth() = 0;        // slot 3
  virtual uint32_t GetDay() = 0;          // slot 4
  virtual uint32_t GetHour() = 0;         // slot 5
  virtual uint32_t GetMinute() = 0;       // slot 6
  virtual uint32_t GetSecond() = 0;       // slot 7
  virtual uint32_t GetMillisecond() = 0;  // slot 8
  // -1, 0 or 1: this value against other's fields; -1 for a null other.
  virtual int32_t Compare(IQelDateTime* other) = 0;          // slot 9
  virtual bool IsValid() = 0;                                // slot 10
  virtual void Assign(const QelDateTimeFields* fields) = 0;  // slot 11
  // Both return the text: the caller's buffer, or with a null buffer a new
  // block of the local heap (ce::LocalAlloc) that the caller frees with
  // ce::LocalFree; null when memory runs out. Capacity counts characters,
  // the terminator's place included.
  virtual char16_t* FormatStandard(uint32_t number, char16_t* buffer, uint32_t capacity) = 0;  // slot 12
  // length -1: up to the format's terminator.
  virtual char16_t* Format(const char16_t* format, int32_t length, char16_t* buffer,
                           uint32_t capacity) = 0;  // slot 13
  // The counting part's own operations, after the value's.
  virtual int32_t CountedAddRef() = 0;   // slot 14
  virtual int32_t CountedRelease() = 0;  // slot 15
  // slot 16 in Microsoft's layout; slots 16 and 17 (complete and deleting) elsewhere.
  QEL_SCALAR_DELETING_DESTRUCTOR(IQelDateTime)
  virtual ~IQelDateTime() = default;
};
