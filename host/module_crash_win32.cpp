// Winsock 2 before windows.h, as the ce headers have them.
#include <winsock2.h>
// Second, as said above.
#include <windows.h>

#include <cstdint>

#include "crash_line.h"
#include "module_crash.h"

namespace qelhost {
namespace {

// The last say about an exception nothing handled: the system layer's guarded
// calls handle theirs before it. One inside a call into the module, or at an
// instruction of the module, is reported; any other keeps the system's end.
LONG WINAPI OnUnhandled(EXCEPTION_POINTERS* e) {
  const uintptr_t pc = uintptr_t(e->ExceptionRecord->ExceptionAddress);
  const CrashSite site = CrashSiteAt(pc);
  if (!site.what && !site.inModuleCode) return EXCEPTION_CONTINUE_SEARCH;
  CrashLine line;
  line << "qelhost: the module crashed (exception 0x";
  line.Number(e->ExceptionRecord->ExceptionCode, 16) << ") ";
  line.Site(site);
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), line.text(), DWORD(line.size()), &written, nullptr);
  // No library's detach code runs: the module's may be what failed.
  ::TerminateProcess(::GetCurrentProcess(), kModuleCrashed);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void ReportModuleCrashes() { ::SetUnhandledExceptionFilter(OnUnhandled); }

}  // namespace qelhost
