// Code-page conversion and case. The terminal's ANSI code page is Windows-1252.
#pragma once

#include "ce/types.h"

#ifndef CP_ACP
#define CP_ACP 0
#endif
#ifndef CP_UTF8
#define CP_UTF8 65001
#endif
#ifndef CP_1252
#define CP_1252 1252
#endif

namespace ce {

// Counts include the NUL when srcLength is -1. Zero size asks for the size needed;
// a short buffer fails with ERROR_INSUFFICIENT_BUFFER.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLength, char* dst, int dstSize,
                        const char* defaultChar, BOOL* usedDefault);
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLength, LPWSTR dst, int dstSize);

UINT GetACP();

// Upper-cases length characters in place with the device's rules (ASCII,
// Latin-1, Latin Extended-A, Greek, Cyrillic and full-width Latin letters);
// names of files, registry keys and kernel objects compare in this form.
DWORD CharUpperBuffW(LPWSTR text, DWORD length);

}  // namespace ce
