// System message texts (English) for the error codes the system reports, and
// the local heap that carries allocated texts.
#include "ce/message.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "api.h"
#include "ce/error.h"
#include "last_error.h"

namespace ce::sim::api {
namespace {

struct Message {
  DWORD code;
  std::u16string_view text;
};

constexpr Message kMessages[] = {
    {ERROR_SUCCESS, u"The operation completed successfully.\r\n"},
    {ERROR_INVALID_FUNCTION, u"Incorrect function.\r\n"},
    {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified.\r\n"},
    {ERROR_PATH_NOT_FOUND, u"The system cannot find the path specified.\r\n"},
    {ERROR_TOO_MANY_OPEN_FILES, u"The system cannot open the file.\r\n"},
    {ERROR_ACCESS_DENIED, u"Access is denied.\r\n"},
    {ERROR_INVALID_HANDLE, u"The handle is invalid.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, u"Not enough storage is available to process this command.\r\n"},
    {ERROR_BAD_FORMAT, u"An attempt was made to load a program with an incorrect format.\r\n"},
    {ERROR_INVALID_DATA, u"The data is invalid.\r\n"},
    {ERROR_OUTOFMEMORY, u"Not enough storage is available to complete this operation.\r\n"},
    {ERROR_NOT_READY, u"The device is not ready.\r\n"},
    {ERROR_SHARING_VIOLATION,
     u"The process cannot access the file because it is being used by another process.\r\n"},
    {ERROR_NOT_SUPPORTED, u"The request is not supported.\r\n"},
    {ERROR_FILE_EXISTS, u"The file exists.\r\n"},
    {ERROR_INVALID_PARAMETER, u"The parameter is incorrect.\r\n"},
    {ERROR_DISK_FULL, u"There is not enough space on the disk.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, u"The data area passed to a system call is too small.\r\n"},
    {ERROR_INVALID_NAME, u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {ERROR_BAD_EXE_FORMAT, u"%1 is not a valid Win32 application.\r\n"},
    {ERROR_ALREADY_EXISTS, u"Cannot create a file when that file already exists.\r\n"},
    {ERROR_FILENAME_EXCED_RANGE, u"The filename or extension is too long.\r\n"},
    {ERROR_MORE_DATA, u"More data is available.\r\n"},
    {ERROR_NO_MORE_ITEMS, u"No more data is available.\r\n"},
    {ERROR_DIRECTORY, u"The directory name is invalid.\r\n"},
    {ERROR_GEN_FAILURE, u"A device attached to the system is not functioning.\r\n"},
    {ERROR_BUSY, u"The requested resource is in use.\r\n"},
    {ERROR_BADDB, u"The configuration registry database is corrupt.\r\n"},
    {ERROR_BADKEY, u"The configuration registry key is invalid.\r\n"},
    {ERROR_REGISTRY_IO_FAILED,
     u"An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, or "
     u"write out, or flush, one of the files that contain the system's image of the registry.\r\n"},
    {ERROR_KEY_DELETED,
     u"Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
};

}  // namespace

DWORD FormatMessageW(DWORD flags, const void*, DWORD messageId, DWORD languageId, LPWSTR buffer, DWORD size,
                     void*) {
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !buffer || (languageId != 0 && languageId != 0x409)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  for (const Message& m : kMessages) {
    if (m.code != messageId) continue;
    const DWORD length = DWORD(m.text.size());
    char16_t* out = buffer;
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
      out = static_cast<char16_t*>(LocalAlloc(LMEM_FIXED, (length + 1) * sizeof(char16_t)));
      if (!out) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
      }
      *reinterpret_cast<char16_t**>(buffer) = out;
    } else if (size <= length) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    std::memcpy(out, m.text.data(), length * sizeof(char16_t));
    out[length] = 0;
    return length;
  }
  SetLastError(ERROR_MR_MID_NOT_FOUND);
  return 0;
}

}  // namespace ce::sim::api
