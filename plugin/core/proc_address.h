// A library export as the function type its header declares.
#pragma once

#include "ce/module.h"

namespace qel {

// Null when the library lacks the export. The cast goes through void (*)(),
// which matches every function type.
template <class Fn>
Fn ProcAddress(ce::HMODULE module, const char16_t* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(ce::GetProcAddressW(module, name)));
}

}  // namespace qel
