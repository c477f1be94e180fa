// A device path as a ce call receives it: checked for length (MAX_PATH) and
// resolved on the current terminal's file system.
#pragma once

#include "ce/types.h"
#include "device_path.h"

namespace ce::sim::api {

// ERROR_SUCCESS with *out filled, or the error the call reports.
DWORD ResolveApiPath(LPCWSTR path, sim::Resolve mode, sim::ResolvedPath* out);

}  // namespace ce::sim::api
