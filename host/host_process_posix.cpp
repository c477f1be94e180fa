#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "host_process.h"

namespace qelhost {

HostProcessId ThisHostProcess() { return ::getpid(); }

bool HostProcessGone(HostProcessId id) { return ::kill(id, 0) != 0 && errno == ESRCH; }

}  // namespace qelhost
