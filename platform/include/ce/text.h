// Code-page conversion. The terminal's ANSI code page is Windows-1252.
#pragma once

#include <string>
#include <string_view>

#include "ce/types.h"

namespace ce {

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_UTF8 = 65001;
inline constexpr UINT CP_1252 = 1252;

// Counts include the NUL when srcLength is -1. Zero size asks for the size needed;
// a short buffer fails with ERROR_INSUFFICIENT_BUFFER.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLength, char* dst,
                        int dstSize, const char* defaultChar, BOOL* usedDefault);
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLength, LPWSTR dst,
                        int dstSize);

UINT GetACP();

// Conveniences over the two above for code that owns its strings.
std::string ToAnsi(std::u16string_view text);
std::u16string FromAnsi(std::string_view text);
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

}  // namespace ce
