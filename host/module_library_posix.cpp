#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstdint>

#include "module_crash.h"
#include "module_file.h"
#include "module_library.h"
#include "qel/exports.h"

namespace qelhost {
namespace fs = std::filesystem;

namespace {

// Where the executable segments of the loaded object holding symbol lie.
void FindModuleCode(void* symbol) {
  struct Span {
    uintptr_t symbol, begin = UINTPTR_MAX, end = 0;
  } span{uintptr_t(symbol)};
  dl_iterate_phdr(
      [](dl_phdr_info* object, size_t, void* data) {
        auto* s = static_cast<Span*>(data);
        auto segment = [&](int i) { return object->dlpi_addr + object->dlpi_phdr[i].p_vaddr; };
        bool holds = false;
        for (int i = 0; i < object->dlpi_phnum && !holds; ++i)
          holds = object->dlpi_phdr[i].p_type == PT_LOAD && s->symbol >= segment(i) &&
                  s->symbol < segment(i) + object->dlpi_phdr[i].p_memsz;
        if (!holds) return 0;
        for (int i = 0; i < object->dlpi_phnum; ++i) {
          if (object->dlpi_phdr[i].p_type != PT_LOAD || !(object->dlpi_phdr[i].p_flags & PF_X)) continue;
          s->begin = std::min(s->begin, segment(i));
          s->end = std::max(s->end, segment(i) + object->dlpi_phdr[i].p_memsz);
        }
        return 1;
      },
      &span);
  if (span.begin < span.end)
    SetModuleCode(reinterpret_cast<void*>(span.begin), reinterpret_cast<void*>(span.end));
}

}  // namespace

std::unique_ptr<ModuleLibrary> ModuleLibrary::Load(const fs::path& file, std::string* error) {
  // The path is absolute: a name without a slash would make dlopen search the
  // library path, and the file checked must be the file loaded.
  if (!CheckModuleFile(file, error)) return nullptr;
  void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = ::dlerror();
    *error = file.string() + ": cannot be loaded: " + (why ? why : "unknown reason");
    return nullptr;
  }
  std::unique_ptr<ModuleLibrary> library(new ModuleLibrary(handle));
  if (void* entry = library->Find(kQelExportNames[0])) FindModuleCode(entry);
  return library;
}

ModuleLibrary::~ModuleLibrary() {
  SetModuleCode(nullptr, nullptr);
  ::dlclose(handle_);
}

void* ModuleLibrary::Find(const char* name) const { return ::dlsym(handle_, name); }

fs::path DefaultModulePath() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return (ec ? fs::current_path() : self.parent_path()) / "QelHal_HON2.mpi";
}

}  // namespace qelhost
