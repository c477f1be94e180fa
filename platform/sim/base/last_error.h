// The thread's last error, kept by the simulation. The simulation sets it
// through these (an unqualified call inside ce::sim finds them before ce's);
// the system library's exported ce::GetLastError and ce::SetLastError forward
// here, so the module, the host and the simulation share one slot.
#pragma once

#include "ce/types.h"

namespace ce::sim {

DWORD GetLastError();
void SetLastError(DWORD code);

}  // namespace ce::sim
