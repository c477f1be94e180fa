// The model table's pattern match: "?" is one character, "*" any run (the
// empty one too); letters compare without regard to case.
#pragma once

#include <string>
#include <string_view>

namespace qel {

bool WildcardMatch(std::u16string_view pattern, std::u16string_view text);

// The same over texts already in the device's upper case, for callers that
// fold once and match many times.
bool WildcardMatchFolded(std::u16string_view pattern, std::u16string_view text);

}  // namespace qel
