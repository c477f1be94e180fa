// Wide-string helpers of the C runtime, with the device's case rules.
#pragma once

#include <string>
#include <string_view>

namespace ce {

// Upper case of a character, for comparing names as the device does: ASCII,
// Latin-1, Latin Extended-A, Greek, Cyrillic and full-width Latin letters.
char16_t towupper(char16_t c);
// Compare without regard to case; <0, 0 or >0.
int _wcsicmp(std::u16string_view a, std::u16string_view b);
std::u16string ToUpper(std::u16string_view s);

}  // namespace ce
