#include "hex.h"

namespace ce::sim {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::vector<uint8_t>> ParseHex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(uint8_t(high << 4 | low));
  }
  return bytes;
}

std::optional<std::array<uint8_t, 6>> ParseMac(std::string_view text) {
  constexpr size_t kLength = 6 * 3 - 1;
  if (text.size() != kLength || (text[2] != '-' && text[2] != ':')) return std::nullopt;
  std::array<uint8_t, 6> bytes{};
  for (size_t i = 0; i < bytes.size(); ++i) {
    const size_t at = i * 3;
    if (i > 0 && text[at - 1] != text[2]) return std::nullopt;
    const int high = HexDigit(text[at]), low = HexDigit(text[at + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[i] = uint8_t(high << 4 | low);
  }
  return bytes;
}

}  // namespace ce::sim
