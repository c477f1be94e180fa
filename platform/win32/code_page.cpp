// The terminal's ANSI code page is Windows-1252 whatever the desktop's locale
// says: CP_ACP means 1252 here, so the module's files and texts read and
// write the same bytes as on the device.
#include "ce/text.h"

namespace ce {
namespace {

UINT DeviceCodePage(UINT codePage) { return codePage == CP_ACP ? CP_1252 : codePage; }

}  // namespace

UINT GetACP() { return CP_1252; }

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLength, char* dst, int dstSize,
                        const char* defaultChar, BOOL* usedDefault) {
  return ::WideCharToMultiByte(DeviceCodePage(codePage), flags, reinterpret_cast<const wchar_t*>(src),
                               srcLength, dst, dstSize, defaultChar, usedDefault);
}

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLength, LPWSTR dst, int dstSize) {
  return ::MultiByteToWideChar(DeviceCodePage(codePage), flags, src, srcLength,
                               reinterpret_cast<wchar_t*>(dst), dstSize);
}

}  // namespace ce
