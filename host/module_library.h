// The module's file loaded into qelhost, and unloaded when the object goes.
// On Linux a file is checked (its ELF headers, then a trial load in a child
// process) before the loader sees it; on Windows the system's loader checks
// the DLL itself and refuses a damaged one.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace qelhost {

class ModuleLibrary {
 public:
  // The loaded module, or nothing with error naming the file and what failed.
  static std::unique_ptr<ModuleLibrary> Load(const std::filesystem::path& file, std::string* error);
  ~ModuleLibrary();
  ModuleLibrary(const ModuleLibrary&) = delete;
  ModuleLibrary& operator=(const ModuleLibrary&) = delete;

  // The exported function of that name, or null.
  void* Find(const char* name) const;

 private:
  explicit ModuleLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

// The module built beside this program.
std::filesystem::path DefaultModulePath();

}  // namespace qelhost
