#include "byte_source.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ce::sim {

bool MemoryBytes::Read(uint64_t offset, void* out, size_t n) const {
  if (!Inside(offset, n)) return false;
  if (n != 0) std::memcpy(out, bytes_.data() + offset, n);
  return true;
}

bool FileBytes::Read(uint64_t offset, void* out, size_t n) const {
  if (!Inside(offset, n)) return false;
  auto* to = static_cast<uint8_t*>(out);
  while (n > 0) {
    const ssize_t got = ::pread(fd_, to, n, off_t(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    to += got;
    offset += uint64_t(got);
    n -= size_t(got);
  }
  return true;
}

}  // namespace ce::sim
