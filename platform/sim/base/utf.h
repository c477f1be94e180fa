// UTF-8 for the simulation's own files (profiles, hardware state, host
// names), through the same encoder and decoder as the CP_UTF8 conversions;
// and the terminal's ANSI code page, Windows-1252, for its 8-bit APIs.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ce::sim {

inline constexpr char16_t kReplacement = 0xFFFD;

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

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);
// False for text that is not well-formed UTF-8.
bool FromUtf8Strict(std::string_view text, std::u16string* out);

// The simulation's UTF-8 text as the terminal's 8-bit (ANSI) APIs hand it
// out, in its code page, and back: what a char-based call returns or takes.
// A character the code page lacks becomes "?", as the conversion call does.
std::string Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);

}  // namespace ce::sim
