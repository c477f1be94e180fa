// Text conveniences for code that owns its strings, built on the ce calls
// (WideCharToMultiByte, MultiByteToWideChar, CharUpperBuffW) so they behave
// alike on every backend.
#pragma once

#include <string>
#include <string_view>

namespace ceutil {

// UTF-16 <-> UTF-8. An unpaired surrogate or an ill-formed byte sequence
// becomes U+FFFD, as the system's conversion does.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// UTF-16 <-> the system's ANSI code page; a character the page lacks is '?'.
std::string ToAnsi(std::u16string_view text);
std::u16string FromAnsi(std::string_view text);

// The device's upper case, and comparison in that form (<0, 0 or >0).
std::u16string ToUpper(std::u16string_view text);
int CompareNoCase(std::u16string_view a, std::u16string_view b);
inline bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

}  // namespace ceutil
