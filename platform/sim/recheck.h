// How long a process may answer from what it last read of the state it shares
// with other processes (the hardware state, the registry, the fs/ folder):
// another process's change is seen by every read that starts this long after
// it, and nothing needs a system call on every read.
#pragma once

#include <chrono>

namespace ce::sim {

inline constexpr std::chrono::microseconds kRecheck{1000};

}  // namespace ce::sim
