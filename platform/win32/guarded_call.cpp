// The guarded call on Win32. g++ has no __try, so a vectored exception
// handler, first in the process's chain, takes a crash inside a guard: it
// records the code and resumes the thread in a landing routine on spare stack
// of the guard's own frame, which jumps back into GuardedCall. The crashed
// routine's frames are abandoned, not unwound. Outside any guard, and for
// exceptions that are no crash (C++ exceptions, debugger notices), the
// handler passes.
#include <malloc.h>

#include <array>
#include <cstdint>

#include "ce/exception.h"

namespace ce {
namespace {

struct Guard {
  void* jump[5];  // __builtin_setjmp's buffer
  volatile DWORD code;
  Guard* outer;
#if !defined(_WIN64)
  // The thread's structured-handler chain when the guard began: records that
  // the abandoned frames registered must go with them.
  void* handlers;
#endif
  // Where the landing routine runs: below every live frame of GuardedCall,
  // and usable after a stack overflow, when the crashed stack has no room.
  alignas(16) std::array<unsigned char, 2048> landing;
};

thread_local Guard* t_guard = nullptr;

bool IsCrash(DWORD code) {
  // Errors (severity 3), such as access violations, illegal instructions and
  // division by zero; and misalignment, breakpoints and single steps.
  return (code & 0xF0000000) == 0xC0000000 || code == 0x80000002 || code == 0x80000003 || code == 0x80000004;
}

[[noreturn]] void Land() { __builtin_longjmp(t_guard->jump, 1); }

LONG CALLBACK OnException(EXCEPTION_POINTERS* exception) {
  Guard* guard = t_guard;
  const DWORD code = exception->ExceptionRecord->ExceptionCode;
  if (guard == nullptr || !IsCrash(code)) return EXCEPTION_CONTINUE_SEARCH;
  guard->code = code;
  CONTEXT* context = exception->ContextRecord;
  const auto top = reinterpret_cast<uintptr_t>(guard->landing.data() + guard->landing.size());
#if defined(_WIN64)
  // As after a call: the return address slot leaves the stack 8 off 16.
  context->Rsp = (top & ~uintptr_t{15}) - 8;
  context->Rip = reinterpret_cast<DWORD64>(&Land);
#else
  context->Esp = static_cast<DWORD>((top & ~uintptr_t{15}) - 4);
  context->Eip = static_cast<DWORD>(reinterpret_cast<uintptr_t>(&Land));
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

void InstallHandler() {
  static const PVOID handler = ::AddVectoredExceptionHandler(1, &OnException);
  (void)handler;
}

}  // namespace

DWORD GuardedCall(GUARDED_ROUTINE routine, void* parameter, EXCEPTION_ROUTINE onException) {
  InstallHandler();
  Guard guard;
  guard.code = 0;
  guard.outer = t_guard;
#if !defined(_WIN64)
  guard.handlers = reinterpret_cast<NT_TIB*>(::NtCurrentTeb())->ExceptionList;
#endif
  t_guard = &guard;
  if (__builtin_setjmp(guard.jump) == 0) {
    const DWORD result = routine(parameter);
    t_guard = guard.outer;
    return result;
  }
  t_guard = guard.outer;
#if !defined(_WIN64)
  reinterpret_cast<NT_TIB*>(::NtCurrentTeb())->ExceptionList =
      static_cast<EXCEPTION_REGISTRATION_RECORD*>(guard.handlers);
#endif
  const DWORD code = guard.code;
  // The overflow used up the stack's guard page: put it back, or the next
  // overflow on this thread finds none and ends the process.
  if (code == STATUS_STACK_OVERFLOW) _resetstkoflw();
  return onException != nullptr ? onException(code, parameter) : code;
}

}  // namespace ce
