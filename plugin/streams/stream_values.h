// Reading the values a host hands to a stream's Configure: a missing value
// counts as an empty one.
#pragma once

#include <cstdint>
#include <string>

#include "qel/value.h"

namespace qel {

bool ValueEmpty(IQelValue* value);
// The value's text, or empty.
std::u16string ValueText(IQelValue* value);
// The value as an unsigned number, or `otherwise` when it is empty.
// False when it holds something that is no number.
bool ValueNumber(IQelValue* value, uint32_t otherwise, uint32_t* out);

}  // namespace qel
