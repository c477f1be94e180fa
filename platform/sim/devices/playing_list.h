// What plays on the terminal now, as `terminal show` and every process see it
// (audio.playing): one line per player, "<process id> <what>".
#pragma once

#include <string>

namespace ce::sim {

// Adds or removes this process's line for what. Lines of processes that have
// ended go at the same time, so a player killed while playing is not shown
// for long.
void ShowPlaying(const std::string& what, bool playing);

}  // namespace ce::sim
