#include "version_resource.h"

#include <algorithm>

#include "ce/error.h"
#include "pe_image.h"
#include "resource_tree.h"
#include "version_block.h"

namespace ce::sim {

DWORD ReadVersionResource(const ByteSource& file, std::vector<uint8_t>* block) {
  PeImage image;
  if (DWORD e = ReadPeImage(file, &image)) return e;
  ResourceData data;
  if (DWORD e = FindResourceOfType(file, image, kResourceTypeVersion, &data)) return e;
  constexpr size_t kMaxBlockBytes = 0xFFFF;  // a node's length is 16 bits
  const size_t available = std::min<size_t>(data.size, kMaxBlockBytes);
  const auto at = image.FileOffset(data.rva, available);
  std::vector<uint8_t> bytes(available);
  if (!at || !file.Read(*at, bytes.data(), bytes.size())) return ERROR_BAD_EXE_FORMAT;
  const size_t length = VersionBlockLength(bytes);
  if (length == 0) return ERROR_BAD_EXE_FORMAT;
  bytes.resize(length);
  *block = std::move(bytes);
  return ERROR_SUCCESS;
}

}  // namespace ce::sim
