#include "programs.h"

#include <array>

namespace ce::sim {

ProgramMain FindProgram(std::string_view name) {
  struct Program {
    std::string_view name;
    ProgramMain main;
  };
  static constexpr std::array<Program, 2> kPrograms{{{"wceload", WceloadMain}, {"app", AppMain}}};
  for (const Program& p : kPrograms)
    if (p.name == name) return p.main;
  return nullptr;
}

}  // namespace ce::sim
