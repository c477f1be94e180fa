// The operating system in the host client's short forms: "WindowsCE",
// "PocketPC" or "SmartPhone", and versions such as CE60 or WM6.
#pragma once

#include <cstdint>

namespace qel {

// The buffer holds the type even when the system does not answer (then
// "WindowsCE"); the result says whether it answered.
bool GetOsTypeText(char16_t* buffer, uint32_t capacity);
// The major version on a Windows Mobile image, else 0.
uint32_t WindowsMobileMajor();
bool GetOsVersionText(char16_t* buffer, uint32_t capacity);

}  // namespace qel
