// The device's file-name patterns, shared by both backends so that a search
// lists the same names on either.
#pragma once

#include <string_view>

namespace device_text {

// * (any run) and ? (one character), without regard to case (the device's
// upper case); "*.*" matches every name, with a dot or without.
bool MatchesPattern(std::u16string_view pattern, std::u16string_view name);

}  // namespace device_text
