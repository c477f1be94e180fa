// Stream drivers reached by device name ("UIO1:"): CreateFileW hands a name of
// that form here instead of to the file system.
#pragma once

#include <string_view>

#include "ce/types.h"

namespace ce::sim {

// Three letters, a digit and a colon, as the device names its drivers.
bool IsDeviceName(std::u16string_view path);
// A handle to the driver, or INVALID_HANDLE_VALUE with the error set.
HANDLE OpenDevice(std::u16string_view name);

}  // namespace ce::sim
