// Loadable modules of the terminal: system and vendor libraries that a profile
// says are present, reached by name.
#pragma once

#include "ce/types.h"
#include "ce/unique.h"

namespace ce {

// Null with ERROR_MOD_NOT_FOUND when the terminal has no such library.
HMODULE LoadLibraryW(LPCWSTR name);
BOOL FreeLibrary(HMODULE module);
// Null with ERROR_PROC_NOT_FOUND when the library has no such export.
FARPROC GetProcAddressW(HMODULE module, LPCWSTR name);
// module null: the program that started the process, as a device path. Returns
// the characters written without the NUL; a path cut to fit sets
// ERROR_INSUFFICIENT_BUFFER. ERROR_INVALID_HANDLE for another module.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);

// Defined by a library that links the backend's library entry (DllMain on
// Windows): called once when the library is attached to the process, with its
// instance handle, and once when it is detached.
void OnProcessAttach(HINSTANCE instance);
void OnProcessDetach();

// Owns a loaded library.
struct ModuleTraits {
  using Value = HMODULE;
  static HMODULE Empty() { return nullptr; }
  static bool Held(HMODULE m) { return m != nullptr; }
  static void Close(HMODULE m) { ce::FreeLibrary(m); }
};
using UniqueModule = Unique<ModuleTraits>;

}  // namespace ce
