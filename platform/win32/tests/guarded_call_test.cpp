// The Win32 guard's handler sits in the guard's own frame, so the routine's
// own handlers see a fault first, as an __except block's filter would.
#include <gtest/gtest.h>
#include <setjmp.h>

#include "ce/exception.h"

namespace ce {
namespace {

DWORD Handler(DWORD code, void*) { return code; }

// IsBadReadPtr probes memory under a handler of its own.
DWORD Probe(void* address) { return ::IsBadReadPtr(address, 4) ? 7 : 8; }

DWORD Nested(void* address) {
  const DWORD inner = GuardedCall(Probe, address, Handler);
  volatile int* nowhere = nullptr;
  return inner == 7 ? DWORD(*nowhere) : 0;  // then a fault of its own, for this guard
}

TEST(Win32GuardedCall, TheRoutinesOwnHandlersComeFirst) {
  int here = 0;
  const struct {
    const char* what;
    void* address;
    DWORD expected;
  } cases[] = {
      {"unreadable", reinterpret_cast<void*>(16), 7},
      {"readable", &here, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(GuardedCall(Probe, c.address, Handler), c.expected);
  }
  EXPECT_EQ(GuardedCall(Nested, reinterpret_cast<void*>(16), Handler), DWORD(EXCEPTION_ACCESS_VIOLATION));
}

DWORD Raise(void* flags) {
  ::RaiseException(EXCEPTION_ACCESS_VIOLATION, DWORD(reinterpret_cast<uintptr_t>(flags)), 0, nullptr);
  return 9;
}

// A crash raised as one that may not be resumed is taken all the same.
TEST(Win32GuardedCall, ARaisedCrashIsTakenResumableOrNot) {
  EXPECT_EQ(GuardedCall(Raise, nullptr, Handler), DWORD(EXCEPTION_ACCESS_VIOLATION));
  EXPECT_EQ(GuardedCall(Raise, reinterpret_cast<void*>(EXCEPTION_NONCONTINUABLE), Handler),
            DWORD(EXCEPTION_ACCESS_VIOLATION));
}

jmp_buf g_back;

DWORD JumpOut(void*) { longjmp(g_back, 1); }

// The inner guard is left by a longjmp; the outer one must still be the
// guard that takes the next crash.
DWORD LeaveByLongjmp(void*) {
  if (setjmp(g_back) == 0) GuardedCall(JumpOut, nullptr, Handler);
  volatile int* nowhere = nullptr;
  return DWORD(*nowhere);
}

TEST(Win32GuardedCall, AGuardLeftByLongjmpEnds) {
  EXPECT_EQ(GuardedCall(LeaveByLongjmp, nullptr, Handler), DWORD(EXCEPTION_ACCESS_VIOLATION));
  EXPECT_EQ(GuardedCall(Raise, nullptr, Handler), DWORD(EXCEPTION_ACCESS_VIOLATION));
}

}  // namespace
}  // namespace ce
