// Where desktop Windows reads version blocks otherwise than the device:
//  - a file that is no image has "no resources" there, ERROR_BAD_EXE_FORMAT
//    on the device;
//  - a short buffer gets what fits and success there; the device fails the
//    copy with ERROR_INSUFFICIENT_BUFFER, so that part of a block is never
//    taken for the whole;
//  - a null argument to VerQueryValueW is refused with ERROR_INVALID_PARAMETER.
#include "ce/error.h"
#include "ce/version.h"

namespace ce {
namespace {

// Starts as a PE image does: "MZ", and "PE\0\0" where the DOS header says.
bool IsImage(const wchar_t* name) {
  HANDLE h = ::CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return true;  // the system's own error stands
  struct Closer {
    HANDLE h;
    ~Closer() { ::CloseHandle(h); }
  } closer{h};
  IMAGE_DOS_HEADER dos{};
  DWORD read = 0;
  if (!::ReadFile(h, &dos, sizeof dos, &read, nullptr) || read != sizeof dos ||
      dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0)
    return false;
  LARGE_INTEGER at{};
  at.QuadPart = dos.e_lfanew;
  DWORD signature = 0;
  return ::SetFilePointerEx(h, at, nullptr, FILE_BEGIN) &&
         ::ReadFile(h, &signature, sizeof signature, &read, nullptr) && read == sizeof signature &&
         signature == IMAGE_NT_SIGNATURE;
}

}  // namespace

DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, DWORD* handle) {
  const auto* name = reinterpret_cast<const wchar_t*>(fileName);
  if (handle != nullptr) *handle = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(name, nullptr);
  if (size != 0) return size;
  const DWORD error = ::GetLastError();
  const bool noResource = error == ERROR_RESOURCE_DATA_NOT_FOUND || error == ERROR_RESOURCE_TYPE_NOT_FOUND ||
                          error == ERROR_BAD_FORMAT;
  ::SetLastError(noResource && !IsImage(name) ? ERROR_BAD_EXE_FORMAT : error);
  return 0;
}

BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD length, void* data) {
  const auto* name = reinterpret_cast<const wchar_t*>(fileName);
  if (data == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD size = ce::GetFileVersionInfoSizeW(fileName, nullptr);
  if (size == 0) return FALSE;
  if (length >= size) return ::GetFileVersionInfoW(name, handle, length, data);
  if (!::GetFileVersionInfoW(name, handle, length, data)) return FALSE;
  ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return FALSE;
}

BOOL VerQueryValueW(const void* block, LPCWSTR subBlock, void** buffer, UINT* length) {
  if (block == nullptr || subBlock == nullptr || buffer == nullptr || length == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return ::VerQueryValueW(block, reinterpret_cast<const wchar_t*>(subBlock), buffer, length);
}

}  // namespace ce
