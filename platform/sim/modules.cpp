#include "modules.h"

#include <map>
#include <memory>
#include <mutex>

#include "ce/error.h"
#include "ce/module.h"
#include "ce/string.h"
#include "ce/text.h"
#include "terminal.h"

namespace ce {
namespace sim {
namespace {

struct Library {
  std::u16string name;
  std::vector<ModuleExport> exports;
  int loads = 0;
};

struct Libraries {
  std::mutex mu;
  std::map<std::u16string, std::unique_ptr<Library>> byName;  // folded name
};

Libraries& libraries() {
  static Libraries* l = new Libraries;
  return *l;
}

// "\Windows\LXEAPI.dll", "lxeapi" and "LXEAPI.DLL" all name the same library.
std::u16string Key(std::u16string_view name) {
  const size_t slash = name.find_last_of(u"\\/");
  std::u16string base = ToUpper(slash == std::u16string_view::npos ? name : name.substr(slash + 1));
  if (base.find(u'.') == std::u16string::npos) base += u".DLL";
  return base;
}

bool Present(const std::u16string& key) {
  const auto list = Hardware("modules");
  if (!list.is_array()) return false;
  for (const auto& m : list)
    if (m.is_string() && Key(FromUtf8(m.get<std::string>())) == key) return true;
  return false;
}

Library& Entry(Libraries& l, const std::u16string& key) {
  auto& slot = l.byName[key];
  if (!slot) slot = std::make_unique<Library>(Library{key, {}, 0});
  return *slot;
}

}  // namespace

bool RegisterModuleExports(std::u16string_view library, std::vector<ModuleExport> exports) {
  Libraries& l = libraries();
  std::lock_guard lock(l.mu);
  Entry(l, Key(library)).exports = std::move(exports);
  return true;
}

}  // namespace sim

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
  Libraries& l = libraries();
  std::lock_guard lock(l.mu);
  Library& lib = Entry(l, key);
  ++lib.loads;
  return &lib;
}

BOOL FreeLibrary(HMODULE module) {
  using namespace sim;
  Libraries& l = libraries();
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
  Libraries& l = libraries();
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

}  // namespace ce
