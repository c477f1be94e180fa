// A folder that is not there is ERROR_PATH_NOT_FOUND on the device, as every
// missing folder of a path is; desktop Windows names the last one missing
// ERROR_FILE_NOT_FOUND.
#include "ce/error.h"
#include "ce/files.h"

namespace ce {

HANDLE FindFirstChangeNotificationW(LPCWSTR path, BOOL watchSubtree, DWORD filter) {
  HANDLE change =
      ::FindFirstChangeNotificationW(reinterpret_cast<const wchar_t*>(path), watchSubtree, filter);
  if (change == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_NOT_FOUND)
    ::SetLastError(ERROR_PATH_NOT_FOUND);
  return change;
}

}  // namespace ce
