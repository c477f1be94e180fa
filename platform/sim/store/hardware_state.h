// The hardware state of a terminal (hardware.json): what its fields may hold,
// lookups by dotted path, and the locked, atomic rewrite of the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace ce::sim {

// The field at a dotted path ("power.battery_life_percent", "storage.mounted.0"),
// or null when there is none. Never throws.
const nlohmann::json* FindField(const nlohmann::json& root, const std::string& dottedPath);

// Checks every field a profile's hardware section gives against the rules of
// the fields the terminal reads (bytes 0..255, DWORDs, texts, lists of texts...).
bool CheckHardware(const nlohmann::json& hardware, std::string* error);

// Checks that value may replace the field at dottedPath in hardware.
bool CheckFieldChange(const nlohmann::json& hardware, const std::string& dottedPath,
                      const nlohmann::json& value, std::string* error);

// The one rule for the names of fields, in profiles, hardware.json and values
// given to `terminal set`: not empty, no dots (a dot separates the names of a path).
bool IsFieldName(std::string_view name);

// The largest JSON file (profile, hardware state) the simulation reads.
inline constexpr uint64_t kMaxJsonFileBytes = 16u << 20;

// Reads a JSON file; refuses what is not a regular file, a file larger than
// maxBytes and text nested deeper than any state needs. Errors name the file.
bool ReadJsonFile(const std::filesystem::path& path, nlohmann::json* out, std::string* error,
                  uint64_t maxBytes = kMaxJsonFileBytes);

// ReadJsonFile of a file open as fd (path names it in messages).
bool ReadJsonFd(int fd, const std::filesystem::path& path, nlohmann::json* out, std::string* error,
                uint64_t maxBytes = kMaxJsonFileBytes);

// Under an exclusive lock on the terminal's hardware: reads the file afresh
// (refused when it breaks a field rule, or is a link), applies the change (checked with CheckFieldChange) and
// replaces the file atomically (written beside it, synced, renamed), so concurrent writers from any process
// neither lose updates nor see half a file.
bool ChangeHardwareFile(const std::filesystem::path& file, const std::string& dottedPath,
                        const nlohmann::json& value, std::string* error);
// The same for several fields as one change: all are made, or none.
bool ChangeHardwareFile(const std::filesystem::path& file,
                        const std::vector<std::pair<std::string, nlohmann::json>>& changes,
                        std::string* error);
// The same for a count the system keeps itself (a reboot, say): adds one to a
// declared DWord field, which is made when the state lacks it, so that the
// count need not be in every profile.
bool CountInHardwareFile(const std::filesystem::path& file, const std::string& dottedPath,
                         std::string* error);
// The same for a list of texts the system keeps (what plays now): edit
// changes the list as it stands, made empty when the state lacks it.
bool EditListInHardwareFile(const std::filesystem::path& file, const std::string& dottedPath,
                            const std::function<void(std::vector<std::string>&)>& edit, std::string* error);

}  // namespace ce::sim
