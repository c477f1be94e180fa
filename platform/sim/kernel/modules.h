// Libraries of the simulated terminal. A library is loadable when the
// terminal's profile lists it under "modules"; its exports are the functions
// that the simulation provides for it, registered by name.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ce/types.h"

namespace ce::sim {

struct ModuleExport {
  std::u16string_view name;
  FARPROC function;
};

// The libraries the process knows: each simulated library's exports, and how
// often the process has loaded it.
class ModuleTable {
 public:
  struct Library {
    std::u16string name;
    std::vector<ModuleExport> exports;
    int loads = 0;
  };

  std::mutex mu;
  std::map<std::u16string, std::unique_ptr<Library>> byName;  // folded name

  // The entry for a folded name, made when missing. mu must be held.
  Library& Entry(const std::u16string& key);
};

// The device path of the program that started the process: by default
// "\Windows\" followed by the file name of the host executable.
struct ProgramPath {
  std::mutex mu;
  std::u16string path;  // empty: the default
};

// GetModuleFileNameW(NULL): the path set for the program, or "\Windows\" and
// the host executable's file name.
std::u16string ProgramDevicePath();

// Called from a static initialiser of each file that simulates a library or
// a part of one ("coredll.dll" has several); a library's exports add up.
bool RegisterModuleExports(std::u16string_view library, std::vector<ModuleExport> exports);

}  // namespace ce::sim
