// A device's change of the hardware state together with its line of history
// in the outputs folder: the change is made under the history's lock, so the
// last line of a device's history is always the state in force.
#pragma once

#include <string>
#include <string_view>

#include "hardware.h"

namespace ce::sim {

// False, with error, when the change was refused. A history that cannot be
// opened (its folder or a new log) loses the line, not the change.
bool RecordedChange(std::string_view device, const hw::Changes& changes, std::string_view line,
                    std::string* error = nullptr);

}  // namespace ce::sim
