// What some numbers of the hardware state mean, for people reading `qelhost
// terminal show`: masks spelled out, levels named, gains in decibels.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>

namespace qelhost {

// The note shown after the field at dotted path with value, or empty. state
// is the whole hardware state (a device's description says whether the
// device is present).
std::string HardwareNote(const nlohmann::json& state, std::string_view path, const nlohmann::json& value);

}  // namespace qelhost
