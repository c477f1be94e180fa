// Basic Windows CE types with the widths they have on the 32-bit device.
//
// These headers compile beside the Windows SDK: under _WIN32 the SDK's own
// types and macros are used (windows.h comes first), elsewhere this file
// defines the same names. Constants are macros with the SDK's names, each
// guarded, so whichever header comes first the value is one and the same;
// code writes them unqualified (TRUE, ERROR_SUCCESS, MAX_PATH). Functions and
// structures live in namespace ce under their W names and take char16_t text
// on every backend, so the plug-in never meets an A/W renaming macro.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
// Winsock 2 must come before windows.h, which otherwise brings the first
// Winsock's header that the second cannot sit beside.
#include <winsock2.h>
// Second, as said above (the include sorter would swap them).
#include <windows.h>
#endif

namespace ce {

#if defined(_WIN32)
using ::BOOL;
using ::BYTE;
using ::DWORD;
using ::FARPROC;
using ::FILETIME;
using ::HANDLE;
using ::HINSTANCE;
using ::HMODULE;
using ::HWND;
using ::LONG;
using ::UINT;
using ::ULARGE_INTEGER;
using ::WORD;
#else
using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using LONG = int32_t;
using BOOL = int32_t;
using HANDLE = void*;
using HMODULE = void*;
using HINSTANCE = void*;
using HWND = void*;
using FARPROC = void (*)();

union ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  uint64_t QuadPart;
};

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
#endif

// Text is UTF-16 in char16_t on every backend.
using WCHAR = char16_t;
using LPCWSTR = const char16_t*;
using LPWSTR = char16_t*;

static_assert(sizeof(ULARGE_INTEGER) == 8);
static_assert(sizeof(FILETIME) == 8);
static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(BOOL) == 4);

}  // namespace ce

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef INFINITE
#define INFINITE 0xFFFFFFFF
#endif
#ifndef INVALID_HANDLE_VALUE
#define INVALID_HANDLE_VALUE (reinterpret_cast<::ce::HANDLE>(~uintptr_t{0}))
#endif
