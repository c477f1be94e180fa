// Desktop Windows copies what fits of a version block into a short buffer and
// reports success; the device fails the copy with ERROR_INSUFFICIENT_BUFFER,
// so that part of a block is never taken for the whole.
#include "ce/error.h"
#include "ce/version.h"

namespace ce {

BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD length, void* data) {
  const auto* name = reinterpret_cast<const wchar_t*>(fileName);
  if (data == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(name, &ignored);
  if (size == 0) return FALSE;
  if (length >= size) return ::GetFileVersionInfoW(name, handle, length, data);
  if (!::GetFileVersionInfoW(name, handle, length, data)) return FALSE;
  ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return FALSE;
}

}  // namespace ce
