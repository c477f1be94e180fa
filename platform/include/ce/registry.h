// The system registry: keys and values, names compared without regard to case.
// Functions return ERROR_SUCCESS or an error code, as on the device.
#pragma once

#include "ce/error.h"
#include "ce/types.h"
#include "ce/unique.h"

namespace ce {

#if defined(_WIN32)
using ::HKEY;
using ::REGSAM;
#else
struct HKEY__;
using HKEY = HKEY__*;
using REGSAM = DWORD;
#endif

}  // namespace ce

#ifndef HKEY_CLASSES_ROOT
#define HKEY_CLASSES_ROOT (reinterpret_cast<::ce::HKEY>(uintptr_t{0x80000000}))
#define HKEY_CURRENT_USER (reinterpret_cast<::ce::HKEY>(uintptr_t{0x80000001}))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<::ce::HKEY>(uintptr_t{0x80000002}))
#define HKEY_USERS (reinterpret_cast<::ce::HKEY>(uintptr_t{0x80000003}))
#endif
#ifndef REG_NONE
#define REG_NONE 0
#endif
#ifndef REG_SZ
#define REG_SZ 1
#endif
#ifndef REG_EXPAND_SZ
#define REG_EXPAND_SZ 2
#endif
#ifndef REG_BINARY
#define REG_BINARY 3
#endif
#ifndef REG_DWORD
#define REG_DWORD 4
#endif
#ifndef REG_MULTI_SZ
#define REG_MULTI_SZ 7
#endif
#ifndef REG_QWORD
#define REG_QWORD 11
#endif
#ifndef REG_CREATED_NEW_KEY
#define REG_CREATED_NEW_KEY 0x00000001
#endif
#ifndef REG_OPENED_EXISTING_KEY
#define REG_OPENED_EXISTING_KEY 0x00000002
#endif
#ifndef KEY_QUERY_VALUE
#define KEY_QUERY_VALUE 0x0001
#endif
#ifndef KEY_SET_VALUE
#define KEY_SET_VALUE 0x0002
#endif
#ifndef KEY_READ
#define KEY_READ 0x20019
#endif
#ifndef KEY_WRITE
#define KEY_WRITE 0x20006
#endif
#ifndef KEY_ALL_ACCESS
#define KEY_ALL_ACCESS 0xF003F
#endif

namespace ce {

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM sam, HKEY* result);
LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR cls, DWORD options, REGSAM sam,
                     void* security, HKEY* result, DWORD* disposition);
LONG RegCloseKey(HKEY key);
// data may be null to ask for the size; a short buffer gives ERROR_MORE_DATA and the size.
LONG RegQueryValueExW(HKEY key, LPCWSTR name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
LONG RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LONG RegDeleteValueW(HKEY key, LPCWSTR name);
// Deletes the key with everything below it, as the device does.
LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey);
// nameLength: in characters, in with the capacity including the NUL, out without it.
// A name that does not fit is ERROR_MORE_DATA with *nameLength and the buffers
// as they were.
LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved, LPWSTR cls,
                   DWORD* classLength, FILETIME* lastWrite);
LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved, DWORD* type,
                   BYTE* data, DWORD* dataSize);
LONG RegQueryInfoKeyW(HKEY key, LPWSTR cls, DWORD* classLength, DWORD* reserved, DWORD* subKeys,
                      DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values, DWORD* maxValueNameLength,
                      DWORD* maxValueLength, DWORD* securityDescriptor, FILETIME* lastWrite);

// Owns an open key; closes it on destruction.
struct RegKeyTraits {
  using Value = HKEY;
  static HKEY Empty() { return nullptr; }
  static bool Held(HKEY k) { return k != nullptr; }
  static void Close(HKEY k) { ce::RegCloseKey(k); }
};
using RegKey = Unique<RegKeyTraits>;

}  // namespace ce
