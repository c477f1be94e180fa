// The folders a terminal is made in before it is moved into place
// (".NAME.making.PID" beside the target), and the removal of those whose maker
// died. A maker holds an flock on its staging folder until it is done, so a
// folder that can be locked, and whose process is gone, is an orphan.
#pragma once

#include <filesystem>
#include <string>

#include "device_path.h"

namespace ce::sim {

// ".NAME.making.PID" for the terminal folder NAME and this process.
std::string StagingName(const std::string& terminalName);

// Removes the staging folders in parent whose maker is gone: the folder is not
// locked, its process id names no living process, and it holds only what a
// maker puts there. Returns how many.
size_t RemoveOrphanedStaging(const std::filesystem::path& parent);

// Locks the folder open as fd for its maker (held while fd stays open).
bool LockStaging(int fd);

}  // namespace ce::sim
