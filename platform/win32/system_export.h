// Calls only Windows CE has, looked up at run time in the library a terminal
// has them in, so one build runs on a terminal and on desktop Windows. A
// missing call fails as on a terminal without it: ERROR_CALL_NOT_IMPLEMENTED.
#pragma once

#include "ce/types.h"  // windows.h, after Winsock 2

namespace ce::win32 {

// The core system library of Windows CE, where most of its calls live.
inline constexpr const wchar_t* kCoreLibrary = L"coredll.dll";

// The export, or null when the library or the export is missing. The library
// stays loaded for the process's life, as the system's own libraries do.
FARPROC SystemExport(const wchar_t* library, const char* name);

// The export as the function type the caller declares; Windows CE's calls use
// the C calling convention on every processor, the plain function type's.
template <class Fn>
Fn Export(const wchar_t* library, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(SystemExport(library, name)));
}

// What a call that the system lacks answers: its failure value, with the
// last error a terminal without the call reports.
template <class R>
R NotImplemented(R failure) {
  ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return failure;
}

}  // namespace ce::win32
