// Basic Windows CE types, with the widths they have on the 32-bit device.
#pragma once

#include <cstdint>

namespace ce {

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using LONG = int32_t;
using BOOL = int32_t;
using WCHAR = char16_t;
using LPCWSTR = const char16_t*;
using LPWSTR = char16_t*;
using HANDLE = void*;
using HMODULE = void*;
using HINSTANCE = void*;
using HWND = void*;
using FARPROC = void (*)();

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~uintptr_t{0});
inline constexpr DWORD INFINITE = 0xFFFFFFFFu;

union ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  uint64_t QuadPart;
};
static_assert(sizeof(ULARGE_INTEGER) == 8);

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

}  // namespace ce
