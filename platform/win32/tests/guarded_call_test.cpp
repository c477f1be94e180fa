// The Win32 guard's handler sits in the guard's own frame, so the routine's
// own handlers see a fault first, as an __except block's filter would.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace ce
