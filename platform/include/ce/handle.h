// Kernel handles: CloseHandle and an owning wrapper.
#pragma once

#include "ce/types.h"
#include "ce/unique.h"

namespace ce {

BOOL CloseHandle(HANDLE handle);

// Owns a kernel handle; null and INVALID_HANDLE_VALUE both mean "none".
struct HandleTraits {
  using Value = HANDLE;
  static HANDLE Empty() { return nullptr; }
  static bool Held(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { ce::CloseHandle(h); }
};
using UniqueHandle = Unique<HandleTraits>;

}  // namespace ce
