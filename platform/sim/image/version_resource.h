// The version resource of a PE image: its first RT_VERSION resource, checked
// to be a VS_VERSIONINFO block whose root fits in the resource.
#pragma once

#include <cstdint>
#include <vector>

#include "byte_source.h"
#include "ce/types.h"

namespace ce::sim {

// ERROR_SUCCESS and the block, whole; else the errors of ReadPeImage and
// FindResourceOfType, or ERROR_BAD_EXE_FORMAT when the resource's data lies
// outside the file or holds no version block. Reads only the headers, the
// tree's directories on the way and the block (64 KB at most).
DWORD ReadVersionResource(const ByteSource& file, std::vector<uint8_t>* block);

}  // namespace ce::sim
