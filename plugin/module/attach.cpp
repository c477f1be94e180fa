// The module's attach and detach, called by the system library's entry point.
#include "ce/module.h"
#include "core/module_state.h"

namespace ce {

void OnProcessAttach(HINSTANCE instance) { qel::SetModuleInstance(instance); }
void OnProcessDetach() { qel::SetModuleInstance(nullptr); }

}  // namespace ce
