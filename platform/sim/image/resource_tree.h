// The resource tree of a PE image: type, then name, then language. A resource
// is found as the loader finds one for a type alone: the type's first name,
// that name's first language.
#pragma once

#include <cstdint>

#include "byte_source.h"
#include "ce/types.h"
#include "pe_image.h"

namespace ce::sim {

inline constexpr uint16_t kResourceTypeVersion = 16;  // RT_VERSION

struct ResourceData {
  uint32_t rva = 0;
  uint32_t size = 0;
};

// ERROR_SUCCESS and where the data lies; ERROR_RESOURCE_DATA_NOT_FOUND (the
// image has no resources), ERROR_RESOURCE_TYPE_NOT_FOUND,
// ERROR_RESOURCE_NAME_NOT_FOUND, ERROR_RESOURCE_LANG_NOT_FOUND; or
// ERROR_BAD_EXE_FORMAT when the tree lies: a directory or entry outside the
// resource section, more entries than fit in it, a branch that leads back to
// a directory already on the way, a directory where data should be or the
// reverse.
DWORD FindResourceOfType(const ByteSource& file, const PeImage& image, uint16_t type, ResourceData* out);

}  // namespace ce::sim
