// The device's text rules, shared by both backends so that a module sees the
// same bytes and letters on either: its one case rule, its two code pages
// (Windows-1252 and UTF-8) and the UTF-8 and UTF-16 codecs under them. Plain
// code: no system call, no last error; a conversion returns its error code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace device_text {

inline constexpr char16_t kReplacement = 0xFFFD;

// Simple upper case of ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic and
// full-width Latin letters; every other character is its own upper case.
char16_t UpperCase(char16_t c);

// Encodes one code point; returns the byte count (1..4).
int EncodeUtf8(char32_t cp, char* out);
// Encodes one code point as one unit or a surrogate pair; returns the count.
int EncodeUtf16(char32_t cp, char16_t* out);
// Reads the code point at src[i] of a UTF-16 text of n units and advances i;
// a lone surrogate yields U+FFFD.
char32_t NextUtf16(const char16_t* src, size_t n, size_t& i);
// Reads the code point at src[i] of a UTF-8 text of n bytes and advances i.
// An ill-formed sequence yields U+FFFD and consumes its maximal subpart.
char32_t NextUtf8(const unsigned char* src, size_t n, size_t& i);

// Windows-1252: every byte is a character; -1 for a character it lacks.
char16_t From1252(unsigned char b);
int To1252(char16_t c);

// WideCharToMultiByte and MultiByteToWideChar of the device: code page 0
// (ANSI, which is 1252), 1252 or 65001, with Win32's argument checks and
// counts. On failure they return 0 and set *error to the Win32 error code.
int WideToMultiByte(uint32_t codePage, const char16_t* src, int srcLength, char* dst, int dstSize,
                    const char* defaultChar, int32_t* usedDefault, uint32_t* error);
int MultiByteToWide(uint32_t codePage, const char* src, int srcLength, char16_t* dst, int dstSize,
                    uint32_t* error);

}  // namespace device_text
