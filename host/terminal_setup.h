// Which simulated terminal qelhost runs on, made from a profile when new.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace qelhost {

// Where qelhost keeps its persistent terminals: $XDG_STATE_HOME/qelhost, else
// ~/.local/state/qelhost.
std::filesystem::path StateHome();

// terminalDir empty: a persistent terminal in the state folder (one per
// profile; the default profile's when profile is empty). A missing or empty
// folder is made from the profile. On failure error says what and where.
std::optional<std::filesystem::path> PrepareTerminal(const std::string& terminalDir, const std::string& profile,
                                                     std::string* error);

}  // namespace qelhost
