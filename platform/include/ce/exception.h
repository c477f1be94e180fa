// Structured exceptions of a thread: the guarded call runs a routine and,
// when the routine crashes (an access violation, an illegal instruction, a
// division by zero...), returns through the handler with the exception code
// instead of ending the process. The crashed routine's frames are abandoned,
// not unwound, as an __except block leaves them.
#pragma once

#include "ce/types.h"

#ifndef EXCEPTION_ACCESS_VIOLATION
#define EXCEPTION_ACCESS_VIOLATION 0xC0000005
#endif
#ifndef EXCEPTION_IN_PAGE_ERROR
#define EXCEPTION_IN_PAGE_ERROR 0xC0000006
#endif
#ifndef EXCEPTION_ILLEGAL_INSTRUCTION
#define EXCEPTION_ILLEGAL_INSTRUCTION 0xC000001D
#endif
#ifndef EXCEPTION_PRIV_INSTRUCTION
#define EXCEPTION_PRIV_INSTRUCTION 0xC0000096
#endif
#ifndef EXCEPTION_INT_DIVIDE_BY_ZERO
#define EXCEPTION_INT_DIVIDE_BY_ZERO 0xC0000094
#endif
#ifndef EXCEPTION_INT_OVERFLOW
#define EXCEPTION_INT_OVERFLOW 0xC0000095
#endif
#ifndef EXCEPTION_FLT_DIVIDE_BY_ZERO
#define EXCEPTION_FLT_DIVIDE_BY_ZERO 0xC000008E
#endif
#ifndef EXCEPTION_FLT_INVALID_OPERATION
#define EXCEPTION_FLT_INVALID_OPERATION 0xC0000090
#endif
#ifndef EXCEPTION_FLT_OVERFLOW
#define EXCEPTION_FLT_OVERFLOW 0xC0000091
#endif
#ifndef EXCEPTION_FLT_UNDERFLOW
#define EXCEPTION_FLT_UNDERFLOW 0xC0000093
#endif
#ifndef EXCEPTION_FLT_INEXACT_RESULT
#define EXCEPTION_FLT_INEXACT_RESULT 0xC000008F
#endif
#ifndef EXCEPTION_STACK_OVERFLOW
#define EXCEPTION_STACK_OVERFLOW 0xC00000FD
#endif
#ifndef EXCEPTION_DATATYPE_MISALIGNMENT
#define EXCEPTION_DATATYPE_MISALIGNMENT 0x80000002
#endif
#ifndef EXCEPTION_BREAKPOINT
#define EXCEPTION_BREAKPOINT 0x80000003
#endif

namespace ce {

using GUARDED_ROUTINE = DWORD (*)(void* parameter);
using EXCEPTION_ROUTINE = DWORD (*)(DWORD exceptionCode, void* parameter);

// Runs routine(parameter) and returns its result; when it crashes, returns
// onException(code, parameter) instead. Calls may nest: the innermost guard
// takes the crash. What is no crash passes through: a C++ exception (which
// ends the guard), a software exception of the program's own, a debugger's
// notice. A null routine is refused with ERROR_INVALID_PARAMETER.
DWORD GuardedCall(GUARDED_ROUTINE routine, void* parameter, EXCEPTION_ROUTINE onException);

}  // namespace ce
