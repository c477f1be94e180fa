// QEL_PLATFORM: manufacturer code, model and operating system, as in
// HON_THORVM_CE60; the OEM text itself for a terminal the table does not know.
#pragma once

#include <cstdint>

namespace qel {

bool PlatformString(char16_t* buffer, uint32_t capacity);

}  // namespace qel
