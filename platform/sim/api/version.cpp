// Version resources, read from the terminal's files as the loader reads an
// image for its resources: the PE headers and section table, the resource
// tree down to the first RT_VERSION resource, and the VS_VERSIONINFO block in
// it. Only the few pieces on the way are read (never the whole file), so a
// large image costs what a small one does. Files above kMaxImageBytes are
// refused with ERROR_NOT_ENOUGH_MEMORY, as a device that cannot map them.
#include "ce/version.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>
#include <vector>

#include "api.h"
#include "api_path.h"
#include "byte_source.h"
#include "ce/error.h"
#include "ce/files.h"
#include "device_path.h"
#include "last_error.h"
#include "version_block.h"
#include "version_resource.h"

namespace ce::sim::api {
namespace {

constexpr uint64_t kMaxImageBytes = 64ull << 20;
constexpr size_t kMaxBlockBytes = 0xFFFF;  // a node's length is 16 bits

DWORD OpenImage(LPCWSTR path, HostFd* out, uint64_t* size) {
  ResolvedPath rp;
  if (DWORD e = ResolveApiPath(path, sim::Resolve::kName, &rp)) return e;
  if (!rp.exists) return ERROR_FILE_NOT_FOUND;
  if (!S_ISREG(rp.st.st_mode) || sim::IsHardLinked(rp.st)) return ERROR_ACCESS_DENIED;
  HostFd fd(::openat(rp.folder.get(), rp.name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct ::stat st {};
  if (!fd || ::fstat(fd.get(), &st) != 0) return sim::ErrorFromErrno(errno);
  if (uint64_t(st.st_size) > kMaxImageBytes) return ERROR_NOT_ENOUGH_MEMORY;
  *size = uint64_t(st.st_size);
  *out = std::move(fd);
  return ERROR_SUCCESS;
}

// The file's version block, whole.
DWORD ReadVersionBlock(LPCWSTR path, std::vector<uint8_t>* block) {
  HostFd fd;
  uint64_t size = 0;
  if (DWORD e = OpenImage(path, &fd, &size)) return e;
  return sim::ReadVersionResource(sim::FileBytes(fd.get(), size), block);
}

}  // namespace

DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, DWORD* handle) {
  if (handle) *handle = 0;
  std::vector<uint8_t> block;
  if (DWORD e = ReadVersionBlock(fileName, &block)) {
    SetLastError(e);
    return 0;
  }
  return DWORD(block.size());
}

BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD /*handle*/, DWORD length, void* data) {
  if (data == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<uint8_t> block;
  if (DWORD e = ReadVersionBlock(fileName, &block)) {
    SetLastError(e);
    return FALSE;
  }
  const size_t copied = std::min<size_t>(length, block.size());
  std::memcpy(data, block.data(), copied);
  if (copied < block.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  return TRUE;
}

BOOL VerQueryValueW(const void* block, LPCWSTR subBlock, void** buffer, UINT* length) {
  if (block == nullptr || subBlock == nullptr || buffer == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The block's own root length bounds every walk; GetFileVersionInfoW only
  // hands out blocks whose root fits.
  const auto* bytes = static_cast<const uint8_t*>(block);
  uint16_t rootLength = 0;
  std::memcpy(&rootLength, bytes, sizeof rootLength);
  size_t pathLength = 0;
  while (pathLength < kMaxBlockBytes && subBlock[pathLength] != 0) ++pathLength;
  sim::VersionValue value;
  if (!sim::FindVersionValue({bytes, rootLength}, {subBlock, pathLength}, &value)) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
  }
  *buffer = const_cast<uint8_t*>(bytes) + value.offset;
  if (length) *length = value.length;
  return TRUE;
}

}  // namespace ce::sim::api
