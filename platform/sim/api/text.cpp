// Code-page conversion of the simulated terminal: Windows-1252 (the ANSI code
// page) and UTF-8, with the argument checks, counts and error codes of Win32
// (device_text, which the Win32 backend shares).
//
// Behaviour that follows Windows and is worth knowing:
//  - 1252: every byte maps to a character (the five bytes Windows leaves
//    undefined, 0x81 0x8D 0x8F 0x90 0x9D, map to U+0081 and so on, and back).
//    No "best fit": any other character becomes the default character, one per
//    UTF-16 unit, so a surrogate pair gives two.
//  - UTF-8: an unpaired surrogate is written as U+FFFD; an ill-formed byte
//    sequence is read as one U+FFFD per maximal ill-formed subpart.
//  - The flags are accepted and ignored.
#include "ce/text.h"

#include <cstdint>

#include "api.h"
#include "case_fold.h"
#include "ce/error.h"
#include "device/device_text.h"
#include "last_error.h"
#include "utf.h"

namespace ce {
namespace sim {
namespace api {

int WideCharToMultiByte(UINT codePage, DWORD /*flags*/, LPCWSTR src, int srcLength, char* dst, int dstSize,
                        const char* defaultChar, BOOL* usedDefault) {
  uint32_t error = ERROR_SUCCESS;
  const int n =
      device_text::WideToMultiByte(codePage, src, srcLength, dst, dstSize, defaultChar, usedDefault, &error);
  if (n == 0) SetLastError(error);
  return n;
}

int MultiByteToWideChar(UINT codePage, DWORD /*flags*/, const char* src, int srcLength, LPWSTR dst,
                        int dstSize) {
  uint32_t error = ERROR_SUCCESS;
  const int n = device_text::MultiByteToWide(codePage, src, srcLength, dst, dstSize, &error);
  if (n == 0) SetLastError(error);
  return n;
}

UINT GetACP() { return CP_1252; }

DWORD CharUpperBuffW(LPWSTR text, DWORD length) {
  if (!text) return 0;
  for (DWORD i = 0; i < length; ++i) text[i] = sim::FoldChar(text[i]);
  return length;
}

}  // namespace api

std::string Utf8ToAnsi(std::string_view utf8) {
  const std::u16string wide = FromUtf8(utf8);
  std::string out;
  out.reserve(wide.size());
  for (const char16_t c : wide) {
    const int b = device_text::To1252(c);
    out += b < 0 ? '?' : char(b);
  }
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::u16string wide;
  wide.reserve(ansi.size());
  for (const char c : ansi) wide += device_text::From1252(static_cast<unsigned char>(c));
  return ToUtf8(wide);
}

}  // namespace sim
}  // namespace ce
