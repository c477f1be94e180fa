// The local heap over the C heap: a block is a malloc block.
#include "ce/memory.h"

#include <malloc.h>

#include <cstdlib>
#include <cstring>

#include "api.h"
#include "ce/error.h"
#include "last_error.h"

namespace ce::sim::api {

HLOCAL LocalAlloc(UINT flags, size_t bytes) {
  void* block = (flags & LMEM_ZEROINIT) ? std::calloc(1, bytes ? bytes : 1) : std::malloc(bytes ? bytes : 1);
  if (!block) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

HLOCAL LocalReAlloc(HLOCAL block, size_t bytes, UINT flags) {
  if (!block) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const size_t had = ::malloc_usable_size(block);
  if (!(flags & LMEM_MOVEABLE)) {
    if (bytes > had) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    return block;
  }
  void* moved = std::realloc(block, bytes ? bytes : 1);
  if (!moved) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if ((flags & LMEM_ZEROINIT) && bytes > had) std::memset(static_cast<char*>(moved) + had, 0, bytes - had);
  return moved;
}

HLOCAL LocalFree(HLOCAL block) {
  std::free(block);
  return nullptr;
}

}  // namespace ce::sim::api
