// The library entry of a module on the simulated system: the loader's
// constructor and destructor stand for DllMain's attach and detach.
#include <dlfcn.h>

#include "ce/module.h"

namespace {

__attribute__((constructor)) void Attach() {
  Dl_info info{};
  // The instance handle is the base address the library was loaded at.
  ce::HINSTANCE instance = nullptr;
  if (dladdr(reinterpret_cast<void*>(&Attach), &info) != 0) instance = info.dli_fbase;
  ce::OnProcessAttach(instance);
}

__attribute__((destructor)) void Detach() { ce::OnProcessDetach(); }

}  // namespace
