// Moving a file's pointer and ending the file there, as the device answers:
//  - without a high part, a move to 4 GiB or beyond fails with
//    ERROR_INVALID_PARAMETER and leaves the pointer (Windows documents this;
//    Wine moves and answers the low part);
//  - ending a file through a handle that may not write is ERROR_ACCESS_DENIED
//    (Wine truncates the host file through a read-only descriptor, which the
//    host refuses as an invalid argument).
#include <cstdint>

#include "ce/error.h"
#include "ce/files.h"

namespace ce {

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
  if (distanceHigh) return ::SetFilePointer(file, distance, distanceHigh, method);
  LARGE_INTEGER base{};
  if (method == FILE_CURRENT) {
    if (!::SetFilePointerEx(file, LARGE_INTEGER{}, &base, FILE_CURRENT)) return INVALID_SET_FILE_POINTER;
  } else if (method == FILE_END) {
    if (!::GetFileSizeEx(file, &base)) return INVALID_SET_FILE_POINTER;
  }
  if (method <= FILE_END && base.QuadPart + distance > int64_t{0xFFFFFFFF}) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  return ::SetFilePointer(file, distance, nullptr, method);
}

BOOL SetEndOfFile(HANDLE file) {
  if (::SetEndOfFile(file)) return TRUE;
  if (::GetLastError() == ERROR_INVALID_PARAMETER) ::SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

}  // namespace ce
