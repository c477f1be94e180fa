// Byte strings in the hardware state: hexadecimal digits, two per byte, with
// "-", ":" or spaces between bytes allowed ("00-1A-2B-3C-4D-5E").
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace ce::sim {

// Nothing for an odd number of digits or any other character.
std::optional<std::vector<uint8_t>> ParseHex(std::string_view text);

}  // namespace ce::sim
