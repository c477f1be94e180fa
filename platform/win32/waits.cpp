// Windows CE waits for any one of several objects, never for all of them.
#include "ce/error.h"
#include "ce/sync.h"

namespace ce {

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  if (waitAll) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  return ::WaitForMultipleObjects(count, handles, FALSE, milliseconds);
}

}  // namespace ce
