// The persistent (flash) folder, the RAM disk and the storage card, by the
// manufacturer's conventions, the storage manager's profiles and the mounted
// stores of the root.
#pragma once

#include <cstdint>

namespace qel {

// A path whose attributes have both the directory and the temporary bit: how
// the system marks a mounted store.
bool IsStorageVolumePath(const char16_t* path);
bool GetFlashFolderPath(char16_t* buffer, uint32_t capacity);
bool GetRamFolderPath(char16_t* buffer, uint32_t capacity);
bool GetCardFolderPath(char16_t* buffer, uint32_t capacity);

}  // namespace qel
