// Libraries of the simulated terminal. A library is loadable when the
// terminal's profile lists it under "modules"; its exports are the functions
// that the simulation provides for it, registered by name.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

#include "ce/types.h"

namespace ce::sim {

struct ModuleExport {
  std::u16string_view name;
  FARPROC function;
};

// Called once per library, from a static initialiser of the file that simulates it.
bool RegisterModuleExports(std::u16string_view library, std::vector<ModuleExport> exports);

}  // namespace ce::sim
