// Shell folders, from the hardware state.
#include "ce/shell.h"

#include <cstring>

#include "api.h"
#include "ce/error.h"
#include "ce/files.h"
#include "hardware.h"
#include "last_error.h"
#include "terminal.h"
#include "utf.h"

namespace ce::sim::api {

BOOL SHGetSpecialFolderPathW(HWND, LPWSTR path, int folder, BOOL) {
  if (!path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!sim::Current()) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  const std::u16string found =
      folder == CSIDL_PROGRAM_FILES ? sim::FromUtf8(sim::hw::Read(sim::hw::kProgramFilesFolder)) : u"";
  if (found.empty() || found.size() >= MAX_PATH) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  std::memcpy(path, found.c_str(), (found.size() + 1) * sizeof(char16_t));
  return TRUE;
}

}  // namespace ce::sim::api
