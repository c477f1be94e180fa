#include "sibling_program.h"

#include <dlfcn.h>

namespace ce::sim {

std::filesystem::path SiblingProgram(std::string_view name) {
  Dl_info info{};
  static const int anchor = 0;
  if (::dladdr(&anchor, &info) == 0 || !info.dli_fname) return std::filesystem::path(name);
  return std::filesystem::path(info.dli_fname).parent_path() / name;
}

}  // namespace ce::sim
