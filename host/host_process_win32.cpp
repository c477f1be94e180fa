// Winsock 2 before windows.h, as the ce headers have them.
#include <winsock2.h>
// Second, as said above.
#include <windows.h>

#include "host_process.h"

namespace qelhost {

HostProcessId ThisHostProcess() { return HostProcessId(::GetCurrentProcessId()); }

bool HostProcessGone(HostProcessId id) {
  HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, DWORD(id));
  if (!process) return ::GetLastError() == ERROR_INVALID_PARAMETER;  // no process has the id
  // An ended process whose handle someone still holds keeps its id until then.
  const bool ended = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  ::CloseHandle(process);
  return ended;
}

}  // namespace qelhost
