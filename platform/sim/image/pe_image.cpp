#include "pe_image.h"

#include <array>
#include <cstring>

#include "ce/error.h"

namespace ce::sim {
namespace {

constexpr uint16_t kDosMagic = 0x5A4D;         // "MZ"
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kDosHeaderSize = 64;
constexpr uint32_t kLfanewAt = 0x3C;
constexpr uint32_t kCoffHeaderSize = 20;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kResourceDirectory = 2;  // IMAGE_DIRECTORY_ENTRY_RESOURCE

template <class T>
T At(const uint8_t* bytes) {
  T v;
  std::memcpy(&v, bytes, sizeof v);
  return v;
}

template <class T>
bool ReadValue(const ByteSource& file, uint64_t offset, T* out) {
  return file.Read(offset, out, sizeof *out);
}

// Where the optional header keeps its data-directory count and the directories.
struct OptionalLayout {
  uint32_t countAt, directoriesAt;
};

}  // namespace

std::optional<uint64_t> PeImage::FileOffset(uint64_t rva, uint64_t length) const {
  for (const PeSection& s : sections) {
    if (rva < s.virtualAddress) continue;
    const uint64_t delta = rva - s.virtualAddress;
    const uint64_t span = s.virtualSize != 0 ? s.virtualSize : s.rawSize;
    if (delta >= span) continue;
    // Inside this section: the file holds only its raw part.
    if (delta > s.rawSize || length > s.rawSize - delta) return std::nullopt;
    return uint64_t(s.rawOffset) + delta;
  }
  return std::nullopt;
}

DWORD ReadPeImage(const ByteSource& file, PeImage* out) {
  uint16_t dosMagic = 0;
  uint32_t lfanew = 0;
  if (file.size() < kDosHeaderSize || !ReadValue(file, 0, &dosMagic) || dosMagic != kDosMagic ||
      !ReadValue(file, kLfanewAt, &lfanew))
    return ERROR_BAD_EXE_FORMAT;

  uint32_t signature = 0;
  std::array<uint8_t, kCoffHeaderSize> coff{};
  if (!ReadValue(file, lfanew, &signature) || signature != kPeSignature ||
      !file.Read(uint64_t(lfanew) + 4, coff.data(), coff.size()))
    return ERROR_BAD_EXE_FORMAT;
  const auto sectionCount = At<uint16_t>(&coff[2]);
  const auto optionalSize = At<uint16_t>(&coff[16]);
  if (sectionCount > kMaxPeSections) return ERROR_BAD_EXE_FORMAT;

  const uint64_t optionalAt = uint64_t(lfanew) + 4 + kCoffHeaderSize;
  uint16_t magic = 0;
  if (optionalSize < sizeof magic || !ReadValue(file, optionalAt, &magic)) return ERROR_BAD_EXE_FORMAT;
  PeImage image;
  OptionalLayout layout{};
  if (magic == kPe32Magic) {
    layout = {92, 96};
  } else if (magic == kPe32PlusMagic) {
    layout = {108, 112};
    image.pe32plus = true;
  } else {
    return ERROR_BAD_EXE_FORMAT;
  }
  if (optionalSize < layout.directoriesAt) return ERROR_BAD_EXE_FORMAT;
  uint32_t directoryCount = 0;
  if (!ReadValue(file, optionalAt + layout.countAt, &directoryCount)) return ERROR_BAD_EXE_FORMAT;
  // The directories the header claims must fit in it; only the resource one is read.
  const uint64_t directoriesEnd = layout.directoriesAt + 8 * uint64_t(directoryCount);
  if (directoriesEnd > optionalSize) return ERROR_BAD_EXE_FORMAT;
  if (directoryCount > kResourceDirectory) {
    const uint64_t at = optionalAt + layout.directoriesAt + 8 * kResourceDirectory;
    if (!ReadValue(file, at, &image.resourceRva) || !ReadValue(file, at + 4, &image.resourceSize))
      return ERROR_BAD_EXE_FORMAT;
  }

  std::vector<uint8_t> table(size_t(sectionCount) * kSectionHeaderSize);
  if (!file.Read(optionalAt + optionalSize, table.data(), table.size())) return ERROR_BAD_EXE_FORMAT;
  image.sections.reserve(sectionCount);
  for (size_t i = 0; i < sectionCount; ++i) {
    const uint8_t* h = &table[i * kSectionHeaderSize];
    image.sections.push_back(
        {At<uint32_t>(h + 12), At<uint32_t>(h + 8), At<uint32_t>(h + 16), At<uint32_t>(h + 20)});
  }
  if (image.resourceSize == 0) image.resourceRva = 0;
  *out = std::move(image);
  return ERROR_SUCCESS;
}

}  // namespace ce::sim
