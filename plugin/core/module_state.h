// Process-wide state of the loaded module.
#pragma once

namespace qel {

void SetModuleInstance(void* instance);
void* ModuleInstance();

}  // namespace qel
