// Finding a program of the terminal by its executable's name and stopping it:
// politely first (its windows are asked to close), by force when that takes
// longer than the caller waits.
#pragma once

#include <cstdint>
#include <string_view>

namespace qel {

// The id of the first process in "ToolHelp.dll"'s snapshot whose executable
// is named `name`, without regard to case (".exe" is added to a name without
// a dot); 0 when there is none, or no ToolHelp library.
uint32_t FindProcessByName(std::u16string_view name);

// Ends the process `id`: unless waitMs is -1, every top-level window it owns
// gets WM_CLOSE and it has waitMs to end; then it is terminated with
// exitCode. True when it ended or was terminated; false when it cannot be
// opened or the termination fails.
bool ProcessCloser(uint32_t id, uint32_t exitCode, int32_t waitMs);

}  // namespace qel
