// UTF-8 for the simulation's own files (profiles, hardware state, host
// names), through the same encoder and decoder as the CP_UTF8 conversions.
#pragma once

#include <string>
#include <string_view>

namespace ce::sim {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);
// False for text that is not well-formed UTF-8.
bool FromUtf8Strict(std::string_view text, std::u16string* out);

}  // namespace ce::sim
