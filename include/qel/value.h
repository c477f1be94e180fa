// Value objects exchanged with the host: a tagged variant whose getters convert
// the value in place to the kind that was read. Slot order is the contract.
#pragma once

#include <cstdint>

#include "qel/ms_layout.h"

#if defined(_WIN32) && __has_include(<windows.h>)
// The SDK maps GetObject to GetObjectW/A (a GDI call this contract never
// uses); the slot keeps its own name. Winsock 2 comes first, as windows.h
// would otherwise bring the first Winsock's header, which it cannot sit beside.
#include <winsock2.h>
// Second, as said above (the include sorter would swap them).
#include <windows.h>
#undef GetObject
#endif

class IQelService;

enum class QelKind : uint32_t {
  Null = 0x10000,
  String = 0x20000,
  Char = 0x30000,
  Bool = 0x40000,
  TriState = 0x50000,
  Double = 0x60000,
  Int32 = 0x70000,
  UInt32 = 0x80000,
  Int64 = 0x90000,
  UInt64 = 0xA0000,
  Object = 0xB0000,
};

// Tri-state payload values.
enum : int32_t { kTriUnknown = 0, kTriYes = 1, kTriNo = 2 };

// Read-only text: the characters are NUL-terminated and stay valid until the
// owner changes them.
class IQelText {
 public:
  virtual uint32_t Length() const = 0;        // slot 0
  virtual const char16_t* Chars() const = 0;  // slot 1

 protected:
  ~IQelText() = default;
};

class IQelValue {
 public:
  virtual int32_t IsEmpty() = 0;                                   // slot 0
  virtual QelKind GetKind() = 0;                                   // slot 1
  virtual bool GetString(IQelText** out) = 0;                      // slot 2
  virtual bool GetChar(char* out) = 0;                             // slot 3
  virtual bool GetBool(bool* out) = 0;                             // slot 4
  virtual bool GetTriState(int32_t* out) = 0;                      // slot 5
  virtual bool GetDouble(double* out) = 0;                         // slot 6
  virtual bool GetInt32(int32_t* out) = 0;                         // slot 7
  virtual bool GetUInt32(uint32_t* out) = 0;                       // slot 8
  virtual bool GetInt64(int64_t* out) = 0;                         // slot 9
  virtual bool GetUInt64(uint64_t* out) = 0;                       // slot 10
  virtual bool GetObject(IQelService** inout) = 0;                 // slot 11
  virtual bool SetObject(IQelService** inout) = 0;                 // slot 12
  virtual bool Assign(IQelValue* other) = 0;                       // slot 13
  virtual bool SetUInt64(uint32_t low, uint32_t high) = 0;         // slot 14
  virtual bool SetInt64(uint32_t low, uint32_t high) = 0;          // slot 15
  virtual bool SetUInt32(uint32_t v) = 0;                          // slot 16
  virtual bool SetInt32(int32_t v) = 0;                            // slot 17
  virtual bool SetDouble(double v) = 0;                            // slot 18
  virtual bool SetTriState(int32_t v) = 0;                         // slot 19
  virtual bool SetBool(bool v) = 0;                                // slot 20
  virtual bool SetChar(char v) = 0;                                // slot 21
  virtual bool SetText(IQelText* text) = 0;                        // slot 22
  virtual bool SetString(const char16_t* s, uint32_t length) = 0;  // slot 23
  virtual bool SetStringZ(const char16_t* s) = 0;                  // slot 24
  virtual bool Clear() = 0;                                        // slot 25
  // slot 26 in Microsoft's layout; slots 26 and 27 (complete and deleting) elsewhere.
  QEL_SCALAR_DELETING_DESTRUCTOR(IQelValue)
  virtual ~IQelValue() = default;
};

namespace qel {

// Deletes a value handed over by whoever made it. Where the layout is spelled
// out, the maker's table may end at the contract's destructor slot, so the
// call goes through that slot.
inline void DeleteValue(IQelValue* value) {
#if QEL_EXPLICIT_MS_LAYOUT
  if (value) value->ScalarDeletingDestructor(1);
#else
  delete value;
#endif
}

struct ValueDeleter {
  void operator()(IQelValue* value) const { DeleteValue(value); }
};

}  // namespace qel
