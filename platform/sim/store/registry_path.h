// Key paths of the registry: names separated by backslashes.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "ce/types.h"

namespace ce::sim {

inline constexpr size_t kMaxKeyNameLength = 255;
inline constexpr size_t kMaxValueNameLength = 16383;

using KeyPath = std::vector<std::u16string_view>;

// Splits a key path into names. A leading backslash is accepted as on the
// device, and any run of trailing ones; an empty or over-long name is ERROR_INVALID_PARAMETER.
DWORD SplitPath(std::u16string_view path, KeyPath* names);

}  // namespace ce::sim
