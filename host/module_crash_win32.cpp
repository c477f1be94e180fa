// Winsock 2 before windows.h, as the ce headers have them.
#include <winsock2.h>
// Second, as said above.
#include <windows.h>

#include <cstdint>

#include "module_crash.h"

namespace qelhost {
namespace {

// Text built without allocating: the heap may be what the fault damaged.
class Line {
 public:
  Line& operator<<(const char* s) {
    while (s && *s && at_ < sizeof text_) text_[at_++] = *s++;
    return *this;
  }
  // Names the module registered: ASCII as it is, anything else as '?'.
  Line& operator<<(const char16_t* s) {
    while (s && *s && at_ < sizeof text_) {
      text_[at_++] = *s >= 0x20 && *s < 0x7F ? char(*s) : '?';
      ++s;
    }
    return *this;
  }
  Line& Hex(uintptr_t v) {
    char digits[24];
    size_t n = 0;
    do {
      digits[n++] = "0123456789ABCDEF"[v % 16];
      v /= 16;
    } while (v && n < sizeof digits);
    *this << "0x";
    while (n && at_ < sizeof text_) text_[at_++] = digits[--n];
    return *this;
  }
  void WriteToStandardError() const {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), text_, DWORD(at_), &written, nullptr);
  }

 private:
  char text_[512];
  size_t at_ = 0;
};

// The last say about an exception nothing handled: the system layer's guarded
// calls handle theirs before it. One inside a call into the module, or at an
// instruction of the module, is reported; any other keeps the system's end.
LONG WINAPI OnUnhandled(EXCEPTION_POINTERS* e) {
  const uintptr_t pc = uintptr_t(e->ExceptionRecord->ExceptionAddress);
  const CrashSite site = CrashSiteAt(pc);
  if (!site.what && !site.inModuleCode) return EXCEPTION_CONTINUE_SEARCH;
  Line line;
  line << "qelhost: the module crashed (exception ";
  line.Hex(e->ExceptionRecord->ExceptionCode) << ") ";
  if (site.what) {
    line << "in " << site.what;
    if (site.name) line << " " << site.name;
  } else {
    line << "on a thread of its own";
  }
  if (site.inModuleCode) {
    line << ", at offset ";
    line.Hex(site.offset) << " of its image";
  }
  line << "\n";
  line.WriteToStandardError();
  // No library's detach code runs: the module's may be what failed.
  ::TerminateProcess(::GetCurrentProcess(), kModuleCrashed);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void ReportModuleCrashes() { ::SetUnhandledExceptionFilter(OnUnhandled); }

}  // namespace qelhost
