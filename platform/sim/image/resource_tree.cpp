#include "resource_tree.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "ce/error.h"
#include "ce/version.h"

namespace ce::sim {
namespace {

constexpr uint32_t kDirectoryHeaderSize = 16;
constexpr uint32_t kEntrySize = 8;
constexpr uint32_t kDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000;

struct Entry {
  uint32_t name;    // high bit: a name string, else an id
  uint32_t target;  // high bit: a subdirectory, else a data entry (offsets in the tree)
};

class Tree {
 public:
  Tree(const ByteSource& file, const PeImage& image) : file_(file), image_(image) {}

  // The entries of the directory at offset (from the tree's start).
  DWORD Directory(uint32_t offset, std::vector<Entry>* entries) {
    // Each directory is read once: a second visit is a loop in the tree.
    if (std::find(visited_.begin(), visited_.end(), offset) != visited_.end()) return ERROR_BAD_EXE_FORMAT;
    visited_.push_back(offset);
    std::array<uint8_t, kDirectoryHeaderSize> header{};
    if (!ReadInTree(offset, header.data(), header.size())) return ERROR_BAD_EXE_FORMAT;
    uint16_t named = 0, ids = 0;
    std::memcpy(&named, &header[12], 2);
    std::memcpy(&ids, &header[14], 2);
    const uint64_t count = uint64_t(named) + ids;
    // The count is taken only as far as the entries fit in the section.
    if (count * kEntrySize > image_.resourceSize - uint64_t(offset) - kDirectoryHeaderSize)
      return ERROR_BAD_EXE_FORMAT;
    std::vector<uint8_t> raw(size_t(count) * kEntrySize);
    if (!ReadInTree(uint64_t(offset) + kDirectoryHeaderSize, raw.data(), raw.size()))
      return ERROR_BAD_EXE_FORMAT;
    entries->resize(size_t(count));
    for (size_t i = 0; i < count; ++i) std::memcpy(&(*entries)[i], &raw[i * kEntrySize], kEntrySize);
    return ERROR_SUCCESS;
  }

  DWORD Data(uint32_t offset, ResourceData* out) {
    std::array<uint32_t, 4> entry{};
    if (!ReadInTree(offset, entry.data(), kDataEntrySize)) return ERROR_BAD_EXE_FORMAT;
    *out = {entry[0], entry[1]};
    return ERROR_SUCCESS;
  }

 private:
  bool ReadInTree(uint64_t offset, void* to, size_t n) const {
    if (offset > image_.resourceSize || n > image_.resourceSize - offset) return false;
    const auto at = image_.FileOffset(uint64_t(image_.resourceRva) + offset, n);
    return at && file_.Read(*at, to, n);
  }

  const ByteSource& file_;
  const PeImage& image_;
  std::vector<uint32_t> visited_;  // three at most: one per level
};

bool IsDirectory(const Entry& e) { return (e.target & kHighBit) != 0; }
uint32_t Offset(const Entry& e) { return e.target & ~kHighBit; }

}  // namespace

DWORD FindResourceOfType(const ByteSource& file, const PeImage& image, uint16_t type, ResourceData* out) {
  if (image.resourceRva == 0) return ERROR_RESOURCE_DATA_NOT_FOUND;
  Tree tree(file, image);
  std::vector<Entry> entries;
  if (DWORD e = tree.Directory(0, &entries)) return e;
  const auto typeEntry = std::find_if(entries.begin(), entries.end(), [&](const Entry& x) {
    return (x.name & kHighBit) == 0 && x.name == type;
  });
  if (typeEntry == entries.end()) return ERROR_RESOURCE_TYPE_NOT_FOUND;
  if (!IsDirectory(*typeEntry)) return ERROR_BAD_EXE_FORMAT;

  const uint32_t namesAt = Offset(*typeEntry);
  if (DWORD e = tree.Directory(namesAt, &entries)) return e;
  if (entries.empty()) return ERROR_RESOURCE_NAME_NOT_FOUND;
  if (!IsDirectory(entries[0])) return ERROR_BAD_EXE_FORMAT;

  const uint32_t languagesAt = Offset(entries[0]);
  if (DWORD e = tree.Directory(languagesAt, &entries)) return e;
  if (entries.empty()) return ERROR_RESOURCE_LANG_NOT_FOUND;
  if (IsDirectory(entries[0])) return ERROR_BAD_EXE_FORMAT;
  return tree.Data(Offset(entries[0]), out);
}

}  // namespace ce::sim
