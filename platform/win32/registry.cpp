// Where the device's registry calls differ from desktop Windows':
//  - access rights are not asked for: every key opens for reading and writing,
//    so code that passes 0 or KEY_READ may still write (desktop Windows asks
//    for what it is given, and a key opened with 0 can do nothing);
//  - a path may start with one backslash (desktop Windows: ERROR_BAD_PATHNAME),
//    and an empty name inside one is ERROR_INVALID_PARAMETER;
//  - only the four roots are predefined keys;
//  - a parent that is no key fails with the caller's handle untouched;
//  - RegCloseKey closes keys only (on desktop Windows keys are kernel handles,
//    and it would close any);
//  - RegDeleteKeyW deletes a key with everything below it, an empty path the
//    key itself (desktop Windows refuses a key that has subkeys).
#include "ce/registry.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "side_queries.h"

namespace ce {
namespace {

// The system takes a predefined key by its low 32 bits, however they are
// extended: 0x80000000 and up.
uint32_t PredefinedIndex(HKEY key) {
  const auto bits = reinterpret_cast<uintptr_t>(key);
  const auto low = static_cast<uint32_t>(bits);
  const bool extended = bits >> 31 == 1 || bits >> 31 == (~uintptr_t{0} >> 31);
  return extended && low >= 0x80000000u && low < 0x80000100u ? low - 0x80000000u + 1 : 0;
}

bool IsPredefined(HKEY key) {
  const uint32_t index = PredefinedIndex(key);
  return index >= 1 && index <= 4;
}

// A key the device has no such root for (desktop Windows' performance data,
// current configuration and the like).
bool IsOtherPredefined(HKEY key) { return PredefinedIndex(key) > 4; }

// The path as the system takes it: without the one leading backslash the
// device allows. Null stays null (the key itself).
const wchar_t* DevicePath(LPCWSTR path) {
  if (path && *path == u'\\') ++path;
  return reinterpret_cast<const wchar_t*>(path);
}

// A name left empty between two backslashes, which the device refuses.
bool HasEmptyName(const wchar_t* path) {
  if (!path) return false;
  std::wstring_view names(path);
  while (!names.empty() && names.back() == L'\\') names.remove_suffix(1);
  return names.find(L"\\\\") != std::wstring_view::npos;
}

// What refuses a parent and path before the system sees them, or ERROR_SUCCESS.
LONG Refused(HKEY key, const wchar_t* path) {
  if (IsOtherPredefined(key)) return ERROR_INVALID_HANDLE;
  return HasEmptyName(path) ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

// Stores an opened key in *result unless the parent was no key at all.
LONG Opened(LONG rc, ::HKEY opened, HKEY* result) {
  if (rc != ERROR_INVALID_HANDLE) *result = rc == ERROR_SUCCESS ? opened : nullptr;
  return rc;
}

}  // namespace

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM /*sam*/, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  const wchar_t* path = DevicePath(subKey);
  ::HKEY opened = nullptr;
  LONG rc = Refused(key, path);
  if (rc == ERROR_SUCCESS) rc = ::RegOpenKeyExW(key, path, options, MAXIMUM_ALLOWED, &opened);
  return Opened(rc, opened, result);
}

LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR cls, DWORD options, REGSAM /*sam*/,
                     void* security, HKEY* result, DWORD* disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  const wchar_t* path = DevicePath(subKey);
  ::HKEY opened = nullptr;
  LONG rc = Refused(key, path);
  if (rc == ERROR_SUCCESS) {
    rc = ::RegCreateKeyExW(key, path, reserved, reinterpret_cast<wchar_t*>(cls), options, MAXIMUM_ALLOWED,
                           static_cast<SECURITY_ATTRIBUTES*>(security), &opened, disposition);
  }
  return Opened(rc, opened, result);
}

LONG RegCloseKey(HKEY key) {
  if (IsPredefined(key)) return ERROR_SUCCESS;
  // Asking a handle for its key information is what tells a key from an
  // event or a file.
  const LONG rc = win32::KeepingLastError([&] {
    return ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr);
  });
  if (rc == ERROR_INVALID_HANDLE) return rc;
  return ::RegCloseKey(key);
}

LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
  if (!subKey) return ERROR_INVALID_PARAMETER;
  std::wstring_view path(DevicePath(subKey));
  while (!path.empty() && path.back() == L'\\') path.remove_suffix(1);
  if (path.empty() && *subKey != u'\0') return ERROR_INVALID_PARAMETER;  // nothing but backslashes
  if (LONG rc = Refused(key, DevicePath(subKey))) return rc;
  if (path.empty()) {
    if (IsPredefined(key)) return ERROR_ACCESS_DENIED;
    // RegDeleteTreeW with no path empties the key and keeps it.
    if (LONG rc = ::RegDeleteTreeW(key, nullptr)) return rc;
    return ::RegDeleteKeyW(key, L"");
  }
  return ::RegDeleteTreeW(key, std::wstring(path).c_str());
}

// Desktop Windows writes the name through a null pointer.
LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved, LPWSTR cls,
                   DWORD* classLength, FILETIME* lastWrite) {
  if (!name || !nameLength || (cls && !classLength)) return ERROR_INVALID_PARAMETER;
  return ::RegEnumKeyExW(key, index, reinterpret_cast<wchar_t*>(name), nameLength, reserved,
                         reinterpret_cast<wchar_t*>(cls), classLength, lastWrite);
}

LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameLength, DWORD* reserved, DWORD* type,
                   BYTE* data, DWORD* dataSize) {
  if (!name || !nameLength || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  return ::RegEnumValueW(key, index, reinterpret_cast<wchar_t*>(name), nameLength, reserved, type, data,
                         dataSize);
}

}  // namespace ce
