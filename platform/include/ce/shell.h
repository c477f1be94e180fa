// Shell folders.
#pragma once

#include "ce/types.h"

#ifndef CSIDL_PROGRAM_FILES
#define CSIDL_PROGRAM_FILES 0x0026
#endif

namespace ce {

// path: at least MAX_PATH characters.
BOOL SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int folder, BOOL create);

}  // namespace ce
