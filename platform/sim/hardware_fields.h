// Typed reads of the current terminal's hardware state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "terminal.h"

namespace ce::sim {

// The field as an unsigned number, or nothing when absent or of another type.
inline std::optional<uint64_t> HardwareUInt(const std::string& path) {
  const auto v = Hardware(path);
  if (v.is_number_unsigned()) return v.get<uint64_t>();
  if (v.is_number_integer()) return uint64_t(v.get<int64_t>());  // negatives wrap as on the device
  return std::nullopt;
}

inline std::optional<std::string> HardwareText(const std::string& path) {
  const auto v = Hardware(path);
  if (v.is_string()) return v.get<std::string>();
  return std::nullopt;
}

inline bool HardwareFlag(const std::string& path, bool otherwise) {
  const auto v = Hardware(path);
  return v.is_boolean() ? v.get<bool>() : otherwise;
}

}  // namespace ce::sim
