// Library attach and detach: the module keeps its instance handle while loaded.
#include <dlfcn.h>

#include "core/module_state.h"

namespace {

__attribute__((constructor)) void OnProcessAttach() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OnProcessAttach), &info) != 0)
    qel::SetModuleInstance(info.dli_fbase);
}

__attribute__((destructor)) void OnProcessDetach() { qel::SetModuleInstance(nullptr); }

}  // namespace
