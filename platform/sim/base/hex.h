// Byte strings in the hardware state, in the forms the profiles write them:
// identifiers as plain hexadecimal digits ("0A1B2C"), hardware addresses as
// six bytes between dashes or colons ("00-1A-2B-3C-4D-5E", "00:16:A4:5B:3C:2D").
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace ce::sim {

// The value of a hexadecimal digit, or -1.
int HexDigit(char c);

// Two digits per byte with nothing between them; nothing for an odd number
// of digits or any other character. Empty text is no bytes.
std::optional<std::vector<uint8_t>> ParseHex(std::string_view text);

// Six two-digit bytes, all separated by "-" or all by ":"; nothing otherwise.
std::optional<std::array<uint8_t, 6>> ParseMac(std::string_view text);

}  // namespace ce::sim
