// The guarded call on Win32. g++ has no __try, so GuardedCall calls the
// routine through a frame that carries an exception handler of its own: on
// x86-64 a small routine whose unwind record names the handler, on x86 a
// record on the thread's handler chain. Like an __except block's filter, the
// handler sees only what the frames inside the routine left unhandled (a
// __try of the routine's own, IsBadReadPtr's probe). It takes a crash: it
// records the code and resumes the thread in a landing routine on spare
// stack of the guard's own frame, which jumps back into GuardedCall. The
// crashed routine's frames are abandoned, not unwound. Exceptions that are no
// crash (C++ exceptions, debugger notices) pass on.
#include <malloc.h>

#include <array>
#include <cstdint>

#include "ce/error.h"
#include "ce/exception.h"

namespace ce {
namespace {

struct Guard {
  void* jump[5];  // __builtin_setjmp's buffer
  volatile DWORD code;
  Guard* outer;
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

#if !defined(_WIN64)
// On x86 the handler's record on the thread's chain, with its guard beside it.
struct GuardFrame {
  EXCEPTION_REGISTRATION_RECORD record;
  Guard* guard;
};
#endif

// The guard whose frame the handler was called for: a guard that a longjmp
// abandoned stays in t_guard until its frame is unwound, so t_guard is not it.
Guard* GuardOf(void* establisherFrame) {
#if defined(_WIN64)
  // qel_guarded_invoke keeps it 32 bytes above its stack pointer.
  return *reinterpret_cast<Guard**>(static_cast<char*>(establisherFrame) + 32);
#else
  return static_cast<GuardFrame*>(establisherFrame)->guard;
#endif
}

}  // namespace

// The frame's handler (called by the system, so of C linkage on x86-64).
extern "C" EXCEPTION_DISPOSITION qel_guard_frame_handler(EXCEPTION_RECORD* record, void* establisherFrame,
                                                         CONTEXT* context, void*) {
  Guard* guard = GuardOf(establisherFrame);
  if (record->ExceptionFlags & EXCEPTION_UNWIND) {
    // A longjmp or a C++ exception leaves through the frame: the guard ends.
    t_guard = guard->outer;
    return ExceptionContinueSearch;
  }
  if (!IsCrash(record->ExceptionCode)) return ExceptionContinueSearch;
  t_guard = guard;  // where Land jumps to
  guard->code = record->ExceptionCode;
  // One that may not be resumed is left at once: its frames are abandoned anyway.
  if (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE) Land();
  const auto top = reinterpret_cast<uintptr_t>(guard->landing.data() + guard->landing.size());
#if defined(_WIN64)
  // As after a call: the return address slot leaves the stack 8 off 16.
  context->Rsp = (top & ~uintptr_t{15}) - 8;
  context->Rip = reinterpret_cast<DWORD64>(&Land);
#else
  context->Esp = static_cast<DWORD>((top & ~uintptr_t{15}) - 4);
  context->Eip = static_cast<DWORD>(reinterpret_cast<uintptr_t>(&Land));
#endif
  return ExceptionContinueExecution;
}

#if defined(_WIN64)
// routine(parameter) in a frame whose unwind record names the handler, with
// the guard kept in the frame for the handler.
extern "C" DWORD qel_guarded_invoke(GUARDED_ROUTINE routine, void* parameter, void* guard);
asm(R"(
  .text
  .globl qel_guarded_invoke
  .def qel_guarded_invoke; .scl 2; .type 32; .endef
  .seh_proc qel_guarded_invoke
qel_guarded_invoke:
  subq $40, %rsp
  .seh_stackalloc 40
  .seh_endprologue
  movq %r8, 32(%rsp)
  movq %rcx, %rax
  movq %rdx, %rcx
  callq *%rax
  nop
  addq $40, %rsp
  retq
  .seh_handler qel_guard_frame_handler, @except, @unwind
  .seh_endproc
)");
#endif

DWORD GuardedCall(GUARDED_ROUTINE routine, void* parameter, EXCEPTION_ROUTINE onException) {
  if (routine == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Guard guard;
  guard.code = 0;
  guard.outer = t_guard;
#if !defined(_WIN64)
  NT_TIB* tib = reinterpret_cast<NT_TIB*>(::NtCurrentTeb());
  // The chain as the guard began (its record's next): after a crash, records
  // that the abandoned frames registered go with them.
  GuardFrame frame{};
  frame.record.Next = tib->ExceptionList;
  frame.record.Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(&qel_guard_frame_handler);
  frame.guard = &guard;
#endif
  t_guard = &guard;
  if (__builtin_setjmp(guard.jump) == 0) {
    DWORD result;
    try {
#if defined(_WIN64)
      result = qel_guarded_invoke(routine, parameter, &guard);
#else
      tib->ExceptionList = &frame.record;
      result = routine(parameter);
      tib->ExceptionList = frame.record.Next;
#endif
    } catch (...) {  // a C++ exception leaves through the guard, which ends with it
#if !defined(_WIN64)
      tib->ExceptionList = frame.record.Next;
#endif
      t_guard = guard.outer;
      throw;
    }
    t_guard = guard.outer;
    return result;
  }
  t_guard = guard.outer;
#if !defined(_WIN64)
  tib->ExceptionList = frame.record.Next;
#endif
  const DWORD code = guard.code;
  // The overflow used up the stack's guard page: put it back, or the next
  // overflow on this thread finds none and ends the process.
  if (code == STATUS_STACK_OVERFLOW) _resetstkoflw();
  return onException != nullptr ? onException(code, parameter) : code;
}

}  // namespace ce
