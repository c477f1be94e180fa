// The process heap's movable-block calls: blocks that one side allocates and
// the other frees.
#pragma once

#include <cstddef>

#include "ce/types.h"

#ifndef LMEM_FIXED
#define LMEM_FIXED 0x0000
#endif
#ifndef LMEM_MOVEABLE
#define LMEM_MOVEABLE 0x0002
#endif
#ifndef LMEM_ZEROINIT
#define LMEM_ZEROINIT 0x0040
#endif
#ifndef LPTR
#define LPTR 0x0040
#endif

namespace ce {

using HLOCAL = void*;

// Null with ERROR_NOT_ENOUGH_MEMORY when memory runs out.
HLOCAL LocalAlloc(UINT flags, size_t bytes);
// LMEM_MOVEABLE lets the block move; without it the block must already have
// room for `bytes`.
HLOCAL LocalReAlloc(HLOCAL block, size_t bytes, UINT flags);
// Null on success, else the block.
HLOCAL LocalFree(HLOCAL block);

}  // namespace ce
