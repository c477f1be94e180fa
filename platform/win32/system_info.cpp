// The device's answers where a desktop words a refusal otherwise: a record of
// the wrong size, an action the system does not know and a folder that is
// not there are each a bad parameter or a missing path on the device.
#include "ce/error.h"
#include "ce/system.h"

namespace ce {

BOOL GetVersionExW(OSVERSIONINFOW* info) {
  if (!info || info->dwOSVersionInfoSize != sizeof *info) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return ::GetVersionExW(reinterpret_cast<::OSVERSIONINFOW*>(info));
}

BOOL SystemParametersInfoW(UINT action, UINT uiParam, void* pvParam, UINT winIni) {
  if (::SystemParametersInfoW(action, uiParam, pvParam, winIni)) return TRUE;
  if (::GetLastError() == ERROR_INVALID_SPI_VALUE) ::SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

BOOL GetDiskFreeSpaceExW(LPCWSTR directory, ULARGE_INTEGER* freeToCaller, ULARGE_INTEGER* total,
                         ULARGE_INTEGER* totalFree) {
  if (::GetDiskFreeSpaceExW(
          reinterpret_cast<const wchar_t*>(directory), reinterpret_cast<::ULARGE_INTEGER*>(freeToCaller),
          reinterpret_cast<::ULARGE_INTEGER*>(total), reinterpret_cast<::ULARGE_INTEGER*>(totalFree)))
    return TRUE;
  // A desktop names the missing last part of the path a file; it asked for a folder.
  if (::GetLastError() == ERROR_FILE_NOT_FOUND) ::SetLastError(ERROR_PATH_NOT_FOUND);
  return FALSE;
}

}  // namespace ce
