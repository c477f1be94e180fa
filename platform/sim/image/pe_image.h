// The headers of a PE32 or PE32+ image as a file holds them: the DOS header and
// its e_lfanew, the PE signature, the COFF header, the optional header (its
// magic tells the two apart) with the resource data directory, and the section
// table, which maps relative virtual addresses onto file offsets.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "byte_source.h"
#include "ce/types.h"

namespace ce::sim {

struct PeSection {
  uint32_t virtualAddress = 0;
  uint32_t virtualSize = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
};

struct PeImage {
  bool pe32plus = false;
  uint32_t resourceRva = 0;  // 0: the image has no resources
  uint32_t resourceSize = 0;
  std::vector<PeSection> sections;

  // Where the file holds [rva, rva + length): inside one section's raw data,
  // else nothing (the bytes are not in the file).
  std::optional<uint64_t> FileOffset(uint64_t rva, uint64_t length) const;
};

// More sections than the loader takes make the file no image.
inline constexpr uint32_t kMaxPeSections = 96;

// ERROR_SUCCESS and the image's layout, or ERROR_BAD_EXE_FORMAT when the file
// is no PE32 or PE32+ image or any header or the section table lies outside it.
DWORD ReadPeImage(const ByteSource& file, PeImage* out);

}  // namespace ce::sim
