// The folders a terminal is made in before it is moved into place
// (".NAME.making.PID" beside the target), and the removal of those whose maker
// died. A maker holds an flock on its staging folder until it is done and marks
// it as its own, so a marked folder that can be locked, and whose process is
// gone, is an orphan.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "device_path.h"

namespace ce::sim {

// ".NAME.making.PID" for the terminal folder NAME and this process.
std::string StagingName(const std::string& terminalName);

// The file a maker writes first into its staging folder, holding its process
// id: a folder without it is never taken for a staging folder, whatever its name.
inline constexpr char kStagingMarker[] = ".qel-staging";

// Removes the staging folders in parent whose maker is gone: the folder is not
// locked, carries the marker naming the process id of its name, that process
// is gone, and it holds only what a maker puts there. Returns how many.
size_t RemoveOrphanedStaging(const std::filesystem::path& parent);

// Locks the folder open as fd for its maker (held while fd stays open) and
// writes the marker into it.
bool LockStaging(int fd);

// The process id digits name, when they are one; 0 otherwise.
pid_t ProcessIdOf(std::string_view digits);
// No process has this id now.
bool ProcessIsGone(pid_t pid);

}  // namespace ce::sim
