// Which simulated terminal qelhost runs on, made from a profile when new.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace qelhost {

// Where qelhost keeps its persistent terminals: $XDG_STATE_HOME/qelhost, else
// ~/.local/state/qelhost, else qelhost in the temporary folder (each variable
// taken only when it holds an absolute path). Nothing, with error, when none is usable.
std::optional<std::filesystem::path> StateHome(std::string* error);

// terminalDir empty: a persistent terminal in the state folder (one per
// profile; the default profile's when profile is empty). A missing or empty
// folder is made from the profile. On failure error says what and where;
// notice is set when the profile asked for differs from an existing terminal's.
std::optional<std::filesystem::path> PrepareTerminal(const std::string& terminalDir,
                                                     const std::string& profile, std::string* error,
                                                     std::string* notice);

}  // namespace qelhost
