// A process id that no process has, for tests of what is left behind by
// processes that died.
#pragma once

#include <sys/types.h>

#include <fstream>

namespace qeltest {

// One above the largest id the kernel hands out. (A child that has ended would
// do only until its id is handed out again, which on a busy machine with a
// small pid_max can be at once.)
inline pid_t DeadPid() {
  long max = 0;
  std::ifstream("/proc/sys/kernel/pid_max") >> max;
  return pid_t(max > 0 ? max + 1 : 4194304 + 1);
}

}  // namespace qeltest
