#include "modules.h"

#include <unistd.h>

#include <algorithm>

#include "api.h"
#include "case_fold.h"
#include "ce/error.h"
#include "ce/module.h"
#include "hardware.h"
#include "kernel.h"
#include "last_error.h"
#include "terminal.h"
#include "utf.h"

namespace ce {
namespace sim {
namespace {

using Library = ModuleTable::Library;

ModuleTable& libraries() { return Kernel::Get().modules; }

// "\Windows\LXEAPI.dll", "lxeapi" and "LXEAPI.DLL" all name the same library.
std::u16string Key(std::u16string_view name) {
  const size_t slash = name.find_last_of(u"\\/");
  std::u16string base = FoldName(slash == std::u16string_view::npos ? name : name.substr(slash + 1));
  if (base.find(u'.') == std::u16string::npos) base += u".DLL";
  return base;
}

bool Present(const std::u16string& key) {
  for (const auto& present : hw::Read(hw::kModules))
    if (Key(FromUtf8(present)) == key) return true;
  return false;
}

}  // namespace

ModuleTable::Library& ModuleTable::Entry(const std::u16string& key) {
  auto& slot = byName[key];
  if (!slot) slot = std::make_unique<Library>(Library{key, {}, 0});
  return *slot;
}

bool RegisterModuleExports(std::u16string_view library, std::vector<ModuleExport> exports) {
  ModuleTable& l = libraries();
  std::lock_guard lock(l.mu);
  auto& all = l.Entry(Key(library)).exports;
  all.insert(all.end(), exports.begin(), exports.end());
  return true;
}

std::u16string ProgramDevicePath() {
  {
    ProgramPath& program = Kernel::Get().program;
    std::lock_guard lock(program.mu);
    if (!program.path.empty()) return program.path;
  }
  char exe[4096];
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string name = n > 0 ? std::string(exe, size_t(n)) : std::string("program");
  name = name.substr(name.find_last_of('/') + 1);
  return u"\\Windows\\" + FromUtf8(name);
}

}  // namespace sim

namespace sim::api {

HMODULE LoadLibraryW(LPCWSTR name) {
  using namespace sim;
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::u16string key = Key(name);
  if (!Present(key)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  ModuleTable& l = libraries();
  std::lock_guard lock(l.mu);
  Library& lib = l.Entry(key);
  ++lib.loads;
  return &lib;
}

BOOL FreeLibrary(HMODULE module) {
  using namespace sim;
  ModuleTable& l = libraries();
  std::lock_guard lock(l.mu);
  for (auto& [key, lib] : l.byName)
    if (lib.get() == module && lib->loads > 0) {
      --lib->loads;
      return TRUE;
    }
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

FARPROC GetProcAddressW(HMODULE module, LPCWSTR name) {
  using namespace sim;
  // An ordinal (a number below 0x10000 in place of a name): no simulated library exports by number.
  const bool byOrdinal = reinterpret_cast<uintptr_t>(name) < 0x10000;
  ModuleTable& l = libraries();
  std::lock_guard lock(l.mu);
  for (auto& [key, lib] : l.byName) {
    if (lib.get() != module || lib->loads == 0) continue;
    for (const auto& e : lib->exports)
      if (!byOrdinal && e.name == name) return e.function;
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
  using namespace sim;
  if (module) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (!fileName || size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::u16string path = ProgramDevicePath();
  const DWORD copied = std::min<DWORD>(DWORD(path.size()), size - 1);
  std::copy_n(path.data(), copied, fileName);
  fileName[copied] = 0;
  SetLastError(copied < path.size() ? ERROR_INSUFFICIENT_BUFFER : ERROR_SUCCESS);
  return copied;
}

}  // namespace sim::api
}  // namespace ce
