#include "system_export.h"

namespace ce::win32 {

FARPROC SystemExport(const wchar_t* library, const char* name) {
  HMODULE module = ::LoadLibraryW(library);
  if (module == nullptr) return nullptr;
  FARPROC proc = ::GetProcAddress(module, name);
  if (proc == nullptr) ::FreeLibrary(module);
  return proc;
}

}  // namespace ce::win32
