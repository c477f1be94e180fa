// The module's attach and detach, called by the system library's entry point.
#include "ce/module.h"
#include "core/module_state.h"
#include "devices/keyboard_service.h"

namespace ce {

void OnProcessAttach(HINSTANCE instance) {
  qel::SetModuleInstance(instance);
  qel::RegisterKeyboardWindowClass(instance);
}

void OnProcessDetach() {
  qel::UnregisterKeyboardWindowClass(static_cast<HINSTANCE>(qel::ModuleInstance()));
  qel::SetModuleInstance(nullptr);
}

}  // namespace ce
