#include "system_export.h"

namespace ce::win32 {

FARPROC SystemExport(const wchar_t* library, const char* name) {
  // Only the system's own folder: a desktop has no such library, and one
  // found beside the program or on the path would be someone else's code.
  HMODULE module = ::LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr) return nullptr;
  FARPROC proc = ::GetProcAddress(module, name);
  if (proc == nullptr) ::FreeLibrary(module);
  return proc;
}

}  // namespace ce::win32
