// How long a process may answer from what it last read of the state it shares
// with other processes (the hardware state, the registry, the fs/ folder):
// another process's change is seen by every read that starts this long after
// it, and nothing needs a system call on every read.
#pragma once

#include <chrono>
#include <cstdint>

namespace ce::sim {

inline constexpr std::chrono::microseconds kRecheck{1000};

// When a piece of shared state was last looked at, and this process's count
// of its own writes to it then. Not thread-safe: its owner's lock guards it.
class RecheckClock {
 public:
  // Whether to look again: kRecheck has passed, this process wrote since, or
  // Expire was called. When so, now becomes the time last looked.
  bool Due(uint64_t ownWrites = 0) {
    const auto now = std::chrono::steady_clock::now();
    if (looked_ && ownWrites == writes_ && now - at_ < kRecheck) return false;
    looked_ = true;
    at_ = now;
    writes_ = ownWrites;
    return true;
  }
  // The next Due is true.
  void Expire() { looked_ = false; }

 private:
  bool looked_ = false;
  std::chrono::steady_clock::time_point at_{};
  uint64_t writes_ = 0;
};

}  // namespace ce::sim
