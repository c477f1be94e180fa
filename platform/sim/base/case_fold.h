// The device's one case fold, its upper case (device_text::UpperCase). File and
// registry names compare in this form; CharUpperBuffW applies it.
#pragma once

#include <string>
#include <string_view>

namespace ce::sim {

char16_t FoldChar(char16_t c);
std::u16string FoldName(std::u16string_view name);
bool SameName(std::u16string_view a, std::u16string_view b);

}  // namespace ce::sim
