#include "core/module_state.h"

#include <atomic>

namespace qel {
namespace {
std::atomic<void*> g_instance{nullptr};
}

void SetModuleInstance(void* instance) { g_instance.store(instance); }
void* ModuleInstance() { return g_instance.load(); }

}  // namespace qel
