// Text as the device converts and upper-cases it, whatever the desktop's
// locale says: CP_ACP is Windows-1252, the only other code page is UTF-8
// (each ill-formed UTF-8 subpart one U+FFFD, no best-fit characters), and
// upper case is the device's. The rules are the simulation's own
// (device_text), so a module reads and writes the same bytes on either.
#include "ce/text.h"
#include "device/device_text.h"

namespace ce {

UINT GetACP() { return CP_1252; }

int WideCharToMultiByte(UINT codePage, DWORD /*flags*/, LPCWSTR src, int srcLength, char* dst, int dstSize,
                        const char* defaultChar, BOOL* usedDefault) {
  uint32_t error = ERROR_SUCCESS;
  const int n =
      device_text::WideToMultiByte(codePage, src, srcLength, dst, dstSize, defaultChar, usedDefault, &error);
  if (n == 0) ::SetLastError(error);
  return n;
}

int MultiByteToWideChar(UINT codePage, DWORD /*flags*/, const char* src, int srcLength, LPWSTR dst,
                        int dstSize) {
  uint32_t error = ERROR_SUCCESS;
  const int n = device_text::MultiByteToWide(codePage, src, srcLength, dst, dstSize, &error);
  if (n == 0) ::SetLastError(error);
  return n;
}

DWORD CharUpperBuffW(LPWSTR text, DWORD length) {
  if (!text) return 0;
  for (DWORD i = 0; i < length; ++i) text[i] = device_text::UpperCase(text[i]);
  return length;
}

}  // namespace ce
