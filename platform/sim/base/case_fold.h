// The device's one case fold: simple upper case of ASCII, Latin-1, Latin
// Extended-A, Greek, Cyrillic and full-width Latin letters. File, registry and
// kernel-object names all compare in this form; CharUpperBuffW applies it.
#pragma once

#include <string>
#include <string_view>

namespace ce::sim {

char16_t FoldChar(char16_t c);
std::u16string FoldName(std::u16string_view name);
bool SameName(std::u16string_view a, std::u16string_view b);

}  // namespace ce::sim
